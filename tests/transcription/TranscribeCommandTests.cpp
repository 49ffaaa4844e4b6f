#include "LoopbackHttpServer.h"
#include "OggOpusDecoding.h"
#include "SayloomProcess.h"
#include "TestSignals.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sndfile.h>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;
using Request = LoopbackHttpServer::Request;
using Responder = LoopbackHttpServer::Responder;

namespace {

// `sayloom transcribe` as a process against the loopback service.
class TranscribeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isListening());
        server.setHandler([this](const Request& request, Responder& responder) {
            const QByteArray path = request.path();
            if (path == "/v1/token") {
                responder.respond(200, SayloomProcess::tokenResponse());
            } else if (path == "/v1/transcribe") {
                received = decodeOggOpus(request.body);
                responder.respond(answerStatus, answerBody, {{"X-Sayloom-Request-ID", "srv-77"}});
            } else {
                responder.respond(404);
            }
        });
        // Two seconds of speech-like sound as a WAV file.
        const std::vector<float> speech = speechLike(2.0);
        SF_INFO info{};
        info.samplerate = 16000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        wav = folder.filePath(QStringLiteral("speech.wav"));
        SNDFILE* file = sf_open(wav.toLocal8Bit().constData(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        sf_writef_float(file, speech.data(), static_cast<sf_count_t>(speech.size()));
        sf_close(file);
    }

    const Request* transcribeRequest() const {
        for (const Request& request : server.requests())
            if (request.path() == "/v1/transcribe")
                return &request;
        return nullptr;
    }

    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    QTemporaryDir folder;
    QString wav;
    std::optional<DecodedOpus> received;
    int answerStatus = 200;
    QByteArray answerBody = R"({"text":" Guten Tag. ","status":0,"wordsUsed":12})";
};

TEST_F(TranscribeCommand, SendsTheAudioWithTheOptionsAndPrintsTheTranscript) {
    process.signIn();
    const auto outcome =
        process.run({QStringLiteral("transcribe"), wav, QStringLiteral("--language"),
                     QStringLiteral("de"), QStringLiteral("--tone"), QStringLiteral("formal"),
                     QStringLiteral("--translate-to"), QStringLiteral("ht")});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, QByteArray("Guten Tag.\n"));
    const Request* request = transcribeRequest();
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->target,
              QByteArray("/v1/transcribe?language=de&outputLanguage=Haitian%20Creole&tone=formal"));
    EXPECT_EQ(request->header("Authorization"),
              QByteArray("Bearer ") + SayloomProcess::kRefreshedIdToken);
    ASSERT_TRUE(received.has_value());
    EXPECT_GE(received->samples.size(), 90u * 960) << "about two seconds of audio arrived";
}

TEST_F(TranscribeCommand, PrintsEveryFieldAsJson) {
    process.signIn();
    const auto outcome = process.run({QStringLiteral("transcribe"), wav, QStringLiteral("--json")});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(outcome.out).object();
    EXPECT_EQ(json.value(QStringLiteral("text")).toString(), QStringLiteral("Guten Tag."));
    EXPECT_EQ(json.value(QStringLiteral("status")).toInt(-1), 0);
    EXPECT_EQ(json.value(QStringLiteral("wordsUsed")).toInt(), 12);
    EXPECT_TRUE(json.value(QStringLiteral("wordLimit")).isNull());
    EXPECT_TRUE(json.value(QStringLiteral("originalText")).isNull());
    EXPECT_TRUE(json.value(QStringLiteral("translationError")).isNull());
    EXPECT_EQ(json.value(QStringLiteral("requestID")).toString(), QStringLiteral("srv-77"));
    EXPECT_EQ(json.value(QStringLiteral("serverTiming")).toString(), QStringLiteral("unavailable"));
    EXPECT_EQ(transcribeRequest()->target, QByteArray("/v1/transcribe"))
        << "stored defaults: no query";
}

TEST_F(TranscribeCommand, FailuresPrintTheErrorsDescription) {
    process.signIn();
    answerStatus = 429;
    answerBody = R"({"status":0})";
    const auto limited = process.run({QStringLiteral("transcribe"), wav});
    EXPECT_EQ(limited.exitCode, 1);
    EXPECT_TRUE(
        limited.err.contains("Transcription failed: Too many requests. Please wait a moment."))
        << limited.err.toStdString();
}

TEST_F(TranscribeCommand, RefusesBadOptionsAndMissingAccountsBeforeSendingAnything) {
    EXPECT_EQ(process
                  .run({QStringLiteral("transcribe"), wav, QStringLiteral("--language"),
                        QStringLiteral("klingon")})
                  .exitCode,
              2);
    EXPECT_EQ(process
                  .run({QStringLiteral("transcribe"), wav, QStringLiteral("--tone"),
                        QStringLiteral("loud")})
                  .exitCode,
              2);
    EXPECT_EQ(process
                  .run({QStringLiteral("transcribe"), wav, QStringLiteral("--translate-to"),
                        QStringLiteral("auto")})
                  .exitCode,
              2);
    const auto missing =
        process.run({QStringLiteral("transcribe"), folder.filePath(QStringLiteral("none.wav"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("cannot read")) << missing.err.toStdString();
    const auto notSignedIn = process.run({QStringLiteral("transcribe"), wav});
    EXPECT_EQ(notSignedIn.exitCode, 1);
    EXPECT_TRUE(notSignedIn.err.contains("not signed in"));
    EXPECT_TRUE(server.requests().isEmpty());
}

} // namespace
