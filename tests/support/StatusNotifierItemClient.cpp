#include "StatusNotifierItemClient.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <algorithm>

namespace sayloom::testing {

namespace {

constexpr int kCallTimeoutMs = 5000;
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

// a(iiay)
QList<StatusNotifierItemClient::Pixmap> readPixmaps(const QDBusArgument& argument) {
    QList<StatusNotifierItemClient::Pixmap> pixmaps;
    argument.beginArray();
    while (!argument.atEnd()) {
        StatusNotifierItemClient::Pixmap pixmap;
        argument.beginStructure();
        argument >> pixmap.width >> pixmap.height >> pixmap.argb;
        argument.endStructure();
        pixmaps << pixmap;
    }
    argument.endArray();
    return pixmaps;
}

// (ia{sv}av): one menu node; its children are left unread.
StatusNotifierItemClient::MenuEntry readMenuEntry(const QDBusArgument& argument,
                                                  QList<QDBusArgument>* children = nullptr) {
    StatusNotifierItemClient::MenuEntry entry;
    QVariantMap properties;
    argument.beginStructure();
    argument >> entry.id >> properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        if (children)
            *children << child.variant().value<QDBusArgument>();
    }
    argument.endArray();
    argument.endStructure();
    entry.label = properties.value(QStringLiteral("label")).toString();
    entry.type = properties.value(QStringLiteral("type"), QStringLiteral("standard")).toString();
    entry.visible = properties.value(QStringLiteral("visible"), true).toBool();
    entry.enabled = properties.value(QStringLiteral("enabled"), true).toBool();
    return entry;
}

} // namespace

StatusNotifierItemClient::StatusNotifierItemClient(QDBusConnection bus, QString service,
                                                   QString path)
    : bus_(std::move(bus))
    , service_(std::move(service))
    , path_(std::move(path)) {}

QVariant StatusNotifierItemClient::property(const QString& name) {
    const QVariant value = call(path_, QStringLiteral("org.freedesktop.DBus.Properties"),
                                QStringLiteral("Get"), {kItemInterface, name});
    return value.value<QDBusVariant>().variant();
}

QString StatusNotifierItemClient::status() { return property(QStringLiteral("Status")).toString(); }

QString StatusNotifierItemClient::title() { return property(QStringLiteral("Title")).toString(); }

QString StatusNotifierItemClient::iconName() {
    return property(QStringLiteral("IconName")).toString();
}

QList<StatusNotifierItemClient::Pixmap> StatusNotifierItemClient::iconPixmap() {
    const QVariant value = property(QStringLiteral("IconPixmap"));
    if (!value.canConvert<QDBusArgument>())
        return {};
    return readPixmaps(value.value<QDBusArgument>());
}

StatusNotifierItemClient::ToolTip StatusNotifierItemClient::toolTip() {
    const QVariant value = property(QStringLiteral("ToolTip"));
    ToolTip toolTip;
    if (!value.canConvert<QDBusArgument>())
        return toolTip;
    // (sa(iiay)ss)
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginStructure();
    argument >> toolTip.iconName;
    toolTip.iconPixmap = readPixmaps(argument);
    argument >> toolTip.title >> toolTip.subTitle;
    argument.endStructure();
    return toolTip;
}

QString StatusNotifierItemClient::menuPath() {
    return property(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
}

QList<StatusNotifierItemClient::MenuEntry> StatusNotifierItemClient::menuEntries() {
    const QString menu = menuPath();
    if (menu.isEmpty())
        return {};
    // GetLayout(parent 0, depth 1, all properties) -> (revision, layout)
    QVariantList rest;
    call(menu, kMenuInterface, QStringLiteral("GetLayout"), {0, 1, QStringList()}, &rest);
    if (rest.isEmpty())
        return {};
    QList<QDBusArgument> children;
    readMenuEntry(rest.first().value<QDBusArgument>(), &children);
    QList<MenuEntry> entries;
    for (const QDBusArgument& child : children)
        entries << readMenuEntry(child);
    return entries;
}

QStringList StatusNotifierItemClient::visibleMenuLabels() {
    QStringList labels;
    for (const MenuEntry& entry : menuEntries()) {
        if (entry.visible)
            labels << (entry.type == QLatin1String("separator") ? QString() : entry.label);
    }
    return labels;
}

bool StatusNotifierItemClient::clickMenuItem(const QString& label) {
    const QList<MenuEntry> entries = menuEntries();
    const auto entry = std::find_if(entries.begin(), entries.end(), [&](const MenuEntry& e) {
        return e.visible && e.type != QLatin1String("separator") && e.label == label;
    });
    if (entry == entries.end()) {
        lastError_ = QStringLiteral("no visible menu entry \"%1\"").arg(label);
        return false;
    }
    // Event(id, "clicked", data, timestamp)
    call(menuPath(), kMenuInterface, QStringLiteral("Event"),
         {entry->id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    return lastError_.isEmpty();
}

bool StatusNotifierItemClient::activate() {
    call(path_, kItemInterface, QStringLiteral("Activate"), {0, 0});
    return lastError_.isEmpty();
}

QVariant StatusNotifierItemClient::call(const QString& path, const QString& interface,
                                        const QString& method, const QVariantList& arguments,
                                        QVariantList* rest) {
    QDBusMessage message = QDBusMessage::createMethodCall(service_, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus_.call(message, QDBus::BlockWithGui, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        lastError_ = QStringLiteral("%1.%2 on %3%4: %5")
                         .arg(interface, method, service_, path, reply.errorMessage());
        return {};
    }
    lastError_.clear();
    QVariantList values = reply.arguments();
    if (rest)
        *rest = values.mid(1);
    return values.value(0);
}

} // namespace sayloom::testing
