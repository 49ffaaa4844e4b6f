#pragma once

#include "platform/linux/SessionKeyMonitor.h"

namespace sayloom::linux_desktop {

// The key monitor of the Linux desktop. Global monitors read XInput 2.2 raw key events of the
// X11 session (they cannot be installed in a Wayland session, where the X server sees only the
// keys aimed at X clients, nor without XInput 2.2); local monitors read Qt's key events for our
// own windows.
//
// Key roles: Shift (left or right) raises Shift, Left Ctrl raises Control, Alt raises Option,
// and Right Ctrl raises Function alone, standing in for the Fn key X11 never sees. Escape, Space
// and Return go down with their own key codes, every other key with `key_codes::other`.
//
// It is also the guard of the keys Sayloom posts: the key poster raises it around its posting,
// and key presses from the XTest keyboards are then ignored. Main thread only.
class XInput2KeyMonitor final : public SessionKeyMonitor {
public:
    XInput2KeyMonitor();
};

} // namespace sayloom::linux_desktop
