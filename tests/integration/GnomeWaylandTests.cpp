// Sayloom in a GNOME Wayland session (scripts/lib/wayland-session.sh: headless mutter with
// XWayland). Sayloom's windows are X11 windows on XWayland; the application the user dictates into
// is a native Wayland client.

#include "MockKeyboards.h"
#include "WaylandDictation.h"

#include "platform/linux/SessionRoads.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

constexpr int kBoundMs = 30'000;

// Keys from outside, as a keyboard plugged into the session sends them: a remote desktop session
// of mutter's, which lives as long as this process's bus connection.
class MutterKeyboard {
public:
    static constexpr const char* kService = "org.gnome.Mutter.RemoteDesktop";

    // What went wrong, or nothing once the keyboard can send keys.
    QString open() {
        QDBusInterface desktop(QString::fromLatin1(kService),
                               QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                               QString::fromLatin1(kService));
        const QDBusReply<QDBusObjectPath> created = desktop.call(QStringLiteral("CreateSession"));
        if (!created.isValid())
            return QStringLiteral("no remote desktop session: ") + created.error().message();
        session_ =
            std::make_unique<QDBusInterface>(QString::fromLatin1(kService), created.value().path(),
                                             QLatin1String(kService) + ".Session");
        const QDBusMessage started = session_->call(QStringLiteral("Start"));
        if (started.type() == QDBusMessage::ErrorMessage)
            return QStringLiteral("the remote desktop session did not start: ") +
                   started.errorMessage();
        // The session makes its keyboard with the first key it sends: a lone Shift, so that no
        // typed key is lost to that.
        return press(kLeftShift) ? QString() : QStringLiteral("the keyboard sends no keys");
    }

    ~MutterKeyboard() {
        if (session_)
            session_->call(QStringLiteral("Stop"));
    }

    // Presses and releases one key (an evdev code).
    bool press(unsigned code) {
        for (const bool pressed : {true, false}) {
            const QDBusMessage reply =
                session_->call(QStringLiteral("NotifyKeyboardKeycode"), code, pressed);
            if (reply.type() == QDBusMessage::ErrorMessage)
                return false;
        }
        return true;
    }

    static constexpr unsigned kLeftShift = 42;
    static constexpr unsigned kA = 30;
    static constexpr unsigned kB = 48;

private:
    std::unique_ptr<QDBusInterface> session_;
};

// Why this process is not in a GNOME Wayland session with XWayland; empty when it is.
QString gnomeSessionMissing() {
    return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                   qEnvironmentVariable("XDG_CURRENT_DESKTOP") != QLatin1String("GNOME") ||
                   qEnvironmentVariableIsEmpty("DISPLAY")
               ? QStringLiteral("no GNOME Wayland session with XWayland: run inside "
                                "scripts/lib/wayland-session.sh")
               : QString();
}

class GnomeWayland : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_REAL_PART(gnomeSessionMissing());
        ASSERT_TRUE(server.isListening());
        server.setHandler([](const LoopbackHttpServer::Request& request,
                             LoopbackHttpServer::Responder& responder) {
            if (request.path() == "/v1/token")
                responder.respond(200, SayloomProcess::tokenResponse());
            else
                responder.respond(200, "{}");
        });
        // Qt applications join the accessibility bus only when asked.
        process.setEnvironmentValue(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"),
                                    QStringLiteral("1"));
    }

    void TearDown() override {
        if (sayloom.state() != QProcess::NotRunning) {
            sayloom.terminate();
            EXPECT_TRUE(sayloom.waitForFinished(10'000));
        }
    }

    // Starts Sayloom signed out and waits for its sign-in window on XWayland.
    std::optional<QString> startSignedOut() {
        sayloom.setProcessEnvironment(process.environment());
        sayloom.setProcessChannelMode(QProcess::MergedChannels);
        sayloom.start(QStringLiteral(SAYLOOM_EXECUTABLE), {});
        if (!QTest::qWaitFor(
                [&] {
                    log += sayloom.readAll();
                    return log.contains("Application launched");
                },
                kBoundMs))
            return std::nullopt;
        return X11Desktop::waitForWindow(QStringLiteral("^Sayloom$"), sayloom.processId(),
                                         kBoundMs);
    }

    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    QProcess sayloom;
    QByteArray log;
};

TEST_F(GnomeWayland, TheDoctorNamesTheSessionAndTheStepThatGivesItAHotkey) {
    const SayloomProcess::Outcome outcome = process.run({QStringLiteral("doctor")}, kBoundMs);
    const QString out = QString::fromUtf8(outcome.out);
    using Line = std::pair<QString, QString>;
    EXPECT_EQ(doctorLine(out, QStringLiteral("session")),
              Line("ok", QStringLiteral("Wayland (GNOME); Sayloom's windows use XWayland on %1")
                             .arg(qEnvironmentVariable("DISPLAY"))))
        << out.toStdString();
    // GNOME offers no hotkey road of its own: without readable keyboards dictation cannot work,
    // and the doctor says how to mend that.
    const bool readable = linux_desktop::SessionEnvironment::current().keyboardsReadable;
    const auto [hotkeyVerdict, hotkey] = doctorLine(out, QStringLiteral("hotkey road"));
    EXPECT_EQ(hotkeyVerdict, readable ? QStringLiteral("ok") : QStringLiteral("!!"))
        << out.toStdString();
    EXPECT_EQ(hotkey.contains(QLatin1String(linux_desktop::kInputGroupStep)), !readable)
        << out.toStdString();
    EXPECT_EQ(doctorLine(out, QStringLiteral("insertion")),
              Line("ok", QStringLiteral("accessibility bus, GNOME remote desktop")))
        << out.toStdString();
    EXPECT_EQ(outcome.exitCode, 1) << outcome.err.toStdString();
}

TEST_F(GnomeWayland, SayloomShowsItsSignInWindowThroughXWaylandAndKeepsRunning) {
    const auto login = startSignedOut();
    ASSERT_TRUE(login) << log.toStdString();
    const auto geometry = X11Desktop::geometry(*login);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->size(), QSize(380, 440));
    EXPECT_NEAR(geometry->center().x(), 640, 2) << "centred on the 1280 × 720 screen";
    EXPECT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() == *login; }, kBoundMs))
        << "a new window of an X11 client gets the focus";

    // Its texts on the accessibility bus, read once the window has settled.
    QStringList texts;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            texts = AccessibleTree::names(sayloom.processId());
            return texts.contains(QStringLiteral("Continue with GitHub"));
        },
        kBoundMs))
        << texts.join('|').toStdString();
    log += sayloom.readAll();
    EXPECT_EQ(sayloom.state(), QProcess::Running) << log.toStdString();
}

TEST_F(GnomeWayland, AWaylandFieldTakesAndKeepsTheKeyboardWhileSayloomRuns) {
    MutterKeyboard keyboard;
    REQUIRE_REAL_PART(keyboard.open());
    const auto login = startSignedOut();
    ASSERT_TRUE(login) << log.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() == *login; }, kBoundMs));

    // The user opens a native Wayland application and types into it.
    qputenv("GDK_BACKEND", "wayland");
    auto fields = FieldsApp::start(FieldsApp::Toolkit::gtk);
    qunsetenv("GDK_BACKEND");
    ASSERT_TRUE(fields);
    EXPECT_TRUE(X11Desktop::visibleWindows(QStringLiteral("^Sayloom GTK fields$")).isEmpty())
        << "the fields application is a Wayland client, not an X11 one";
    ASSERT_EQ(fields->command(QStringLiteral("focus entry")), QStringLiteral("ok"));

    // Sayloom's window lets go of the focus, and the field holds it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() != *login; }, kBoundMs));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !AccessibleTree::focused(sayloom.processId()); }, kBoundMs))
        << AccessibleTree::dump(sayloom.processId()).toStdString();
    std::optional<AccessibleNode> focused;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            focused = AccessibleTree::focused(fields->processIdentifier());
            return focused && focused->role == QLatin1String("text");
        },
        kBoundMs))
        << AccessibleTree::dump(fields->processIdentifier()).toStdString();
    ASSERT_TRUE(keyboard.press(MutterKeyboard::kA));
    ASSERT_TRUE(keyboard.press(MutterKeyboard::kB));
    EXPECT_EQ(fields->waitForText(QStringLiteral("entry"), QStringLiteral("ab"),
                                  std::chrono::milliseconds(kBoundMs)),
              QStringLiteral("ab"));

    // Sayloom runs on with its window mapped, and the focus stays in the field.
    log += sayloom.readAll();
    EXPECT_EQ(sayloom.state(), QProcess::Running) << log.toStdString();
    EXPECT_EQ(X11Desktop::visibleWindows(QStringLiteral("^Sayloom$"), sayloom.processId()),
              QStringList{*login});
    focused = AccessibleTree::focused(fields->processIdentifier());
    EXPECT_TRUE(focused && focused->role == QLatin1String("text"));
}

// Dictation in the GNOME Wayland session, the hotkey read from a keyboard among the input devices:
// a umockdev test bed that only Sayloom's process sees.
class GnomeWaylandDictation : public WaylandDictation {
protected:
    QString missingSession() const override {
        if (const QString missing = gnomeSessionMissing(); !missing.isEmpty())
            return missing;
        return QStandardPaths::findExecutable(QStringLiteral("umockdev-wrapper")).isEmpty()
                   ? QStringLiteral("umockdev (package umockdev) is missing")
                   : QString();
    }
    std::vector<std::pair<QString, QString>> sayloomEnvironment() const override {
        return keyboards.environmentOfReaders();
    }

    void SetUp() override {
        keyboard = keyboards.add();
        WaylandDictation::SetUp();
    }

    void TearDown() override {
        WaylandDictation::TearDown();
        EXPECT_FALSE(keyboards.touched()) << "the keyboard is only read";
    }

    // Holds `key` down until `whileHeld` is done, a recording running.
    void hold(unsigned key, const std::function<void()>& whileHeld) {
        const qsizetype started = recordingsStarted();
        keyboards.key(keyboard, key, 1);
        ASSERT_TRUE(waitForLog(kRecordingStarted, started)) << log.toStdString();
        whileHeld();
        keyboards.key(keyboard, key, 0);
    }

    MockKeyboards keyboards;
    QByteArray keyboard;
};

TEST_F(GnomeWaylandDictation, HoldRightCtrlSpeakAndTheTextLandsInTheWaylandField) {
    EXPECT_TRUE(log.contains(QLatin1String("Reading the keys of 1 keyboards")))
        << log.toStdString();
    hold(KEY_RIGHTCTRL, [&] {
        // The pill shows at the bottom centre of the 1280 × 720 screen, and the field keeps the
        // keyboard.
        const auto pill = X11Desktop::waitForWindow(QStringLiteral("^Sayloom recording indicator$"),
                                                    sayloom.processId(), kBoundMs);
        ASSERT_TRUE(pill);
        const auto geometry = X11Desktop::geometry(*pill);
        ASSERT_TRUE(geometry);
        EXPECT_NEAR(geometry->center().x(), 640, 1);
        EXPECT_EQ(geometry->bottom() + 1, 720 - 30);
        speak();
        EXPECT_TRUE(fieldHasFocus());
        EXPECT_FALSE(AccessibleTree::focused(sayloom.processId()));
    });
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), kAnswer, std::chrono::milliseconds(kBoundMs)),
        kAnswer)
        << log.toStdString();
    EXPECT_TRUE(fieldHasFocus());
}

TEST_F(GnomeWaylandDictation, TheHotkeyFollowsALayoutChangeAndEscapeCancels) {
    // The user swaps Right Ctrl with the right Super key while Sayloom runs: that key is the
    // hotkey now.
    const qsizetype changes = log.count(QLatin1String("The keyboard layout changed"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"),
                                {QStringLiteral("-option"), QStringLiteral("ctrl:swap_rwin_rctl")}),
              0);
    ASSERT_TRUE(waitForLog("The keyboard layout changed", changes)) << log.toStdString();

    const qsizetype started = recordingsStarted();
    keyboards.key(keyboard, KEY_RIGHTCTRL, 1);
    keyboards.key(keyboard, KEY_RIGHTCTRL, 0);
    hold(KEY_RIGHTMETA, [&] {
        EXPECT_EQ(recordingsStarted(), started + 1) << "Right Ctrl is no hotkey now";
        keyboards.key(keyboard, KEY_ESC, 1);
        keyboards.key(keyboard, KEY_ESC, 0);
        ASSERT_TRUE(waitForLog("Recording cancelled by user")) << log.toStdString();
    });
    // Nothing is sent: a request would come within a second of the release.
    QTest::qWait(1000);
    EXPECT_FALSE(transcriptionRequested());
    EXPECT_EQ(fields->text(QStringLiteral("entry")), QString());
}

} // namespace
