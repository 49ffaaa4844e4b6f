#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace sayloom::linux_desktop {

// The installed applications' desktop files by the window class they declare
// (StartupWMClass), giving the desktop-file id ("org.gnome.Terminal") of a window whose class
// alone would be ambiguous. The folders are $XDG_DATA_HOME/applications and
// $XDG_DATA_DIRS/*/applications, the first folder winning for an id; the index is rebuilt when
// one of them changes.
class DesktopEntryIndex {
public:
    // The desktop-file id whose StartupWMClass is `windowClass` (exactly, else ignoring case).
    std::optional<QString> desktopIDForWindowClass(const QString& windowClass);

    // $XDG_DATA_HOME/applications, then systemApplicationFolders().
    static QStringList applicationFolders();
    // $XDG_DATA_DIRS/*/applications (by default /usr/local/share and /usr/share), in order.
    static QStringList systemApplicationFolders();

private:
    void rebuildIfChanged();

    QHash<QString, QDateTime> folderTimes_;
    QHash<QString, QString> byClass_;
    QHash<QString, QString> byLowerClass_;
    bool built_ = false;
};

} // namespace sayloom::linux_desktop
