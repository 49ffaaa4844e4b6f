#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace sayloom {

// One permission as a row: its name and what it is for, then either a "Granted" mark or a button
// that leads to where it is granted. A help text, when given, shows under the row once the button
// was pressed and for as long as the permission is still missing.
class PermissionRow final : public QWidget {
    Q_OBJECT

public:
    struct Texts {
        QString title;
        // Under the title while the permission is missing, and while it is granted (empty: none).
        QString missing;
        QString granted;
        // The button's text, and its name for screen readers.
        QString button;
        QString buttonName;
        QString help;
    };

    explicit PermissionRow(const Texts& texts, QWidget* parent = nullptr);

    void setGranted(bool granted);
    bool isGranted() const { return granted_; }
    QPushButton* button() const { return button_; }

Q_SIGNALS:
    void buttonClicked();

private:
    void refresh();

    Texts texts_;
    bool granted_ = false;
    bool helpRequested_ = false;
    QLabel* description_ = nullptr;
    QWidget* mark_ = nullptr;
    QPushButton* button_ = nullptr;
    QLabel* help_ = nullptr;
};

} // namespace sayloom
