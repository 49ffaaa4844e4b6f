#pragma once

#include "platform/linux/HeldKeys.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct xkb_keymap;
struct xkb_state;

namespace sayloom::linux_desktop {

// The roles of the kernel's key codes in the session's keyboard layout. A key's role comes from
// the keysym at the first level of the layout in use (the keyboard's active group), as on X11,
// so that a layout decides what a key is: Right Alt is the Option key on a us layout (Alt_R) and
// AltGr on a German one (ISO_Level3_Shift), which is no modifier of ours. An evdev code is the XKB
// keycode less 8.
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
    // The layout in use by `state`, a state of `keymap`.
    static EvdevKeyboardLayout fromState(xkb_keymap* keymap, xkb_state* state, QString source);

    KeyRole role(unsigned evdevCode) const {
        return evdevCode < roles_.size() ? roles_[evdevCode] : KeyRole::other;
    }
    // Where the layout came from, for the log.
    const QString& source() const { return source_; }

private:
    std::vector<KeyRole> roles_;
    QString source_;
};

// Follows the layout of the X server's core keyboard while it runs: XWayland takes on the
// compositor's keymap when the user changes layouts, and switching between a desktop's layouts
// switches the keyboard's group. Reads the server's XKB events through a socket notifier on the
// main thread.
class X11KeyboardLayoutWatch {
public:
    using Changed = std::function<void(const EvdevKeyboardLayout&)>;

    // Watches the X server named by DISPLAY; null when there is none, or it has no XKB.
    // `changed` is called with each new layout.
    static std::unique_ptr<X11KeyboardLayoutWatch> open(Changed changed);
    ~X11KeyboardLayoutWatch();
    X11KeyboardLayoutWatch(const X11KeyboardLayoutWatch&) = delete;
    X11KeyboardLayoutWatch& operator=(const X11KeyboardLayoutWatch&) = delete;

    const EvdevKeyboardLayout& layout() const { return layout_; }
    // The keymap and its group in use, for tables of their own.
    xkb_keymap* keymap() const;
    std::uint32_t group() const;

private:
    struct Connection;
    explicit X11KeyboardLayoutWatch(std::unique_ptr<Connection> connection);

    // Compiles the server's keymap and state anew; false when the server does not give them.
    bool reload();
    EvdevKeyboardLayout layoutInUse() const;
    void readEvents();

    std::unique_ptr<Connection> connection_;
    EvdevKeyboardLayout layout_;
    Changed changed_;
};

} // namespace sayloom::linux_desktop
