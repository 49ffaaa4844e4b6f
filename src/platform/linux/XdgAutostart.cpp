#include "platform/linux/XdgAutostart.h"

#include "platform/linux/DesktopEntryFile.h"

#include <QFile>
#include <QStandardPaths>

namespace sayloom::linux_desktop {

QString XdgAutostart::entryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/") + QLatin1String(DesktopEntryFile::kFileName);
}

std::optional<QString> XdgAutostart::registerApplication() {
    const QString entry = DesktopEntryFile::text(
        executable_, schemes_, {QStringLiteral("X-GNOME-Autostart-enabled=true")});
    return DesktopEntryFile::writeIfChanged(entryPath(), entry).error;
}

std::optional<QString> XdgAutostart::unregisterApplication() {
    QFile entry(entryPath());
    if (!entry.exists() || entry.remove())
        return std::nullopt;
    return QStringLiteral("cannot remove %1: %2").arg(entryPath(), entry.errorString());
}

} // namespace sayloom::linux_desktop
