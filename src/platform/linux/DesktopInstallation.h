#pragma once

#include <QString>
#include <QStringList>

namespace sayloom::linux_desktop {

// Whether the desktop already knows this executable through a system-wide desktop entry (a
// package or `cmake --install` put it there), or this is a copy elsewhere, such as a build tree,
// that must bring its own entry. Installed means: the sayloom.desktop the desktop uses from the
// system folders (the first one found) starts this very file.
class DesktopInstallation {
public:
    // `runningExecutable`: the program's absolute path; `systemApplicationFolders`: the system's
    // application folders, most important first.
    DesktopInstallation(const QString& runningExecutable,
                        const QStringList& systemApplicationFolders);

    // The running program and the folders of $XDG_DATA_DIRS.
    static DesktopInstallation current();

    bool isInstalled() const { return !systemEntry_.isEmpty(); }
    // The system entry that starts us, or empty.
    const QString& systemEntry() const { return systemEntry_; }
    // What our entries (the URL handler, the autostart) start: the system entry's program when
    // installed (it may be a link to the running file), the running executable otherwise.
    const QString& executable() const { return executable_; }

private:
    QString systemEntry_;
    QString executable_;
};

} // namespace sayloom::linux_desktop
