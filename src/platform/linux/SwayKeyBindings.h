#pragma once

#include "hotkeys/KeyEventMonitor.h"
#include "platform/linux/HeldKeys.h"

#include <QByteArray>
#include <QString>

#include <set>
#include <utility>
#include <vector>

namespace sayloom::linux_desktop {

// The key bindings Sayloom keeps in sway, and what their events mean for the hotkeys. Sway
// reports only the keys bound through its IPC (and swallows them), so exactly the keys of the
// current key interest are bound:
//
// - Right Ctrl (Control_R), Option (Alt_L, Alt_R), Ctrl (Control_L) and the Ctrl+Shift chord
//   (Control+Shift_L, Control+Shift_R, Shift+Control_L: either key first) on press and release;
// - Space, Return and Escape on press only, while they are wanted, bare and with the modifiers
//   of each hotkey, since sway matches a binding's modifiers exactly and a hotkey is held when
//   they matter.
//
// Each binding runs `nop` with a marker naming this process, the edge and the key combination,
// so that its events are told from anyone else's. Events become the same held-key changes the
// other key streams produce.
//
// Sway fires a release binding only when no other key went down while it was held: after a chord
// (Right Ctrl+C) the hotkey's release never comes. Two rules keep the user from being stuck:
// - a bound key (Space, Return, Escape) pressed during a hold reports the hotkey released right
//   after the key: the lock, unlock or cancel happens as usual, and the release the user makes
//   afterwards would have changed nothing anyway;
// - a press of a hotkey whose modifiers are all believed held means a release was missed: the
//   press reports every held key released and nothing else. The user sees the recording go on
//   after letting go of the key, as if locked, and end (with the text delivered) at the next
//   press of the hotkey, whose own release then changes nothing.
class SwayKeyBindings {
public:
    // `marker` is unique to this process among the session's clients (see markerOfThisProcess).
    explicit SwayKeyBindings(QString marker);

    // "sayloom-<pid>".
    static QString markerOfThisProcess();

    // The commands that make the bindings match `interest`: unbinding what is no longer wanted,
    // then binding what is new. Empty when nothing changes.
    std::vector<QString> rebind(const KeyInterest& interest);
    // The commands that remove every binding made.
    std::vector<QString> unbindAll();
    // The commands that remove every binding Sayloom could have made, whichever process made
    // it: what a Sayloom that was killed left behind.
    static std::vector<QString> unbindLeftovers();
    bool hasBindings() const { return !bound_.empty(); }

    // What a binding event (its JSON payload) changes; nothing for another client's binding.
    std::vector<HeldKeys::Change> changesFor(const QByteArray& event);
    // Forgets the held keys (the connection ended).
    void forgetHeldKeys() { held_.clear(); }

private:
    // A key combination as sway writes it, and whether it is bound for its release.
    using Binding = std::pair<QString, bool>;

    std::set<Binding> wanted(const KeyInterest& interest) const;
    QString bindCommand(const Binding& binding) const;
    static QString unbindCommand(const Binding& binding);
    std::vector<HeldKeys::Change> pressed(const QString& combination);
    std::vector<HeldKeys::Change> released(const QString& combination);

    QString marker_;
    std::set<Binding> bound_;
    HeldKeys held_;
};

} // namespace sayloom::linux_desktop
