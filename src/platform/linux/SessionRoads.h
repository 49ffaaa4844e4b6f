#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace sayloom::linux_desktop {

// How keys are observed in a session.
enum class HotkeyRoad {
    x11,                   // XInput 2 raw events on the X server
    evdev,                 // the kernel's input devices (the user in the "input" group)
    swayBindings,          // the compositor's IPC key bindings (sway and other wlroots)
    globalShortcutsPortal, // the desktop portal's global shortcuts (KDE)
};

// How text reaches the focused field, besides the clipboard.
enum class InsertionRoad {
    accessibility,       // AT-SPI editable text, on every desktop
    x11Keys,             // XTest key events (paste and typing)
    mutterRemoteDesktop, // GNOME's remote-desktop session (paste and typing)
    virtualKeyboard,     // the wlroots virtual-keyboard protocol
    kdeFakeInput,        // KWin's fake-input protocol
};

// What the environment tells about the session.
struct SessionEnvironment {
    QString waylandDisplay;         // WAYLAND_DISPLAY
    QString sessionType;            // XDG_SESSION_TYPE
    QString currentDesktop;         // XDG_CURRENT_DESKTOP, colon-separated
    QString x11Display;             // DISPLAY
    bool swaySocket = false;        // SWAYSOCK names a socket that exists
    bool keyboardsReadable = false; // some /dev/input/event* keyboard can be opened (Wayland)

    // The environment of this process.
    static SessionEnvironment current();
};

// The roads a session offers, best first, and what the desktop is.
struct SessionRoads {
    bool wayland = false;
    // "GNOME", "KDE", "sway" or another XDG_CURRENT_DESKTOP entry; empty when unknown.
    QString desktop;
    std::vector<HotkeyRoad> hotkeyRoads;
    std::vector<InsertionRoad> insertionRoads;

    // The road dictation uses for the hotkey, when there is one.
    std::optional<HotkeyRoad> hotkeyRoad() const;
    // Whether some road besides the accessibility bus can post keys (paste and typing).
    bool canPostKeys() const;

    static SessionRoads detect(const SessionEnvironment& environment);
};

QString name(HotkeyRoad road);
QString name(InsertionRoad road);

// Whether this build can drive a road.
bool isBuilt(HotkeyRoad road);
bool isBuilt(InsertionRoad road);

// The one step that gives a Wayland session a hotkey road: reading the keyboards.
inline constexpr const char* kInputGroupStep =
    "add yourself to the input group: sudo usermod -aG input $USER, then log in again";

} // namespace sayloom::linux_desktop
