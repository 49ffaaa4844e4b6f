#pragma once

#include "support/Logger.h"

#include <QString>
#include <QStringList>

namespace sayloom::linux_desktop {

// Makes this executable the desktop's handler of Sayloom's URL schemes, then names our entry the
// default handler of each scheme through xdg-mime (in the background). A copy outside the system's
// folders (a build tree) first writes its own desktop entry to $XDG_DATA_HOME/applications and its
// icon to the user's hicolor theme when they changed; an installed one uses the system's entry.
// Failures are logged; nothing stops.
class XdgUrlHandlerRegistration {
public:
    // Whose desktop entry names the handler.
    enum class Entry { own, system };

    // `executable`: the absolute path the browser's links should start; `iconSvg`: the
    // application icon the entry names.
    static void registerHandler(const QString& executable, const QStringList& schemes,
                                const QByteArray& iconSvg, Entry entry);

    // Removes the entry and icon an earlier run from a build tree left in the user's folders:
    // with the same name they would hide the system's from the application menu. Files the user
    // made or changed are kept. Returns the paths removed.
    static QStringList removeOwnCopies(const QByteArray& iconSvg);

    // $XDG_DATA_HOME/applications/sayloom.desktop.
    static QString entryPath();
    // $XDG_DATA_HOME/icons/hicolor/scalable/apps/sayloom.svg.
    static QString iconPath();
};

} // namespace sayloom::linux_desktop
