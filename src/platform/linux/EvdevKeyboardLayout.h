#pragma once

#include "platform/linux/HeldKeys.h"

#include <QString>

#include <optional>
#include <vector>

namespace sayloom::linux_desktop {

// The roles of the kernel's key codes in the session's keyboard layout. A key's role comes from
// the keysym at the first level of the layout's first group, as on X11, so that a layout decides
// what a key is: Right Alt is the Option key on a us layout (Alt_R) and AltGr on a German one
// (ISO_Level3_Shift), which is no modifier of ours. An evdev code is the XKB keycode less 8.
class EvdevKeyboardLayout {
public:
    // The layout of the X server's core keyboard (XWayland follows the compositor's layout), or
    // else the XKB defaults (XKB_DEFAULT_RULES, _MODEL, _LAYOUT, _VARIANT, _OPTIONS, then
    // xkbcommon's own). Every key is `other` when neither can be compiled.
    static EvdevKeyboardLayout current();
    // The layout of the core keyboard of the X server named by DISPLAY.
    static std::optional<EvdevKeyboardLayout> fromX11();
    // The layout the XKB defaults name.
    static std::optional<EvdevKeyboardLayout> fromDefaults();

    KeyRole role(unsigned evdevCode) const {
        return evdevCode < roles_.size() ? roles_[evdevCode] : KeyRole::other;
    }
    // Where the layout came from, for the log.
    const QString& source() const { return source_; }

private:
    std::vector<KeyRole> roles_;
    QString source_;
};

} // namespace sayloom::linux_desktop
