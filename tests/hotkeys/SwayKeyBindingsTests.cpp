// The bindings the sway key monitor keeps for a key interest, and what their events mean for the
// hotkeys, down to what HotkeyManager makes of a release sway never reports.

#include "FakeKeyMonitor.h"
#include "MemoryKeyValueStore.h"

#include "hotkeys/HotkeyManager.h"
#include "platform/linux/SwayIpcMessage.h"
#include "platform/linux/SwayKeyBindings.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <set>
#include <vector>

using namespace sayloom;
using namespace sayloom::linux_desktop;

namespace {

constexpr ModifierFlags kShift = modifier_flags::shift;
constexpr ModifierFlags kControl = modifier_flags::control;
constexpr ModifierFlags kOption = modifier_flags::option;
constexpr ModifierFlags kFunction = modifier_flags::function;

const QString kMarker = QStringLiteral("sayloom-42");

KeyInterest hotkeys(std::vector<HotkeyOption> options, bool space = false, bool returnKey = false,
                    bool escape = false) {
    return KeyInterest{std::move(options), space, returnKey, escape};
}

QString pressOf(const char* combination) {
    return QStringLiteral("bindsym --no-repeat %1 nop sayloom-42-press-%1").arg(combination);
}
QString releaseOf(const char* combination) {
    return QStringLiteral("bindsym --release %1 nop sayloom-42-release-%1").arg(combination);
}
QString unbindPress(const char* combination) {
    return QStringLiteral("unbindsym --no-repeat %1").arg(combination);
}
QString unbindRelease(const char* combination) {
    return QStringLiteral("unbindsym --release %1").arg(combination);
}

// Compared as sets: the order among binds (or among unbinds) does not matter, unbinds first does.
struct RebindCase {
    const char* name;
    std::vector<KeyInterest> interests;
    // The commands of the last interest, unbinds then binds.
    std::vector<QString> unbinds;
    std::vector<QString> binds;
};

TEST(SwayKeyBindings, BindExactlyTheKeysOfTheInterestAndUnbindWhatIsNoLongerWanted) {
    const RebindCase cases[] = {
        {"Right Ctrl, press and release",
         {hotkeys({HotkeyOption::fn})},
         {},
         {pressOf("Control_R"), releaseOf("Control_R")}},
        {"Option is either Alt",
         {hotkeys({HotkeyOption::optionKey})},
         {},
         {pressOf("Alt_L"), releaseOf("Alt_L"), pressOf("Alt_R"), releaseOf("Alt_R")}},
        {"Ctrl+Shift in either order, Left Ctrl only",
         {hotkeys({HotkeyOption::controlShift})},
         {},
         {pressOf("Control+Shift_L"), releaseOf("Control+Shift_L"), pressOf("Control+Shift_R"),
          releaseOf("Control+Shift_R"), pressOf("Shift+Control_L"), releaseOf("Shift+Control_L")}},
        {"Space while held: bare and with the hotkey's modifiers, on press only",
         {hotkeys({HotkeyOption::fn}), hotkeys({HotkeyOption::fn}, true)},
         {},
         {pressOf("space"), pressOf("Control+space")}},
        {"Escape with both hotkeys' modifiers",
         {hotkeys({HotkeyOption::optionKey}),
          hotkeys({HotkeyOption::optionKey, HotkeyOption::controlShift}, false, false, true)},
         {},
         {pressOf("Control+Shift_L"), releaseOf("Control+Shift_L"), pressOf("Control+Shift_R"),
          releaseOf("Control+Shift_R"), pressOf("Shift+Control_L"), releaseOf("Shift+Control_L"),
          pressOf("Escape"), pressOf("Mod1+Escape"), pressOf("Control+Shift+Escape")}},
        {"the hold ends: Space and Escape go, Return comes",
         {hotkeys({HotkeyOption::fn}, true, false, true),
          hotkeys({HotkeyOption::fn}, false, true, false)},
         {unbindPress("Control+Escape"), unbindPress("Control+space"), unbindPress("Escape"),
          unbindPress("space")},
         {pressOf("Control+Return"), pressOf("Return")}},
        {"another hotkey replaces the first",
         {hotkeys({HotkeyOption::fn}), hotkeys({HotkeyOption::controlKey})},
         {unbindPress("Control_R"), unbindRelease("Control_R")},
         {pressOf("Control_L"), releaseOf("Control_L")}},
        {"the same interest again changes nothing",
         {hotkeys({HotkeyOption::fn}, true), hotkeys({HotkeyOption::fn}, true)},
         {},
         {}},
    };
    for (const RebindCase& c : cases) {
        SCOPED_TRACE(c.name);
        SwayKeyBindings bindings(kMarker);
        std::vector<QString> commands;
        for (const KeyInterest& interest : c.interests)
            commands = bindings.rebind(interest);
        ASSERT_GE(commands.size(), c.unbinds.size());
        const std::vector<QString> unbinds(commands.begin(),
                                           commands.begin() + static_cast<long>(c.unbinds.size()));
        const std::vector<QString> binds(commands.begin() + static_cast<long>(c.unbinds.size()),
                                         commands.end());
        EXPECT_EQ(std::set<QString>(unbinds.begin(), unbinds.end()),
                  std::set<QString>(c.unbinds.begin(), c.unbinds.end()));
        EXPECT_EQ(std::set<QString>(binds.begin(), binds.end()),
                  std::set<QString>(c.binds.begin(), c.binds.end()));
    }
}

TEST(SwayKeyBindings, UnbindAllRemovesEveryBindingMade) {
    SwayKeyBindings bindings(kMarker);
    (void)bindings.rebind(hotkeys({HotkeyOption::fn, HotkeyOption::optionKey}, true));
    const std::vector<QString> commands = bindings.unbindAll();
    EXPECT_EQ(std::set<QString>(commands.begin(), commands.end()),
              (std::set<QString>{unbindPress("Control_R"), unbindRelease("Control_R"),
                                 unbindPress("Alt_L"), unbindRelease("Alt_L"), unbindPress("Alt_R"),
                                 unbindRelease("Alt_R"), unbindPress("space"),
                                 unbindPress("Control+space"), unbindPress("Mod1+space")}));
    EXPECT_FALSE(bindings.hasBindings());
    EXPECT_TRUE(bindings.unbindAll().empty());

    // What any Sayloom could have bound, for the leftovers of one that was killed: every key of
    // every option, and the lock and cancel keys with every option's modifiers.
    const std::vector<QString> leftovers = SwayKeyBindings::unbindLeftovers();
    const std::set<QString> unique(leftovers.begin(), leftovers.end());
    EXPECT_EQ(unique.size(), leftovers.size());
    for (const QString& command : commands)
        EXPECT_TRUE(unique.contains(command)) << command.toStdString();
    for (const char* command :
         {"unbindsym --release Control+Shift_L", "unbindsym --no-repeat Control+Shift+Escape",
          "unbindsym --no-repeat Return", "unbindsym --release Control_L"})
        EXPECT_TRUE(unique.contains(QLatin1String(command))) << command;
}

// A binding event as sway sends it.
QByteArray event(const QString& command) {
    QJsonObject binding{{QStringLiteral("command"), command},
                        {QStringLiteral("input_type"), QStringLiteral("keyboard")}};
    return QJsonDocument(QJsonObject{{QStringLiteral("change"), QStringLiteral("run")},
                                     {QStringLiteral("binding"), binding}})
        .toJson(QJsonDocument::Compact);
}
QByteArray down(const char* combination) {
    return event(QStringLiteral("nop sayloom-42-press-%1").arg(combination));
}
QByteArray up(const char* combination) {
    return event(QStringLiteral("nop sayloom-42-release-%1").arg(combination));
}

HeldKeys::Change flags(ModifierFlags value) { return {value, std::nullopt}; }
HeldKeys::Change key(KeyCode code) { return {std::nullopt, code}; }

struct EventCase {
    const char* name;
    std::vector<QByteArray> events;
    std::vector<HeldKeys::Change> changes;
};

TEST(SwayKeyBindings, BindingEventsBecomeTheChangesOfTheOtherKeyStreams) {
    const EventCase cases[] = {
        {"Right Ctrl held and let go",
         {down("Control_R"), up("Control_R")},
         {flags(kFunction), flags(0)}},
        {"Alt and Left Ctrl",
         {down("Alt_R"), down("Control_L"), up("Alt_R"), up("Control_L")},
         {flags(kOption), flags(kOption | kControl), flags(kControl), flags(0)}},
        {"the chord is one change each way",
         {down("Shift+Control_L"), up("Shift+Control_L")},
         {flags(kShift | kControl), flags(0)}},
        {"the chord after its Ctrl alone",
         {down("Control_L"), down("Control+Shift_L"), up("Control+Shift_L")},
         {flags(kControl), flags(kControl | kShift), flags(0)}},
        {"Space, Return and Escape go down each time",
         {down("space"), down("space"), down("Return"), down("Escape")},
         {key(key_codes::space), key(key_codes::space), key(key_codes::returnKey),
          key(key_codes::escape)}},
        {"a key during a hold ends the hold: sway will not report its release",
         {down("Control_R"), down("Control+space"), up("Control_R"), down("Control_R")},
         {flags(kFunction), key(key_codes::space), flags(0), flags(kFunction)}},
        {"a press of a hotkey believed held reports only the missed release",
         {down("Control_R"), down("Control_R"), up("Control_R"), down("Control_R")},
         {flags(kFunction), flags(0), flags(kFunction)}},
        {"the same after a chord",
         {down("Control+Shift_R"), down("Shift+Control_L")},
         {flags(kControl | kShift), flags(0)}},
        {"a release of a key not held changes nothing", {up("Alt_L")}, {}},
        {"another client's bindings, other events and garbage are ignored",
         {event(QStringLiteral("nop sayloom-7-press-Control_R")),
          event(QStringLiteral("exec foot")), QByteArrayLiteral("{\"change\":\"run\""),
          QByteArrayLiteral("[]")},
         {}},
    };
    for (const EventCase& c : cases) {
        SCOPED_TRACE(c.name);
        SwayKeyBindings bindings(kMarker);
        std::vector<HeldKeys::Change> changes;
        for (const QByteArray& e : c.events)
            for (const HeldKeys::Change& change : bindings.changesFor(e))
                changes.push_back(change);
        ASSERT_EQ(changes.size(), c.changes.size());
        for (std::size_t i = 0; i < changes.size(); ++i) {
            EXPECT_EQ(changes[i].flags, c.changes[i].flags) << "change " << i;
            EXPECT_EQ(changes[i].keyDown, c.changes[i].keyDown) << "change " << i;
        }
    }
}

// What the user sees after Right Ctrl+C: the recording outlives the key, and ends at the next
// press of the hotkey rather than starting another one.
TEST(SwayKeyBindings, TheHoldAfterAChordEndsAtTheNextPressOfTheHotkey) {
    sayloom::testing::MemoryKeyValueStore store;
    AppSettings settings(store);
    sayloom::testing::FakeKeyMonitor monitor;
    HotkeyManager manager(monitor, settings);
    std::vector<bool> held;
    QObject::connect(&manager, &DictationHotkeys::hotkeyHeldChanged,
                     [&held](bool value) { held.push_back(value); });
    manager.start();
    SwayKeyBindings bindings(kMarker);
    const auto send = [&](const QByteArray& e) {
        for (const HeldKeys::Change& change : bindings.changesFor(e))
            monitor.flags(*change.flags);
    };
    send(down("Control_R"));
    // C goes down and both keys come up: sway reports nothing.
    EXPECT_EQ(held, std::vector<bool>{true});
    send(down("Control_R"));
    EXPECT_EQ(held, (std::vector<bool>{true, false}));
    send(up("Control_R"));
    send(down("Control_R"));
    EXPECT_EQ(held, (std::vector<bool>{true, false, true}));
}

TEST(SwayIpcMessage, FramesAreTakenWholeAndGarbageIsNoticed) {
    const QByteArray first = SwayIpcMessage{SwayIpcMessage::runCommand, "[{}]"}.encoded();
    const QByteArray second = SwayIpcMessage{SwayIpcMessage::bindingEvent, "{}"}.encoded();
    ASSERT_EQ(first.size(), 14 + 4);
    EXPECT_TRUE(first.startsWith("i3-ipc"));
    QByteArray buffer = first + second.left(10);
    bool corrupt = true;
    const auto taken = SwayIpcMessage::take(buffer, corrupt);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->type, SwayIpcMessage::runCommand);
    EXPECT_EQ(taken->payload, QByteArray("[{}]"));
    EXPECT_FALSE(SwayIpcMessage::take(buffer, corrupt));
    EXPECT_FALSE(corrupt);
    buffer += second.mid(10);
    const auto event = SwayIpcMessage::take(buffer, corrupt);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type, SwayIpcMessage::bindingEvent);
    EXPECT_TRUE(buffer.isEmpty());
    buffer = QByteArray("HTTP/1.1 400 Bad Request\r\n\r\n");
    EXPECT_FALSE(SwayIpcMessage::take(buffer, corrupt));
    EXPECT_TRUE(corrupt);
}

} // namespace
