// The portal key monitor against a stand-in for the desktop portal on a bus daemon of the test's
// own: it answers CreateSession through the Response signal of the request object, records what
// it was asked, and sends the Activated and Deactivated signals of a real portal.

#include "platform/linux/PortalGlobalShortcutsKeyMonitor.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>

using namespace sayloom;
using namespace sayloom::linux_desktop;

namespace {

constexpr int kBoundMs = 10'000;
const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

class FakeSession : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")

public:
    std::atomic<int> closed{0};

public Q_SLOTS:
    void Close() { ++closed; }
};

class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    explicit FakePortal(QDBusConnection bus) : bus_(std::move(bus)) {}

    uint version() const { return 1; }

    // What the last CreateSession asked for.
    QVariantMap options;
    // The shortcuts it carried: id to preferred trigger.
    std::map<QString, QString> triggers;
    QString requestPath;
    QString sessionPath;
    // Set once the Response went out: what is above may be read from then on.
    std::atomic<bool> responded{false};
    FakeSession session;

    void send(const char* signal, const QString& session, const QString& id) {
        QDBusMessage message = QDBusMessage::createSignal(kPath, kInterface, QLatin1String(signal));
        message << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong{0}
                << QVariantMap{};
        bus_.send(message);
    }

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap& requested) {
        options = requested;
        const QDBusArgument shortcuts =
            requested.value(QStringLiteral("shortcuts")).value<QDBusArgument>();
        shortcuts.beginArray();
        while (!shortcuts.atEnd()) {
            QString id;
            QVariantMap properties;
            shortcuts.beginStructure();
            shortcuts >> id >> properties;
            shortcuts.endStructure();
            triggers[id] = properties.value(QStringLiteral("preferred_trigger")).toString();
        }
        shortcuts.endArray();
        const QString caller =
            message().service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        const auto objectPath = [&](const char* kind, const char* token) {
            return QStringLiteral("%1/%2/%3/%4")
                .arg(kPath, QLatin1String(kind), caller,
                     requested.value(QLatin1String(token)).toString());
        };
        requestPath = objectPath("request", "handle_token");
        sessionPath = objectPath("session", "session_handle_token");
        bus_.registerObject(sessionPath, &session, QDBusConnection::ExportAllSlots);
        // The portal answers once the reply is out.
        QMetaObject::invokeMethod(
            this,
            [this] {
                QDBusMessage signal = QDBusMessage::createSignal(
                    requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                    QStringLiteral("Response"));
                signal << 0u << QVariantMap{{QStringLiteral("session_handle"), sessionPath}};
                bus_.send(signal);
                responded = true;
            },
            Qt::QueuedConnection);
        return QDBusObjectPath(requestPath);
    }

private:
    QDBusConnection bus_;
};

class PortalKeyMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                FAIL() << "dbus-daemon (package dbus) is required in CI";
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        // No service files: the bus must not start the real portal for the name the fake takes.
        ASSERT_TRUE(folder_.isValid());
        const QString config = folder_.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        file.close();
        daemon_.start(daemon, {QStringLiteral("--config-file=") + config,
                               QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        ASSERT_TRUE(daemon_.waitForReadyRead(kBoundMs));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        // Names of their own: each test has a bus of its own.
        static int buses = 0;
        ++buses;
        clientName_ = QStringLiteral("portal-client-%1").arg(buses);
        serverName_ = QStringLiteral("portal-server-%1").arg(buses);
        client_ =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, clientName_));
        server_ =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, serverName_));
        ASSERT_TRUE(client_->isConnected() && server_->isConnected());
        // The portal answers from a thread of its own, as another process would: the monitor's
        // trust check blocks the main thread.
        portal_ = std::make_unique<FakePortal>(*server_);
        portalThread_.start();
        portal_->moveToThread(&portalThread_);
        portal_->session.moveToThread(&portalThread_);
    }

    void TearDown() override {
        monitor_.reset();
        portalThread_.quit();
        portalThread_.wait();
        portal_.reset();
        client_.reset();
        server_.reset();
        QDBusConnection::disconnectFromBus(clientName_);
        QDBusConnection::disconnectFromBus(serverName_);
        daemon_.kill();
        daemon_.waitForFinished(kBoundMs);
    }

    void offerPortal() {
        ASSERT_TRUE(server_->registerObject(kPath, portal_.get(),
                                            QDBusConnection::ExportAllSlots |
                                                QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(server_->registerService(kService));
    }

    // Installs a global monitor for `hotkeys`; waits until the portal made the session.
    void startMonitor(std::vector<HotkeyOption> hotkeys) {
        monitor_ = std::make_unique<PortalGlobalShortcutsKeyMonitor>(*client_, kService);
        monitor_->setKeyInterest({.hotkeys = std::move(hotkeys)});
        handle_ = monitor_->addFlagsChangedMonitor(
            KeyEventMonitor::Scope::global,
            [this](ModifierFlags flags) { flags_.push_back(flags); });
        ASSERT_TRUE(handle_);
        ASSERT_TRUE(QTest::qWaitFor([&] { return portal_->responded.load(); }, kBoundMs));
    }

    // Sends a signal, then waits until the flags reported number `count`.
    bool sendAndWait(const char* signal, const QString& id, std::size_t count,
                     QString session = {}) {
        portal_->send(signal, session.isEmpty() ? portal_->sessionPath : session, id);
        return QTest::qWaitFor([&] { return flags_.size() >= count; }, kBoundMs);
    }

    // Lets the signals already sent arrive.
    void settle() {
        // A call makes a round trip through the bus daemon after every signal sent before it.
        client_->call(QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    QTemporaryDir folder_;
    QThread portalThread_;
    QProcess daemon_;
    QString address_;
    QString clientName_;
    QString serverName_;
    std::unique_ptr<QDBusConnection> client_;
    std::unique_ptr<QDBusConnection> server_;
    std::unique_ptr<FakePortal> portal_;
    std::unique_ptr<PortalGlobalShortcutsKeyMonitor> monitor_;
    std::optional<KeyEventMonitor::Handle> handle_;
    std::vector<ModifierFlags> flags_;
};

TEST_F(PortalKeyMonitorTest, TheSessionCarriesTheShortcutsAndItsSignalsHoldTheHotkey) {
    EXPECT_FALSE(PortalGlobalShortcutsKeyMonitor::portalAnswers(*client_));
    offerPortal();
    EXPECT_TRUE(PortalGlobalShortcutsKeyMonitor::portalAnswers(*client_));
    startMonitor({HotkeyOption::fn});
    EXPECT_EQ(portal_->options.value(QStringLiteral("session_handle_token")).toString(),
              QStringLiteral("sayloom"))
        << "the desktop keeps the shortcuts under this name from run to run";
    EXPECT_FALSE(portal_->options.value(QStringLiteral("handle_token")).toString().isEmpty());
    EXPECT_EQ(portal_->triggers,
              (std::map<QString, QString>{
                  {QStringLiteral("fn"), QStringLiteral("Control_R")},
                  {QStringLiteral("option"), QStringLiteral("Alt_L")},
                  {QStringLiteral("control"), QStringLiteral("Control_L")},
                  {QStringLiteral("controlShift"), QStringLiteral("CTRL+SHIFT+Shift_L")}}));

    ASSERT_TRUE(sendAndWait("Activated", QStringLiteral("fn"), 1));
    ASSERT_TRUE(sendAndWait("Deactivated", QStringLiteral("fn"), 2));
    EXPECT_EQ(flags_, (std::vector<ModifierFlags>{modifier_flags::function, 0}));

    // Another client's session, and Sayloom's own Ctrl+V while it posts keys, are not the user's
    // hotkey; a release while posting still counts.
    portal_->send("Activated", portal_->sessionPath + QStringLiteral("x"), QStringLiteral("fn"));
    monitor_->beginPosting();
    portal_->send("Activated", portal_->sessionPath, QStringLiteral("fn"));
    settle();
    monitor_->endPosting();
    EXPECT_EQ(flags_.size(), 2u);
    ASSERT_TRUE(sendAndWait("Activated", QStringLiteral("option"), 3));
    monitor_->beginPosting();
    ASSERT_TRUE(sendAndWait("Deactivated", QStringLiteral("option"), 4));
    monitor_->endPosting();
    EXPECT_EQ(flags_[2], modifier_flags::option);
    EXPECT_EQ(flags_[3], ModifierFlags{0});

    monitor_->removeMonitor(*handle_);
    EXPECT_TRUE(QTest::qWaitFor([&] { return portal_->session.closed.load() == 1; }, kBoundMs))
        << "the session ends with the global monitor";
}

TEST_F(PortalKeyMonitorTest, ThePortalLeavingReleasesWhatItHeld) {
    offerPortal();
    startMonitor({HotkeyOption::optionKey});
    ASSERT_TRUE(sendAndWait("Activated", QStringLiteral("option"), 1));
    ASSERT_TRUE(server_->unregisterService(kService));
    ASSERT_TRUE(QTest::qWaitFor([&] { return flags_.size() == 2; }, kBoundMs));
    EXPECT_EQ(flags_.back(), ModifierFlags{0});
}

} // namespace

#include "PortalGlobalShortcutsKeyMonitorTests.moc"
