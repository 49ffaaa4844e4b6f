#pragma once

#include "platform/linux/LayoutKeyPoster.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <chrono>
#include <optional>
#include <vector>

namespace sayloom::linux_desktop {

// Posts keys through the GNOME compositor's remote-desktop interface on the session bus, which
// reaches Wayland and X clients alike: the session's virtual keyboard sends kernel key codes, as
// a keyboard plugged in would.
//
// One remote-desktop session, on a bus connection of its own that lives as long as this object
// (the compositor ends a session with the connection that made it). The session is made when the
// first key must be posted and kept; one the compositor closed is made again at the next key.
// Keys go through the layout the X server reports (XWayland follows the compositor's), see
// LayoutKeyPoster. Every call blocks on the bus, within a bounded time. A modifier the user still
// holds on a real keyboard is not released: the compositor lets a virtual keyboard release only its
// own keys. Main thread only.
class MutterRemoteDesktopKeyPoster final : public QObject, public LayoutKeyPoster {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.gnome.Mutter.RemoteDesktop";
    // Key presses and session creation answer within milliseconds.
    static constexpr std::chrono::milliseconds kCallTimeout{3000};
    // Starting the session may wait for the user to allow remote control in a dialog.
    static constexpr std::chrono::milliseconds kStartTimeout{60000};

    explicit MutterRemoteDesktopKeyPoster(QObject* parent = nullptr);
    ~MutterRemoteDesktopKeyPoster() override;

    // Whether the compositor offers the interface on the session bus; asks the bus only, never
    // the compositor for a session.
    static bool isServiceAvailable();

    bool wasRefused() const override { return refused_; }

protected:
    // Sends the events in order; a session that turns out closed at the first one is made again
    // once.
    bool send(const std::vector<KeyEvent>& events) override;

private Q_SLOTS:
    void sessionClosed();

private:
    bool ensureSession();
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments, std::chrono::milliseconds timeout);
    void forgetSession();

    QString connectionName_;
    QDBusConnection bus_;
    QString sessionPath_;
    bool refused_ = false;
};

} // namespace sayloom::linux_desktop
