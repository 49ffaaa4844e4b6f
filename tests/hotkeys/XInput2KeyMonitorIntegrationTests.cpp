// The key monitor against a real X server (scripts/lib/headless-session.sh): keys come from
// xdotool in another process, or from XTest on a connection of the test, while a window of
// another process has the keyboard focus.

#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "RealPartRequirement.h"

#include "hotkeys/HotkeyManager.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/XInput2KeyMonitor.h"
#include "settings/AppSettings.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

// Xlib's macros (None, Bool, KeyPress...) clash with Qt's names: after every Qt header.
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

using Scope = KeyEventMonitor::Scope;
// Not Xlib's KeyCode.
using sayloom::KeyCode;

constexpr int kTimeoutMs = 5000;
constexpr ModifierFlags kShift = modifier_flags::shift;
constexpr ModifierFlags kControl = modifier_flags::control;
constexpr ModifierFlags kFunction = modifier_flags::function;

// What the tests need: an X server with XInput 2.2 and XTest, and xdotool. Under CI a missing
// piece fails the test; elsewhere the test is skipped with the reason.
#define REQUIRE_DESKTOP() REQUIRE_REAL_PART(missingDesktopPart())

QString missingDesktopPart() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no X display (run inside scripts/lib/headless-session.sh)");
    X11Connection connection;
    Display* display = connection.display();
    if (!display)
        return QStringLiteral("the X display cannot be opened");
    int opcode = 0, eventBase = 0, errorBase = 0, major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &eventBase, &errorBase) ||
        XIQueryVersion(display, &major, &minor) != Success || (major == 2 && minor < 2))
        return QStringLiteral("the X server lacks XInput 2.2");
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor))
        return QStringLiteral("the X server lacks XTest");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        return QStringLiteral("xdotool is not installed");
    return {};
}

// Runs xdotool while our event loop goes on; true when it succeeded.
bool xdotool(const QString& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("xdotool"), arguments.split(QLatin1Char(' ')));
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A window of another process that holds the keyboard focus and reports the keys it receives.
class EchoWindow {
public:
    static std::unique_ptr<EchoWindow> start() {
        std::unique_ptr<EchoWindow> window(new EchoWindow);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        window->process_.setProcessEnvironment(environment);
        window->process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        window->process_.start(QStringLiteral(KEY_ECHO_APP), {});
        if (!window->process_.waitForStarted(kTimeoutMs) ||
            !window->waitForLine(QStringLiteral("focus in")))
            return nullptr;
        return window;
    }

    ~EchoWindow() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(2000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }

    // Waits until the window has reported `line` since the last call of forget().
    bool waitForLine(const QString& line) {
        return QTest::qWaitFor([&] { return lines().contains(line); }, kTimeoutMs);
    }
    QStringList lines() {
        output_ += process_.readAllStandardOutput();
        return QString::fromUtf8(output_).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void forget() {
        (void)process_.readAllStandardOutput();
        output_.clear();
    }

private:
    EchoWindow() = default;
    QProcess process_;
    QByteArray output_;
};

class X11KeyMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DESKTOP();
        echo = EchoWindow::start();
        ASSERT_TRUE(echo) << "the echo window did not start or get the focus";
        ASSERT_TRUE(xtest.display());
        ASSERT_TRUE(xtest.withoutErrors([&] {
            // The client that sets the keymap owns the mapping notifications it causes.
            spareKeycode = findSpareKeycode();
        }));
    }

    void TearDown() override {
        if (echo) {
            // Nothing stays down for the next test.
            (void)xdotool(QStringLiteral("keyup Control_L Control_R Shift_L Shift_R"));
            EXPECT_FALSE(echo->lines().contains(QStringLiteral("focus out")))
                << "the focused window lost the keyboard";
        }
    }

    // Installs global monitors that record what they hear.
    void observe() {
        ASSERT_TRUE(monitor.addFlagsChangedMonitor(
            Scope::global, [this](ModifierFlags value) { flags.push_back(value); }));
        ASSERT_TRUE(monitor.addKeyDownMonitor(Scope::global,
                                              [this](KeyCode code) { keyDowns.push_back(code); }));
    }

    // Waits for a flags change that ends at `expected`, after the first `seen` changes.
    bool waitForFlags(ModifierFlags expected, std::size_t seen) {
        return QTest::qWaitFor([&] { return flags.size() > seen && flags.back() == expected; },
                               kTimeoutMs);
    }
    bool waitForKeyDown(KeyCode expected, std::size_t seen) {
        return QTest::qWaitFor(
            [&] { return keyDowns.size() > seen && keyDowns.back() == expected; }, kTimeoutMs);
    }

    // Presses or releases a key through XTest from this process, as our key poster does.
    void post(unsigned keycode, bool press) {
        XTestFakeKeyEvent(xtest.display(), keycode, press ? True : False, CurrentTime);
        XSync(xtest.display(), False);
    }
    unsigned keycodeOf(unsigned long keysym) { return XKeysymToKeycode(xtest.display(), keysym); }
    void tap(unsigned long keysym) {
        post(keycodeOf(keysym), true);
        post(keycodeOf(keysym), false);
    }

    // A keycode the keymap leaves empty.
    unsigned findSpareKeycode() {
        Display* display = xtest.display();
        int minKeycode = 0, maxKeycode = 0, perKeycode = 0;
        XDisplayKeycodes(display, &minKeycode, &maxKeycode);
        KeySym* keysyms = XGetKeyboardMapping(display, static_cast<unsigned char>(minKeycode),
                                              maxKeycode - minKeycode + 1, &perKeycode);
        unsigned spare = 0;
        for (int keycode = maxKeycode; keycode >= minKeycode && spare == 0; --keycode) {
            bool empty = true;
            for (int i = 0; i < perKeycode; ++i)
                empty = empty && keysyms[(keycode - minKeycode) * perKeycode + i] == NoSymbol;
            if (empty)
                spare = static_cast<unsigned>(keycode);
        }
        XFree(keysyms);
        return spare;
    }
    void mapSpareKeycode(KeySym keysym) {
        XChangeKeyboardMapping(xtest.display(), static_cast<int>(spareKeycode), 1, &keysym, 1);
        XSync(xtest.display(), False);
    }

    std::unique_ptr<EchoWindow> echo;
    X11Connection xtest;
    unsigned spareKeycode = 0;
    XInput2KeyMonitor monitor;
    std::vector<ModifierFlags> flags;
    std::vector<KeyCode> keyDowns;
};

TEST_F(X11KeyMonitorTest, XdotoolKeysGiveFlagsAndKeyCodesAndStillReachTheFocusedWindow) {
    observe();
    ASSERT_TRUE(monitor.isObservingSession());

    struct Step {
        const char* xdotool;
        std::optional<ModifierFlags> flags;
        std::optional<KeyCode> keyDown;
        // What the focused window reports having received (nothing: a key not down).
        const char* echo;
    };
    const Step steps[] = {
        {"keydown Control_L", kControl, {}, "press 0xffe3"},
        {"keydown Shift_L", kControl | kShift, {}, "press 0xffe1"},
        {"keyup Shift_L", kControl, {}, "release 0xffe1"},
        // xdotool releases Control_L twice: the second release changes nothing.
        {"keyup Control_L", 0, {}, "release 0xffe3"},
        // xdotool holds Control_L with Control_R: Right Ctrl adds the Function flag alone.
        {"keydown Control_R", kControl | kFunction, {}, "press 0xffe4"},
        {"keyup Control_R", 0, {}, "release 0xffe4"},
        {"key Escape", {}, key_codes::escape, "press 0xff1b"},
        {"key space", {}, key_codes::space, "press 0x20"},
        {"key Return", {}, key_codes::returnKey, "press 0xff0d"},
        {"key a", {}, key_codes::other, "press 0x61"},
        // Releases of keys nobody holds change nothing...
        {"keyup Control_L Shift_L", {}, {}, nullptr},
        // ... so Shift alone is Shift alone afterwards.
        {"keydown Shift_R", kShift, {}, "press 0xffe2"},
        {"keyup Shift_R", 0, {}, "release 0xffe2"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.xdotool);
        echo->forget();
        const std::size_t flagsSeen = flags.size();
        const std::size_t keysSeen = keyDowns.size();
        ASSERT_TRUE(xdotool(QString::fromUtf8(step.xdotool)));
        if (step.echo) {
            EXPECT_TRUE(echo->waitForLine(QString::fromUtf8(step.echo)));
        }
        if (step.flags)
            EXPECT_TRUE(waitForFlags(*step.flags, flagsSeen))
                << "flags " << std::hex << (flags.empty() ? 0 : flags.back());
        else
            EXPECT_EQ(flags.size(), flagsSeen);
        if (step.keyDown)
            EXPECT_TRUE(waitForKeyDown(*step.keyDown, keysSeen));
        else
            EXPECT_EQ(keyDowns.size(), keysSeen);
    }
}

TEST_F(X11KeyMonitorTest, RightCtrlAloneRaisesOnlyTheFunctionFlag) {
    observe();
    post(keycodeOf(XK_Control_R), true);
    EXPECT_TRUE(waitForFlags(kFunction, 0));
    EXPECT_TRUE(echo->waitForLine(QStringLiteral("press 0xffe4")));
    post(keycodeOf(XK_Control_R), false);
    EXPECT_TRUE(waitForFlags(0, 1));
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{kFunction, 0}));
}

TEST_F(X11KeyMonitorTest, KeysAlreadyHeldWhenObservationStartsCount) {
    ASSERT_TRUE(xdotool(QStringLiteral("keydown Control_L")));
    ASSERT_TRUE(echo->waitForLine(QStringLiteral("press 0xffe3")));
    observe();
    ASSERT_TRUE(xdotool(QStringLiteral("keydown Shift_L")));
    EXPECT_TRUE(waitForFlags(kControl | kShift, 0));
    ASSERT_TRUE(xdotool(QStringLiteral("keyup Control_L")));
    EXPECT_TRUE(waitForFlags(kShift, 1));
    ASSERT_TRUE(xdotool(QStringLiteral("keyup Shift_L")));
    EXPECT_TRUE(waitForFlags(0, 2));
}

TEST_F(X11KeyMonitorTest, KeymapChangesAreFollowed) {
    ASSERT_NE(spareKeycode, 0u) << "the keymap has no empty keycode";
    observe();
    mapSpareKeycode(XK_Escape);
    post(spareKeycode, true);
    post(spareKeycode, false);
    EXPECT_TRUE(waitForKeyDown(key_codes::escape, 0));

    mapSpareKeycode(XK_Control_R);
    post(spareKeycode, true);
    EXPECT_TRUE(waitForFlags(kFunction, 0));
    post(spareKeycode, false);
    EXPECT_TRUE(waitForFlags(0, 1));
    mapSpareKeycode(NoSymbol);
}

TEST_F(X11KeyMonitorTest, KeysSayloomPostsAreIgnoredWhileOtherKeysCount) {
    observe();
    ASSERT_TRUE(xdotool(QStringLiteral("keydown Shift_L")));
    ASSERT_TRUE(waitForFlags(kShift, 0));
    echo->forget();

    // A paste, and a typed space and Escape, posted as the injector does: the event loop does
    // not run until the guard is down again.
    {
        SyntheticKeyGuard::Posting posting(&monitor);
        post(keycodeOf(XK_Control_L), true);
        tap(XK_v);
        post(keycodeOf(XK_Control_L), false);
        tap(XK_space);
        tap(XK_Escape);
    }
    // Keys after the guard count again, and come after anything posted under it.
    ASSERT_TRUE(xdotool(QStringLiteral("key Return")));
    EXPECT_TRUE(waitForKeyDown(key_codes::returnKey, 0));
    EXPECT_EQ(keyDowns, std::vector<KeyCode>{key_codes::returnKey});
    EXPECT_EQ(flags, std::vector<ModifierFlags>{kShift});
    // The focused window received them all the same.
    EXPECT_TRUE(echo->waitForLine(QStringLiteral("press 0x56")));
    EXPECT_TRUE(echo->waitForLine(QStringLiteral("press 0xff1b")));

    // Outside the guard our own XTest keys count like anyone's.
    post(keycodeOf(XK_Control_L), true);
    EXPECT_TRUE(waitForFlags(kShift | kControl, 1));
    post(keycodeOf(XK_Control_L), false);
    EXPECT_TRUE(waitForFlags(kShift, 2));
}

TEST_F(X11KeyMonitorTest, ReleasesPostedUnderTheGuardStillCount) {
    // The injector releases held modifiers before a paste; the X server then holds them no
    // longer, and neither may we.
    observe();
    ASSERT_TRUE(xdotool(QStringLiteral("keydown Control_L")));
    ASSERT_TRUE(waitForFlags(kControl, 0));
    {
        SyntheticKeyGuard::Posting posting(&monitor);
        post(keycodeOf(XK_Control_L), false);
    }
    EXPECT_TRUE(waitForFlags(0, 1));
}

TEST_F(X11KeyMonitorTest, HotkeyManagerHoldsLocksUnlocksAndCancelsFromSessionKeys) {
    LogCapture logs;
    MemoryKeyValueStore store;
    AppSettings settings(store); // dictation on Right Ctrl, translation on Control + Shift
    HotkeyManager manager(monitor, settings);
    int unlocks = 0, cancels = 0;
    QObject::connect(&manager, &DictationHotkeys::unlockRequested, [&] { ++unlocks; });
    QObject::connect(&manager, &DictationHotkeys::cancelRequested, [&] { ++cancels; });

    manager.start();
    ASSERT_FALSE(manager.eventTapFailed());
    ASSERT_TRUE(monitor.isObservingSession());

    post(keycodeOf(XK_Control_R), true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.isHotkeyHeld(); }, kTimeoutMs));
    EXPECT_FALSE(manager.activeIsTranslate());
    ASSERT_TRUE(xdotool(QStringLiteral("key space")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.isLocked(); }, kTimeoutMs));
    post(keycodeOf(XK_Control_R), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.isHotkeyHeld(); }, kTimeoutMs));
    EXPECT_TRUE(manager.isLocked());
    ASSERT_TRUE(xdotool(QStringLiteral("key Return")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return unlocks == 1; }, kTimeoutMs));
    EXPECT_FALSE(manager.isLocked());

    ASSERT_TRUE(xdotool(QStringLiteral("keydown Control_L keydown Shift_L")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.isHotkeyHeld(); }, kTimeoutMs));
    EXPECT_TRUE(manager.activeIsTranslate());
    ASSERT_TRUE(xdotool(QStringLiteral("key Escape")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cancels == 1; }, kTimeoutMs));
    ASSERT_TRUE(xdotool(QStringLiteral("keyup Shift_L keyup Control_L")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.isHotkeyHeld(); }, kTimeoutMs));

    manager.stop();
    EXPECT_FALSE(monitor.isObservingSession());
    EXPECT_TRUE(logs.contains(QStringLiteral("hotkey"), LogLevel::info,
                              QStringLiteral("Global key monitor started")));
}

} // namespace
