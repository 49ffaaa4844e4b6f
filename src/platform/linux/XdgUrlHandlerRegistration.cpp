#include "platform/linux/XdgUrlHandlerRegistration.h"

#include "platform/linux/DesktopEntryFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
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

QStringList XdgUrlHandlerRegistration::removeOwnCopies(const QByteArray& iconSvg) {
    QStringList removed;
    // Ours: the name we give and an Exec starting a program called sayloom directly. An entry
    // that wraps it (env, a script) or renames it is the user's.
    const auto name = DesktopEntryFile::value(entryPath(), QStringLiteral("Name"));
    const auto exec = DesktopEntryFile::value(entryPath(), QStringLiteral("Exec"));
    const auto program = exec ? DesktopEntryFile::execProgram(*exec) : std::nullopt;
    if (name == QStringLiteral("Sayloom") && program &&
        QFileInfo(*program).fileName() == QLatin1String("sayloom") && QFile::remove(entryPath()))
        removed << entryPath();
    QFile icon(iconPath());
    if (icon.open(QIODevice::ReadOnly) && icon.readAll() == iconSvg) {
        icon.close();
        if (icon.remove())
            removed << iconPath();
    }
    return removed;
}

void XdgUrlHandlerRegistration::registerHandler(const QString& executable,
                                                const QStringList& schemes,
                                                const QByteArray& iconSvg, Entry entry) {
    const Logger log(QStringLiteral("app"));
    if (entry == Entry::own) {
        const DesktopEntryFile::WriteResult written = DesktopEntryFile::writeIfChanged(
            entryPath(), DesktopEntryFile::text(executable, schemes));
        if (written.error) {
            log.error("Could not register as the handler of Sayloom links: %{public}s",
                      *written.error);
            return;
        }
        // Without it the entry shows no icon in the application menu; that is no reason to stop.
        if (const auto error =
                DesktopEntryFile::writeIfChanged(iconPath(), QString::fromUtf8(iconSvg)).error)
            log.error("Could not install the application icon: %{public}s", *error);
    } else {
        for (const QString& path : removeOwnCopies(iconSvg))
            log.info("Removed %{public}s: the installed desktop entry replaces it", path);
    }

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
