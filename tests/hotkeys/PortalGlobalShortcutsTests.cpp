#include "platform/linux/PortalGlobalShortcuts.h"

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::linux_desktop;

namespace {

constexpr ModifierFlags kFunction = modifier_flags::function;
constexpr ModifierFlags kControl = modifier_flags::control;
constexpr ModifierFlags kShift = modifier_flags::shift;
constexpr ModifierFlags kOption = modifier_flags::option;

// Each step is "+id" (Activated), "-id" (Deactivated) or "!" (the portal went away); the flags
// are those each step reports, in order.
TEST(PortalGlobalShortcutsTest, SignalsBecomeTheFlagsOfTheHotkeyTheyStandFor) {
    struct Case {
        const char* name;
        std::vector<HotkeyOption> hotkeys;
        std::vector<const char*> steps;
        std::vector<ModifierFlags> flags;
    };
    using H = HotkeyOption;
    const Case cases[] = {
        {"Right Ctrl hold", {H::fn}, {"+fn", "-fn"}, {kFunction, 0}},
        {"either Ctrl id is the Right Ctrl hotkey",
         {H::fn},
         {"+control", "-control"},
         {kFunction, 0}},
        {"Ctrl given to the Right Ctrl id holds the Ctrl hotkey",
         {H::controlKey},
         {"+fn", "-fn"},
         {kControl, 0}},
        {"both wanted: Ctrl is the Right Ctrl hotkey",
         {H::controlKey, H::fn},
         {"+control"},
         {kFunction}},
        {"a repeated activation and a second release change nothing",
         {H::optionKey},
         {"+option", "+option", "-option", "-option"},
         {kOption, 0}},
        {"the chord holds both keys",
         {H::controlShift},
         {"+controlShift", "-controlShift"},
         {kControl, kControl | kShift, kShift, 0}},
        {"Ctrl, then Ctrl+Shift: the chord ends the Ctrl shortcut",
         {H::controlShift},
         {"+fn", "-fn", "+controlShift"},
         {kFunction, 0, kControl, kControl | kShift}},
        {"ids of others change nothing", {H::fn}, {"+other", "-other", "-fn"}, {}},
        {"the portal leaving releases every held key",
         {H::fn, H::optionKey},
         {"+fn", "+option", "!"},
         {kFunction, kFunction | kOption, kOption, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PortalGlobalShortcuts shortcuts;
        shortcuts.setHotkeys(c.hotkeys);
        std::vector<ModifierFlags> flags;
        for (const char* step : c.steps) {
            const QString id = QString::fromLatin1(step + 1);
            const auto changes = step[0] == '+'   ? shortcuts.activated(id)
                                 : step[0] == '-' ? shortcuts.deactivated(id)
                                                  : shortcuts.deactivateAll();
            for (const HeldKeys::Change& change : changes) {
                EXPECT_FALSE(change.keyDown) << "the shortcuts hold modifiers only";
                if (change.flags)
                    flags.push_back(*change.flags);
            }
        }
        EXPECT_EQ(flags, c.flags);
    }
}

} // namespace
