#pragma once

#include "platform/linux/SessionRoads.h"

#include <QString>

#include <memory>
#include <optional>

namespace sayloom {
class AccessibilityTrust;
class FrontmostApplicationSource;
class KeyEventMonitor;
class KeyPoster;
class Pasteboard;
class Scheduler;
} // namespace sayloom

namespace sayloom::linux_desktop {

// The adapters of a session's roads, chosen from what the session offers: the key monitor of its
// hotkey road, the key poster of its paste and typing road, the frontmost application as the
// session can tell it, and whether each road is usable. The composition reaches them through
// their ports only.
//
// A Wayland session whose keyboards can be read gets the evdev key monitor, usable while some
// keyboard device can be opened; a sway session whose keyboards cannot be read gets the monitor
// that binds the hotkeys in sway, usable while sway answers on its IPC socket. A GNOME Wayland
// session posts its keys through the compositor's remote-desktop interface, usable while the
// compositor offers it, and finds the frontmost application through XWayland's active window
// first, then the accessibility bus. A sway session finds it in sway's tree first, posts its keys
// through a virtual keyboard of its seat and reaches the clipboard through the data-control
// protocol, on a Wayland connection of Sayloom's own, usable while sway offers them. A KDE
// session without readable keyboards hears the hotkeys as the desktop portal's global shortcuts,
// usable while the portal offers them, and posts its keys through KWin's fake input on that
// connection. Where a session offers no road this build drives, the X11 monitor and poster are
// used through XWayland: they see and reach only X clients, so those roads report themselves
// unusable, and dictation asks for them as it does for a missing permission. Main thread only.
class SessionAdapters {
public:
    SessionAdapters(const SessionRoads& roads, Scheduler& scheduler);
    ~SessionAdapters();
    SessionAdapters(const SessionAdapters&) = delete;
    SessionAdapters& operator=(const SessionAdapters&) = delete;

    KeyEventMonitor& keyMonitor() const;
    KeyPoster& keyPoster() const;
    FrontmostApplicationSource& frontmost() const;
    // Whether the hotkey road can observe the session's keys: the engine's permission.
    AccessibilityTrust& hotkeyTrust() const;
    // Whether the key poster reaches the focused application: the injector's trust.
    AccessibilityTrust& keyPostingTrust() const;
    // The frontmost application's identifier, as the injector and the post-processing want it.
    std::optional<QString> frontmostApplicationID() const;
    // The clipboard Ctrl+V pastes from, made at the first call (the Qt clipboard needs a
    // QGuiApplication).
    Pasteboard& pasteboard() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace sayloom::linux_desktop
