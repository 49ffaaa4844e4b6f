#include "ui/ViewParts.h"

#include <QLabel>

// The resources of a static library register only when asked to, outside any namespace.
static void registerViewResources() { Q_INIT_RESOURCE(icons); }

namespace sayloom {

QString viewIconPath(const QString& name) {
    static const bool registered = (registerViewResources(), true);
    (void)registered;
    return QStringLiteral(":/sayloom/ui/icons/%1.svg").arg(name);
}

QIcon viewIcon(const QString& name) { return QIcon(viewIconPath(name)); }

QIcon themedViewIcon(const QString& themeName, const QString& fallbackName) {
    return QIcon::fromTheme(themeName, viewIcon(fallbackName));
}

QLabel* makeTextLabel(const QString& text, int pixelSize, QFont::Weight weight, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

QLabel* makeIconLabel(const QIcon& icon, int pixelSize, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(icon.pixmap(QSize(pixelSize, pixelSize), label->devicePixelRatioF()));
    label->setFixedHeight(pixelSize);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace sayloom
