#pragma once

#include "platform/linux/SessionKeyMonitor.h"

#include <QByteArray>

#include <set>

namespace sayloom::linux_desktop {

// The key monitor of sessions whose keys only the kernel's input devices tell in full (a
// Wayland session, where nothing else sees a key's release): global monitors read every
// keyboard among /dev/input/event* (the user in the "input" group), local monitors read Qt's
// key events for our own windows.
//
// Key roles as on X11, decided by the session's keyboard layout: Shift raises Shift, Left Ctrl
// raises Control, Alt raises Option (not AltGr), and Right Ctrl raises Function alone. Escape,
// Space and Return go down with their own key codes, every other key with `key_codes::other`.
//
// It is also the guard of the keys Sayloom posts: while the key poster raises it, key presses
// are ignored (posted keys come back, if at all, through the compositor's virtual devices).
// Main thread only.
class EvdevKeyMonitor final : public SessionKeyMonitor {
public:
    EvdevKeyMonitor();

    Capabilities capabilities() const override {
        return {.distinguishesLeftFromRight = true, .bindsKeysOnTheFly = false};
    }

    // The device nodes of the keyboards being read.
    std::set<QByteArray> keyboards() const;
};

} // namespace sayloom::linux_desktop
