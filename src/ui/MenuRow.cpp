#include "ui/MenuRow.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace sayloom {

namespace {

constexpr int kIconSize = 16;
constexpr int kSideMargin = 8;
constexpr int kPadding = 8;
constexpr int kGap = 10;

} // namespace

MenuRow::MenuRow(const QIcon& icon, const QString& text, QWidget* parent)
    : QAbstractButton(parent) {
    setIcon(icon);
    setText(text);
    setIconSize(QSize(kIconSize, kIconSize));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);
}

void MenuRow::setTrailingIcon(const QIcon& icon) {
    trailing_ = icon;
    update();
}

QSize MenuRow::sizeHint() const {
    const int trailing = trailing_.isNull() ? 0 : kGap + kIconSize;
    return QSize(2 * (kSideMargin + kPadding) + kIconSize + kGap +
                     fontMetrics().horizontalAdvance(text()) + trailing,
                 kHeight);
}

void MenuRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect plate = rect().adjusted(kSideMargin, 1, -kSideMargin, -1);
    if (hasFocus() || isDown()) {
        QColor highlight = palette().color(QPalette::Highlight);
        highlight.setAlphaF(isDown() ? 0.32f : 0.18f);
        QPainterPath path;
        path.addRoundedRect(plate, 5, 5);
        painter.fillPath(path, highlight);
    }
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    int x = plate.left() + kPadding;
    const QRect iconRect(x, plate.center().y() - kIconSize / 2 + 1, kIconSize, kIconSize);
    icon().paint(&painter, iconRect, Qt::AlignCenter, mode);
    x += kIconSize + kGap;
    int right = plate.right() - kPadding;
    if (!trailing_.isNull()) {
        trailing_.paint(&painter,
                        QRect(right - kIconSize + 1, iconRect.top(), kIconSize, kIconSize),
                        Qt::AlignCenter, mode);
        right -= kIconSize + kGap;
    }
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect textRect(x, plate.top(), right - x + 1, plate.height());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width()));
}

void MenuRow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

// The pointer takes the focus with it, so that one row is highlighted whether the mouse or the
// keyboard leads, and the keyboard goes on from where the pointer was.
void MenuRow::enterEvent(QEnterEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QAbstractButton::enterEvent(event);
}

void MenuRow::leaveEvent(QEvent* event) {
    if (hasFocus())
        clearFocus();
    QAbstractButton::leaveEvent(event);
}

void MenuRow::focusInEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusInEvent(event);
}

void MenuRow::focusOutEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusOutEvent(event);
}

} // namespace sayloom
