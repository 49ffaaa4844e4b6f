#include "EnvironmentOverride.h"

#include "platform/linux/EvdevKeyboardLayout.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

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

} // namespace
