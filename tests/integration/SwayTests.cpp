// Sayloom in a sway session (scripts/lib/sway-session.sh: headless sway with XWayland and a
// virtual keyboard). Sayloom's windows are X11 windows on XWayland; the hotkey comes from the key
// bindings Sayloom makes in sway over its IPC socket, pressed on a virtual keyboard of wtype; the
// application the user dictates into is a native Wayland client.

#include "SwaySession.h"
#include "WaylandClipboard.h"
#include "WaylandDictation.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

constexpr int kBoundMs = 30'000;

// Why this process is not in a sway session with XWayland and wtype; empty when it is.
QString swaySessionMissing() {
    if (qEnvironmentVariableIsEmpty("SWAYSOCK") || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no sway session with XWayland: run inside "
                              "scripts/lib/sway-session.sh");
    if (QStandardPaths::findExecutable(QStringLiteral("wtype")).isEmpty())
        return QStringLiteral("wtype (package wtype) is missing");
    return {};
}

// Dictation in the sway session, the hotkey bound in sway.
class SwayDictation : public WaylandDictation {
protected:
    QString missingSession() const override { return swaySessionMissing(); }

    void SetUp() override {
        WaylandDictation::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        EXPECT_TRUE(log.contains(QLatin1String("Binding the hotkey through sway's IPC socket")))
            << log.toStdString();
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
        const qsizetype started = recordingsStarted();
        auto keys =
            type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-s"),
                  QString::number(holdMs), QStringLiteral("-p"), QStringLiteral("Control_R")});
        ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
        whileHeld();
        EXPECT_EQ(keys->state(), QProcess::Running) << "the key was let go too early";
        ASSERT_TRUE(keys->waitForFinished(holdMs + kBoundMs));
    }

    // Whether sway still holds a binding of `keys` ("--no-repeat Control_R"): unbinding one
    // that is gone fails.
    static bool bound(const char* keys) {
        return !swaymsg({QStringLiteral("unbindsym %1").arg(QLatin1String(keys))})
                    .contains(QLatin1String("Could not find binding"));
    }
};

TEST_F(SwayDictation, HoldRightCtrlSpeakAndTheTextLandsInTheWaylandField) {
    holdRightCtrl(6000, [&] {
        speak();
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
    const qsizetype started = recordingsStarted();
    auto keys = type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-M"),
                      QStringLiteral("ctrl"), QStringLiteral("-s"), QStringLiteral("500"),
                      QStringLiteral("-k"), QStringLiteral("c"), QStringLiteral("-m"),
                      QStringLiteral("ctrl"), QStringLiteral("-p"), QStringLiteral("Control_R")});
    ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
    ASSERT_TRUE(keys->waitForFinished(kBoundMs));
    speak();
    log += QString::fromUtf8(sayloom.readAll());
    EXPECT_EQ(log.count(QLatin1String("Transcribing")), 0) << log.toStdString();

    keys = type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-s"),
                 QStringLiteral("100"), QStringLiteral("-p"), QStringLiteral("Control_R")});
    ASSERT_TRUE(keys->waitForFinished(kBoundMs));
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), kAnswer, std::chrono::milliseconds(kBoundMs)),
        kAnswer)
        << log.toStdString();
    EXPECT_EQ(recordingsStarted(), started + 1) << log.toStdString();
}

TEST_F(SwayDictation, EscapeDuringAHoldCancelsAndNothingIsSent) {
    const qsizetype started = recordingsStarted();
    auto keys = type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-s"),
                      QStringLiteral("1500"), QStringLiteral("-k"), QStringLiteral("Escape"),
                      QStringLiteral("-s"), QStringLiteral("500"), QStringLiteral("-p"),
                      QStringLiteral("Control_R")});
    ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
    ASSERT_TRUE(waitForLog("Recording cancelled by user")) << log.toStdString();
    ASSERT_TRUE(keys->waitForFinished(kBoundMs));
    // Nothing is sent: a request would come within a second of the release.
    QTest::qWait(1000);
    EXPECT_FALSE(transcriptionRequested());
    EXPECT_EQ(fields->text(QStringLiteral("entry")), QString());
}

TEST_F(SwayDictation, TheBindingsAreGoneOnceSayloomEnds) {
    sayloom.terminate();
    ASSERT_TRUE(sayloom.waitForFinished(10'000));
    log += QString::fromUtf8(sayloom.readAll());
    EXPECT_FALSE(log.contains(QLatin1String("did not confirm the removal"))) << log.toStdString();
    EXPECT_FALSE(bound("--no-repeat Control_R"));
    EXPECT_FALSE(bound("--release Control_R"));
}

// A Sayloom killed during a hold leaves its bindings in sway, Space's among them, which swallow
// the key in every application: the next start removes them.
TEST_F(SwayDictation, TheNextStartRemovesWhatAKilledSayloomLeftBound) {
    const qsizetype started = recordingsStarted();
    auto keys = type({QStringLiteral("-P"), QStringLiteral("Control_R"), QStringLiteral("-s"),
                      QStringLiteral("2000"), QStringLiteral("-p"), QStringLiteral("Control_R")});
    ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
    sayloom.kill();
    ASSERT_TRUE(sayloom.waitForFinished(10'000));
    ASSERT_TRUE(keys->waitForFinished(kBoundMs));

    // Ended while it starts.
    startSayloom();
    sayloom.terminate();
    ASSERT_TRUE(sayloom.waitForFinished(10'000));
    log += QString::fromUtf8(sayloom.readAll());
    EXPECT_FALSE(bound("--no-repeat Control+space")) << log.toStdString();
    EXPECT_FALSE(bound("--no-repeat Control_R")) << log.toStdString();
}

// A field off the accessibility bus gets the text by paste, through the virtual keyboard and the
// compositor's clipboard, and the clipboard holds what it held before.
class SwayDictationOffTheBus : public SwayDictation {
protected:
    bool fieldOnAccessibilityBus() const override { return false; }
    bool fieldHasFocus() const override {
        return swayFocusedProcess() == fields->processIdentifier();
    }
};

TEST_F(SwayDictationOffTheBus, TheTextIsPastedAndTheClipboardComesBack) {
    const QString format = QStringLiteral("text/plain;charset=utf-8");
    wlCopy(format, "copied before");
    holdRightCtrl(6000, [&] { speak(); });
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), kAnswer, std::chrono::milliseconds(kBoundMs)),
        kAnswer)
        << log.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return wlPaste(format) == "copied before"; }, kBoundMs))
        << log.toStdString();
}

TEST(Sway, TheDoctorNamesTheSwayRoad) {
    REQUIRE_REAL_PART(swaySessionMissing());
    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    const SayloomProcess::Outcome outcome = process.run({QStringLiteral("doctor")}, kBoundMs);
    const QString out = QString::fromUtf8(outcome.out);
    // No keyboard device can be read here: sway's bindings are the only road.
    EXPECT_EQ(doctorLine(out, QStringLiteral("hotkey road")),
              std::make_pair(QStringLiteral("ok"), QStringLiteral("sway key bindings")))
        << out.toStdString();
    EXPECT_EQ(doctorLine(out, QStringLiteral("keys")).first, QStringLiteral("ok"))
        << out.toStdString();
}

} // namespace
