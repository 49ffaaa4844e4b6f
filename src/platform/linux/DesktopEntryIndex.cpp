#include "platform/linux/DesktopEntryIndex.h"

#include "platform/linux/DesktopEntryFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

namespace sayloom::linux_desktop {

QStringList DesktopEntryIndex::applicationFolders() {
    QStringList folders;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QLatin1String("/.local/share");
    folders << dataHome + QLatin1String("/applications");
    return folders + systemApplicationFolders();
}

QStringList DesktopEntryIndex::systemApplicationFolders() {
    QStringList folders;
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << dir + QLatin1String("/applications");
    return folders;
}

void DesktopEntryIndex::rebuildIfChanged() {
    const QStringList folders = applicationFolders();
    QHash<QString, QDateTime> times;
    for (const QString& folder : folders)
        times.insert(folder, QFileInfo(folder).lastModified());
    if (built_ && times == folderTimes_)
        return;
    folderTimes_ = times;
    built_ = true;
    byClass_.clear();
    byLowerClass_.clear();

    QSet<QString> seenIDs;
    for (const QString& folder : folders) {
        const QDir root(folder);
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            // The id is the path below the folder with "/" turned into "-".
            QString id = root.relativeFilePath(path);
            id.chop(8);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seenIDs.contains(id))
                continue;
            seenIDs.insert(id);
            if (const auto windowClass =
                    DesktopEntryFile::value(path, QStringLiteral("StartupWMClass"));
                windowClass && !windowClass->isEmpty()) {
                byClass_.insert(*windowClass, id);
                byLowerClass_.insert(windowClass->toLower(), id);
            }
        }
    }
}

std::optional<QString> DesktopEntryIndex::desktopIDForWindowClass(const QString& windowClass) {
    rebuildIfChanged();
    if (const auto it = byClass_.constFind(windowClass); it != byClass_.cend())
        return *it;
    if (const auto it = byLowerClass_.constFind(windowClass.toLower()); it != byLowerClass_.cend())
        return *it;
    return std::nullopt;
}

} // namespace sayloom::linux_desktop
