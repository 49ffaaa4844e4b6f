#pragma once

#include <QString>

#include <optional>

namespace sayloom::linux_desktop {

// The application a process belongs to, as the desktop names it: the desktop-file id in the
// process's systemd scope ("app-gnome-org.gnome.Terminal-4711.scope" is org.gnome.Terminal),
// else the process's own name. Read from `procRoot` (/proc, or a fake tree in tests).
std::optional<QString> applicationIdOfProcess(qint64 pid,
                                              const QString& procRoot = QStringLiteral("/proc"));

// The desktop-file id in the text of a /proc/PID/cgroup file, when the process runs in an
// application scope or service of the desktop.
std::optional<QString> desktopIdFromCgroup(const QString& cgroup);

} // namespace sayloom::linux_desktop
