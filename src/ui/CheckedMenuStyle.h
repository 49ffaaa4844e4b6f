#pragma once

#include <QProxyStyle>

namespace sayloom {

// A menu style for lists of choices with icons: the checked item keeps its icon as it is and
// gets a check mark at its right end (styles such as Fusion would only frame its icon).
class CheckedMenuStyle final : public QProxyStyle {
    Q_OBJECT

public:
    explicit CheckedMenuStyle(QObject* parent = nullptr);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget = nullptr) const override;
};

} // namespace sayloom
