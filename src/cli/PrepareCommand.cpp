#include "cli/PrepareCommand.h"

#include "audio/AudioPreparation.h"
#include "cli/AudioFileReader.h"
#include "cli/CommandOutput.h"
#include "support/LocalizedError.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <memory>
#include <optional>
#include <vector>

namespace sayloom {

namespace {

const char* const kUsage = "usage: sayloom prepare INPUT -o OUTPUT.ogg";

int run(const QStringList& arguments) {
    QString input;
    QString output;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if ((argument == QLatin1String("-o") || argument == QLatin1String("--output")) &&
            i + 1 < arguments.size()) {
            output = arguments[++i];
        } else if (argument.startsWith(QLatin1Char('-')) || !input.isEmpty()) {
            printError(QStringLiteral("unexpected argument \"%1\"; %2").arg(argument, kUsage));
            return 2;
        } else {
            input = argument;
        }
    }
    if (input.isEmpty() || output.isEmpty()) {
        printError(QString::fromLatin1(kUsage));
        return 2;
    }

    QString error;
    const std::optional<std::vector<float>> samples = readRecordingFormat(input, error);
    if (!samples) {
        printError(error);
        return 1;
    }
    PreparedAudio prepared;
    try {
        prepared = prepareAudio(*samples);
    } catch (const std::exception& failure) {
        printError(localizedDescription(failure));
        return 1;
    }

    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(prepared.data) != prepared.data.size() ||
        !file.commit()) {
        printError(QStringLiteral("cannot write %1: %2").arg(output, file.errorString()));
        return 1;
    }
    QTextStream(stdout) << "raw=" << samples->size() << " sent=" << prepared.sentSampleCount
                        << " bytes=" << prepared.data.size() << "\n";
    return 0;
}

} // namespace

Command prepareCommand() {
    return Command{QStringLiteral("prepare"), QStringLiteral("INPUT -o OUTPUT.ogg"),
                   QStringLiteral("Encode an audio file as a dictation would be sent."),
                   Command::Application::core, run};
}

} // namespace sayloom
