#include "FakeNotificationServer.h"
#include "TaskProbe.h"

#include "platform/linux/FreedesktopNotifications.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

template <typename T>
T settle(const TaskProbe<T>& probe) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe.done(); }, 10'000));
    return probe.value();
}

// A private bus daemon is the session bus of this test, and the test plays the notification
// server on it.
TEST(FreedesktopNotificationsTest,
     AuthorizedWhenAServerAnswersAndLaterNotificationsReplaceEarlierOnes) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        if (qEnvironmentVariableIsSet("CI"))
            FAIL() << "dbus-daemon (package dbus) is required in CI";
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    QProcess bus;
    bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address")});
    ASSERT_TRUE(bus.waitForReadyRead(10'000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    // The session bus connects on first use, which is in the code under test.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());

    linux_desktop::FreedesktopNotifications notifications;
    EXPECT_FALSE(settle(TaskProbe<bool>::start(notifications.requestAuthorization())))
        << "no server on the bus";
    EXPECT_TRUE(settle(TaskProbe<std::optional<QString>>::start(
                           notifications.add(QStringLiteral("x"), QStringLiteral("t"), {})))
                    .has_value());

    QDBusConnection serverConnection =
        QDBusConnection::connectToBus(address, QStringLiteral("notification-server"));
    FakeNotificationServer server;
    ASSERT_EQ(server.registerOnBus(serverConnection), QString());

    EXPECT_TRUE(settle(TaskProbe<bool>::start(notifications.requestAuthorization())));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(settle(TaskProbe<std::optional<QString>>::start(notifications.add(
                      QStringLiteral("sayloom-ready"), QStringLiteral("Sayloom is ready!"),
                      QStringLiteral("Hold Right Ctrl to start talking.")))),
                  std::nullopt);
    ASSERT_EQ(server.shown.size(), 2u);
    EXPECT_EQ(server.shown[0].application, QStringLiteral("Sayloom"));
    EXPECT_EQ(server.shown[0].summary, QStringLiteral("Sayloom is ready!"));
    EXPECT_EQ(server.shown[0].replaces, 0u);
    EXPECT_EQ(server.shown[1].replaces, 41u) << "the second replaces the first on screen";

    bus.kill();
    bus.waitForFinished(5'000);
}

} // namespace
