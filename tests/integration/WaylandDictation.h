#pragma once

#include "AccessibleTree.h"
#include "FieldsApp.h"
#include "LoopbackHttpServer.h"
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

#include <algorithm>
#include <utility>
#include <vector>

namespace sayloom::testing {

// Dictation in a Wayland session of the test's own (scripts/lib/wayland-session.sh,
// sway-session.sh): Sayloom signed in, its windows on XWayland, the service on a loopback
// server, a spoken phrase for the sound server's null sink (the microphone), and a native Wayland
// GTK field with the keyboard, which receives the text over the accessibility bus. A test
// fixture names its session and how the hotkey reaches Sayloom there.
class WaylandDictation : public PulseAudioTest {
protected:
    static constexpr int kBoundMs = 30'000;
    static inline const QString kAnswer = QStringLiteral("Hello from the loopback service.");
    static constexpr const char* kRecordingStarted = "[engine] info: Recording started";

    // Why this process is not in the session the test needs; empty when it is.
    virtual QString missingSession() const = 0;
    // Whether the field the text goes to is on the accessibility bus (else it gets it by paste).
    virtual bool fieldOnAccessibilityBus() const { return true; }
    // What Sayloom's environment needs besides the test's.
    virtual std::vector<std::pair<QString, QString>> sayloomEnvironment() const { return {}; }

    void SetUp() override {
        PulseAudioTest::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        REQUIRE_REAL_PART(missingSession());
        ASSERT_TRUE(server.isListening());
        server.setHandler([](const LoopbackHttpServer::Request& request,
                             LoopbackHttpServer::Responder& responder) {
            if (request.path() == "/v1/token")
                responder.respond(200, SayloomProcess::tokenResponse());
            else if (request.path() == "/v1/transcribe")
                responder.respond(200, R"({"text":")" + kAnswer.toUtf8() + R"(","status":0})");
            else if (request.path() == "/v1/auth/me")
                responder.respond(200, R"({"user":{"email":"kim@example.com"}})");
            else
                responder.respond(200, "{}");
        });
        process.signIn();
        JsonFileKeyValueStore(process.settingsPath())
            .setBoolean(QLatin1String(AppSettings::kHasCompletedOnboardingKey), true);
        wav = folder.filePath(QStringLiteral("phrase.wav"));
        REQUIRE_REAL_PART(
            QProcess::execute(QStringLiteral("espeak-ng"),
                              {QStringLiteral("-w"), wav,
                               QStringLiteral("Please send the report by Friday.")}) == 0
                ? QString()
                : QStringLiteral("espeak-ng (package espeak-ng) is missing"));

        startSayloom();
        if (HasFailure())
            return;
        // A signed-in launch opens the settings, which take the keyboard; then the user opens
        // the application to dictate into (the compositor gives the keyboard to a new window,
        // not to one that asks for it back).
        ASSERT_TRUE(X11Desktop::waitForWindow(QStringLiteral("^Sayloom Settings$"),
                                              sayloom.processId(), kBoundMs))
            << log.toStdString();
        qputenv("GDK_BACKEND", "wayland");
        fields = FieldsApp::start(FieldsApp::Toolkit::gtk, fieldOnAccessibilityBus());
        qunsetenv("GDK_BACKEND");
        ASSERT_TRUE(fields);
        ASSERT_EQ(fields->command(QStringLiteral("focus entry")), QStringLiteral("ok"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return fieldHasFocus(); }, kBoundMs))
            << AccessibleTree::dump(fields->processIdentifier()).toStdString();
    }

    // Starts Sayloom and waits until it observes the hotkey.
    void startSayloom() {
        QProcessEnvironment environment = process.environment();
        for (const auto& [name, value] : sayloomEnvironment())
            environment.insert(name, value);
        environment.insert(QStringLiteral("SAYLOOM_LOG_LEVEL"), QStringLiteral("debug"));
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        sayloom.setProcessEnvironment(environment);
        sayloom.setProcessChannelMode(QProcess::MergedChannels);
        const qsizetype started = log.count(QLatin1String("Global key monitor started"));
        sayloom.start(QStringLiteral(SAYLOOM_EXECUTABLE), {});
        ASSERT_TRUE(waitForLog("Global key monitor started", started)) << log.toStdString();
    }

    void TearDown() override {
        if (sayloom.state() != QProcess::NotRunning) {
            sayloom.terminate();
            EXPECT_TRUE(sayloom.waitForFinished(10'000));
        }
        PulseAudioTest::TearDown();
    }

    // Waits until the log holds `fragment` more than `seen` times.
    bool waitForLog(const char* fragment, qsizetype seen = 0) {
        return QTest::qWaitFor(
            [&] {
                log += QString::fromUtf8(sayloom.readAll());
                return log.count(QLatin1String(fragment)) > seen;
            },
            kBoundMs);
    }

    qsizetype recordingsStarted() {
        log += QString::fromUtf8(sayloom.readAll());
        return log.count(QLatin1String(kRecordingStarted));
    }

    // Whether the field has the keyboard, as the accessibility bus tells.
    virtual bool fieldHasFocus() const {
        const auto focused = AccessibleTree::focused(fields->processIdentifier());
        return focused && focused->role == QLatin1String("text");
    }

    bool transcriptionRequested() const {
        const auto requests = server.requests();
        return std::any_of(requests.begin(), requests.end(),
                           [](const auto& request) { return request.path() == "/v1/transcribe"; });
    }

    // Plays the phrase into the microphone and waits until it has been played.
    void speak() {
        auto player = play(QString::fromLatin1(kMicSink), wav);
        ASSERT_TRUE(waitUntilPlayed(*player));
    }

    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    QTemporaryDir folder;
    QString wav;
    std::unique_ptr<FieldsApp> fields;
    QProcess sayloom;
    QString log;
};

// The doctor's verdict ("ok", "!!" or "--") and detail for one part ("session", "hotkey road").
inline std::pair<QString, QString> doctorLine(const QString& out, const QString& part) {
    for (const QString& line : out.split(QLatin1Char('\n')))
        if (line.mid(4, 16).trimmed() == part)
            return {line.left(2), line.mid(20)};
    return {};
}

} // namespace sayloom::testing
