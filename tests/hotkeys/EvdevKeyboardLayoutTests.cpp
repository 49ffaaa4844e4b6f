#include "EnvironmentOverride.h"

#include "platform/linux/EvdevKeyboardLayout.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

// The layout, not the physical key, decides a key's role.
TEST(EvdevKeyboardLayoutTest, TheLayoutDecidesWhatAKeyIs) {
    struct Case {
        const char* layout;
        const char* options;
        unsigned code;
        KeyRole role;
    };
    const Case cases[] = {
        {"us", nullptr, KEY_RIGHTCTRL, KeyRole::function},
        {"us", nullptr, KEY_LEFTCTRL, KeyRole::control},
        {"us", nullptr, KEY_RIGHTALT, KeyRole::option},
        {"us", nullptr, KEY_LEFTSHIFT, KeyRole::shift},
        {"us", nullptr, KEY_ESC, KeyRole::escape},
        {"us", nullptr, KEY_SPACE, KeyRole::space},
        {"us", nullptr, KEY_ENTER, KeyRole::returnKey},
        {"us", nullptr, KEY_KPENTER, KeyRole::other},
        {"us", nullptr, KEY_A, KeyRole::other},
        // AltGr: Right Alt's key gives ISO_Level3_Shift, no modifier of ours.
        {"de", nullptr, KEY_RIGHTALT, KeyRole::other},
        {"de", nullptr, KEY_LEFTALT, KeyRole::option},
        {"fr", nullptr, KEY_RIGHTCTRL, KeyRole::function},
        // Options move roles to other keys.
        {"us", "ctrl:swapcaps", KEY_CAPSLOCK, KeyRole::control},
        {"us", "ctrl:swapcaps", KEY_LEFTCTRL, KeyRole::other},
        {"us", "ctrl:swap_rwin_rctl", KEY_RIGHTMETA, KeyRole::function},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + (c.options ? c.options : "") + " code " +
                     std::to_string(c.code));
        const EnvironmentOverride environment({{"DISPLAY", nullptr},
                                               {"XKB_DEFAULT_RULES", nullptr},
                                               {"XKB_DEFAULT_MODEL", nullptr},
                                               {"XKB_DEFAULT_LAYOUT", c.layout},
                                               {"XKB_DEFAULT_VARIANT", nullptr},
                                               {"XKB_DEFAULT_OPTIONS", c.options}});
        EXPECT_FALSE(EvdevKeyboardLayout::fromX11()) << "no X server without DISPLAY";
        const EvdevKeyboardLayout layout = EvdevKeyboardLayout::current();
        EXPECT_EQ(layout.role(c.code), c.role);
        EXPECT_TRUE(layout.source().contains(QLatin1String(c.layout)));
    }
}

// A keymap with several layouts (a desktop's input sources) reads keys through the layout the
// keyboard's group selects, not always the first.
TEST(EvdevKeyboardLayoutTest, TheActiveGroupDecidesWhatAKeyIs) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    ASSERT_TRUE(context);
    const xkb_rule_names names{"evdev", "pc105", "us,de", ",", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ASSERT_TRUE(keymap);
    xkb_state* state = xkb_state_new(keymap);
    const struct {
        xkb_layout_index_t lockedGroup;
        KeyRole rightAlt;
    } cases[] = {{0, KeyRole::option}, {1, KeyRole::other}, {2, KeyRole::option}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lockedGroup);
        xkb_state_update_mask(state, 0, 0, 0, 0, 0, c.lockedGroup);
        const EvdevKeyboardLayout layout =
            EvdevKeyboardLayout::fromState(keymap, state, QStringLiteral("us,de"));
        EXPECT_EQ(layout.role(KEY_RIGHTALT), c.rightAlt) << "group 2 wraps round to us";
        EXPECT_EQ(layout.role(KEY_RIGHTCTRL), KeyRole::function);
    }
    xkb_state_unref(state);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
}

} // namespace
