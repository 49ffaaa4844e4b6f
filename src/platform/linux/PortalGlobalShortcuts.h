#pragma once

#include "hotkeys/KeyEventMonitor.h"
#include "platform/linux/HeldKeys.h"
#include "settings/HotkeyOption.h"

#include <QString>

#include <optional>
#include <set>
#include <vector>

namespace sayloom::linux_desktop {

// The global shortcuts Sayloom registers with the desktop portal, one per hotkey option, and what
// their Activated and Deactivated signals mean for the hotkeys.
//
// The portal reports a shortcut, not keys: its id goes active when the trigger is pressed and
// inactive when it is released or when another key joins it (a chord). Each id stands for the
// keys its option holds, so an activation presses them and a deactivation releases them, and the
// key streams' usual held-key changes follow.
//
// KDE takes a trigger's last part as a key, so a modifier alone is asked for by its key name
// ("Control_R"; the bare modifier names are refused), and the Ctrl+Shift chord as Ctrl and Shift
// held with Shift pressed ("CTRL+SHIFT+Shift_L"): it fires when Shift goes down after Ctrl (the
// Ctrl shortcut ending there), never for Shift first. KDE's shortcuts name keys without their
// side: the triggers Control_R and Control_L are both stored as plain Ctrl, and only one of the
// two shortcuts then fires, for either Ctrl key. Both ids therefore stand for the one Ctrl key,
// which holds the Right Ctrl hotkey's role unless the key interest wants the Ctrl hotkey and not
// the Right Ctrl one (the role is kept until the key is released).
class PortalGlobalShortcuts {
public:
    struct Shortcut {
        QString id;
        QString description;
        // What the user is offered to press, in the portal's shortcut syntax: modifiers in
        // capitals, then an XKB key name ("CTRL+SHIFT+Shift_L").
        QString preferredTrigger;
    };

    // One shortcut for every hotkey option, in the order of allHotkeyOptions().
    static std::vector<Shortcut> shortcuts();

    // The hotkeys wanted now: they decide which hotkey Ctrl stands for.
    void setHotkeys(const std::vector<HotkeyOption>& hotkeys) { hotkeys_ = hotkeys; }

    // What the portal's Activated and Deactivated signals for `id` change. A repeated activation,
    // a deactivation of a shortcut that is not active and an id Sayloom did not register change
    // nothing.
    std::vector<HeldKeys::Change> activated(const QString& id);
    std::vector<HeldKeys::Change> deactivated(const QString& id);
    // Releases every active shortcut (the portal went away).
    std::vector<HeldKeys::Change> deactivateAll();

private:
    struct Key {
        unsigned id;
        KeyRole role;
    };
    std::vector<Key> keysOf(HotkeyOption option) const;

    std::vector<HotkeyOption> hotkeys_;
    HeldKeys held_;
};

} // namespace sayloom::linux_desktop
