#include "FakeURLSession.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "auth/FirebaseAuthError.h"
#include "engine/TranscriberError.h"
#include "settings/AppSettings.h"
#include "support/JSONDecodingError.h"
#include "support/URLError.h"
#include "transcription/CloudTranscriber.h"

#include <QUuid>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

namespace {

const QString kTranscriber = QStringLiteral("transcriber");
const QUrl kTranscribeURL(QStringLiteral("https://api.test/v1/transcribe"));

class CloudTranscriberTest : public ::testing::Test {
protected:
    CloudTranscriberTest()
        : settings(store)
        , transcriber(CloudTranscriber::Collaborators{
              session, settings, scheduler, kTranscribeURL,
              [this]() -> QCoro::Task<QString> {
                  ++tokenRequests;
                  if (tokenError)
                      std::rethrow_exception(tokenError);
                  co_return QStringLiteral("token-1");
              },
              [this]() -> QCoro::Task<QString> {
                  ++forcedRefreshes;
                  if (refreshError)
                      std::rethrow_exception(refreshError);
                  co_return QStringLiteral("token-2");
              },
              [this](std::vector<float> samples) -> QCoro::Task<PreparedAudio> {
                  preparedSamples = samples.size();
                  if (prepareError)
                      std::rethrow_exception(prepareError);
                  co_return PreparedAudio{QByteArray("OggS-body"), 24000};
              },
              [this] { return QStringLiteral("req-%1").arg(++requestCounter); }}) {}

    using Probe = TaskProbe<TranscribeResult>;

    Probe transcribe(std::optional<QString> target = std::nullopt) {
        return Probe::start(transcriber.transcribe(std::vector<float>(32000, 0.1f), target));
    }

    template <typename E>
    static QString transcriberMessage(const Probe& probe) {
        auto error = probe.errorAs<E>();
        return error ? error->localizedDescription() : QStringLiteral("<no such error>");
    }

    LogCapture logs;
    VirtualScheduler scheduler;
    MemoryKeyValueStore store;
    AppSettings settings;
    FakeURLSession session;
    int tokenRequests = 0;
    int forcedRefreshes = 0;
    int requestCounter = 0;
    std::size_t preparedSamples = 0;
    std::exception_ptr tokenError;
    std::exception_ptr refreshError;
    std::exception_ptr prepareError;
    CloudTranscriber transcriber;
};

TEST_F(CloudTranscriberTest, TheRequestCarriesTokenAudioAndAFreshIdentifier) {
    session.respond(200, R"({"text":"hi","status":0})");
    session.respond(200, R"({"text":"again","status":0})");
    const Probe first = transcribe();
    const Probe second = transcribe();
    ASSERT_TRUE(first.done() && second.done());
    ASSERT_EQ(session.requests.size(), 2u);
    const URLRequest& request = session.requests[0];
    EXPECT_EQ(request.url, kTranscribeURL) << "automatic language, neutral tone: no query at all";
    EXPECT_FALSE(request.url.toString().contains(QLatin1Char('?')));
    EXPECT_EQ(request.httpMethod, QByteArray("POST"));
    EXPECT_EQ(request.value("Authorization"), QByteArray("Bearer token-1"));
    EXPECT_EQ(request.value("Content-Type"), QByteArray("audio/ogg"));
    EXPECT_EQ(request.value("X-Sayloom-Request-ID"), QByteArray("req-1"));
    EXPECT_EQ(session.requests[1].value("X-Sayloom-Request-ID"), QByteArray("req-2"));
    EXPECT_EQ(request.timeoutInterval, 30s);
    EXPECT_EQ(request.httpBody, QByteArray("OggS-body"));
    EXPECT_EQ(preparedSamples, 32000u);
    EXPECT_TRUE(
        logs.contains(kTranscriber, LogLevel::info,
                      QStringLiteral("Transcribing 1.5s audio (raw 32000 samples, sent 24000)")));
    EXPECT_TRUE(logs.contains(kTranscriber, LogLevel::info,
                              QStringLiteral("Translation: translateTo=nil")));
}

TEST_F(CloudTranscriberTest, QueryItemsFollowTheSettingsInOrderAndAreEncoded) {
    settings.setSpeechLanguageKey(QStringLiteral("en_uk"));
    settings.setTonePreset(TonePreset::formal);
    session.respond(200, R"({"status":0})");
    (void)transcribe(QStringLiteral("Haitian Créole & co"));
    ASSERT_EQ(session.requests.size(), 1u);
    EXPECT_EQ(session.requests[0].url.query(QUrl::FullyEncoded),
              QStringLiteral("language=en&spelling=en_uk&outputLanguage=Haitian%20Cr%C3%A9ole%20%"
                             "26%20co&tone=formal"));
    EXPECT_TRUE(logs.contains(kTranscriber, LogLevel::info,
                              QStringLiteral("Translation: translateTo=Haitian Créole & co")));

    settings.setSpeechLanguageKey(QStringLiteral("fr"));
    settings.setTonePreset(TonePreset::neutral);
    session.respond(200, R"({"status":0})");
    (void)transcribe();
    EXPECT_EQ(session.requests[1].url.query(QUrl::FullyEncoded), QStringLiteral("language=fr"));
}

TEST_F(CloudTranscriberTest, ResponsesMapOntoResults) {
    session.respond(200, R"({"status":0})");
    session.respond(200, "{\"text\":\"  hi \\n\",\"status\":3,\"wordsUsed\":12,\"wordLimit\":2000}",
                    {{"X-Sayloom-Request-ID", "srv-9"}, {"Server-Timing", "stt;dur=120"}});
    session.respond(200,
                    R"({"text":"x","status":7,"originalText":" hola ","translationError":null})");

    const Probe onlyStatus = transcribe();
    EXPECT_EQ(onlyStatus.value().text, QString());
    EXPECT_EQ(onlyStatus.value().status, UsageStatus::ok);
    EXPECT_EQ(onlyStatus.value().requestID, QStringLiteral("req-1")) << "our own identifier";
    EXPECT_EQ(onlyStatus.value().serverTiming, QStringLiteral("unavailable"));

    const Probe full = transcribe();
    EXPECT_EQ(full.value().text, QStringLiteral("hi"));
    EXPECT_EQ(full.value().status, UsageStatus::hard);
    EXPECT_EQ(full.value().wordsUsed, 12);
    EXPECT_EQ(full.value().wordLimit, 2000);
    EXPECT_EQ(full.value().requestID, QStringLiteral("srv-9"));
    EXPECT_EQ(full.value().serverTiming, QStringLiteral("stt;dur=120"));
    EXPECT_TRUE(logs.contains(kTranscriber, LogLevel::info,
                              QStringLiteral("Transcribed request=srv-9 chars=2 network=0.000s "
                                             "prep=0.0 seconds total=0.0 seconds "
                                             "server=stt;dur=120 status=3")));

    const Probe unknownStatus = transcribe();
    EXPECT_EQ(unknownStatus.value().status, UsageStatus::ok);
    EXPECT_EQ(unknownStatus.value().originalText, QStringLiteral("hola"));
    EXPECT_EQ(unknownStatus.value().translationError, std::nullopt);
}

TEST_F(CloudTranscriberTest, AMissingTranslationIsLoggedAndTheResultStillReturned) {
    session.respond(200, R"({"text":"hello","status":0,"translationError":"unsupported"})");
    const Probe probe = transcribe(QStringLiteral("Spanish"));
    EXPECT_EQ(probe.value().translationError, QStringLiteral("unsupported"));
    EXPECT_TRUE(logs.contains(kTranscriber, LogLevel::error,
                              QStringLiteral("Translation not produced: unsupported")));
}

TEST_F(CloudTranscriberTest, UndecodableSuccessBodiesFailWithTheDecodingError) {
    for (const char* body :
         {R"({"text":"no status"})", R"({"status":"0"})", R"({"status":0,"text":5})",
          R"({"status":1.5})", "<html>oops</html>"}) {
        session.respond(200, body);
        const Probe probe = transcribe();
        EXPECT_TRUE(probe.errorAs<JSONDecodingError>().has_value()) << body;
    }
}

TEST_F(CloudTranscriberTest, ErrorStatusesBecomeTheirMessages) {
    struct Case {
        int status;
        QByteArray body;
        QString message;
        QString logLine; // empty: nothing logged at error level
    };
    const Case cases[] = {
        {429, R"({"status":0})", "Too many requests. Please wait a moment.", ""},
        {429, "<html>slow down</html>", "Too many requests. Please wait a moment.", ""},
        {503, R"({"error":{"code":"STT_AUDIO_REJECTED","message":"bad audio"}})",
         "That recording could not be processed. Try dictating again.",
         "Got 503 from the speech provider (STT_AUDIO_REJECTED): bad audio"},
        {502, R"({"error":{"code":"STT_AUDIO_REJECTED"}})",
         "That recording could not be processed. Try dictating again.", ""},
        {504, "", "Speech service timed out. Please try again.",
         "Got 504 from the speech provider (no code): "},
        {502, R"({"error":{"code":"UPSTREAM","message":"m"}})",
         "Speech service is busy. Please try again in a moment.", ""},
        {503, "plain", "Speech service is busy. Please try again in a moment.", ""},
        {500, "oops", "Transcription error (500): oops", "Proxy error 500: oops"},
        {500, R"({"error":{"message":"Backend down"}})", "Transcription error (500): Backend down",
         "Proxy error 500: Backend down"},
        {403, R"({"error":{}})", "Transcription error (403): {\"error\":{}}", ""},
        {400, QByteArray("\xff\xfe", 2), "Transcription error (400): Unknown error", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        logs.clear();
        session.respond(c.status, c.body);
        const Probe probe = transcribe();
        auto error = probe.errorAs<TranscriberError>();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->kind(), TranscriberError::Kind::transcriptionFailed);
        EXPECT_EQ(error->payload(), c.message);
        if (!c.logLine.isEmpty()) {
            EXPECT_TRUE(logs.contains(kTranscriber, LogLevel::error, c.logLine))
                << logs.messages(kTranscriber).join(QLatin1Char('|')).toStdString();
        }
        if (c.status == 429) {
            EXPECT_TRUE(logs.messages(kTranscriber, LogLevel::error).isEmpty());
        }
    }
    EXPECT_EQ(forcedRefreshes, 0);
}

TEST_F(CloudTranscriberTest, TheWeeklyLimitOnA429IsTheHardLimitError) {
    session.respond(429, R"({"status":3,"wordsUsed":2000,"wordLimit":2000})");
    const Probe probe = transcribe();
    auto error = probe.errorAs<TranscriberError>();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->kind(), TranscriberError::Kind::hardLimitReached);
}

TEST_F(CloudTranscriberTest, AConnectivityFailureIsRetriedOnceAfterASecond) {
    session.failWith(URLError::notConnectedToInternet);
    session.respond(200, R"({"text":"back","status":0})");
    const Probe probe = transcribe();
    EXPECT_FALSE(probe.done());
    EXPECT_TRUE(
        logs.contains(kTranscriber, LogLevel::error,
                      QStringLiteral("Network error on attempt 1 (-1009), retrying in 1s...")));
    scheduler.advance(999ms);
    EXPECT_EQ(session.requests.size(), 1u);
    scheduler.advance(1ms);
    ASSERT_TRUE(probe.done());
    EXPECT_EQ(probe.value().text, QStringLiteral("back"));
    ASSERT_EQ(session.requests.size(), 2u);
    EXPECT_EQ(session.requests[1].value("X-Sayloom-Request-ID"), QByteArray("req-1"))
        << "same request";
    EXPECT_EQ(logs.countContaining(QStringLiteral("network=1.000s")), 1) << "the pause counts";
}

TEST_F(CloudTranscriberTest, OnlyConnectivityFailuresAreRetriedAndOnlyOnce) {
    session.failWith(URLError::timedOut);
    const Probe timedOut = transcribe();
    ASSERT_TRUE(timedOut.done());
    EXPECT_EQ(timedOut.errorAs<URLError>()->code(), URLError::timedOut) << "thrown unchanged";
    EXPECT_EQ(session.requests.size(), 1u);

    session.failWith(URLError::cannotConnectToHost);
    session.failWith(URLError::cannotFindHost);
    const Probe twice = transcribe();
    scheduler.advance(1s);
    ASSERT_TRUE(twice.done());
    EXPECT_EQ(transcriberMessage<TranscriberError>(twice),
              QStringLiteral("Transcription failed: Network error after retry: A server with the "
                             "specified hostname could not be found."));
    EXPECT_EQ(session.requests.size(), 3u);
}

TEST_F(CloudTranscriberTest, A401RefreshesTheTokenAndSendsOnceMore) {
    session.respond(401, R"({"error":{"message":"expired"}})");
    session.respond(200, R"({"text":"fresh","status":0})", {{"X-Sayloom-Request-ID", "srv-2"}});
    const Probe probe = transcribe();
    ASSERT_TRUE(probe.done());
    EXPECT_EQ(probe.value().text, QStringLiteral("fresh"));
    EXPECT_EQ(probe.value().requestID, QStringLiteral("srv-2"));
    EXPECT_EQ(probe.value().serverTiming, std::nullopt) << "no Server-Timing after a refresh";
    EXPECT_EQ(forcedRefreshes, 1);
    ASSERT_EQ(session.requests.size(), 2u);
    EXPECT_EQ(session.requests[1].value("Authorization"), QByteArray("Bearer token-2"));
    EXPECT_EQ(session.requests[1].value("X-Sayloom-Request-ID"), QByteArray("req-1"));
    EXPECT_TRUE(logs.contains(
        kTranscriber, LogLevel::info,
        QStringLiteral("Got 401 from proxy, forcing token refresh and retrying once.")));
    EXPECT_TRUE(logs.contains(kTranscriber, LogLevel::info,
                              QStringLiteral("Transcribed after 401 retry (status: 0)")));
    EXPECT_EQ(logs.countContaining(QStringLiteral("Transcribed request=")), 0);
}

TEST_F(CloudTranscriberTest, TheRefreshedSendHasItsOwnOutcomes) {
    struct Case {
        std::function<void()> arrange;
        QString message;
    };
    const std::vector<Case> cases = {
        {[&] { session.respond(401); }, "Session expired. Please log in again."},
        {[&] { session.respond(429, R"({"status":3})"); },
         "Transcription error (429): {\"status\":3}"},
        {[&] { session.respond(503, R"({"error":{"code":"STT_AUDIO_REJECTED"}})"); },
         "Transcription error (503): {\"error\":{\"code\":\"STT_AUDIO_REJECTED\"}}"},
        {[&] { session.failWith(URLError::networkConnectionLost); },
         "Network error on retry: The network connection was lost."},
        {[&] {
             refreshError = std::make_exception_ptr(FirebaseAuthError::refreshTemporarilyFailed());
         },
         "Network issue refreshing session. Please try again."},
        {[&] { refreshError = std::make_exception_ptr(FirebaseAuthError::sessionExpired()); },
         "Session expired. Please log in again."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        refreshError = nullptr;
        session.respond(401);
        c.arrange();
        const Probe probe = transcribe();
        ASSERT_TRUE(probe.done());
        auto error = probe.errorAs<TranscriberError>();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->payload(), c.message);
    }
}

TEST_F(CloudTranscriberTest, A401AfterANetworkRetryStillGetsItsRefresh) {
    session.failWith(URLError::dnsLookupFailed);
    session.respond(401);
    session.respond(200, R"({"text":"third time","status":0})");
    const Probe probe = transcribe();
    scheduler.advance(1s);
    ASSERT_TRUE(probe.done());
    EXPECT_EQ(probe.value().text, QStringLiteral("third time"));
    EXPECT_EQ(session.requests.size(), 3u);
    EXPECT_EQ(forcedRefreshes, 1);
}

TEST_F(CloudTranscriberTest, TokenAndPreparationFailuresComeThroughAsTranscriptionFailures) {
    tokenError = std::make_exception_ptr(FirebaseAuthError::notLoggedIn());
    const Probe notSignedIn = transcribe();
    EXPECT_EQ(transcriberMessage<TranscriberError>(notSignedIn),
              QStringLiteral("Transcription failed: ") +
                  FirebaseAuthError::notLoggedIn().localizedDescription());
    tokenError = std::make_exception_ptr(std::runtime_error("keyring locked"));
    const Probe other = transcribe();
    EXPECT_EQ(transcriberMessage<TranscriberError>(other),
              QStringLiteral("Transcription failed: Authentication error: keyring locked"));
    EXPECT_TRUE(session.requests.empty());

    tokenError = nullptr;
    prepareError = std::make_exception_ptr(TranscriberError::transcriptionFailed(
        QStringLiteral("No Opus frames produced – audio too short")));
    const Probe tooShort = transcribe();
    EXPECT_EQ(transcriberMessage<TranscriberError>(tooShort),
              QStringLiteral("Transcription failed: No Opus frames produced – audio too short"));
    EXPECT_TRUE(session.requests.empty());
}

TEST_F(CloudTranscriberTest, PrepareFetchesATokenAndReportsItsFailure) {
    auto ok = TaskProbe<void>::start(transcriber.prepare());
    ASSERT_TRUE(ok.done());
    EXPECT_FALSE(ok.failed());
    EXPECT_EQ(tokenRequests, 1);
    tokenError = std::make_exception_ptr(FirebaseAuthError::sessionExpired());
    auto failedPrepare = TaskProbe<void>::start(transcriber.prepare());
    EXPECT_TRUE(failedPrepare.errorAs<TranscriberError>().has_value());
}

TEST(CloudTranscriberIdentifiers, AreLowerCaseCanonicalUUIDs) {
    const QString id = CloudTranscriber::randomRequestID();
    EXPECT_EQ(id.size(), 36);
    EXPECT_EQ(id, id.toLower());
    EXPECT_FALSE(QUuid::fromString(id).isNull());
    EXPECT_NE(id, CloudTranscriber::randomRequestID());
}

} // namespace
