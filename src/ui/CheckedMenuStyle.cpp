#include "ui/CheckedMenuStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

namespace sayloom {

namespace {

// The check mark's column at the item's right end.
constexpr int kCheckColumn = 24;

} // namespace

// Over a new instance of the application's style: a proxy owns its base.
CheckedMenuStyle::CheckedMenuStyle(QObject* parent)
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {
    setParent(parent);
}

void CheckedMenuStyle::drawControl(ControlElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || !item || item->checkType == QStyleOptionMenuItem::NotCheckable) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    QStyleOptionMenuItem plain(*item);
    plain.checked = false;
    plain.checkType = QStyleOptionMenuItem::NotCheckable;
    QProxyStyle::drawControl(element, &plain, painter, widget);
    if (!item->checked)
        return;
    const bool selected = item->state & State_Selected;
    const QRectF box(item->rect.right() - kCheckColumn + 6, item->rect.center().y() - 5, 11, 10);
    QPainterPath check;
    check.moveTo(box.left(), box.top() + box.height() * 0.55);
    check.lineTo(box.left() + box.width() * 0.38, box.bottom());
    check.lineTo(box.right(), box.top());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(item->palette.color(selected ? QPalette::HighlightedText : QPalette::Text),
                         1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->drawPath(check);
    painter->restore();
}

QSize CheckedMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                         const QSize& size, const QWidget* widget) const {
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_MenuItem)
        result.rwidth() += kCheckColumn;
    return result;
}

} // namespace sayloom
