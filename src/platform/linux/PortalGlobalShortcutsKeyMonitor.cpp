#include "platform/linux/PortalGlobalShortcutsKeyMonitor.h"

#include "platform/linux/PortalGlobalShortcutsKeyStream.h"

#include <QDBusMessage>
#include <QDBusVariant>

namespace sayloom::linux_desktop {

PortalGlobalShortcutsKeyMonitor::PortalGlobalShortcutsKeyMonitor(QDBusConnection bus,
                                                                 QString service)
    : SessionKeyMonitor([this](SessionKeyStream::Listener listener, QString& failure) {
        return std::unique_ptr<SessionKeyStream>(PortalGlobalShortcutsKeyStream::open(
            bus_, service_, interest_, std::move(listener), failure));
    })
    , bus_(std::move(bus))
    , service_(std::move(service)) {}

void PortalGlobalShortcutsKeyMonitor::setKeyInterest(const KeyInterest& interest) {
    interest_ = interest;
    // The stream is always the one this monitor opened.
    if (auto* portal = static_cast<PortalGlobalShortcutsKeyStream*>(stream()))
        portal->setKeyInterest(interest);
}

bool PortalGlobalShortcutsKeyMonitor::portalAnswers(QDBusConnection bus) {
    // Long enough for the bus to start the portal and its desktop's backend on first use.
    constexpr int kTimeoutMs = 3000;
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(PortalGlobalShortcutsKeyStream::kService),
        QLatin1String(PortalGlobalShortcutsKeyStream::kPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QLatin1String(PortalGlobalShortcutsKeyStream::kInterface) << QStringLiteral("version");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt() >= 1;
}

} // namespace sayloom::linux_desktop
