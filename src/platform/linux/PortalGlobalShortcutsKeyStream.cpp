#include "platform/linux/PortalGlobalShortcutsKeyStream.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>

namespace sayloom::linux_desktop {

namespace portal {

// One entry of the portal's shortcut lists (a(sa{sv})): an id and its properties.
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace portal

} // namespace sayloom::linux_desktop

Q_DECLARE_METATYPE(sayloom::linux_desktop::portal::Shortcut)

namespace sayloom::linux_desktop {

// Receives the portal's signals for a stream: QtDBus delivers signals to slots only.
class PortalSignals : public QObject {
    Q_OBJECT

public:
    explicit PortalSignals(PortalGlobalShortcutsKeyStream& stream) : stream_(stream) {}

public Q_SLOTS:
    void response(uint response, const QVariantMap& results) {
        stream_.handleResponse(response, results);
    }
    // Activated and Deactivated: (session handle, shortcut id, timestamp, options).
    void activated(const QDBusMessage& message) { shortcut(true, message); }
    void deactivated(const QDBusMessage& message) { shortcut(false, message); }

private:
    void shortcut(bool active, const QDBusMessage& message) {
        const QVariantList arguments = message.arguments();
        if (arguments.size() < 2)
            return;
        stream_.handleShortcut(active, arguments[0].value<QDBusObjectPath>(),
                               arguments[1].toString());
    }

    PortalGlobalShortcutsKeyStream& stream_;
};

namespace {

constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";

QList<portal::Shortcut> requestedShortcuts() {
    QList<portal::Shortcut> list;
    for (const PortalGlobalShortcuts::Shortcut& shortcut : PortalGlobalShortcuts::shortcuts())
        list.push_back({shortcut.id,
                        {{QStringLiteral("description"), shortcut.description},
                         {QStringLiteral("preferred_trigger"), shortcut.preferredTrigger}}});
    return list;
}

// A token for a request object, unique within this process.
QString nextRequestToken() {
    static unsigned count = 0;
    return QStringLiteral("sayloom_%1").arg(++count);
}

// The session's token: KDE names the shortcuts' component after it.
constexpr const char* kSessionToken = "sayloom";

// What the portal says the shortcuts are bound to ("control: Ctrl"), for the log. KDE describes a
// modifier bound alone as an unprintable character.
QString describeBound(const QVariant& shortcuts) {
    if (!shortcuts.canConvert<QDBusArgument>())
        return QStringLiteral("(not listed)");
    QStringList bound;
    for (const portal::Shortcut& shortcut :
         qdbus_cast<QList<portal::Shortcut>>(shortcuts.value<QDBusArgument>())) {
        const QString trigger =
            shortcut.properties.value(QStringLiteral("trigger_description")).toString();
        bound.push_back(QStringLiteral("%1: %2").arg(
            shortcut.id, trigger.isEmpty() ? QStringLiteral("(no trigger)") : trigger));
    }
    return bound.join(QStringLiteral(", "));
}

} // namespace

std::unique_ptr<PortalGlobalShortcutsKeyStream>
PortalGlobalShortcutsKeyStream::open(const QDBusConnection& bus, const QString& service,
                                     const KeyInterest& interest, Listener listener,
                                     QString& failure) {
    if (!bus.isConnected()) {
        failure = QStringLiteral("Cannot register the hotkey with the desktop portal: no session "
                                 "bus (%1)")
                      .arg(bus.lastError().message());
        return nullptr;
    }
    std::unique_ptr<PortalGlobalShortcutsKeyStream> stream(
        new PortalGlobalShortcutsKeyStream(bus, service, std::move(listener)));
    stream->setKeyInterest(interest);
    stream->createSession();
    return stream;
}

PortalGlobalShortcutsKeyStream::PortalGlobalShortcutsKeyStream(const QDBusConnection& bus,
                                                               const QString& service,
                                                               Listener listener)
    : SessionKeyStream(std::move(listener))
    , bus_(bus)
    , service_(service)
    , signals_(std::make_unique<PortalSignals>(*this))
    , watcher_(std::make_unique<QDBusServiceWatcher>(service, bus,
                                                     QDBusServiceWatcher::WatchForUnregistration)) {
    qDBusRegisterMetaType<portal::Shortcut>();
    qDBusRegisterMetaType<QList<portal::Shortcut>>();
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered, &context(),
                     [this] { handlePortalGone(); });
    bus_.connect(service_, QLatin1String(kPath), QLatin1String(kInterface),
                 QStringLiteral("Activated"), signals_.get(), SLOT(activated(QDBusMessage)));
    bus_.connect(service_, QLatin1String(kPath), QLatin1String(kInterface),
                 QStringLiteral("Deactivated"), signals_.get(), SLOT(deactivated(QDBusMessage)));
}

PortalGlobalShortcutsKeyStream::~PortalGlobalShortcutsKeyStream() {
    unsubscribeFromRequest();
    bus_.disconnect(service_, QLatin1String(kPath), QLatin1String(kInterface),
                    QStringLiteral("Activated"), signals_.get(), SLOT(activated(QDBusMessage)));
    bus_.disconnect(service_, QLatin1String(kPath), QLatin1String(kInterface),
                    QStringLiteral("Deactivated"), signals_.get(), SLOT(deactivated(QDBusMessage)));
    // The shortcuts go with the session; nobody waits for the answer.
    if (!sessionPath_.isEmpty())
        bus_.send(QDBusMessage::createMethodCall(
            service_, sessionPath_, QLatin1String(kSessionInterface), QStringLiteral("Close")));
}

void PortalGlobalShortcutsKeyStream::createSession() {
    const QString token = nextRequestToken();
    // The portal names the request object after the caller and the token; its Response may come
    // at once, so the subscription comes before the call.
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    subscribeToRequest(
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token));

    QDBusMessage call = QDBusMessage::createMethodCall(
        service_, QLatin1String(kPath), QLatin1String(kInterface), QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), QLatin1String(kSessionToken)},
                        {QStringLiteral("shortcuts"), QVariant::fromValue(requestedShortcuts())}};
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), signals_.get());
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, signals_.get(),
                     [this](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         const QDBusPendingReply<QDBusObjectPath> reply = *finished;
                         if (reply.isError()) {
                             log_.error("The desktop portal cannot make a global shortcuts "
                                        "session: %{public}s",
                                        reply.error().message());
                             unsubscribeFromRequest();
                             return;
                         }
                         // An older portal names the request object otherwise.
                         if (!requestPath_.isEmpty() && reply.value().path() != requestPath_) {
                             unsubscribeFromRequest();
                             subscribeToRequest(reply.value().path());
                         }
                     });
    log_.info("Registering the hotkey with the desktop portal's global shortcuts");
}

void PortalGlobalShortcutsKeyStream::subscribeToRequest(const QString& path) {
    requestPath_ = path;
    bus_.connect(service_, requestPath_, QLatin1String(kRequestInterface),
                 QStringLiteral("Response"), signals_.get(), SLOT(response(uint, QVariantMap)));
}

void PortalGlobalShortcutsKeyStream::unsubscribeFromRequest() {
    if (requestPath_.isEmpty())
        return;
    bus_.disconnect(service_, requestPath_, QLatin1String(kRequestInterface),
                    QStringLiteral("Response"), signals_.get(), SLOT(response(uint, QVariantMap)));
    requestPath_.clear();
}

void PortalGlobalShortcutsKeyStream::handleResponse(uint response, const QVariantMap& results) {
    unsubscribeFromRequest();
    // 0: done; 1: the user cancelled; 2: refused or failed.
    if (response != 0) {
        log_.error("The desktop portal refused the hotkey's global shortcuts (response %{public}u)",
                   response);
        return;
    }
    sessionPath_ = results.value(QStringLiteral("session_handle")).toString();
    if (sessionPath_.isEmpty())
        sessionPath_ =
            results.value(QStringLiteral("session_handle")).value<QDBusObjectPath>().path();
    log_.info("The desktop portal's global shortcuts hold the hotkey");
    log_.debug("portal: bound %{public}s",
               describeBound(results.value(QStringLiteral("shortcuts"))));
}

void PortalGlobalShortcutsKeyStream::handleShortcut(bool active, const QDBusObjectPath& session,
                                                    const QString& id) {
    if (sessionPath_.isEmpty() || session.path() != sessionPath_)
        return;
    log_.debug("portal: %{public}s %{public}s", id,
               active ? QStringLiteral("activated") : QStringLiteral("deactivated"));
    // A release always counts: ignoring it would leave a key held.
    if (active && postingDepth_ > 0)
        return;
    queueAll(active ? shortcuts_.activated(id) : shortcuts_.deactivated(id));
}

void PortalGlobalShortcutsKeyStream::handlePortalGone() {
    if (gone_)
        return;
    gone_ = true;
    log_.error("The desktop portal left the bus: the hotkey is no longer observed");
    sessionPath_.clear();
    queueAll(shortcuts_.deactivateAll());
}

void PortalGlobalShortcutsKeyStream::queueAll(const std::vector<HeldKeys::Change>& changes) {
    for (const HeldKeys::Change& change : changes)
        queue(change);
    scheduleDelivery();
}

} // namespace sayloom::linux_desktop

#include "PortalGlobalShortcutsKeyStream.moc"
