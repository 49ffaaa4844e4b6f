#include "EnvironmentOverride.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"

#include "hotkeys/HotkeyManager.h"
#include "platform/linux/XInput2KeyMonitor.h"
#include "settings/AppSettings.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <map>
#include <optional>
#include <vector>

using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

using Scope = KeyEventMonitor::Scope;

// A key event as Qt delivers it to one of our windows.
void sendKey(QObject* receiver, QEvent::Type type, Qt::Key key, quint32 scanCode, quint32 keysym,
             bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, scanCode, keysym, 0, QString(), autoRepeat);
    QCoreApplication::sendEvent(receiver, &event);
}

// MARK: sessions whose keys cannot be observed

struct RefusalCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> environment;
    const char* reason;
};

class UnobservableSessionTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(UnobservableSessionTest, StartFailsTheTapAndSaysWhyButOurOwnWindowsStillWork) {
    const EnvironmentOverride environment(GetParam().environment);
    LogCapture logs;
    MemoryKeyValueStore store;
    AppSettings settings(store);
    XInput2KeyMonitor monitor;
    HotkeyManager manager(monitor, settings);

    manager.start();
    EXPECT_TRUE(manager.eventTapFailed());
    EXPECT_FALSE(monitor.isObservingSession());
    const QString hotkey = QStringLiteral("hotkey");
    EXPECT_EQ(logs.messages(hotkey, LogLevel::error).join(QLatin1Char('\n')).toStdString(),
              std::string(GetParam().reason) +
                  "\nFailed to create global monitor. Check Accessibility permissions.")
        << "the reason is logged once although two global monitors were refused";

    // The local monitors hear the keys aimed at our own windows.
    QWindow window;
    sendKey(&window, QEvent::KeyPress, Qt::Key_Control, 105, XK_Control_R);
    EXPECT_TRUE(manager.isHotkeyHeld());
    sendKey(&window, QEvent::KeyRelease, Qt::Key_Control, 105, XK_Control_R);
    EXPECT_FALSE(manager.isHotkeyHeld());
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, UnobservableSessionTest,
    ::testing::Values(
        RefusalCase{"WaylandDisplay",
                    {{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", nullptr}},
                    "Wayland sessions are not supported yet: the global hotkey can only be "
                    "observed in an X11 session"},
        RefusalCase{
            "WaylandSessionTypeUnderXWayland",
            {{"WAYLAND_DISPLAY", nullptr}, {"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":0"}},
            "Wayland sessions are not supported yet: the global hotkey can only be "
            "observed in an X11 session"},
        RefusalCase{
            "NoDisplay",
            {{"WAYLAND_DISPLAY", nullptr}, {"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", nullptr}},
            "Cannot observe the global hotkey: no X display (DISPLAY=)"}),
    [](const auto& info) { return std::string(info.param.name); });

// MARK: local monitors

class LocalKeysTest : public ::testing::Test {
protected:
    LocalKeysTest() {
        (void)monitor.addFlagsChangedMonitor(
            Scope::local, [this](ModifierFlags value) { flags.push_back(value); });
        (void)monitor.addKeyDownMonitor(Scope::local,
                                        [this](KeyCode code) { keyDowns.push_back(code); });
    }

    XInput2KeyMonitor monitor;
    QWindow window;
    std::vector<ModifierFlags> flags;
    std::vector<KeyCode> keyDowns;
};

TEST_F(LocalKeysTest, NativeKeysymsTellRightCtrlFromLeftCtrl) {
    sendKey(&window, QEvent::KeyPress, Qt::Key_Control, 105, XK_Control_R);
    sendKey(&window, QEvent::KeyPress, Qt::Key_Control, 37, XK_Control_L);
    sendKey(&window, QEvent::KeyRelease, Qt::Key_Control, 105, XK_Control_R);
    sendKey(&window, QEvent::KeyPress, Qt::Key_Shift, 62, XK_Shift_R);
    sendKey(&window, QEvent::KeyRelease, Qt::Key_Control, 37, XK_Control_L);
    sendKey(&window, QEvent::KeyRelease, Qt::Key_Shift, 62, XK_Shift_R);
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{modifier_flags::function,
                                                 modifier_flags::function | modifier_flags::control,
                                                 modifier_flags::control,
                                                 modifier_flags::control | modifier_flags::shift,
                                                 modifier_flags::shift, 0}));
}

TEST_F(LocalKeysTest, EachKeyIsTakenOnceAndAutoRepeatsAreNotKeys) {
    QObject widget;
    sendKey(&window, QEvent::KeyPress, Qt::Key_Space, 65, XK_space);
    // Qt hands the same key on to the focused widget.
    sendKey(&widget, QEvent::KeyPress, Qt::Key_Space, 65, XK_space);
    // Qt reports auto-repeat as a release and a press of the key that stays down.
    sendKey(&window, QEvent::KeyRelease, Qt::Key_Space, 65, XK_space, true);
    sendKey(&window, QEvent::KeyPress, Qt::Key_Space, 65, XK_space, true);
    sendKey(&window, QEvent::KeyRelease, Qt::Key_Space, 65, XK_space);
    sendKey(&window, QEvent::KeyPress, Qt::Key_Escape, 9, XK_Escape);
    sendKey(&window, QEvent::KeyPress, Qt::Key_Return, 36, XK_Return);
    sendKey(&window, QEvent::KeyPress, Qt::Key_A, 38, XK_a);
    EXPECT_EQ(keyDowns, (std::vector<KeyCode>{key_codes::space, key_codes::escape,
                                              key_codes::returnKey, key_codes::other}));
    EXPECT_TRUE(flags.empty());
}

TEST_F(LocalKeysTest, KeyEventsWithoutNativeKeysUseTheQtKey) {
    sendKey(&window, QEvent::KeyPress, Qt::Key_Control, 0, 0);
    sendKey(&window, QEvent::KeyPress, Qt::Key_Escape, 0, 0);
    sendKey(&window, QEvent::KeyRelease, Qt::Key_Control, 0, 0);
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{modifier_flags::control, 0}));
    EXPECT_EQ(keyDowns, std::vector<KeyCode>{key_codes::escape});
}

TEST_F(LocalKeysTest, KeysHeldWhenOurWindowLosesTheFocusCountAsReleased) {
    sendKey(&window, QEvent::KeyPress, Qt::Key_Control, 105, XK_Control_R);
    QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QCoreApplication::sendEvent(&window, &focusOut);
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{modifier_flags::function, 0}));

    // The release, when it comes back to us, changes nothing.
    sendKey(&window, QEvent::KeyRelease, Qt::Key_Control, 105, XK_Control_R);
    EXPECT_EQ(flags.size(), 2u);
}

} // namespace
