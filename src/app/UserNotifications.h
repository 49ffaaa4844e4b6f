#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace sayloom {

// The desktop's notifications.
class UserNotifications {
public:
    virtual ~UserNotifications() = default;
    // Whether notifications can be shown at all (a notification server answers).
    virtual QCoro::Task<bool> requestAuthorization() = 0;
    // Shows a notification at once; `identifier` replaces an earlier one of the same identifier.
    // Returns why it could not be shown, or nothing.
    virtual QCoro::Task<std::optional<QString>> add(QString identifier, QString title,
                                                    QString body) = 0;
};

} // namespace sayloom
