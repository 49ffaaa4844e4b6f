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

struct Options {
    QString input;
    QString output;
};

std::optional<Options> parse(const QStringList& arguments, QString& problem) {
    Options options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if ((argument == QLatin1String("-o") || argument == QLatin1String("--output")) &&
            i + 1 < arguments.size()) {
            options.output = arguments[++i];
        } else if (argument.startsWith(QLatin1Char('-')) || !options.input.isEmpty()) {
            problem = QStringLiteral("unexpected argument \"%1\"").arg(argument);
            return std::nullopt;
        } else {
            options.input = argument;
        }
    }
    if (options.input.isEmpty() || options.output.isEmpty()) {
        problem = options.input.isEmpty() ? QStringLiteral("no INPUT file")
                                          : QStringLiteral("no OUTPUT.ogg (-o)");
        return std::nullopt;
    }
    return options;
}

int run(const QStringList& arguments) {
    QString problem;
    const std::optional<Options> options = parse(arguments, problem);
    if (!options)
        return 2;
    const QString& input = options->input;
    const QString& output = options->output;

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
    return Command{QStringLiteral("prepare"),
                   QStringLiteral("INPUT -o OUTPUT.ogg"),
                   QStringLiteral("Encode an audio file as a dictation would be sent."),
                   Command::Application::core,
                   checkWith(parse),
                   run};
}

} // namespace sayloom
