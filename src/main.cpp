// sayloom: with no arguments, the dictation application; with a subcommand, one headless task.

#include "BuildConfig.h"
#include "app/DeepLinkAction.h"
#include "app/SingleInstance.h"
#include "cli/Command.h"
#include "cli/CommandOutput.h"
#include "cli/DictationApp.h"
#include "platform/linux/JournalLogSink.h"
#include "platform/linux/X11Connection.h"
#include "support/Logger.h"
#include "transcription/APIConfig.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <memory>
#include <optional>

namespace {

using namespace sayloom;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

void printUsage(QTextStream& out) {
    // The usual "or:" lines, which help2man turns into the manual page's synopsis.
    out << "Usage: sayloom [--help | --version]\n"
           "   or: sayloom URL...\n";
    for (const Command& command : commands())
        out << "   or: sayloom " << command.name << " " << command.synopsis << "\n";
    out << "\n"
           "Sayloom is push-to-talk dictation for the Linux desktop: hold your hotkey, speak,\n"
           "let go, and the text appears in the focused field.\n"
           "\n";
    if (!commands().empty()) {
        out << "Commands:\n";
        for (const Command& command : commands())
            out << "  " << command.name.leftJustified(12) << " " << command.summary << "\n";
        out << "\n";
    }
    out << "Options:\n"
           "  -h, --help     Show this help and exit.\n"
           "  -v, --version  Show the version and exit.\n"
           "\n"
           "URL... (sayloom: links, and the Google sign-in redirect) are handed to the running\n"
           "Sayloom, which is started when none runs.\n"
           "\n"
           "Environment:\n"
           "  SAYLOOM_LOG_LEVEL         debug, info (default), notice or error\n"
           "  SAYLOOM_API_BASE_URL      the service's API origin (https, or http on loopback)\n"
           "  SAYLOOM_WEBSITE_BASE_URL  the service's website origin\n"
           "  SAYLOOM_BROWSER           the program that opens sign-in and web pages\n"
           "                            (the desktop's browser when unset)\n";
    out.flush();
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

// Hands links of ours to the running instance. Its exit status when one took them (or refused),
// nothing when none runs.
std::optional<int> handOffToRunningInstance(const QStringList& urls) {
    const auto reply =
        SingleInstance::send(SingleInstance::defaultDirectory(), QStringLiteral("open-url"), urls);
    if (!reply)
        return std::nullopt;
    if (reply->ok)
        return 0;
    printError(reply->message);
    return 1;
}

// The usage line of one command, after what was wrong with its arguments.
void printCommandUsage(const Command& command) {
    QTextStream(stderr) << "usage: sayloom " << command.name
                        << (command.synopsis.isEmpty() ? QString() : " " + command.synopsis)
                        << Qt::endl;
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
        printUsage(out());
        return 0;
    }
    if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
        out() << "sayloom " << build::kVersion << "\n";
        out().flush();
        return 0;
    }
    QStringList urls;
    if (DeepLinkAction::isOwnScheme(first)) {
        for (int i = 1; i < argc; ++i) {
            const QString argument = QString::fromLocal8Bit(argv[i]);
            if (!DeepLinkAction::isOwnScheme(argument)) {
                printError(QStringLiteral("\"%1\" is not a Sayloom link; see sayloom --help")
                               .arg(argument));
                return 2;
            }
            urls << argument;
        }
    }
    const Command* command = first.isEmpty() ? nullptr : findCommand(first);
    if (!first.isEmpty() && !command && urls.isEmpty()) {
        printError(first.startsWith(QLatin1Char('-'))
                       ? QStringLiteral("unknown option \"%1\"").arg(first)
                       : QStringLiteral("unknown command \"%1\"").arg(first));
        err() << "\n";
        printUsage(err());
        return 2;
    }
    // A command's arguments are checked before anything touches the display, the sound server or
    // the keychain: a wrong option gets its answer anywhere, even where Qt could not start.
    QStringList arguments;
    for (int i = 2; command && i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (command) {
        if (const std::optional<QString> problem = command->check(arguments)) {
            printError(*problem);
            printCommandUsage(*command);
            return 2;
        }
    }

    // The application itself, and the commands that draw or use the clipboard, need the desktop
    // session; say so rather than let Qt abort. Links for a running instance need none.
    const bool wantsDisplay = !command || command->application == Command::Application::gui;
    const QString sessionProblem = wantsDisplay ? dictationSessionProblem() : QString();
    if (!sessionProblem.isEmpty() && (command || urls.isEmpty())) {
        printError(sessionProblem);
        return 1;
    }
    // Qt is shown only the program's name when a command runs: the command's arguments are all
    // its own, and none may be taken for one of Qt's options ("-display", "-style").
    int qtArgc = command ? 1 : argc;
    std::unique_ptr<QCoreApplication> app;
    if (wantsDisplay && sessionProblem.isEmpty()) {
        // In a Wayland session our windows go through XWayland: only there does the pill keep
        // its place at the bottom of the screen without ever taking the focus. Set for Qt alone,
        // not for the programs Sayloom starts.
        const bool throughXWayland = linux_desktop::X11Connection::isWaylandSession() &&
                                     qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
        if (throughXWayland)
            qputenv("QT_QPA_PLATFORM", "xcb");
        app = std::make_unique<QApplication>(qtArgc, argv);
        if (throughXWayland)
            qunsetenv("QT_QPA_PLATFORM");
    } else
        app = std::make_unique<QCoreApplication>(qtArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sayloom"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(build::kVersion));

    installLogging();
    if (const auto error = APIConfig::configurationError()) {
        printError(*error);
        return 1;
    }
    APIConfig::touchAll();

    if (command)
        return command->run(arguments);
    if (!urls.isEmpty()) {
        if (const auto status = handOffToRunningInstance(urls))
            return *status;
        if (!sessionProblem.isEmpty()) {
            printError(sessionProblem);
            return 1;
        }
    }
    return runDictationApp(urls);
}
