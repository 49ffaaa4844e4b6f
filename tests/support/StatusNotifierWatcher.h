#pragma once

#include "StatusNotifierItemClient.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QStringList>

#include <optional>

namespace sayloom::testing {

// The desktop's tray host as a test plays it: org.kde.StatusNotifierWatcher at
// /StatusNotifierWatcher on the session bus, with a host registered. Items that register with it
// can be waited for and then read and driven through a StatusNotifierItemClient.
//
// Qt looks for the watcher once, when an application starts, and otherwise falls back to the
// X11 tray: register the watcher before starting the process whose tray icon is under test.
// Main thread; the test's event loop must run for items to register (waitForItem runs it).
//
//     StatusNotifierWatcher watcher;
//     REQUIRE_REAL_PART(watcher.registerOnBus());
//     ... start the process ...
//     std::optional<StatusNotifierItemClient> item = watcher.waitForItem();
//     ASSERT_TRUE(item);
//     EXPECT_EQ(item->status(), "Active");
class StatusNotifierWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredStatusNotifierItems)

public:
    explicit StatusNotifierWatcher(QDBusConnection bus = QDBusConnection::sessionBus());
    // Gives the name and the path back.
    ~StatusNotifierWatcher() override;

    // Takes the watcher's name and path on the bus: an empty string when done, else what failed.
    QString registerOnBus();

    // The first item that registers (or has registered), waiting up to `timeoutMs`.
    std::optional<StatusNotifierItemClient> waitForItem(int timeoutMs = 10'000);

    // The items registered and still on the bus, as "service/path".
    QStringList registeredStatusNotifierItems() const;
    bool isStatusNotifierHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    // Called over D-Bus: the argument is the item's bus name (its object then sits at
    // /StatusNotifierItem) or an object path of the caller.
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message);
    void RegisterStatusNotifierHost(const QString& service);

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    struct Item {
        QString service;
        QString path;
    };

    void dropItemsOf(const QString& service);

    QDBusConnection bus_;
    QDBusServiceWatcher owners_;
    QList<Item> items_;
    bool registered_ = false;
};

} // namespace sayloom::testing
