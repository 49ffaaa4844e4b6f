#include "platform/linux/MutterRemoteDesktopKeyPoster.h"

#include "support/PlatformText.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusObjectPath>

#include <linux/input-event-codes.h>

namespace sayloom::linux_desktop {

namespace {

const QString kDesktopPath = QStringLiteral("/org/gnome/Mutter/RemoteDesktop");
const QString kSessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");

QString service() { return QString::fromLatin1(MutterRemoteDesktopKeyPoster::kService); }

// The compositor's answer when the user did not allow remote control.
bool isRefusal(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage)
        return false;
    const QString name = reply.errorName();
    return QDBusError(reply).type() == QDBusError::AccessDenied ||
           name.endsWith(QLatin1String(".AccessDenied")) ||
           name.endsWith(QLatin1String(".PermissionDenied"));
}

// Each remote-desktop poster has a bus connection of its own: its session ends with it.
QString newConnectionName() {
    static int made = 0;
    return QStringLiteral("sayloom-remote-desktop-%1").arg(++made);
}

} // namespace

MutterRemoteDesktopKeyPoster::MutterRemoteDesktopKeyPoster(QObject* parent)
    : QObject(parent)
    , connectionName_(newConnectionName())
    , bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName_)) {}

MutterRemoteDesktopKeyPoster::~MutterRemoteDesktopKeyPoster() {
    // Closing the connection ends the session too; stopping it says so at once.
    if (!sessionPath_.isEmpty()) {
        QDBusMessage stop = QDBusMessage::createMethodCall(
            service(), sessionPath_, kSessionInterface, QStringLiteral("Stop"));
        bus_.call(stop, QDBus::Block, static_cast<int>(kCallTimeout.count()));
    }
    QDBusConnection::disconnectFromBus(connectionName_);
}

bool MutterRemoteDesktopKeyPoster::isServiceAvailable() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(service()).value();
}

QDBusMessage MutterRemoteDesktopKeyPoster::call(const QString& path, const QString& interface,
                                                const QString& method,
                                                const QVariantList& arguments,
                                                std::chrono::milliseconds timeout) {
    QDBusMessage message = QDBusMessage::createMethodCall(service(), path, interface, method);
    message.setArguments(arguments);
    // Blocks without running the event loop: nothing else of ours happens between two keys.
    return bus_.call(message, QDBus::Block, static_cast<int>(timeout.count()));
}

void MutterRemoteDesktopKeyPoster::forgetSession() {
    if (sessionPath_.isEmpty())
        return;
    bus_.disconnect(service(), sessionPath_, kSessionInterface, QStringLiteral("Closed"), this,
                    SLOT(sessionClosed()));
    sessionPath_.clear();
}

void MutterRemoteDesktopKeyPoster::sessionClosed() {
    log_.info("The remote desktop session was closed; the next keys open another");
    forgetSession();
}

bool MutterRemoteDesktopKeyPoster::ensureSession() {
    if (!sessionPath_.isEmpty())
        return true;
    if (!bus_.isConnected()) {
        log_.error("No session bus for remote desktop keys: %{public}s",
                   bus_.lastError().message());
        return false;
    }
    log_.info("Opening a remote desktop session to press keys. %{public}s",
              platformText(PlatformTextKey::remoteControlConsent));
    const QDBusMessage created =
        call(kDesktopPath, service(), QStringLiteral("CreateSession"), {}, kCallTimeout);
    refused_ = isRefusal(created);
    if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty()) {
        log_.error("No remote desktop session: %{public}s", created.errorMessage());
        return false;
    }
    const QString path = created.arguments().constFirst().value<QDBusObjectPath>().path();
    bus_.connect(service(), path, kSessionInterface, QStringLiteral("Closed"), this,
                 SLOT(sessionClosed()));
    // The first time, the desktop may ask the user whether to allow it.
    const QDBusMessage started =
        call(path, kSessionInterface, QStringLiteral("Start"), {}, kStartTimeout);
    refused_ = isRefusal(started);
    if (started.type() != QDBusMessage::ReplyMessage) {
        log_.error("The remote desktop session did not start: %{public}s", started.errorMessage());
        bus_.disconnect(service(), path, kSessionInterface, QStringLiteral("Closed"), this,
                        SLOT(sessionClosed()));
        return false;
    }
    sessionPath_ = path;
    // The session makes its keyboard with the first key it sends, and that key is lost: a lone
    // Shift, so that no key of ours is.
    for (const bool pressed : {true, false})
        call(sessionPath_, kSessionInterface, QStringLiteral("NotifyKeyboardKeycode"),
             {TypingKeymap::kLeftShift, pressed}, kCallTimeout);
    log_.info("Remote desktop session %{public}s started", sessionPath_);
    return true;
}

bool MutterRemoteDesktopKeyPoster::send(const std::vector<KeyEvent>& events) {
    if (events.empty())
        return true;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureSession())
            return false;
        bool first = true;
        bool failed = false;
        for (const auto& [code, pressed] : events) {
            const QDBusMessage reply =
                call(sessionPath_, kSessionInterface, QStringLiteral("NotifyKeyboardKeycode"),
                     {code, pressed}, kCallTimeout);
            if (reply.type() == QDBusMessage::ReplyMessage) {
                first = false;
                continue;
            }
            log_.error("A remote desktop key was not sent: %{public}s", reply.errorMessage());
            failed = true;
            break;
        }
        if (!failed)
            return true;
        // A session the compositor closed before our first key: make another and send them all
        // again. Past the first key, sending again would repeat what went through.
        forgetSession();
        if (!first)
            return false;
    }
    return false;
}

} // namespace sayloom::linux_desktop
