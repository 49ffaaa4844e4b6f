// Sayloom in a KDE Plasma session (scripts/lib/kwin-session.sh: headless KWin with XWayland and
// the desktop portal with KDE's backend). Sayloom's windows are X11 windows on XWayland; the
// hotkey comes from the desktop portal's global shortcuts, its keys pressed through KWin's fake
// input, so that they go through KWin's own shortcut handling; the application the user dictates
// into is a native Wayland client.

#include "WaylandDictation.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

// The kernel's key codes.
constexpr int kRightCtrl = 97;
constexpr int kC = 46;

constexpr int kBoundMs = 30'000;

// Why this process is not in a KDE session with XWayland; empty when it is.
QString kdeSessionMissing() {
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP") != QLatin1String("KDE") ||
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no KDE session with XWayland: run inside "
                              "scripts/lib/kwin-session.sh");
    return {};
}

class KwinDictation : public WaylandDictation {
protected:
    QString missingSession() const override { return kdeSessionMissing(); }

    void SetUp() override {
        WaylandDictation::SetUp();
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_TRUE(waitForLog("The desktop portal's global shortcuts hold the hotkey"))
            << log.toStdString();
    }

    // Runs the steps (+CODE, -CODE, milliseconds) on KWin's fake input; the process, started.
    static std::unique_ptr<QProcess> keys(const QStringList& steps) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(QStringLiteral(KWIN_FAKE_KEYS), steps);
        EXPECT_TRUE(process->waitForStarted(kBoundMs));
        return process;
    }

    static QString press(int code) { return QStringLiteral("+%1").arg(code); }
    static QString release(int code) { return QStringLiteral("-%1").arg(code); }
};

TEST_F(KwinDictation, HoldRightCtrlSpeakAndTheTextLandsInTheWaylandField) {
    const qsizetype started = recordingsStarted();
    auto held = keys({press(kRightCtrl), QStringLiteral("6000"), release(kRightCtrl)});
    ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
    speak();
    EXPECT_EQ(held->state(), QProcess::Running) << "the key was let go too early";
    ASSERT_TRUE(held->waitForFinished(kBoundMs));
    EXPECT_EQ(held->exitCode(), 0);
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), kAnswer, std::chrono::milliseconds(kBoundMs)),
        kAnswer)
        << log.toStdString();
}

// The portal ends a shortcut when another key joins it: Right Ctrl+C ends the hold there, and
// what was said is sent while Right Ctrl is still down.
TEST_F(KwinDictation, AChordEndsTheHoldAndSendsTheRecording) {
    const qsizetype started = recordingsStarted();
    auto held = keys({press(kRightCtrl), QStringLiteral("4000"), press(kC), release(kC),
                      QStringLiteral("3000"), release(kRightCtrl)});
    ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
    speak();
    ASSERT_TRUE(QTest::qWaitFor([&] { return transcriptionRequested(); }, kBoundMs))
        << log.toStdString();
    EXPECT_EQ(held->state(), QProcess::Running) << "sent only once Right Ctrl was let go";
    ASSERT_TRUE(held->waitForFinished(kBoundMs));
    EXPECT_EQ(recordingsStarted(), started + 1) << log.toStdString();
}

TEST(Kwin, TheDoctorNamesThePortalRoad) {
    REQUIRE_REAL_PART(kdeSessionMissing());
    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    const SayloomProcess::Outcome outcome = process.run({QStringLiteral("doctor")}, kBoundMs);
    const QString out = QString::fromUtf8(outcome.out);
    // No keyboard device can be read here: the portal's shortcuts are the only road.
    EXPECT_EQ(doctorLine(out, QStringLiteral("hotkey road")),
              std::make_pair(QStringLiteral("ok"), QStringLiteral("global shortcuts portal")))
        << out.toStdString();
}

} // namespace
