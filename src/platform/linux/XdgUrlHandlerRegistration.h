#pragma once

#include "support/Logger.h"

#include <QString>
#include <QStringList>

namespace sayloom::linux_desktop {

// Makes this executable the desktop's handler of Sayloom's URL schemes: writes our desktop entry
// to $XDG_DATA_HOME/applications when it changed, then names it the default handler of each
// scheme through xdg-mime (in the background). Failures are logged; nothing stops.
class XdgUrlHandlerRegistration {
public:
    // `executable`: the absolute path the browser's links should start.
    static void registerHandler(const QString& executable, const QStringList& schemes);

    // $XDG_DATA_HOME/applications/sayloom.desktop.
    static QString entryPath();
};

} // namespace sayloom::linux_desktop
