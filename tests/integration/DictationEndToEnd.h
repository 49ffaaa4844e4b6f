#pragma once

#include "AccessibleTree.h"
#include "FieldsApp.h"
#include "LoopbackHttpServer.h"
#include "OggOpusDecoding.h"
#include "PulseAudioTest.h"
#include "RealPartRequirement.h"
#include "SayloomProcess.h"
#include "X11Desktop.h"

#include "settings/AppSettings.h"
#include "support/JsonFileKeyValueStore.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace sayloom::testing {

inline constexpr int kBoundMs = 30'000;
inline const QString kAnswer = QStringLiteral("Hello from the loopback service.");

inline bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// The whole dictation with every real part: `sayloom` itself on the test's X server, its key
// monitor fed by xdotool, the sound server's null sink as the microphone, a file keychain holding
// an account, the service on a loopback server, and a Qt window whose field receives the text.
class DictationEndToEnd : public PulseAudioTest {
protected:
    void SetUp() override {
        PulseAudioTest::SetUp();
        if (::testing::Test::IsSkipped() || ::testing::Test::HasFailure())
            return;
        REQUIRE_REAL_PART(
            qEnvironmentVariableIsEmpty("DISPLAY")
                ? QStringLiteral("no X display: run inside scripts/lib/headless-session.sh")
                : QString());
        ASSERT_TRUE(server.isListening());
        server.setHandler([this](const LoopbackHttpServer::Request& request,
                                 LoopbackHttpServer::Responder& responder) {
            const QByteArray path = request.path();
            if (serviceDown && path == "/v1/warmup") {
                responder.dropConnection();
            } else if (path == "/v1/token") {
                responder.respond(200, SayloomProcess::tokenResponse());
            } else if (path == "/v1/transcribe") {
                bodies.push_back(decodeOggOpus(request.body));
                if (weeklyLimitSpent)
                    responder.respond(429, R"({"text":"","status":3})");
                else
                    responder.respond(200, R"({"text":")" + answer().toUtf8() + R"(","status":0})");
            } else if (path == "/v1/auth/me") {
                responder.respond(200, profile);
            } else {
                responder.respond(200, "{}");
            }
        });
        process.signIn();
        JsonFileKeyValueStore(process.settingsPath())
            .setBoolean(QLatin1String(AppSettings::kHasCompletedOnboardingKey),
                        completedOnboarding);

        // A spoken phrase, as a user would say it into the microphone.
        wav = folder.filePath(QStringLiteral("phrase.wav"));
        const int spoken = QProcess::execute(
            QStringLiteral("espeak-ng"),
            {QStringLiteral("-w"), wav, QStringLiteral("Please send the report by Friday.")});
        REQUIRE_REAL_PART(spoken == 0 ? QString()
                                      : QStringLiteral("espeak-ng (package espeak-ng) is missing"));

        fields = FieldsApp::start(FieldsApp::Toolkit::qt);
        ASSERT_TRUE(fields);
        ASSERT_TRUE(fields->focus(QStringLiteral("line")));

        sayloom.setProcessEnvironment(process.environment());
        sayloom.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = process.environment();
        environment.insert(QStringLiteral("SAYLOOM_LOG_LEVEL"), QStringLiteral("debug"));
        // Its windows join the accessibility bus, where the tests read them.
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        sayloom.setProcessEnvironment(environment);
        sayloom.start(QStringLiteral(SAYLOOM_EXECUTABLE), {});
        ASSERT_TRUE(waitForLog("Engine started")) << log.toStdString();
        // Let the start-up token fetch and warm-up settle.
        ASSERT_TRUE(QTest::qWaitFor([&] { return requestsTo("/v1/warmup") >= 1; }, kBoundMs));
        // A signed-in launch opens the settings, or the onboarding until it is done, and that
        // window takes the keyboard; the test's field gets it back unless the test is about it.
        const auto window =
            X11Desktop::waitForWindow(completedOnboarding ? QStringLiteral("^Sayloom Settings$")
                                                          : QStringLiteral("^Welcome to Sayloom$"),
                                      sayloom.processId());
        ASSERT_TRUE(window) << log.toStdString();
        firstWindow = *window;
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return X11Desktop::activeWindow() == firstWindow; }, kBoundMs));
        if (focusFieldAfterLaunch) {
            ASSERT_TRUE(fields->focus(QStringLiteral("line")));
        }
    }

    void TearDown() override {
        if (sayloom.state() != QProcess::NotRunning) {
            sayloom.terminate();
            EXPECT_TRUE(sayloom.waitForFinished(10'000)) << "SIGTERM ends sayloom";
            EXPECT_EQ(sayloom.exitCode(), 0);
        }
        PulseAudioTest::TearDown();
    }

    bool waitForLog(const char* fragment) {
        return QTest::qWaitFor(
            [&] {
                log += QString::fromUtf8(sayloom.readAll());
                return log.contains(QLatin1String(fragment));
            },
            kBoundMs);
    }

    int requestsTo(const QByteArray& path) const {
        int count = 0;
        for (const LoopbackHttpServer::Request& request : server.requests())
            count += request.path() == path ? 1 : 0;
        return count;
    }

    // Holds `key` (Right Ctrl, the default hotkey, unless told), lets the phrase play into the
    // microphone, and runs `whileHeld` before the key goes up.
    void dictate(const std::function<void()>& whileHeld = {},
                 const QString& key = QStringLiteral("Control_R")) {
        const qsizetype started = log.count(QLatin1String("Recording started"));
        ASSERT_TRUE(xdotool({QStringLiteral("keydown"), key}));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                log += QString::fromUtf8(sayloom.readAll());
                return log.count(QLatin1String("Recording started")) > started;
            },
            kBoundMs));
        auto player = play(QString::fromLatin1(kMicSink), wav);
        ASSERT_TRUE(waitUntilPlayed(*player));
        if (whileHeld)
            whileHeld();
        ASSERT_TRUE(xdotool({QStringLiteral("keyup"), key}));
    }

    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    QTemporaryDir folder;
    QString wav;
    std::unique_ptr<FieldsApp> fields;
    QProcess sayloom;
    QString log;
    std::vector<std::optional<DecodedOpus>> bodies;
    // The service's answer to the next transcription: numbered while soaking.
    QString answer() const {
        return numberedAnswers ? QStringLiteral("Soak dictation %1.").arg(bodies.size()) : kAnswer;
    }

    bool serviceDown = false;
    bool weeklyLimitSpent = false;
    bool numberedAnswers = false;
    // Set by a fixture before SetUp(): the account the service describes, what the launch finds,
    // and who keeps the keyboard.
    QByteArray profile = R"({"user":{"email":"kim@example.com"}})";
    bool completedOnboarding = true;
    bool focusFieldAfterLaunch = true;
    // The window Sayloom opened at launch.
    QString firstWindow;
};

} // namespace sayloom::testing
