#include "AppFakes.h"
#include "LogCapture.h"

#include "app/LoginItem.h"
#include "platform/linux/XdgAutostart.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

TEST(LoginItemTest, EveryCallRegistersOrUnregistersAndLogsTheOutcome) {
    LogCapture logs;
    FakeLoginItemService service;
    LoginItem item(service);
    item.setLaunchAtLogin(true);
    item.setLaunchAtLogin(false);
    item.setLaunchAtLogin(false);
    service.failure = QStringLiteral("read-only folder");
    item.setLaunchAtLogin(true);
    EXPECT_EQ(service.calls, (QStringList{"register", "unregister", "unregister", "register"}));
    EXPECT_EQ(logs.messages(QStringLiteral("loginItem")),
              (QStringList{"Registered as login item", "Unregistered login item",
                           "Unregistered login item", "Failed to register: read-only folder"}));
}

TEST(LoginItemTest, TheAutostartEntryIsWrittenReplacedAndRemoved) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString path = config.filePath(QStringLiteral("autostart/sayloom.desktop"));
    const auto entry = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_EQ(linux_desktop::XdgAutostart::entryPath(), path);

    EXPECT_EQ(
        linux_desktop::XdgAutostart(QStringLiteral("/opt/old/sayloom"), {}).registerApplication(),
        std::nullopt);
    linux_desktop::XdgAutostart autostart(QStringLiteral("/usr/bin/sayloom"),
                                          {QStringLiteral("sayloom")});
    EXPECT_EQ(autostart.registerApplication(), std::nullopt);
    EXPECT_TRUE(entry().contains("\nExec=/usr/bin/sayloom %u\n")) << "replaced";
    EXPECT_TRUE(entry().contains("\nX-GNOME-Autostart-enabled=true\n"));
    EXPECT_TRUE(entry().contains("\nMimeType=x-scheme-handler/sayloom;\n"));

    EXPECT_EQ(autostart.unregisterApplication(), std::nullopt);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(autostart.unregisterApplication(), std::nullopt) << "a missing entry is no error";
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
