#include "ui/ViewParts.h"

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>

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

QIcon symbolIcon(const QString& themeName, const QString& fallbackName, const QColor& colour) {
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    // Ours are drawn in black on transparency: keep the coverage, take the colour of the text
    // they stand next to, so that they read on light and dark palettes alike.
    QSvgRenderer renderer(viewIconPath(fallbackName));
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 40, 48}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), colour);
        painter.end();
        icon.addPixmap(QPixmap::fromImage(std::move(image)));
    }
    return icon;
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

QLabel* makeLeftTextLabel(const QString& text, int pixelSize, QFont::Weight weight,
                          QWidget* parent) {
    QLabel* label = makeTextLabel(text, pixelSize, weight, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLabel* secondary(QLabel* label) {
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel* makeIconLabel(const QIcon& icon, int pixelSize, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(icon.pixmap(QSize(pixelSize, pixelSize), label->devicePixelRatioF()));
    label->setFixedHeight(pixelSize);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QPushButton* makeLinkButton(const QString& text, int pixelSize, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setCursor(Qt::PointingHandCursor);
    QFont font = button->font();
    font.setPixelSize(pixelSize);
    button->setFont(font);
    // Text only, without a button's padding, so that it lines up with the labels around it; the
    // underline shows the pointer over it and the keyboard focus on it.
    button->setStyleSheet(
        QStringLiteral("QPushButton { border: none; padding: 1px 0px; background: transparent; "
                       "color: palette(link); }"
                       "QPushButton:hover, QPushButton:focus { text-decoration: underline; }"
                       "QPushButton:disabled { color: palette(mid); }"));
    return button;
}

QPushButton* makeButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    padSides(button);
    return button;
}

void padSides(QPushButton* button) {
    constexpr int kSidePadding = 8;
    button->setMinimumWidth(button->sizeHint().width() + 2 * kSidePadding);
}

QLabel* makeSectionTitle(const QString& text, QWidget* parent) {
    QLabel* label = makeLeftTextLabel(text, 14, QFont::DemiBold, parent);
    return label;
}

QFrame* makeCard(QWidget* parent) {
    auto* card = new QFrame(parent);
    // Named, so that the style reaches the panel and none of the controls inside it.
    card->setObjectName(QStringLiteral("card"));
    card->setStyleSheet(QStringLiteral("QFrame#card { background: palette(base); border: 1px solid "
                                       "palette(midlight); border-radius: 8px; }"));
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(12);
    return card;
}

} // namespace sayloom
