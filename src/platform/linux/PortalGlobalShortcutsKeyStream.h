#pragma once

#include "platform/linux/PortalGlobalShortcuts.h"
#include "platform/linux/SessionKeyMonitor.h"
#include "support/Logger.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QString>
#include <QVariantMap>

#include <memory>

class QDBusServiceWatcher;

namespace sayloom::linux_desktop {

class PortalSignals;

// The hotkeys of a session whose desktop portal offers global shortcuts (KDE Plasma): a portal
// session of Sayloom's own with one shortcut per hotkey option (see PortalGlobalShortcuts), whose
// Activated and Deactivated signals become held-key changes. Every call is asynchronous; the
// portal's answer to CreateSession comes as the Response signal of its request object, subscribed
// to before the call. The shortcuts are passed in CreateSession's options: KDE's portal registers
// them there and only there. The session is closed when the stream is destroyed (the portal also
// closes it when Sayloom's connection ends). KDE keeps the shortcuts under the session's token,
// which is the same in every run, so that what the user binds in the desktop's settings stays
// (what the desktop stored wins over the triggers Sayloom prefers). While Sayloom posts keys,
// activations are ignored: its posted Ctrl+V would otherwise press the Ctrl shortcut.
class PortalGlobalShortcutsKeyStream final : public SessionKeyStream {
public:
    // The portal's bus name, object and interfaces.
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";

    // Asks `service` on `bus` for a session with the shortcuts; null when the bus is not there,
    // with the reason written to `failure`. A refusal that comes later is logged, and the
    // hotkey then stays silent. `listener` may destroy the stream.
    static std::unique_ptr<PortalGlobalShortcutsKeyStream>
    open(const QDBusConnection& bus, const QString& service, const KeyInterest& interest,
         Listener listener, QString& failure);
    ~PortalGlobalShortcutsKeyStream() override;
    PortalGlobalShortcutsKeyStream(const PortalGlobalShortcutsKeyStream&) = delete;
    PortalGlobalShortcutsKeyStream& operator=(const PortalGlobalShortcutsKeyStream&) = delete;

    void setKeyInterest(const KeyInterest& interest) { shortcuts_.setHotkeys(interest.hotkeys); }

    void beginPosting() override { ++postingDepth_; }
    void endPosting() override {
        if (postingDepth_ > 0)
            --postingDepth_;
    }

    // Called by the D-Bus signal receiver.
    void handleResponse(uint response, const QVariantMap& results);
    void handleShortcut(bool active, const QDBusObjectPath& session, const QString& id);
    void handlePortalGone();

private:
    PortalGlobalShortcutsKeyStream(const QDBusConnection& bus, const QString& service,
                                   Listener listener);

    void createSession();
    void subscribeToRequest(const QString& path);
    void unsubscribeFromRequest();
    void queueAll(const std::vector<HeldKeys::Change>& changes);

    QDBusConnection bus_;
    QString service_;
    std::unique_ptr<PortalSignals> signals_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    // The request object whose Response is awaited; empty once answered.
    QString requestPath_;
    // The portal session, once the portal made it.
    QString sessionPath_;
    PortalGlobalShortcuts shortcuts_;
    int postingDepth_ = 0;
    bool gone_ = false;
    Logger log_{QStringLiteral("hotkey")};
};

} // namespace sayloom::linux_desktop
