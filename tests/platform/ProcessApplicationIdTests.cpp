#include "platform/linux/ProcessApplicationId.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sayloom::linux_desktop;

namespace {

TEST(ProcessApplicationIdTest, TheDesktopIdComesFromTheApplicationScope) {
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
         "app-gnome-org.gnome.Terminal-4711.scope",
         QString("org.gnome.Terminal")},
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
         "app-org.kde.konsole-2bd1a9e3f0c04c8b9d5e1c5a2e7f3b11.scope",
         QString("org.kde.konsole")},
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
         "app-gnome-gnome\\x2dterminal-99.scope",
         QString("gnome-terminal")},
        {"0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
         "app-flatpak-org.wezfurlong.wezterm@12.service",
         QString("org.wezfurlong.wezterm")},
        {"0::/user.slice/user-1000.slice/session-2.scope", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [cgroup, id] : cases)
        EXPECT_EQ(desktopIdFromCgroup(QString::fromLatin1(cgroup)), id) << cgroup;
}

TEST(ProcessApplicationIdTest, WithoutAScopeTheProcessNameServes) {
    QTemporaryDir proc;
    const auto process = [&proc](int pid, const char* cgroup, const char* comm) {
        QDir().mkpath(proc.filePath(QString::number(pid)));
        QFile c(proc.filePath(QStringLiteral("%1/cgroup").arg(pid)));
        if (c.open(QIODevice::WriteOnly))
            c.write(cgroup);
        QFile n(proc.filePath(QStringLiteral("%1/comm").arg(pid)));
        if (n.open(QIODevice::WriteOnly))
            n.write(comm);
    };
    process(10, "0::/user.slice/app.slice/app-gnome-org.gnome.Console-10.scope\n", "kgx\n");
    process(11, "0::/user.slice/session-2.scope\n", "xterm\n");
    EXPECT_EQ(applicationIdOfProcess(10, proc.path()), QStringLiteral("org.gnome.Console"));
    EXPECT_EQ(applicationIdOfProcess(11, proc.path()), QStringLiteral("xterm"));
    EXPECT_EQ(applicationIdOfProcess(12, proc.path()), std::nullopt);
    EXPECT_EQ(applicationIdOfProcess(0, proc.path()), std::nullopt);
}

} // namespace
