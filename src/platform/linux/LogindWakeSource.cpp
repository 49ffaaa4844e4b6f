#include "platform/linux/LogindWakeSource.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace sayloom::linux_desktop {

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");

} // namespace

LogindWakeSource::LogindWakeSource(QObject* parent) : WakeSource(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        log_.notice("No system bus: waking from sleep will not refresh credentials");
        return;
    }
    if (!bus.interface() || !bus.interface()->isServiceRegistered(kLogindService).value()) {
        log_.notice("No logind on the system bus: waking from sleep will not refresh credentials");
        return;
    }
    listening_ = bus.connect(kLogindService, QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"),
                             QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    if (!listening_)
        log_.notice("Cannot listen to logind's sleep signal: %{public}s",
                    bus.lastError().message());
}

void LogindWakeSource::prepareForSleep(bool start) {
    // logind sends true before sleeping and false after waking up.
    if (!start)
        Q_EMIT didWake();
}

} // namespace sayloom::linux_desktop
