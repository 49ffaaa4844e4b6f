#include "platform/linux/XdgUrlHandlerRegistration.h"

#include "platform/linux/DesktopEntryFile.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

namespace sayloom::linux_desktop {

QString XdgUrlHandlerRegistration::entryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/applications/") + QLatin1String(DesktopEntryFile::kFileName);
}

QString XdgUrlHandlerRegistration::iconPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/icons/hicolor/scalable/apps/sayloom.svg");
}

void XdgUrlHandlerRegistration::registerHandler(const QString& executable,
                                                const QStringList& schemes,
                                                const QByteArray& iconSvg) {
    const Logger log(QStringLiteral("app"));
    const DesktopEntryFile::WriteResult written =
        DesktopEntryFile::writeIfChanged(entryPath(), DesktopEntryFile::text(executable, schemes));
    if (written.error) {
        log.error("Could not register as the handler of Sayloom links: %{public}s", *written.error);
        return;
    }
    // Without it the entry shows no icon in the application menu; that is no reason to stop.
    if (const auto error =
            DesktopEntryFile::writeIfChanged(iconPath(), QString::fromUtf8(iconSvg)).error)
        log.error("Could not install the application icon: %{public}s", *error);

    QStringList arguments = {QStringLiteral("default"), QLatin1String(DesktopEntryFile::kFileName)};
    for (const QString& scheme : schemes)
        arguments << QStringLiteral("x-scheme-handler/") + scheme;
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(process, &QProcess::finished, process, [process, log, schemes](int status) {
        if (status == 0)
            log.info("Registered as the handler of %{public}s links",
                     schemes.join(QStringLiteral(", ")));
        else
            log.error("Could not register as the handler of Sayloom links: xdg-mime: %{public}s",
                      QString::fromLocal8Bit(process->readAll()).trimmed());
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, log](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         log.error("Could not register as the handler of Sayloom links: cannot "
                                   "run xdg-mime (install xdg-utils): %{public}s",
                                   process->errorString());
                         process->deleteLater();
                     });
    process->start(QStringLiteral("xdg-mime"), arguments);
}

} // namespace sayloom::linux_desktop
