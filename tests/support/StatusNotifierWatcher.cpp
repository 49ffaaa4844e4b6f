#include "StatusNotifierWatcher.h"

#include <QDBusConnectionInterface>
#include <QTest>

namespace sayloom::testing {

namespace {

const QString kService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

StatusNotifierWatcher::StatusNotifierWatcher(QDBusConnection bus)
    : bus_(std::move(bus))
    , owners_(QString(), bus_, QDBusServiceWatcher::WatchForUnregistration) {
    connect(&owners_, &QDBusServiceWatcher::serviceUnregistered, this,
            &StatusNotifierWatcher::dropItemsOf);
}

StatusNotifierWatcher::~StatusNotifierWatcher() {
    if (!registered_)
        return;
    bus_.unregisterObject(kPath);
    bus_.unregisterService(kService);
}

QString StatusNotifierWatcher::registerOnBus() {
    if (!bus_.isConnected())
        return QStringLiteral("no session bus: ") + bus_.lastError().message();
    if (!bus_.registerObject(kPath, this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties))
        return QStringLiteral("cannot export %1: %2").arg(kPath, bus_.lastError().message());
    if (!bus_.registerService(kService)) {
        bus_.unregisterObject(kPath);
        return QStringLiteral("cannot own %1 (another tray host?): %2")
            .arg(kService, bus_.lastError().message());
    }
    registered_ = true;
    return {};
}

std::optional<StatusNotifierItemClient> StatusNotifierWatcher::waitForItem(int timeoutMs) {
    if (!QTest::qWaitFor([&] { return !items_.isEmpty(); }, timeoutMs))
        return std::nullopt;
    return StatusNotifierItemClient(bus_, items_.first().service, items_.first().path);
}

QStringList StatusNotifierWatcher::registeredStatusNotifierItems() const {
    QStringList names;
    for (const Item& item : items_)
        names << item.service + item.path;
    return names;
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath,
                                                       const QDBusMessage& message) {
    Item item = serviceOrPath.startsWith(QLatin1Char('/'))
                    ? Item{message.service(), serviceOrPath}
                    : Item{serviceOrPath, QStringLiteral("/StatusNotifierItem")};
    owners_.addWatchedService(item.service);
    // A well-known name may have left the bus before we watched it.
    if (!bus_.interface()->isServiceRegistered(item.service).value())
        return;
    items_ << item;
    Q_EMIT StatusNotifierItemRegistered(item.service + item.path);
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString&) {
    Q_EMIT StatusNotifierHostRegistered();
}

void StatusNotifierWatcher::dropItemsOf(const QString& service) {
    for (qsizetype i = items_.size() - 1; i >= 0; --i) {
        if (items_[i].service != service)
            continue;
        const QString name = items_[i].service + items_[i].path;
        items_.removeAt(i);
        Q_EMIT StatusNotifierItemUnregistered(name);
    }
}

} // namespace sayloom::testing
