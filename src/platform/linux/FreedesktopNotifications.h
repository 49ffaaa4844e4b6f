#pragma once

#include "app/UserNotifications.h"

#include <QHash>

namespace sayloom::linux_desktop {

// Notifications through the session's org.freedesktop.Notifications service. Authorization means
// that a notification server answers; a later notification with the same identifier replaces the
// earlier one on screen.
class FreedesktopNotifications final : public UserNotifications {
public:
    QCoro::Task<bool> requestAuthorization() override;
    QCoro::Task<std::optional<QString>> add(QString identifier, QString title,
                                            QString body) override;

private:
    // The server's id of the last notification shown for each identifier.
    QHash<QString, uint> shown_;
};

} // namespace sayloom::linux_desktop
