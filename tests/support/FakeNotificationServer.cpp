#include "FakeNotificationServer.h"

#include <QDBusError>

namespace sayloom::testing {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

FakeNotificationServer::~FakeNotificationServer() {
    for (QDBusConnection& bus : buses_) {
        bus.unregisterService(kService);
        bus.unregisterObject(kPath);
    }
}

QString FakeNotificationServer::registerOnBus(QDBusConnection bus) {
    if (!bus.isConnected())
        return QStringLiteral("no session bus: ") + bus.lastError().message();
    if (!bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots))
        return QStringLiteral("cannot export %1: %2").arg(kPath, bus.lastError().message());
    if (!bus.registerService(kService)) {
        bus.unregisterObject(kPath);
        return QStringLiteral("cannot own %1 (another notification server?): %2")
            .arg(kService, bus.lastError().message());
    }
    buses_.push_back(bus);
    return {};
}

QString FakeNotificationServer::GetServerInformation(QString& vendor, QString& version,
                                                     QString& specVersion) {
    vendor = QStringLiteral("test");
    version = QStringLiteral("1");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("fake-notifications");
}

uint FakeNotificationServer::Notify(const QString& application, uint replaces, const QString&,
                                    const QString& summary, const QString& body, const QStringList&,
                                    const QVariantMap&, int) {
    shown.push_back({application, replaces, summary, body});
    return replaces != 0 ? replaces : static_cast<uint>(shown.size()) + 40;
}

} // namespace sayloom::testing
