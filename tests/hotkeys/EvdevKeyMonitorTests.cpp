// The evdev key monitor against mock input devices: umockdev's /sys, /dev/input nodes and udev
// events, in this process (see UmockdevMain.cpp).

#include "EnvironmentOverride.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "MockKeyboards.h"
#include "RealPartRequirement.h"

#include "hotkeys/HotkeyManager.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "settings/AppSettings.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <X11/keysym.h>

#include <optional>
#include <set>
#include <vector>

using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

using Scope = KeyEventMonitor::Scope;
using Kind = MockKeyboards::Kind;

constexpr int kTimeoutMs = 5000;
constexpr ModifierFlags kShift = modifier_flags::shift;
constexpr ModifierFlags kControl = modifier_flags::control;
constexpr ModifierFlags kOption = modifier_flags::option;
constexpr ModifierFlags kFunction = modifier_flags::function;
// A key no role and no test uses: its key-down marks that a device's earlier events were read.
constexpr unsigned kFenceKey = KEY_F12;
// A step's value that stands for the kernel dropping events.
constexpr int kDrop = -1;

class EvdevKeyMonitorTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_REAL_PART(MockKeyboards::missing()); }

    void TearDown() override {
        EXPECT_FALSE(devices.touched()) << "a device was grabbed or written to";
    }

    void useLayout(const char* layout) { qputenv("XKB_DEFAULT_LAYOUT", layout); }

    // Installs the global monitors; false when they were refused.
    bool observe() {
        const auto flagsHandle = monitor.addFlagsChangedMonitor(
            Scope::global, [this](ModifierFlags value) { flags.push_back(value); });
        const auto keyHandle = monitor.addKeyDownMonitor(
            Scope::global, [this](KeyCode code) { keyDowns.push_back(code); });
        return flagsHandle && keyHandle;
    }

    bool waitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kTimeoutMs);
    }

    // Waits until every event sent to `node` so far has been read, through a key pressed after
    // them whose key-down is then taken back off the list: the reports of earlier events must
    // have arrived already. A press only, so that it is reported even when the kernel drops it
    // (the device's state then holds it down); its release reports nothing.
    void fence(const QByteArray& node) {
        const std::size_t before = keyDowns.size();
        devices.key(node, kFenceKey, 1);
        ASSERT_TRUE(waitFor([&] { return keyDowns.size() > before; }))
            << "the events of " << node.toStdString() << " were not read";
        ASSERT_EQ(keyDowns.back(), key_codes::other);
        keyDowns.pop_back();
        devices.key(node, kFenceKey, 0);
    }

    // The keys are read through the layout the XKB defaults name: no X server is asked.
    const EnvironmentOverride environment{{{"DISPLAY", nullptr},
                                           {"XKB_DEFAULT_RULES", nullptr},
                                           {"XKB_DEFAULT_MODEL", nullptr},
                                           {"XKB_DEFAULT_LAYOUT", "us"},
                                           {"XKB_DEFAULT_VARIANT", nullptr},
                                           {"XKB_DEFAULT_OPTIONS", nullptr}}};
    MockKeyboards devices;
    // Closes the devices before the test bed goes.
    EvdevKeyMonitor monitor;
    std::vector<ModifierFlags> flags;
    std::vector<KeyCode> keyDowns;
};

// MARK: keys from one or two keyboards

struct Step {
    int keyboard;
    unsigned code;
    // 1 press, 0 release, 2 auto-repeat, or kDrop: the keys in `downAfterDrop` are held now.
    int value;
    std::set<unsigned> downAfterDrop = {};
};

struct SequenceCase {
    const char* name;
    const char* layout;
    std::vector<Step> steps;
    std::vector<ModifierFlags> flags;
    std::vector<KeyCode> keyDowns;
};

class KeySequenceTest : public EvdevKeyMonitorTest,
                        public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(KeySequenceTest, GivesTheFlagsAndKeyDownsOfX11) {
    const SequenceCase& c = GetParam();
    useLayout(c.layout);
    const QByteArray keyboards[] = {devices.add(), devices.add()};
    ASSERT_TRUE(observe());
    EXPECT_EQ(monitor.keyboards(), (std::set<QByteArray>{keyboards[0], keyboards[1]}));

    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        const QByteArray& node = keyboards[step.keyboard];
        if (step.value == kDrop)
            devices.dropEvents(node, step.downAfterDrop);
        else
            devices.key(node, step.code, step.value);
        // Events of two devices have no order of their own: a device's steps are read before
        // the other device's come. The events that follow a drop would be dropped too when
        // read with it.
        if (i + 1 < c.steps.size() &&
            (c.steps[i + 1].keyboard != step.keyboard || step.value == kDrop))
            fence(node);
    }
    // Then anything reported beyond what is expected shows.
    (void)waitFor(
        [&] { return flags.size() >= c.flags.size() && keyDowns.size() >= c.keyDowns.size(); });
    fence(keyboards[0]);
    fence(keyboards[1]);
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(keyDowns, c.keyDowns);
}

const KeyCode kSpace = key_codes::space;
const KeyCode kEscape = key_codes::escape;
const KeyCode kReturn = key_codes::returnKey;
const KeyCode kOther = key_codes::other;

INSTANTIATE_TEST_SUITE_P(
    Keys, KeySequenceTest,
    ::testing::Values(
        SequenceCase{"RightCtrlRaisesFunctionAlone",
                     "us",
                     {{0, KEY_RIGHTCTRL, 1}, {0, KEY_RIGHTCTRL, 0}},
                     {kFunction, 0},
                     {}},
        SequenceCase{
            "ModifiersAddUpAndGoInAnyOrder",
            "us",
            {{0, KEY_LEFTCTRL, 1},
             {0, KEY_RIGHTSHIFT, 1},
             {0, KEY_LEFTALT, 1},
             {0, KEY_LEFTCTRL, 0},
             {0, KEY_LEFTALT, 0},
             {0, KEY_RIGHTSHIFT, 0}},
            {kControl, kControl | kShift, kControl | kShift | kOption, kShift | kOption, kShift, 0},
            {}},
        SequenceCase{"SpaceEscapeAndReturnHaveTheirCodesWhileTheHotkeyIsHeld",
                     "us",
                     {{0, KEY_RIGHTCTRL, 1},
                      {0, KEY_SPACE, 1},
                      {0, KEY_SPACE, 0},
                      {0, KEY_ESC, 1},
                      {0, KEY_ESC, 0},
                      {0, KEY_ENTER, 1},
                      {0, KEY_ENTER, 0},
                      {0, KEY_A, 1},
                      {0, KEY_A, 0},
                      {0, KEY_RIGHTCTRL, 0}},
                     {kFunction, 0},
                     {kSpace, kEscape, kReturn, kOther}},
        SequenceCase{"AutoRepeatsAreNoNewKeyDowns",
                     "us",
                     {{0, KEY_RIGHTCTRL, 1},
                      {0, KEY_RIGHTCTRL, 2},
                      {0, KEY_SPACE, 1},
                      {0, KEY_SPACE, 2},
                      {0, KEY_SPACE, 2},
                      {0, KEY_SPACE, 0},
                      {0, KEY_RIGHTCTRL, 2},
                      {0, KEY_RIGHTCTRL, 0}},
                     {kFunction, 0},
                     {kSpace}},
        SequenceCase{"RightAltIsOptionOnAUsLayout",
                     "us",
                     {{0, KEY_RIGHTALT, 1}, {0, KEY_RIGHTALT, 0}},
                     {kOption, 0},
                     {}},
        SequenceCase{"AltGrIsNoModifierOnAGermanLayout",
                     "de",
                     {{0, KEY_RIGHTALT, 1}, {0, KEY_RIGHTALT, 0}},
                     {},
                     {kOther}},
        SequenceCase{"TwoKeyboardsHoldingCtrlKeepControlUntilBothLetGo",
                     "us",
                     {{0, KEY_LEFTCTRL, 1},
                      {1, KEY_LEFTCTRL, 1},
                      {0, KEY_LEFTCTRL, 0},
                      {1, KEY_RIGHTCTRL, 1},
                      {1, KEY_LEFTCTRL, 0},
                      {1, KEY_RIGHTCTRL, 0}},
                     {kControl, kControl | kFunction, kFunction, 0},
                     {}},
        SequenceCase{"AReleaseOnAnotherKeyboardReleasesNothing",
                     "us",
                     {{0, KEY_RIGHTCTRL, 1}, {1, KEY_RIGHTCTRL, 0}, {0, KEY_RIGHTCTRL, 0}},
                     {kFunction, 0},
                     {}},
        SequenceCase{"AKeyReleasedWhileEventsWereDroppedIsReleased",
                     "us",
                     {{0, KEY_RIGHTCTRL, 1}, {0, 0, kDrop, {}}},
                     {kFunction, 0},
                     {}},
        SequenceCase{"AKeyHeldAcrossDroppedEventsStaysHeld",
                     "us",
                     {{0, KEY_RIGHTCTRL, 1}, {0, 0, kDrop, {KEY_RIGHTCTRL}}, {0, KEY_RIGHTCTRL, 0}},
                     {kFunction, 0},
                     {}},
        SequenceCase{"KeysChangedWhileEventsWereDroppedArePressedAndReleased",
                     "us",
                     {{0, KEY_RIGHTCTRL, 1}, {0, 0, kDrop, {KEY_LEFTCTRL}}, {0, KEY_LEFTCTRL, 0}},
                     {kFunction, kFunction | kControl, kControl, 0},
                     {}}),
    [](const auto& info) { return std::string(info.param.name); });

// MARK: devices coming and going

TEST_F(EvdevKeyMonitorTest, AKeyboardRemovedWhileHoldingReleasesItsKeysOnly) {
    const QByteArray first = devices.add();
    const QByteArray second = devices.add();
    ASSERT_TRUE(observe());
    devices.key(first, KEY_LEFTCTRL, 1);
    fence(first);
    devices.key(second, KEY_RIGHTCTRL, 1);
    ASSERT_TRUE(waitFor([&] { return flags.size() == 2; }));

    devices.remove(second);
    ASSERT_TRUE(waitFor([&] { return flags.size() == 3; }));
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{kControl, kControl | kFunction, kControl}));
    EXPECT_EQ(monitor.keyboards(), std::set<QByteArray>{first});

    devices.remove(first);
    ASSERT_TRUE(waitFor([&] { return flags.size() == 4; }));
    EXPECT_EQ(flags.back(), 0u);
    EXPECT_TRUE(monitor.keyboards().empty());
}

TEST_F(EvdevKeyMonitorTest, AKeyboardPluggedInIsReadAndAMouseIsNot) {
    const QByteArray first = devices.add();
    ASSERT_TRUE(observe());
    devices.add(Kind::mouse);
    const QByteArray second = devices.add();
    // udev tells in order: once the keyboard is read, the mouse was looked at.
    ASSERT_TRUE(waitFor([&] { return monitor.keyboards().size() == 2; }));
    EXPECT_EQ(monitor.keyboards(), (std::set<QByteArray>{first, second}));

    devices.key(second, KEY_RIGHTCTRL, 1);
    devices.key(second, KEY_SPACE, 1);
    ASSERT_TRUE(waitFor([&] { return !keyDowns.empty(); }));
    EXPECT_EQ(flags, std::vector<ModifierFlags>{kFunction});
    EXPECT_EQ(keyDowns, std::vector<KeyCode>{kSpace});
}

TEST_F(EvdevKeyMonitorTest, KeysAlreadyDownWhenReadingStartsCountWithoutBeingReported) {
    const QByteArray keyboard = devices.add(Kind::keyboard, {KEY_LEFTCTRL});
    ASSERT_TRUE(observe());
    devices.key(keyboard, KEY_LEFTSHIFT, 1);
    devices.key(keyboard, KEY_LEFTCTRL, 0);
    ASSERT_TRUE(waitFor([&] { return flags.size() == 2; }));
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{kControl | kShift, kShift}));
}

struct RefusalCase {
    const char* name;
    std::vector<Kind> devices;
};

class RefusedObservationTest : public EvdevKeyMonitorTest,
                               public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedObservationTest, WithoutAKeyboardTheTapFailsOnceSaidAndOurWindowsStillWork) {
    for (const Kind kind : GetParam().devices)
        devices.add(kind);
    LogCapture logs;
    MemoryKeyValueStore store;
    AppSettings settings(store);
    HotkeyManager manager(monitor, settings);

    manager.start();
    EXPECT_TRUE(manager.eventTapFailed());
    EXPECT_FALSE(monitor.isObservingSession());
    EXPECT_EQ(logs.messages(QStringLiteral("hotkey"), LogLevel::error).join(QLatin1Char('\n')),
              QStringLiteral("Cannot observe the global hotkey: no keyboard among the input "
                             "devices\nFailed to create global monitor. Check Accessibility "
                             "permissions."));

    QWindow window;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier, 105, XK_Control_R, 0);
    QCoreApplication::sendEvent(&window, &press);
    EXPECT_TRUE(manager.isHotkeyHeld());
}

INSTANTIATE_TEST_SUITE_P(Devices, RefusedObservationTest,
                         ::testing::Values(RefusalCase{"None", {}},
                                           RefusalCase{"OnlyAMouse", {Kind::mouse}}),
                         [](const auto& info) { return std::string(info.param.name); });

// MARK: our own windows and our own keys

TEST_F(EvdevKeyMonitorTest, LocalMonitorsHearNothingWhileTheDevicesAreRead) {
    const QByteArray keyboard = devices.add();
    std::vector<ModifierFlags> local;
    const auto localHandle = monitor.addFlagsChangedMonitor(
        Scope::local, [&](ModifierFlags value) { local.push_back(value); });
    ASSERT_TRUE(localHandle);
    ASSERT_TRUE(observe());

    QWindow window;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier, 105, XK_Control_R, 0);
    QCoreApplication::sendEvent(&window, &press);
    devices.key(keyboard, KEY_RIGHTCTRL, 1);
    fence(keyboard);
    EXPECT_EQ(flags, std::vector<ModifierFlags>{kFunction});
    EXPECT_TRUE(local.empty()) << "the key reached a client that installs both twice";
}

TEST_F(EvdevKeyMonitorTest, PressesWhilePostingAreIgnoredAndReleasesStillCount) {
    const QByteArray keyboard = devices.add();
    ASSERT_TRUE(observe());
    devices.key(keyboard, KEY_RIGHTCTRL, 1);
    ASSERT_TRUE(waitFor([&] { return flags.size() == 1; }));

    monitor.beginPosting();
    monitor.beginPosting();
    monitor.endPosting();
    // Still posting: the inner end does not lower the guard.
    devices.key(keyboard, KEY_LEFTCTRL, 1);
    devices.key(keyboard, KEY_V, 1);
    devices.key(keyboard, KEY_V, 0);
    // The user lets go of the hotkey meanwhile; that release is read after the posted keys.
    devices.key(keyboard, KEY_RIGHTCTRL, 0);
    ASSERT_TRUE(waitFor([&] { return flags.size() == 2; }));
    monitor.endPosting();

    // The posted Ctrl's release finds nothing held.
    devices.key(keyboard, KEY_LEFTCTRL, 0);
    devices.key(keyboard, KEY_LEFTSHIFT, 1);
    ASSERT_TRUE(waitFor([&] { return flags.size() == 3; }));
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{kFunction, 0, kShift}));
    EXPECT_TRUE(keyDowns.empty());
}

// MARK: the hotkeys

TEST_F(EvdevKeyMonitorTest, HotkeyManagerHoldsLocksUnlocksAndCancelsFromTheDevices) {
    const QByteArray keyboard = devices.add();
    MemoryKeyValueStore store;
    AppSettings settings(store); // dictation on Right Ctrl, translation on Control + Shift
    HotkeyManager manager(monitor, settings);
    int unlocks = 0, cancels = 0;
    QObject::connect(&manager, &DictationHotkeys::unlockRequested, [&] { ++unlocks; });
    QObject::connect(&manager, &DictationHotkeys::cancelRequested, [&] { ++cancels; });
    manager.start();
    ASSERT_FALSE(manager.eventTapFailed());
    EXPECT_TRUE(monitor.capabilities().distinguishesLeftFromRight);

    devices.key(keyboard, KEY_RIGHTCTRL, 1);
    ASSERT_TRUE(waitFor([&] { return manager.isHotkeyHeld(); }));
    EXPECT_FALSE(manager.activeIsTranslate());
    devices.key(keyboard, KEY_SPACE, 1);
    devices.key(keyboard, KEY_SPACE, 0);
    ASSERT_TRUE(waitFor([&] { return manager.isLocked(); }));
    devices.key(keyboard, KEY_RIGHTCTRL, 0);
    ASSERT_TRUE(waitFor([&] { return !manager.isHotkeyHeld(); }));
    EXPECT_TRUE(manager.isLocked());
    devices.key(keyboard, KEY_ENTER, 1);
    devices.key(keyboard, KEY_ENTER, 0);
    ASSERT_TRUE(waitFor([&] { return unlocks == 1; }));
    EXPECT_FALSE(manager.isLocked());

    devices.key(keyboard, KEY_LEFTCTRL, 1);
    devices.key(keyboard, KEY_LEFTSHIFT, 1);
    ASSERT_TRUE(waitFor([&] { return manager.isHotkeyHeld(); }));
    EXPECT_TRUE(manager.activeIsTranslate());
    devices.key(keyboard, KEY_ESC, 1);
    ASSERT_TRUE(waitFor([&] { return cancels == 1; }));
    devices.key(keyboard, KEY_ESC, 0);
    devices.key(keyboard, KEY_LEFTSHIFT, 0);
    devices.key(keyboard, KEY_LEFTCTRL, 0);
    ASSERT_TRUE(waitFor([&] { return !manager.isHotkeyHeld(); }));

    manager.stop();
    EXPECT_FALSE(monitor.isObservingSession());
}

} // namespace
