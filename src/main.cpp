// sayloom: with no arguments, the dictation application; with a subcommand, one headless task.

#include "BuildConfig.h"
#include "platform/linux/JournalLogSink.h"
#include "support/Logger.h"
#include "transcription/APIConfig.h"

#include <QCoreApplication>
#include <QTextStream>

#include <memory>

namespace {

using namespace sayloom;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

// Error lines go out at once, in order with what the logger writes to stderr.
void printError(const QString& message) {
    QTextStream(stderr) << "sayloom: " << message << Qt::endl;
}

void printUsage() {
    out() << "Usage: sayloom [--help | --version]\n"
             "\n"
             "Sayloom is push-to-talk dictation for the Linux desktop: hold your hotkey, speak,\n"
             "let go, and the text appears in the focused field.\n"
             "\n"
             "Options:\n"
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sayloom"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(build::kVersion));

    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty()) {
        const QString& first = args.first();
        if (first == QLatin1String("-h") || first == QLatin1String("--help")) {
            printUsage();
            return 0;
        }
        if (first == QLatin1String("-v") || first == QLatin1String("--version")) {
            out() << "sayloom " << build::kVersion << "\n";
            return 0;
        }
        printError(QStringLiteral("unknown argument \"%1\"; see sayloom --help").arg(first));
        return 2;
    }

    installLogging();
    if (const auto error = APIConfig::configurationError()) {
        printError(*error);
        return 1;
    }
    APIConfig::touchAll();

    out() << "Sayloom " << build::kVersion
          << ": this build has the dictation engine, settings and service configuration, but not "
             "yet the microphone, hotkey and text-insertion parts that a live dictation needs.\n"
             "See sayloom --help for what is available.\n";
    return 0;
}
