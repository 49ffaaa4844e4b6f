#pragma once

#include <QAbstractButton>
#include <QIcon>

namespace sayloom {

// One row of the tray's menu window: a symbol and a label, and a trailing symbol where the row
// opens something more. The row under the pointer and the row with the keyboard focus are one
// and the same, and highlighted; Return, Enter and Space press it.
class MenuRow final : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int kHeight = 28;

    MenuRow(const QIcon& icon, const QString& text, QWidget* parent = nullptr);

    void setTrailingIcon(const QIcon& icon);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QIcon trailing_;
};

} // namespace sayloom
