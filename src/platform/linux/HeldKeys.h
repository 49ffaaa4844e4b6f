#pragma once

#include "hotkeys/KeyEventMonitor.h"

#include <cstdint>
#include <map>
#include <optional>

namespace sayloom::linux_desktop {

// What a key does for the hotkeys, decided from its keysym.
enum class KeyRole : std::uint8_t {
    other,
    shift,
    control,
    // Right Ctrl. X11 never sees a hardware Fn key, so Right Ctrl stands in for it and raises
    // the Function flag alone, never Control.
    function,
    option,
    escape,
    space,
    returnKey,
};

// The keys currently held, and the modifier flags and key-downs their presses and releases
// make. A key keeps the role it had when it went down, so that a keymap change while it is held
// cannot leave a modifier stuck. A press of a key already held is an auto-repeat; a release of
// a key not held (a repeated release, or a key that went down before we looked) changes nothing.
class HeldKeys {
public:
    struct Change {
        // The new flags, when the press or release changed them.
        std::optional<ModifierFlags> flags;
        // The key that went down, for a first press of a key that is not a modifier.
        std::optional<KeyCode> keyDown;
    };

    // The role of an X keysym (the first keysym of a keycode, or the one a toolkit reports).
    static KeyRole roleOfKeysym(unsigned long keysym);

    Change press(unsigned key, KeyRole role);
    Change release(unsigned key);
    // Forgets every key. The flags are not reported.
    void clear() { held_.clear(); }
    ModifierFlags flags() const;
    bool isHeld(unsigned key) const { return held_.contains(key); }

private:
    std::map<unsigned, KeyRole> held_;
};

} // namespace sayloom::linux_desktop
