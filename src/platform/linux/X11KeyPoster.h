#pragma once

#include "hotkeys/SyntheticKeyGuard.h"
#include "insertion/KeyPoster.h"
#include "platform/linux/X11Connection.h"
#include "support/Logger.h"
#include "support/Scheduler.h"

#include <QHash>
#include <QList>

#include <chrono>
#include <memory>

namespace sayloom::linux_desktop {

// Synthesises keys through XTest on a connection of its own.
//
// Typing: a Unicode character has no key of its own, so a typing run borrows keycodes that the
// keyboard map leaves empty and gives each a character, with one XkbChangeMap for the whole
// text. Targets look a keycode up when they handle its event, not when it was sent, and some
// (GTK) reload the whole map on every change, falling behind: so a borrowed keycode keeps its
// character for the whole run and later runs, and is given another only when the spare keycodes
// run out, the least recently used first and after a pause that lets the target catch up. The
// borrowed keycodes are emptied again a while after the last run, through the scheduler.
class X11KeyPoster final : public KeyPoster {
public:
    // The pause between chunks. A run's keycodes keep their characters, so the map does not
    // change between chunks and no pause is needed: measured under Xvfb, Qt and GTK fields took
    // 254-unit texts intact without one.
    static constexpr std::chrono::milliseconds kDefaultSettle{0};
    // The pause before a keycode used in this run is given another character (only when the
    // spare keycodes run out). Measured under Xvfb: Qt fields needed 10 ms and GTK fields 30 ms on
    // an idle machine; with both cores busy (load 5), 60 ms lost characters and 200 ms did not.
    static constexpr std::chrono::milliseconds kDefaultReassignSettle{200};
    // How long after a typing run the borrowed keycodes are given back.
    static constexpr std::chrono::milliseconds kRestoreDelay{2000};

    struct Tuning {
        std::chrono::microseconds settle = kDefaultSettle;
        std::chrono::microseconds reassignSettle = kDefaultReassignSettle;
        // At most this many keycodes are borrowed (0: every spare one).
        int maximumBorrowed = 0;
    };

    explicit X11KeyPoster(Scheduler& scheduler);
    X11KeyPoster(Scheduler& scheduler, Tuning tuning);
    ~X11KeyPoster() override;

    bool postPaste() override;
    void beginTyping(const QString& text) override;
    bool typeChunk(const QString& chunk) override;
    void pauseBetweenChunks() override;
    void finishTyping() override;

    // Keys posted from now on are announced to `guard` (the hotkey monitor), so that they are not
    // taken for the user's. May be null.
    void setSyntheticKeyGuard(SyntheticKeyGuard* guard) { guard_ = guard; }

    // Keycodes are still lent out (the restore is pending).
    bool isKeyboardBorrowed() const override { return map_ != nullptr; }
    // Gives the borrowed keycodes back now.
    void restoreKeyboard();

private:
    struct KeyboardMap;

    bool releaseHeldModifiers();
    bool ensureMap();
    // Makes every keysym of `keysyms` typeable, with at most one map change; keycodes in
    // `inUse` are not taken from their characters. False when there are too few keycodes.
    bool assign(const QList<unsigned long>& keysyms, const QList<unsigned long>& inUse);

    X11Connection connection_;
    Scheduler& scheduler_;
    Tuning tuning_;
    std::unique_ptr<KeyboardMap> map_;
    Timer restore_;
    SyntheticKeyGuard* guard_ = nullptr;
    Logger log_{QStringLiteral("injector")};
};

} // namespace sayloom::linux_desktop
