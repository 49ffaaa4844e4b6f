// Sayloom in a sway session (scripts/lib/sway-session.sh: headless sway with XWayland and a
// virtual keyboard). Sayloom's windows are X11 windows on XWayland; the hotkey comes from the key
// bindings Sayloom makes in sway over its IPC socket, pressed on a virtual keyboard of wtype; the
// application the user dictates into is a native Wayland client.

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
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

constexpr int kBoundMs = 30'000;

// Why this process is not in a sway session with XWayland and wtype; empty when it is.
QString missingSession() {
    if (qEnvironmentVariableIsEmpty("SWAYSOCK") || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no sway session with XWayland: run inside "
                              "scripts/lib/sway-session.sh");
    if (QStandardPaths::findExecutable(QStringLiteral("wtype")).isEmpty())
        return QStringLiteral("wtype (package wtype) is missing");
    return {};
}

// Runs swaymsg with `arguments`; its output.
QString swaymsg(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("swaymsg"), arguments);
    process.waitForFinished(kBoundMs);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Dictation in the sway session: the hotkey bound in sway, the sound server's null sink as the
// microphone, and a native Wayland GTK field that receives the text over the accessibility bus.
class SwayDictation : public PulseAudioTest {
protected:
    static inline const QString kAnswer = QStringLiteral("Hello from the loopback service.");
    static constexpr const char* kRecordingStarted = "[engine] info: Recording started";

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

        QProcessEnvironment environment = process.environment();
        environment.insert(QStringLiteral("SAYLOOM_LOG_LEVEL"), QStringLiteral("debug"));
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        sayloom.setProcessEnvironment(environment);
        sayloom.setProcessChannelMode(QProcess::MergedChannels);
        sayloom.start(QStringLiteral(SAYLOOM_EXECUTABLE), {});
        ASSERT_TRUE(waitForLog("Engine started")) << log.toStdString();
        ASSERT_TRUE(waitForLog("Binding the hotkey through sway's IPC socket"))
            << log.toStdString();
        ASSERT_TRUE(X11Desktop::waitForWindow(QStringLiteral("^Sayloom Settings$"),
                                              sayloom.processId(), kBoundMs))
            << log.toStdString();
        // The user opens the application to dictate into: sway gives a new window the keyboard.
        qputenv("GDK_BACKEND", "wayland");
        fields = FieldsApp::start(FieldsApp::Toolkit::gtk);
        qunsetenv("GDK_BACKEND");
        ASSERT_TRUE(fields);
        ASSERT_EQ(fields->command(QStringLiteral("focus entry")), QStringLiteral("ok"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return fieldHasFocus(); }, kBoundMs))
            << AccessibleTree::dump(fields->processIdentifier()).toStdString();
    }

    void TearDown() override {
        if (sayloom.state() != QProcess::NotRunning) {
            sayloom.terminate();
            EXPECT_TRUE(sayloom.waitForFinished(10'000));
        }
        PulseAudioTest::TearDown();
    }

    bool waitForLog(const char* fragment, qsizetype seen = 0) {
        return QTest::qWaitFor(
            [&] {
                log += QString::fromUtf8(sayloom.readAll());
                return log.count(QLatin1String(fragment)) > seen;
            },
            kBoundMs);
    }

    bool fieldHasFocus() const {
        const auto focused = AccessibleTree::focused(fields->processIdentifier());
        return focused && focused->role == QLatin1String("text");
    }

    // Types `keys` (wtype's arguments) on a virtual keyboard of its own; the process, started.
    static std::unique_ptr<QProcess> type(const QStringList& keys) {
        auto wtype = std::make_unique<QProcess>();
        wtype->start(QStringLiteral("wtype"), keys);
        EXPECT_TRUE(wtype->waitForStarted(kBoundMs));
        return wtype;
    }

    // Holds Right Ctrl for `holdMs`, running `whileHeld` once a recording runs; returns after
    // the release.
    void holdRightCtrl(int holdMs, const std::function<void()>& whileHeld) {
        const qsizetype started = log.count(QLatin1String(kRecordingStarted));
        auto keys =
            type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-s"),
                  QString::number(holdMs), QStringLiteral("-p"), QStringLiteral("Control_R")});
        ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
        whileHeld();
        EXPECT_EQ(keys->state(), QProcess::Running) << "the key was let go too early";
        ASSERT_TRUE(keys->waitForFinished(holdMs + kBoundMs));
    }

    // Whether sway still holds a binding of Right Ctrl for its press or release: unbinding one
    // that is gone fails.
    static bool rightCtrlBound(const char* flag) {
        return !swaymsg({QStringLiteral("unbindsym %1 Control_R").arg(QLatin1String(flag))})
                    .contains(QLatin1String("Could not find binding"));
    }

    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    QTemporaryDir folder;
    QString wav;
    std::unique_ptr<FieldsApp> fields;
    QProcess sayloom;
    QString log;
};

TEST_F(SwayDictation, HoldRightCtrlSpeakAndTheTextLandsInTheWaylandField) {
    holdRightCtrl(6000, [&] {
        auto player = play(QString::fromLatin1(kMicSink), wav);
        ASSERT_TRUE(waitUntilPlayed(*player));
        EXPECT_TRUE(fieldHasFocus());
    });
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), kAnswer, std::chrono::milliseconds(kBoundMs)),
        kAnswer)
        << log.toStdString();
    EXPECT_TRUE(fieldHasFocus());
}

// Sway never reports the release of a hotkey that made a chord: the recording goes on after
// Right Ctrl+C, and the next press of Right Ctrl ends it rather than starting another.
TEST_F(SwayDictation, AfterAChordTheNextPressOfTheHotkeyEndsTheRecording) {
    const qsizetype started = log.count(QLatin1String(kRecordingStarted));
    auto keys = type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-M"),
                      QStringLiteral("ctrl"), QStringLiteral("-s"), QStringLiteral("500"),
                      QStringLiteral("-k"), QStringLiteral("c"), QStringLiteral("-m"),
                      QStringLiteral("ctrl"), QStringLiteral("-p"), QStringLiteral("Control_R")});
    ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
    ASSERT_TRUE(keys->waitForFinished(kBoundMs));
    auto player = play(QString::fromLatin1(kMicSink), wav);
    ASSERT_TRUE(waitUntilPlayed(*player));
    log += QString::fromUtf8(sayloom.readAll());
    EXPECT_EQ(log.count(QLatin1String("Transcribing")), 0) << log.toStdString();

    keys = type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-s"),
                 QStringLiteral("100"), QStringLiteral("-p"), QStringLiteral("Control_R")});
    ASSERT_TRUE(keys->waitForFinished(kBoundMs));
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), kAnswer, std::chrono::milliseconds(kBoundMs)),
        kAnswer)
        << log.toStdString();
    log += QString::fromUtf8(sayloom.readAll());
    EXPECT_EQ(log.count(QLatin1String(kRecordingStarted)), started + 1) << log.toStdString();
}

TEST_F(SwayDictation, EscapeDuringAHoldCancelsAndNothingIsSent) {
    const qsizetype started = log.count(QLatin1String(kRecordingStarted));
    auto keys = type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-s"),
                      QStringLiteral("1500"), QStringLiteral("-k"), QStringLiteral("Escape"),
                      QStringLiteral("-s"), QStringLiteral("500"), QStringLiteral("-p"),
                      QStringLiteral("Control_R")});
    ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
    ASSERT_TRUE(waitForLog("Recording cancelled by user")) << log.toStdString();
    ASSERT_TRUE(keys->waitForFinished(kBoundMs));
    // Nothing is sent: a request would come within a second of the release.
    QTest::qWait(1000);
    EXPECT_FALSE(
        std::any_of(server.requests().begin(), server.requests().end(),
                    [](const auto& request) { return request.path() == "/v1/transcribe"; }));
    EXPECT_EQ(fields->text(QStringLiteral("entry")), QString());
}

TEST_F(SwayDictation, TheBindingsAreGoneOnceSayloomEnds) {
    sayloom.terminate();
    ASSERT_TRUE(sayloom.waitForFinished(10'000));
    log += QString::fromUtf8(sayloom.readAll());
    EXPECT_FALSE(log.contains(QLatin1String("did not confirm the removal"))) << log.toStdString();
    EXPECT_FALSE(rightCtrlBound("--no-repeat"));
    EXPECT_FALSE(rightCtrlBound("--release"));
}

// The doctor's verdict ("ok", "!!" or "--") and detail for one part ("hotkey road").
std::pair<QString, QString> doctorLine(const QString& out, const QString& part) {
    for (const QString& line : out.split(QLatin1Char('\n')))
        if (line.mid(4, 16).trimmed() == part)
            return {line.left(2), line.mid(20)};
    return {};
}

TEST(Sway, TheDoctorNamesTheSwayRoad) {
    REQUIRE_REAL_PART(missingSession());
    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    const SayloomProcess::Outcome outcome = process.run({QStringLiteral("doctor")}, kBoundMs);
    const QString out = QString::fromUtf8(outcome.out);
    // No keyboard device can be read here: sway's bindings are the only road.
    EXPECT_EQ(doctorLine(out, QStringLiteral("hotkey road")),
              std::make_pair(QStringLiteral("ok"), QStringLiteral("sway key bindings")))
        << out.toStdString();
}

} // namespace
