#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <vector>

namespace sayloom::testing {

// The desktop's notification server as a test plays it: org.freedesktop.Notifications at
// /org/freedesktop/Notifications, recording what it was asked to show. Its replies come from the
// test's event loop, which must run while the process under test posts.
class FakeNotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        QString application;
        uint replaces = 0;
        QString summary;
        QString body;
    };

    // Gives the name and the path back.
    ~FakeNotificationServer() override;

    // Takes the server's name and path on `bus`: an empty string when done, else what failed.
    QString registerOnBus(QDBusConnection bus = QDBusConnection::sessionBus());

    std::vector<Shown> shown;

public Q_SLOTS:
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);
    uint Notify(const QString& application, uint replaces, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int timeout);

private:
    std::vector<QDBusConnection> buses_;
};

} // namespace sayloom::testing
