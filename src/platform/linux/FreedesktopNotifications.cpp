#include "platform/linux/FreedesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <qcoro/qcorodbuspendingcall.h>

namespace sayloom::linux_desktop {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

} // namespace

QCoro::Task<bool> FreedesktopNotifications::requestAuthorization() {
    const QDBusPendingCall pending =
        QDBusConnection::sessionBus().asyncCall(call(QStringLiteral("GetServerInformation")));
    const QDBusMessage reply = co_await pending;
    co_return reply.type() == QDBusMessage::ReplyMessage;
}

QCoro::Task<std::optional<QString>> FreedesktopNotifications::add(QString identifier, QString title,
                                                                  QString body) {
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Sayloom") << shown_.value(identifier, 0u)
            << QStringLiteral("sayloom") << title << body << QStringList()
            << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("sayloom")}}
            << qint32(-1);
    const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(message);
    const QDBusMessage reply = co_await pending;
    if (reply.type() != QDBusMessage::ReplyMessage)
        co_return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
    shown_.insert(identifier, reply.arguments().value(0).toUInt());
    co_return std::nullopt;
}

} // namespace sayloom::linux_desktop
