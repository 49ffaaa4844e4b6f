#include "cli/TranscribeCommand.h"

#include "cli/AccountServices.h"
#include "cli/AudioFileReader.h"
#include "cli/CommandOutput.h"
#include "cli/OverlayKeyValueStore.h"
#include "settings/AppSettings.h"
#include "settings/SpeechLanguage.h"
#include "support/LocalizedError.h"
#include "support/URLError.h"
#include "transcription/APIConfig.h"
#include "transcription/CloudTranscriber.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace sayloom {

namespace {

struct Options {
    QString input;
    std::optional<QString> language;
    std::optional<TonePreset> tone;
    std::optional<QString> translateTo;
    bool json = false;
};

bool isSpeechLanguageKey(const QString& key) {
    for (const SpeechLanguage& language : speech_languages::speechList())
        if (language.key() == key)
            return true;
    return false;
}

bool isOutputLanguageKey(const QString& key) {
    for (const SpeechLanguage& language : speech_languages::outputList())
        if (language.key() == key)
            return true;
    return key != QLatin1String("auto") && isSpeechLanguageKey(key);
}

// Nothing (with `problem` saying why) when the arguments are not a valid use of the command.
std::optional<Options> parse(const QStringList& arguments, QString& problem) {
    Options options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool takesValue = argument == QLatin1String("--language") ||
                                argument == QLatin1String("--tone") ||
                                argument == QLatin1String("--translate-to");
        if (takesValue && i + 1 >= arguments.size()) {
            problem = QStringLiteral("%1 needs a value").arg(argument);
            return std::nullopt;
        }
        if (argument == QLatin1String("--language")) {
            const QString key = arguments[++i];
            if (!isSpeechLanguageKey(key)) {
                problem = QStringLiteral("unknown speech language \"%1\" (use auto, en_us, en_uk, "
                                         "de, fr, …)")
                              .arg(key);
                return std::nullopt;
            }
            options.language = key;
        } else if (argument == QLatin1String("--tone")) {
            const QString raw = arguments[++i];
            options.tone = tonePresetFromRawValue(raw);
            if (!options.tone) {
                problem = QStringLiteral("unknown tone \"%1\" (use neutral, formal, casual or "
                                         "bullets)")
                              .arg(raw);
                return std::nullopt;
            }
        } else if (argument == QLatin1String("--translate-to")) {
            const QString key = arguments[++i];
            if (!isOutputLanguageKey(key)) {
                problem =
                    QStringLiteral("unknown output language \"%1\" (use es, fr, de, …)").arg(key);
                return std::nullopt;
            }
            options.translateTo = key;
        } else if (argument == QLatin1String("--json")) {
            options.json = true;
        } else if (argument.startsWith(QLatin1Char('-')) || !options.input.isEmpty()) {
            problem = QStringLiteral("unexpected argument \"%1\"").arg(argument);
            return std::nullopt;
        } else {
            options.input = argument;
        }
    }
    if (options.input.isEmpty()) {
        problem = QStringLiteral("no INPUT file");
        return std::nullopt;
    }
    return options;
}

QJsonValue optional(const std::optional<QString>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue optional(const std::optional<std::int64_t>& value) {
    return value ? QJsonValue(static_cast<qint64>(*value)) : QJsonValue(QJsonValue::Null);
}

QByteArray asJson(const TranscribeResult& result) {
    const QJsonObject object{
        {QStringLiteral("text"), result.text},
        {QStringLiteral("status"), rawValue(result.status)},
        {QStringLiteral("originalText"), optional(result.originalText)},
        {QStringLiteral("translationError"), optional(result.translationError)},
        {QStringLiteral("wordsUsed"), optional(result.wordsUsed)},
        {QStringLiteral("wordLimit"), optional(result.wordLimit)},
        {QStringLiteral("requestID"), optional(result.requestID)},
        {QStringLiteral("serverTiming"), optional(result.serverTiming)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QString describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const URLError& e) {
        return QStringLiteral("network error %1: %2").arg(e.code()).arg(e.localizedDescription());
    } catch (...) {
        return localizedDescription(error);
    }
}

QCoro::Task<int> transcribe(AccountServices& services, const Options& options,
                            std::vector<float> samples) {
    FirebaseAuthManager& auth = services.auth();
    co_await auth.waitUntilRestored();
    if (!auth.isLoggedIn()) {
        printError(QStringLiteral("not signed in; open Sayloom and sign in first"));
        co_return 1;
    }

    // The stored settings, with this run's options on top; nothing is written back.
    OverlayKeyValueStore overlay(services.defaults());
    AppSettings settings(overlay);
    if (options.language)
        settings.setSpeechLanguageKey(*options.language);
    if (options.tone)
        settings.setTonePreset(*options.tone);
    std::optional<QString> target;
    if (options.translateTo) {
        settings.setTranslationEnabled(true);
        settings.setOutputLanguageKey(*options.translateTo);
        target = settings.translationTargetName();
    }

    CloudTranscriber transcriber({services.session(), settings, services.scheduler(),
                                  APIConfig::endpoints().transcribeURL(),
                                  [&auth]() { return auth.getIdToken(); },
                                  [&auth]() {
                                      auth.forgetCachedToken();
                                      return auth.getIdToken();
                                  }});
    int status = 0;
    try {
        const TranscribeResult result = co_await transcriber.transcribe(std::move(samples), target);
        QTextStream out(stdout);
        if (options.json)
            out << asJson(result);
        else
            out << result.text << '\n';
    } catch (...) {
        printError(describe(std::current_exception()));
        status = 1;
    }
    // A refreshed token must reach the keychain before the process ends.
    co_await auth.flushCredentialWrites();
    co_return status;
}

int run(const QStringList& arguments) {
    QString problem;
    const std::optional<Options> options = parse(arguments, problem);
    if (!options)
        return 2;
    if (const auto error = AccountServices::configurationError()) {
        printError(*error);
        return 1;
    }
    QString error;
    std::optional<std::vector<float>> samples = readRecordingFormat(options->input, error);
    if (!samples) {
        printError(error);
        return 1;
    }
    AccountServices services;
    return QCoro::waitFor(transcribe(services, *options, std::move(*samples)));
}

} // namespace

Command transcribeCommand() {
    return Command{
        QStringLiteral("transcribe"),
        QStringLiteral("INPUT [--language KEY] [--tone TONE] [--translate-to KEY] [--json]"),
        QStringLiteral("Send an audio file to the service as a dictation and print the text."),
        Command::Application::core,
        checkWith(parse),
        run};
}

} // namespace sayloom
