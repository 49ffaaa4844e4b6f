#pragma once

#include "audio/PreparedAudio.h"
#include "engine/Transcriber.h"
#include "support/Logger.h"
#include "support/Scheduler.h"
#include "support/URLSession.h"

#include <QUrl>

#include <functional>

namespace sayloom {

class AppSettings;

// The transcriber the application ships with: one recording becomes one HTTPS POST of an Ogg
// Opus body to the service, with the user's language, spelling, translation target and tone as
// query items. A connectivity failure earns one resend after a second; a 401 earns one resend
// with a freshly refreshed identity token. Keeps no state between calls.
class CloudTranscriber final : public Transcriber {
public:
    using TokenProvider = std::function<QCoro::Task<QString>()>;
    using AudioPreparer = std::function<QCoro::Task<PreparedAudio>(std::vector<float>)>;

    struct Collaborators {
        URLSessionProtocol& session;
        AppSettings& settings;
        Scheduler& scheduler;
        QUrl transcribeURL;
        // A valid identity token (cached or refreshed).
        TokenProvider tokenProvider;
        // A token refreshed now, whatever the cache holds (after the service answered 401).
        TokenProvider forceTokenRefresh;
        // Trims, normalises and encodes off the main thread; defaults to a worker thread.
        AudioPreparer prepareAudio = {};
        // Fresh request identifiers; defaults to random UUIDs.
        std::function<QString()> makeRequestID = {};
    };

    explicit CloudTranscriber(Collaborators collaborators);

    QCoro::Task<void> prepare() override;
    QCoro::Task<TranscribeResult> transcribe(std::vector<float> samples,
                                             std::optional<QString> translationTarget) override;

    // Runs prepareAudio on a worker thread and resumes the caller on its own thread.
    static AudioPreparer workerPreparer();
    // A random UUID in its canonical 36-character form, lower-cased.
    static QString randomRequestID();

private:
    struct Exchange;

    QCoro::Task<QString> fetchToken();
    URLRequest buildTranscribeRequest(const std::optional<QString>& translationTarget,
                                      const QString& token, const QByteArray& body);
    QCoro::Task<TranscribeResult> send(Exchange& exchange);
    QCoro::Task<TranscribeResult> handleFirstResponse(Exchange& exchange, URLSessionResult result);
    QCoro::Task<TranscribeResult> sendWithRefreshedToken(Exchange& exchange);
    TranscribeResult handleRefreshedResponse(const Exchange& exchange,
                                             const URLSessionResult& result);

    Collaborators c_;
    Logger log_{QStringLiteral("transcriber")};
};

} // namespace sayloom
