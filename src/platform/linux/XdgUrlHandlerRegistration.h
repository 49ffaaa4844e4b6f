#pragma once

#include "support/Logger.h"

#include <QString>
#include <QStringList>

namespace sayloom::linux_desktop {

// Makes this executable the desktop's handler of Sayloom's URL schemes: writes our desktop entry
// to $XDG_DATA_HOME/applications and its icon to the user's hicolor theme when they changed, then
// names the entry the default handler of each scheme through xdg-mime (in the background).
// Failures are logged; nothing stops.
class XdgUrlHandlerRegistration {
public:
    // `executable`: the absolute path the browser's links should start; `iconSvg`: the
    // application icon the entry names.
    static void registerHandler(const QString& executable, const QStringList& schemes,
                                const QByteArray& iconSvg);

    // $XDG_DATA_HOME/applications/sayloom.desktop.
    static QString entryPath();
    // $XDG_DATA_HOME/icons/hicolor/scalable/apps/sayloom.svg.
    static QString iconPath();
};

} // namespace sayloom::linux_desktop
