#include "platform/linux/DesktopEntryIndex.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

namespace sayloom::linux_desktop {

namespace {

// The StartupWMClass of the main "[Desktop Entry]" group, if it declares one.
std::optional<QString> startupWMClass(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QTextStream stream(&file);
    bool inMainGroup = false;
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (inMainGroup && line.startsWith(QLatin1String("StartupWMClass"))) {
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals > 0 && line.left(equals).trimmed() == QLatin1String("StartupWMClass"))
                return line.mid(equals + 1).trimmed();
        }
    }
    return std::nullopt;
}

} // namespace

QStringList DesktopEntryIndex::applicationFolders() {
    QStringList folders;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QLatin1String("/.local/share");
    folders << dataHome + QLatin1String("/applications");
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
            if (const auto windowClass = startupWMClass(path);
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
