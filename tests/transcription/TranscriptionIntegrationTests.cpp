#include "LoopbackHttpServer.h"
#include "MemoryKeyValueStore.h"
#include "OggOpusDecoding.h"
#include "TaskProbe.h"
#include "TestSignals.h"

#include "settings/AppSettings.h"
#include "support/LocalizedError.h"
#include "support/QtScheduler.h"
#include "support/QtURLSession.h"
#include "transcription/CloudTranscriber.h"

#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

// The whole client against a real HTTP exchange: audio prepared on a worker thread, sent through
// QNetworkAccessManager, and decoded again by the server side of the test.
TEST(TranscriptionIntegrationTest, TheServiceReceivesTheSpokenAudioAndItsAnswerComesBack) {
    LoopbackHttpServer server;
    ASSERT_TRUE(server.isListening());
    std::optional<DecodedOpus> received;
    server.setHandler([&](const LoopbackHttpServer::Request& request,
                          LoopbackHttpServer::Responder& responder) {
        received = decodeOggOpus(request.body);
        responder.respond(200, R"({"text":" Hello there. ","status":0,"wordsUsed":42})",
                          {{"Content-Type", "application/json"}, {"Server-Timing", "stt;dur=80"}});
    });

    MemoryKeyValueStore store;
    AppSettings settings(store);
    settings.setSpeechLanguageKey(QStringLiteral("de"));
    QtURLSession session;
    QtScheduler scheduler;
    Qt::HANDLE preparedOn = nullptr;
    const CloudTranscriber::AudioPreparer worker = CloudTranscriber::workerPreparer();
    CloudTranscriber transcriber(
        {session, settings, scheduler, server.url(QStringLiteral("/v1/transcribe")),
         []() -> QCoro::Task<QString> { co_return QStringLiteral("tok"); },
         []() -> QCoro::Task<QString> { co_return QStringLiteral("tok2"); },
         [&](std::vector<float> samples) -> QCoro::Task<PreparedAudio> {
             preparedOn = QThread::currentThreadId();
             co_return co_await worker(std::move(samples));
         }});

    const std::vector<float> speech = speechLike(2.0);
    auto probe = TaskProbe<TranscribeResult>::start(transcriber.transcribe(speech, std::nullopt));
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.done(); }, 20'000));
    ASSERT_FALSE(probe.failed()) << localizedDescription(probe.error()).toStdString();
    EXPECT_EQ(probe.value().text, QStringLiteral("Hello there."));
    EXPECT_EQ(probe.value().wordsUsed, 42);
    EXPECT_EQ(probe.value().serverTiming, QStringLiteral("stt;dur=80"));
    EXPECT_EQ(preparedOn, QThread::currentThreadId())
        << "the preparer is called on the caller's thread";

    ASSERT_EQ(server.requests().size(), 1);
    const auto& request = server.requests().front();
    EXPECT_EQ(request.target, QByteArray("/v1/transcribe?language=de"));
    EXPECT_EQ(request.header("Authorization"), QByteArray("Bearer tok"));
    EXPECT_EQ(request.header("Content-Type"), QByteArray("audio/ogg"));

    // Every 20 ms packet decodes to 960 samples at 48 kHz; the stream covers the recording.
    ASSERT_TRUE(received.has_value()) << "the body is an Ogg Opus stream";
    const std::size_t packets = received->samples.size() / 960;
    EXPECT_EQ(received->samples.size() % 960, 0u);
    EXPECT_EQ(received->declaredLength, static_cast<long long>(received->samples.size()));
    EXPECT_GE(packets * 320, speech.size() - 320) << "no more than the trailing quiet is trimmed";
    EXPECT_LE(packets * 320, speech.size() + 320);
    const BestLag best = bestLag(speech, received->samples);
    EXPECT_NEAR(static_cast<double>(best.lag), 312.0, 3.0);
    EXPECT_GT(best.correlation, 0.9);
}

} // namespace
