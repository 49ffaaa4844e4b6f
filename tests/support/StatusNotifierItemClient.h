#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace sayloom::testing {

// One StatusNotifierItem on the bus, read and driven as a tray host would: its properties
// (org.kde.StatusNotifierItem), its exported menu (com.canonical.dbusmenu on its Menu path) and
// clicks. Every call blocks for at most a few seconds while the test's event loop goes on; a
// failed call gives an empty value (or false), with the reason in lastError().
class StatusNotifierItemClient {
public:
    // An icon image: width × height pixels, ARGB32 in network byte order.
    struct Pixmap {
        int width = 0;
        int height = 0;
        QByteArray argb;
        friend bool operator==(const Pixmap&, const Pixmap&) = default;
    };
    struct ToolTip {
        QString iconName;
        QList<Pixmap> iconPixmap;
        QString title;
        QString subTitle;
    };
    // A top-level entry of the menu; a separator has the type "separator" and no label.
    struct MenuEntry {
        int id = 0;
        QString label;
        QString type;
        bool visible = true;
        bool enabled = true;
    };

    StatusNotifierItemClient(QDBusConnection bus, QString service, QString path);

    const QString& service() const { return service_; }
    const QString& path() const { return path_; }
    const QString& lastError() const { return lastError_; }

    QString status();
    QString title();
    QString iconName();
    QList<Pixmap> iconPixmap();
    ToolTip toolTip();
    // The object path of the item's exported menu.
    QString menuPath();
    // Any property of the item, as QtDBus hands it over.
    QVariant property(const QString& name);

    // The top-level entries of the exported menu, in order.
    QList<MenuEntry> menuEntries();
    // The labels of the visible top-level entries, a separator as an empty label.
    QStringList visibleMenuLabels();
    // Sends "clicked" to the visible entry with this label.
    bool clickMenuItem(const QString& label);
    // A left click on the item (Activate).
    bool activate();

private:
    QVariant call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& arguments, QVariantList* rest = nullptr);

    QDBusConnection bus_;
    QString service_;
    QString path_;
    QString lastError_;
};

} // namespace sayloom::testing
