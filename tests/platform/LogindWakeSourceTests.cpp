#include "LogCapture.h"

#include "platform/linux/LogindWakeSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

// A private bus daemon stands in for the system bus, and the test itself plays logind on it.
class LogindWakeSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                FAIL() << "dbus-daemon (package dbus) is required in CI";
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address")});
        ASSERT_TRUE(bus.waitForReadyRead(10'000));
        address = QString::fromUtf8(bus.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        // QDBusConnection::systemBus() reads the address when it first connects, which happens
        // in the source under test; this is the only test in the binary that uses it.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    }
    void TearDown() override {
        bus.kill();
        bus.waitForFinished(5'000);
    }

    QProcess bus;
    QString address;
};

TEST_F(LogindWakeSourceTest, ReportsWakingButNotFallingAsleep) {
    LogCapture logs;
    QDBusConnection logind = QDBusConnection::connectToBus(address, QStringLiteral("fake-logind"));
    ASSERT_TRUE(logind.isConnected());
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));

    linux_desktop::LogindWakeSource source;
    ASSERT_TRUE(source.isListening()) << logs.messages().join(QLatin1Char('\n')).toStdString();
    int wakes = 0;
    QObject::connect(&source, &WakeSource::didWake, [&] { ++wakes; });

    auto prepareForSleep = [&](bool start) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << start;
        ASSERT_TRUE(logind.send(signal));
    };
    prepareForSleep(true);
    prepareForSleep(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return wakes == 1; }, 10'000));
    prepareForSleep(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return wakes == 2; }, 10'000));
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
}

} // namespace
