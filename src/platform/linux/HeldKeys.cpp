#include "platform/linux/HeldKeys.h"

#include <X11/keysym.h>

namespace sayloom::linux_desktop {

namespace {

ModifierFlags flagOf(KeyRole role) {
    switch (role) {
    case KeyRole::shift:
        return modifier_flags::shift;
    case KeyRole::control:
        return modifier_flags::control;
    case KeyRole::function:
        return modifier_flags::function;
    case KeyRole::option:
        return modifier_flags::option;
    default:
        return 0;
    }
}

KeyCode keyCodeOf(KeyRole role) {
    switch (role) {
    case KeyRole::escape:
        return key_codes::escape;
    case KeyRole::space:
        return key_codes::space;
    case KeyRole::returnKey:
        return key_codes::returnKey;
    default:
        return key_codes::other;
    }
}

} // namespace

KeyRole HeldKeys::roleOfKeysym(unsigned long keysym) {
    switch (keysym) {
    case XK_Shift_L:
    case XK_Shift_R:
        return KeyRole::shift;
    case XK_Control_L:
        return KeyRole::control;
    case XK_Control_R:
        return KeyRole::function;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
        return KeyRole::option;
    case XK_Escape:
        return KeyRole::escape;
    case XK_space:
        return KeyRole::space;
    case XK_Return:
        return KeyRole::returnKey;
    default:
        return KeyRole::other;
    }
}

ModifierFlags HeldKeys::flags() const {
    ModifierFlags flags = 0;
    for (const auto& [key, role] : held_)
        flags |= flagOf(role);
    return flags;
}

HeldKeys::Change HeldKeys::press(unsigned key, KeyRole role) {
    if (held_.contains(key))
        return {};
    const ModifierFlags before = flags();
    held_.emplace(key, role);
    Change change;
    if (flagOf(role) != 0) {
        if (const ModifierFlags after = flags(); after != before)
            change.flags = after;
    } else {
        change.keyDown = keyCodeOf(role);
    }
    return change;
}

HeldKeys::Change HeldKeys::release(unsigned key) {
    const auto found = held_.find(key);
    if (found == held_.end())
        return {};
    const ModifierFlags before = flags();
    held_.erase(found);
    Change change;
    if (const ModifierFlags after = flags(); after != before)
        change.flags = after;
    return change;
}

} // namespace sayloom::linux_desktop
