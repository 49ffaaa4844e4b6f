#pragma once

#include "platform/linux/SessionKeyMonitor.h"

#include <QDBusConnection>
#include <QString>

namespace sayloom::linux_desktop {

// The key monitor of KDE Plasma's Wayland sessions: global monitors hear the hotkeys through the
// desktop portal's global shortcuts (see PortalGlobalShortcutsKeyStream), and local monitors read
// Qt's key events for our own windows.
//
// The portal reports shortcuts, not keys, and what it can report shapes what works here:
// - holding the hotkey records, and letting it go ends the recording and delivers the text;
// - Right Ctrl cannot be told from Left Ctrl: either Ctrl is the Right Ctrl hotkey, or the Ctrl
//   hotkey when only that one is wanted; the Ctrl+Shift hotkey is seen with Ctrl pressed first;
// - the shortcuts are registered once, when the global monitor is installed, for every hotkey
//   option; the user may rebind them in the desktop's settings;
// - Space, Return and Escape are never reported (registering them would take them from every
//   application), so a hold cannot be locked with Space, nor a recording ended with Return or
//   cancelled with Escape; the hotkeys themselves work as on the other roads;
// - the portal ends a shortcut when another key joins it, so a chord (hotkey+C) ends the hold
//   there, as a release would, and the recording is delivered rather than left running.
// Main thread only.
class PortalGlobalShortcutsKeyMonitor final : public SessionKeyMonitor {
public:
    // The portal on `bus` under `service`; the session bus's desktop portal by default.
    explicit PortalGlobalShortcutsKeyMonitor(
        QDBusConnection bus = QDBusConnection::sessionBus(),
        QString service = QStringLiteral("org.freedesktop.portal.Desktop"));

    Capabilities capabilities() const override {
        return {.distinguishesLeftFromRight = false, .bindsKeysOnTheFly = false};
    }
    // Decides which hotkey Ctrl stands for (see PortalGlobalShortcuts).
    void setKeyInterest(const KeyInterest& interest) override;

    // Whether the session's desktop portal offers global shortcuts (its interface's version
    // answers) within a moment. Blocks that long; the first call may start the portal.
    static bool portalAnswers(QDBusConnection bus = QDBusConnection::sessionBus());

private:
    QDBusConnection bus_;
    QString service_;
    KeyInterest interest_;
};

} // namespace sayloom::linux_desktop
