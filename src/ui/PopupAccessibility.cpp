#include "ui/PopupAccessibility.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QGuiApplication>
#include <QWindow>

namespace sayloom {
namespace {

class ApplicationWithPopups final : public QAccessibleApplication {
public:
    int childCount() const override {
        return QAccessibleApplication::childCount() + static_cast<int>(popups().size());
    }

    QAccessibleInterface* child(int index) const override {
        const int windows = QAccessibleApplication::childCount();
        if (index < windows)
            return QAccessibleApplication::child(index);
        const QList<QAccessibleInterface*> shown = popups();
        return index - windows < shown.size() ? shown.at(index - windows) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        const int index = QAccessibleApplication::indexOfChild(child);
        if (index >= 0)
            return index;
        const int popup = static_cast<int>(popups().indexOf(child));
        return popup < 0 ? -1 : QAccessibleApplication::childCount() + popup;
    }

private:
    static QList<QAccessibleInterface*> popups() {
        QList<QAccessibleInterface*> shown;
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (window->type() != Qt::Popup || !window->isVisible())
                continue;
            if (QAccessibleInterface* root = window->accessibleRoot())
                shown.append(root);
        }
        return shown;
    }
};

QAccessibleInterface* applicationWithPopups(const QString& className, QObject* object) {
    if (object == qApp && className == QLatin1String("QApplication"))
        return new ApplicationWithPopups;
    return nullptr;
}

} // namespace

void includePopupsInAccessibleTree() { QAccessible::installFactory(applicationWithPopups); }

} // namespace sayloom
