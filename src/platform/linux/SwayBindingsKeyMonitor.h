#pragma once

#include "platform/linux/SessionKeyMonitor.h"

#include <QString>

namespace sayloom::linux_desktop {

// The key monitor of sway sessions where the keyboards cannot be read: global monitors hear the
// keys Sayloom binds in sway over its IPC socket (SWAYSOCK), exactly those of the key interest,
// and local monitors read Qt's key events for our own windows. Sway tells Left from Right Ctrl
// and binds keys while running; the keys bound are swallowed by sway, so the hotkey no longer
// reaches the focused window, nor Space, Return and Escape while they are wanted. See
// SwayKeyBindings for what the user sees after a chord. Main thread only.
class SwayBindingsKeyMonitor final : public SessionKeyMonitor {
public:
    // `socketPath` is sway's IPC socket; SWAYSOCK's when empty.
    explicit SwayBindingsKeyMonitor(QString socketPath = {});

    Capabilities capabilities() const override {
        return {.distinguishesLeftFromRight = true,
                .bindsKeysOnTheFly = true,
                .seesReleaseAfterChord = false};
    }
    void setKeyInterest(const KeyInterest& interest) override;

    // Whether sway answers on its IPC socket (SWAYSOCK) within a moment. Blocks that long.
    static bool socketAnswers();

private:
    QString socketPath_;
    KeyInterest interest_;
};

} // namespace sayloom::linux_desktop
