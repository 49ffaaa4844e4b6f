// sayloom: with no arguments, the dictation application; with a subcommand, one headless task.

#include "BuildConfig.h"
#include "cli/Command.h"
#include "cli/CommandOutput.h"
#include "cli/DictationApp.h"
#include "platform/linux/JournalLogSink.h"
#include "support/Logger.h"
#include "transcription/APIConfig.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <memory>

namespace {

using namespace sayloom;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

void printUsage() {
    out() << "Usage: sayloom [--help | --version]\n";
    for (const Command& command : commands())
        out() << "       sayloom " << command.name << " " << command.synopsis << "\n";
    out() << "\n"
             "Sayloom is push-to-talk dictation for the Linux desktop: hold your hotkey, speak,\n"
             "let go, and the text appears in the focused field.\n"
             "\n";
    if (!commands().empty()) {
        out() << "Commands:\n";
        for (const Command& command : commands())
            out() << "  " << command.name.leftJustified(12) << " " << command.summary << "\n";
        out() << "\n";
    }
    out() << "Options:\n"
             "  -h, --help     Show this help and exit.\n"
             "  -v, --version  Show the version and exit.\n"
             "\n"
             "Environment:\n"
             "  SAYLOOM_LOG_LEVEL         debug, info (default), notice or error\n"
             "  SAYLOOM_API_BASE_URL      the service's API origin (https, or http on loopback)\n"
             "  SAYLOOM_WEBSITE_BASE_URL  the service's website origin\n";
    out().flush();
}

void installLogging() {
    if (linux_desktop::JournalLogSink::startedBySystemd())
        logging::setSink(std::make_shared<linux_desktop::JournalLogSink>());
    else
        logging::setSink(std::make_shared<StderrLogSink>());
    if (!logging::applyEnvironmentLevel())
        printError(
            QStringLiteral("ignoring SAYLOOM_LOG_LEVEL=%1 (use debug, info, notice or error)")
                .arg(qEnvironmentVariable("SAYLOOM_LOG_LEVEL")));
}

const Command* findCommand(const QString& name) {
    for (const Command& command : commands())
        if (command.name == name)
            return &command;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const QString first = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
        printUsage();
        return 0;
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        out() << "sayloom " << build::kVersion << "\n";
        out().flush();
        return 0;
    }
    const Command* command = first.isEmpty() ? nullptr : findCommand(first);
    if (!first.isEmpty() && !command) {
        printError(QStringLiteral("unknown command \"%1\"; see sayloom --help").arg(first));
        return 2;
    }

    if (!command) {
        // The application itself needs the desktop session; say so rather than let Qt abort.
        const QString problem = dictationSessionProblem();
        if (!problem.isEmpty()) {
            printError(problem);
            return 1;
        }
    }
    std::unique_ptr<QCoreApplication> app;
    if (!command || command->application == Command::Application::gui)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sayloom"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(build::kVersion));

    installLogging();
    if (const auto error = APIConfig::configurationError()) {
        printError(*error);
        return 1;
    }
    APIConfig::touchAll();

    if (command)
        return command->run(QCoreApplication::arguments().mid(2));
    return runDictationApp();
}
