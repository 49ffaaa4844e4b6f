#include "FakeKeyMonitor.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"

#include "hotkeys/HotkeyManager.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

#include <vector>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

constexpr ModifierFlags kShift = modifier_flags::shift;
constexpr ModifierFlags kControl = modifier_flags::control;
constexpr ModifierFlags kOption = modifier_flags::option;
constexpr ModifierFlags kFunction = modifier_flags::function;
// Caps Lock and Command: bits the hotkeys ignore.
constexpr ModifierFlags kUnrelated = (1u << 16) | (1u << 20);

const QString kHotkey = QStringLiteral("hotkey");

class HotkeyManagerTest : public ::testing::Test {
protected:
    HotkeyManagerTest() : settings(store), manager(monitor, settings) {
        QObject::connect(&manager, &DictationHotkeys::hotkeyHeldChanged,
                         [this](bool held) { heldChanges.push_back(held); });
        QObject::connect(&manager, &DictationHotkeys::unlockRequested, [this] { ++unlocks; });
        QObject::connect(&manager, &DictationHotkeys::cancelRequested, [this] { ++cancels; });
        QObject::connect(&manager, &DictationHotkeys::eventTapFailedChanged,
                         [this](bool failed) { tapFailures.push_back(failed); });
    }

    void useHotkeys(HotkeyOption dictation, HotkeyOption translation, bool translationEnabled) {
        settings.setSelectedHotkey(dictation);
        settings.setSelectedTranslationHotkey(translation);
        settings.setTranslationEnabled(translationEnabled);
    }

    // Holds the dictation hotkey (Right Ctrl by default) from a started manager.
    void holdDictationHotkey() {
        manager.start();
        monitor.flags(kFunction);
        ASSERT_TRUE(manager.isHotkeyHeld());
        heldChanges.clear();
    }

    bool logged(const QString& message) const {
        return logs.contains(kHotkey, LogLevel::info, message);
    }

    LogCapture logs;
    MemoryKeyValueStore store;
    AppSettings settings;
    FakeKeyMonitor monitor;
    HotkeyManager manager;
    std::vector<bool> heldChanges;
    std::vector<bool> tapFailures;
    int unlocks = 0;
    int cancels = 0;
};

// MARK: which hotkey a flags sequence holds

struct HoldCase {
    const char* name;
    HotkeyOption dictation;
    HotkeyOption translation;
    bool translationEnabled;
    std::vector<ModifierFlags> flags;
    // Every value the held flag was given, in order.
    std::vector<bool> heldChanges;
    bool activeIsTranslate;
};

class HotkeyHoldTest : public HotkeyManagerTest, public ::testing::WithParamInterface<HoldCase> {};

TEST_P(HotkeyHoldTest, FlagsSequenceGivesTheExpectedHold) {
    const HoldCase& c = GetParam();
    useHotkeys(c.dictation, c.translation, c.translationEnabled);
    manager.start();
    for (const ModifierFlags flags : c.flags)
        monitor.flags(flags);
    EXPECT_EQ(heldChanges, c.heldChanges);
    EXPECT_EQ(manager.activeIsTranslate(), c.activeIsTranslate);
    EXPECT_EQ(unlocks, 0);
}

using H = HotkeyOption;
INSTANTIATE_TEST_SUITE_P(
    Chords, HotkeyHoldTest,
    ::testing::Values(
        HoldCase{"ControlThenShiftHoldsTheTranslationChord",
                 H::fn,
                 H::controlShift,
                 true,
                 {kControl, kControl | kShift},
                 {true},
                 true},
        HoldCase{"FunctionAloneDictates",
                 H::fn,
                 H::controlShift,
                 true,
                 {kFunction, 0},
                 {true, false},
                 false},
        HoldCase{"ShiftAddedToAHeldControlChangesNothing",
                 H::controlKey,
                 H::controlShift,
                 true,
                 {kControl, kControl | kShift, kControl},
                 {true},
                 false},
        HoldCase{"ReleasingControlEndsTheHold",
                 H::controlKey,
                 H::controlShift,
                 true,
                 {kControl, kControl | kShift, kControl, 0},
                 {true, false},
                 false},
        HoldCase{"ShiftThenControlTranslates",
                 H::controlKey,
                 H::controlShift,
                 true,
                 {kShift, kControl | kShift},
                 {true},
                 true},
        HoldCase{"ShiftThenControlDictatesWhenTheChordIsTheDictationHotkey",
                 H::controlShift,
                 H::controlKey,
                 true,
                 {kShift, kControl | kShift},
                 {true},
                 false},
        HoldCase{"ControlAloneTranslatesWhenTheChordIsTheDictationHotkey",
                 H::controlShift,
                 H::controlKey,
                 true,
                 {kControl},
                 {true},
                 true},
        HoldCase{"BothSingleKeysAtOnceDictate",
                 H::fn,
                 H::optionKey,
                 true,
                 {kFunction | kOption},
                 {true},
                 false},
        HoldCase{"TranslationHotkeyIgnoredWhileTranslationIsOff",
                 H::fn,
                 H::controlShift,
                 false,
                 {kControl | kShift, 0},
                 {},
                 false},
        HoldCase{"DictationStillWorksWhileTranslationIsOff",
                 H::controlKey,
                 H::controlShift,
                 false,
                 {kControl | kShift},
                 {true},
                 false},
        HoldCase{"UnrelatedBitsAreIgnored",
                 H::optionKey,
                 H::controlShift,
                 true,
                 {kUnrelated, kUnrelated | kOption, kUnrelated},
                 {true, false},
                 false},
        HoldCase{"RepeatedFlagsDoNothing",
                 H::fn,
                 H::controlShift,
                 true,
                 {kFunction, kFunction, kFunction | kUnrelated, 0, 0},
                 {true, false},
                 false},
        HoldCase{"ShiftAloneHoldsNothing", H::fn, H::controlShift, true, {kShift, 0}, {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// MARK: lock and unlock

TEST_F(HotkeyManagerTest, SpaceWhileHeldLocksAndTheReleaseKeepsTheRecordingLocked) {
    holdDictationHotkey();
    monitor.keyDown(key_codes::returnKey);
    monitor.keyDown(key_codes::other);
    EXPECT_FALSE(manager.isLocked()) << "Return while held but not locked is ignored";

    monitor.keyDown(key_codes::space);
    EXPECT_TRUE(manager.isLocked());
    EXPECT_TRUE(logged(QStringLiteral("Locked recording mode (translate: false)")));

    monitor.flags(0);
    EXPECT_EQ(heldChanges, std::vector<bool>{false});
    EXPECT_TRUE(manager.isLocked());
    EXPECT_EQ(unlocks, 0);
}

TEST_F(HotkeyManagerTest, LockLogNamesTheTranslationHold) {
    manager.start();
    monitor.flags(kControl | kShift);
    ASSERT_TRUE(manager.activeIsTranslate());
    monitor.keyDown(key_codes::space);
    EXPECT_TRUE(logged(QStringLiteral("Locked recording mode (translate: true)")));
}

struct UnlockCase {
    const char* name;
    KeyCode key;
    const char* log;
};

class LockedUnlockTest : public HotkeyManagerTest,
                         public ::testing::WithParamInterface<UnlockCase> {};

TEST_P(LockedUnlockTest, KeyEndsALockedRecording) {
    holdDictationHotkey();
    monitor.keyDown(key_codes::space);
    monitor.flags(0);
    heldChanges.clear();

    monitor.keyDown(GetParam().key);
    EXPECT_FALSE(manager.isLocked());
    EXPECT_EQ(unlocks, 1);
    EXPECT_TRUE(logged(QString::fromUtf8(GetParam().log)));
    EXPECT_TRUE(heldChanges.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LockedUnlockTest,
    ::testing::Values(UnlockCase{"Space", key_codes::space, "Unlocked via Space"},
                      UnlockCase{"Return", key_codes::returnKey, "Unlocked via Enter"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HotkeyManagerTest, HotkeyPressUnlocksWithoutStartingAHoldAndItsReleaseChangesNothing) {
    holdDictationHotkey();
    monitor.keyDown(key_codes::space);
    monitor.flags(0);
    heldChanges.clear();

    monitor.flags(kFunction);
    EXPECT_EQ(unlocks, 1);
    EXPECT_FALSE(manager.isLocked());
    EXPECT_FALSE(manager.isHotkeyHeld());
    EXPECT_TRUE(logged(QStringLiteral("Unlocked via hotkey press")));

    monitor.flags(0);
    EXPECT_TRUE(heldChanges.empty()) << "the unlocking press registered no hold to release";

    // The next press is a new dictation.
    monitor.flags(kFunction);
    EXPECT_EQ(heldChanges, std::vector<bool>{true});
}

TEST_F(HotkeyManagerTest, SpaceWhileHeldAndLockedUnlocksAndTheHoldGoesOn) {
    holdDictationHotkey();
    monitor.keyDown(key_codes::space);
    monitor.keyDown(key_codes::space);
    EXPECT_FALSE(manager.isLocked());
    EXPECT_EQ(unlocks, 1);
    EXPECT_TRUE(manager.isHotkeyHeld());
}

TEST_F(HotkeyManagerTest, SpaceLocksOnlyWhileHeldOrRecording) {
    manager.start();
    monitor.keyDown(key_codes::space);
    EXPECT_FALSE(manager.isLocked()) << "nothing held, nothing recording";

    manager.setTranscribingActive(true);
    monitor.keyDown(key_codes::space);
    EXPECT_FALSE(manager.isLocked()) << "a transcription cannot be locked";

    manager.setTranscribingActive(false);
    manager.setRecordingActive(true);
    monitor.keyDown(key_codes::space);
    EXPECT_TRUE(manager.isLocked());
}

// MARK: Escape

TEST_F(HotkeyManagerTest, EscapeWhileNothingIsActiveIsIgnored) {
    manager.start();
    monitor.keyDown(key_codes::escape);
    EXPECT_EQ(cancels, 0);
    EXPECT_FALSE(logs.contains(kHotkey, LogLevel::info, QStringLiteral("Cancelled via Escape")));
}

struct EscapeCase {
    const char* name;
    bool held;
    bool locked;
    bool recording;
    bool transcribing;
};

class EscapeCancelTest : public HotkeyManagerTest,
                         public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(EscapeCancelTest, EscapeCancelsAndEndsTheLock) {
    const EscapeCase& c = GetParam();
    manager.start();
    if (c.held)
        monitor.flags(kFunction);
    manager.setLocked(c.locked);
    manager.setRecordingActive(c.recording);
    manager.setTranscribingActive(c.transcribing);

    monitor.keyDown(key_codes::escape);
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(manager.isLocked());
    EXPECT_EQ(manager.isHotkeyHeld(), c.held) << "the hold lasts until the key is released";
    EXPECT_EQ(unlocks, 0);
    EXPECT_TRUE(logged(QStringLiteral("Cancelled via Escape")));
}

INSTANTIATE_TEST_SUITE_P(Activity, EscapeCancelTest,
                         ::testing::Values(EscapeCase{"Held", true, false, false, false},
                                           EscapeCase{"HeldAndLocked", true, true, true, false},
                                           EscapeCase{"Locked", false, true, true, false},
                                           EscapeCase{"Recording", false, false, true, false},
                                           EscapeCase{"Transcribing", false, false, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// MARK: start and stop

TEST_F(HotkeyManagerTest, StartInstallsFourMonitorsOnceAndStopRemovesThem) {
    manager.start();
    manager.start();
    EXPECT_EQ(monitor.additions, 4);
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::global), 2);
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::local), 2);
    EXPECT_EQ(logs.messages(kHotkey, LogLevel::info),
              QStringList{QStringLiteral("Global key monitor started")});
    EXPECT_EQ(tapFailures, std::vector<bool>{false});

    monitor.flags(kFunction);
    monitor.keyDown(key_codes::space);
    manager.setRecordingActive(true);
    manager.stop();
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::global) +
                  monitor.installed(KeyEventMonitor::Scope::local),
              0);
    EXPECT_FALSE(manager.isLocked());
    EXPECT_FALSE(manager.isRecordingActive());
    EXPECT_TRUE(manager.isHotkeyHeld()) << "stop leaves the held flag as it was";
    EXPECT_TRUE(logged(QStringLiteral("Monitor stopped")));

    // A stopped manager can be started again.
    manager.start();
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::global), 2);
}

TEST_F(HotkeyManagerTest, RefusedInstallationFailsTheTapButKeepsTheLocalMonitors) {
    monitor.globalInstallable = false;
    manager.start();
    EXPECT_TRUE(manager.eventTapFailed());
    EXPECT_EQ(tapFailures, std::vector<bool>{true});
    EXPECT_TRUE(logs.contains(
        kHotkey, LogLevel::error,
        QStringLiteral("Failed to create global monitor. Check Accessibility permissions.")));
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::local), 2);

    // Keys aimed at our own windows still work.
    monitor.flags(kFunction, KeyEventMonitor::Scope::local);
    EXPECT_TRUE(manager.isHotkeyHeld());
}

TEST_F(HotkeyManagerTest, RetriedStartDoesNotInstallTheLocalMonitorsTwice) {
    monitor.globalInstallable = false;
    manager.start();
    manager.start();
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::local), 2);

    // With the local key monitor installed twice, one Space would lock and unlock at once.
    monitor.flags(kFunction, KeyEventMonitor::Scope::local);
    monitor.keyDown(key_codes::space, KeyEventMonitor::Scope::local);
    EXPECT_TRUE(manager.isLocked());
    EXPECT_EQ(unlocks, 0);

    monitor.globalInstallable = true;
    manager.start();
    EXPECT_FALSE(manager.eventTapFailed());
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::global), 2);
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::local), 2);
    EXPECT_EQ(tapFailures, (std::vector<bool>{true, true, false}));
}

TEST(HotkeyManagerLifetime, DestructionRemovesTheMonitors) {
    MemoryKeyValueStore store;
    AppSettings settings(store);
    FakeKeyMonitor monitor;
    {
        HotkeyManager manager(monitor, settings);
        manager.start();
    }
    EXPECT_EQ(monitor.installed(KeyEventMonitor::Scope::global) +
                  monitor.installed(KeyEventMonitor::Scope::local),
              0);
    // A key after the manager is gone reaches no handler of it.
    monitor.flags(modifier_flags::function);
}

TEST(HotkeyKeyInterest, TheKeysThatMatterFollowTheState) {
    using Option = HotkeyOption;
    struct Case {
        HotkeyManager::KeyState state;
        KeyInterest interest;
    };
    const Case cases[] = {
        {{Option::fn, std::nullopt}, {{Option::fn}, false, false, false}},
        {{Option::fn, Option::controlShift},
         {{Option::fn, Option::controlShift}, false, false, false}},
        {{Option::fn, std::nullopt, /*held=*/true}, {{Option::fn}, true, false, true}},
        {{Option::fn, std::nullopt, false, /*locked=*/true}, {{Option::fn}, true, true, true}},
        {{Option::fn, std::nullopt, false, false, /*recording=*/true},
         {{Option::fn}, true, false, true}},
        {{Option::fn, std::nullopt, false, false, false, /*transcribing=*/true},
         {{Option::fn}, false, false, true}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(HotkeyManager::keyInterest(c.state) == c.interest);
}

TEST_F(HotkeyManagerTest, TheMonitorHearsOfEachChangeOfInterestOnce) {
    useHotkeys(HotkeyOption::fn, HotkeyOption::controlShift, false);
    monitor.interests.clear();
    holdDictationHotkey(); // start, then held
    ASSERT_EQ(monitor.interests.size(), 2u);
    EXPECT_TRUE(monitor.interests[0] == (KeyInterest{{HotkeyOption::fn}, false, false, false}));
    EXPECT_TRUE(monitor.interests[1] == (KeyInterest{{HotkeyOption::fn}, true, false, true}));
    manager.setRecordingActive(true); // no change while held
    EXPECT_EQ(monitor.interests.size(), 2u);
    settings.setTranslationEnabled(true);
    ASSERT_EQ(monitor.interests.size(), 3u);
    EXPECT_EQ(monitor.interests[2].hotkeys,
              (std::vector<HotkeyOption>{HotkeyOption::fn, HotkeyOption::controlShift}));
}

} // namespace
