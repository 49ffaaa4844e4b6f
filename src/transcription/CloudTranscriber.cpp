#include "transcription/CloudTranscriber.h"

#include "audio/AudioPreparation.h"
#include "auth/FirebaseAuthError.h"
#include "engine/TranscriberError.h"
#include "settings/AppSettings.h"
#include "support/TextMetrics.h"
#include "support/URLError.h"
#include "support/UrlPolicy.h"
#include "transcription/ProxyResponse.h"

#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

#include <variant>

using namespace std::chrono_literals;

namespace sayloom {

namespace {

constexpr double kSampleRate = 16000.0;
constexpr auto kRequestTimeout = 30s;
constexpr auto kRetryPause = 1s;

TranscribeResult makeResult(const ProxyResponse& response, std::optional<QString> requestID,
                            std::optional<QString> serverTiming) {
    TranscribeResult result;
    result.text = response.text.trimmed();
    result.status = usageStatusFromRawValue(response.status).value_or(UsageStatus::ok);
    if (response.originalText)
        result.originalText = response.originalText->trimmed();
    result.translationError = response.translationError;
    result.wordsUsed = response.wordsUsed;
    result.wordLimit = response.wordLimit;
    result.requestID = std::move(requestID);
    result.serverTiming = std::move(serverTiming);
    return result;
}

TranscriberError failed(const QString& message) {
    return TranscriberError::transcriptionFailed(message);
}

QString providerErrorMessage(const std::optional<QString>& code, int status) {
    if (code == QLatin1String("STT_AUDIO_REJECTED"))
        return QStringLiteral("That recording could not be processed. Try dictating again.");
    if (status == 504)
        return QStringLiteral("Speech service timed out. Please try again.");
    return QStringLiteral("Speech service is busy. Please try again in a moment.");
}

bool isRetryableNetworkError(int code) {
    return code == URLError::notConnectedToInternet || code == URLError::cannotFindHost ||
           code == URLError::cannotConnectToHost || code == URLError::dnsLookupFailed;
}

} // namespace

// One transcription's request and its timing, shared by the send steps.
struct CloudTranscriber::Exchange {
    URLRequest request;
    QString requestID;
    MonotonicInstant started;
    Duration preparation{};
    WallInstant firstSend;
};

CloudTranscriber::CloudTranscriber(Collaborators collaborators) : c_(std::move(collaborators)) {
    if (!c_.prepareAudio)
        c_.prepareAudio = workerPreparer();
    if (!c_.makeRequestID)
        c_.makeRequestID = &CloudTranscriber::randomRequestID;
}

CloudTranscriber::AudioPreparer CloudTranscriber::workerPreparer() {
    return [](std::vector<float> samples) -> QCoro::Task<PreparedAudio> {
        using Outcome = std::variant<PreparedAudio, std::exception_ptr>;
        QFuture<Outcome> future = QtConcurrent::run([samples = std::move(samples)]() -> Outcome {
            try {
                return prepareAudio(samples);
            } catch (...) {
                return std::current_exception();
            }
        });
        Outcome outcome = co_await future;
        if (auto* error = std::get_if<std::exception_ptr>(&outcome))
            std::rethrow_exception(*error);
        co_return std::get<PreparedAudio>(std::move(outcome));
    };
}

QString CloudTranscriber::randomRequestID() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}

QCoro::Task<void> CloudTranscriber::prepare() { (void)co_await fetchToken(); }

QCoro::Task<QString> CloudTranscriber::fetchToken() {
    try {
        co_return co_await c_.tokenProvider();
    } catch (const FirebaseAuthError& error) {
        throw failed(error.localizedDescription());
    } catch (const std::exception& error) {
        throw failed(QStringLiteral("Authentication error: ") + localizedDescription(error));
    }
}

QCoro::Task<TranscribeResult>
CloudTranscriber::transcribe(std::vector<float> samples, std::optional<QString> translationTarget) {
    Exchange exchange;
    exchange.started = c_.scheduler.monotonicNow();
    const std::size_t rawCount = samples.size();

    // The token and the audio are got ready at the same time; the token is awaited first.
    QCoro::Task<QString> tokenTask = fetchToken();
    QCoro::Task<PreparedAudio> audioTask = c_.prepareAudio(std::move(samples));
    const QString token = co_await tokenTask;
    PreparedAudio audio = co_await audioTask;
    exchange.preparation = c_.scheduler.monotonicNow() - exchange.started;

    log_.info("Transcribing %ss audio (raw %ld samples, sent %ld)",
              QString::asprintf("%.1f", static_cast<double>(audio.sentSampleCount) / kSampleRate),
              rawCount, audio.sentSampleCount);
    log_.debug("OGG Opus: %ld bytes", audio.data.size());

    exchange.request = buildTranscribeRequest(translationTarget, token, audio.data);
    exchange.requestID = QString::fromLatin1(*exchange.request.value("X-Sayloom-Request-ID"));
    co_return co_await send(exchange);
}

URLRequest CloudTranscriber::buildTranscribeRequest(const std::optional<QString>& translationTarget,
                                                    const QString& token, const QByteArray& body) {
    QUrl url = c_.transcribeURL;
    if (!url.isValid() || url.scheme().isEmpty())
        throw failed(QStringLiteral("Failed to construct API URL components"));

    const SpeechLanguage language = c_.settings.speechLanguage();
    QList<QPair<QString, QString>> items;
    if (language.code != QLatin1String("auto"))
        items.append({QStringLiteral("language"), language.code});
    if (language.spelling)
        items.append({QStringLiteral("spelling"), *language.spelling});
    log_.info("Translation: translateTo=%s", translationTarget.value_or(QStringLiteral("nil")));
    if (translationTarget)
        items.append({QStringLiteral("outputLanguage"), *translationTarget});
    if (const auto tone = serviceValue(c_.settings.tonePreset()))
        items.append({QStringLiteral("tone"), *tone});
    if (!items.isEmpty())
        url.setQuery(encodeQuery(items), QUrl::StrictMode);
    if (!url.isValid())
        throw failed(QStringLiteral("Failed to construct API URL"));

    URLRequest request;
    request.url = url;
    request.timeoutInterval = 60s;
    request.httpMethod = "POST";
    request.setValue("Bearer " + token.toUtf8(), "Authorization");
    request.setValue("audio/ogg", "Content-Type");
    request.setValue(c_.makeRequestID().toLatin1(), "X-Sayloom-Request-ID");
    request.timeoutInterval = kRequestTimeout;
    request.httpBody = body;
    return request;
}

QCoro::Task<TranscribeResult> CloudTranscriber::send(Exchange& exchange) {
    exchange.firstSend = c_.scheduler.wallNow();
    std::optional<URLSessionResult> result;
    int retryCode = 0;
    try {
        result = co_await c_.session.data(exchange.request);
    } catch (const URLError& error) {
        if (!isRetryableNetworkError(error.code()))
            throw;
        retryCode = error.code();
    }
    if (!result) {
        log_.error("Network error on attempt 1 (%ld), retrying in 1s...", retryCode);
        // A cut-short pause changes nothing: the resend happens anyway.
        (void)co_await c_.scheduler.sleep(kRetryPause);
        try {
            result = co_await c_.session.data(exchange.request);
        } catch (const std::exception& error) {
            throw failed(QStringLiteral("Network error after retry: ") +
                         localizedDescription(error));
        }
    }
    co_return co_await handleFirstResponse(exchange, std::move(*result));
}

QCoro::Task<TranscribeResult> CloudTranscriber::handleFirstResponse(Exchange& exchange,
                                                                    URLSessionResult result) {
    const WallInstant arrival = c_.scheduler.wallNow();
    const int status = result.response.statusCode;
    const QString requestID =
        result.response.value("X-Sayloom-Request-ID").value_or(exchange.requestID);
    const QString serverTiming =
        result.response.value("Server-Timing").value_or(QStringLiteral("unavailable"));

    if (status == 200) {
        const ProxyResponse response = ProxyResponse::decode(result.data);
        TranscribeResult transcript = makeResult(response, requestID, serverTiming);
        const Duration total = c_.scheduler.monotonicNow() - exchange.started;
        log_.info("Transcribed request=%{public}s chars=%ld network=%ss prep=%{public}s "
                  "total=%{public}s server=%{public}s status=%ld",
                  requestID, characterCount(transcript.text),
                  QString::asprintf("%.3f", Seconds(arrival - exchange.firstSend).count()),
                  durationText(exchange.preparation), durationText(total), serverTiming,
                  response.status);
        if (response.translationError)
            log_.error("Translation not produced: %{public}s", *response.translationError);
        co_return transcript;
    }

    if (status == 429) {
        std::optional<ProxyResponse> response;
        try {
            response = ProxyResponse::decode(result.data);
        } catch (const std::exception&) {
        }
        if (response && response->status == rawValue(UsageStatus::hard))
            throw TranscriberError::hardLimitReached();
        throw failed(QStringLiteral("Too many requests. Please wait a moment."));
    }

    const ProxyErrorDetail detail = ProxyErrorDetail::decode(result.data);
    if (status == 401) {
        log_.info("Got 401 from proxy, forcing token refresh and retrying once.");
        co_return co_await sendWithRefreshedToken(exchange);
    }
    if (status == 502 || status == 503 || status == 504) {
        log_.error("Got %ld from the speech provider (%s): %s", status,
                   detail.code.value_or(QStringLiteral("no code")), detail.message);
        throw failed(providerErrorMessage(detail.code, status));
    }
    log_.error("Proxy error %ld: %s", status, detail.message);
    throw failed(QStringLiteral("Transcription error (%1): %2").arg(status).arg(detail.message));
}

QCoro::Task<TranscribeResult> CloudTranscriber::sendWithRefreshedToken(Exchange& exchange) {
    QString token;
    try {
        token = co_await c_.forceTokenRefresh();
    } catch (const FirebaseAuthError& error) {
        if (error.code() == FirebaseAuthError::Code::refreshTemporarilyFailed)
            throw failed(QStringLiteral("Network issue refreshing session. Please try again."));
        throw failed(QStringLiteral("Session expired. Please log in again."));
    } catch (const std::exception&) {
        throw failed(QStringLiteral("Session expired. Please log in again."));
    }

    URLRequest request = exchange.request;
    request.setValue("Bearer " + token.toUtf8(), "Authorization");
    std::optional<URLSessionResult> result;
    try {
        result = co_await c_.session.data(std::move(request));
    } catch (const std::exception& error) {
        throw failed(QStringLiteral("Network error on retry: ") + localizedDescription(error));
    }
    co_return handleRefreshedResponse(exchange, *result);
}

TranscribeResult CloudTranscriber::handleRefreshedResponse(const Exchange& exchange,
                                                           const URLSessionResult& result) {
    const int status = result.response.statusCode;
    if (status == 200) {
        const ProxyResponse response = ProxyResponse::decode(result.data);
        log_.info("Transcribed after 401 retry (status: %ld)", response.status);
        return makeResult(
            response, result.response.value("X-Sayloom-Request-ID").value_or(exchange.requestID),
            result.response.value("Server-Timing"));
    }
    if (status == 401)
        throw failed(QStringLiteral("Session expired. Please log in again."));
    throw failed(
        QStringLiteral("Transcription error (%1): %2").arg(status).arg(proxyBodyText(result.data)));
}

} // namespace sayloom
