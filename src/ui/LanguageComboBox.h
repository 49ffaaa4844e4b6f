#pragma once

#include "settings/SpeechLanguage.h"

#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QString>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace sayloom {

// A button showing the chosen language (its flag and name) that opens a searchable list of
// languages: typing filters the list by name or code, the arrow keys move through it, Return or a
// click chooses, Escape closes it. The speech picker offers "auto", the output picker does not.
// It shows the key it is given and reports the key the user chose; the settings decide.
class LanguageComboBox final : public QPushButton {
    Q_OBJECT

public:
    static constexpr int kPopupWidth = 270;
    static constexpr int kPopupHeight = 280;

    // The rows listed for `searchText`, in list order: the speech list's with `allowAuto`, the
    // output list's without.
    static QList<SpeechLanguage> rows(const QString& searchText, bool allowAuto);

    LanguageComboBox(bool allowAuto, const QString& accessibleName, QWidget* parent = nullptr);
    ~LanguageComboBox() override;

    // The language's key (a code, or an English spelling such as "en_uk").
    void setSelectedKey(const QString& key);
    const QString& selectedKey() const { return selectedKey_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    bool isOpen() const;
    void openList();
    // The list while it is open: its search field and rows, for tests.
    QLineEdit* searchField() const { return search_; }
    QListWidget* listWidget() const { return list_; }

Q_SIGNALS:
    void keyChosen(const QString& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showSelection();
    void fillList();
    void choose(QListWidgetItem* item);
    void moveCurrent(int steps);

    bool allowAuto_;
    QString selectedKey_;
    QLabel* flag_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* allLanguages_ = nullptr;
    QPointer<QFrame> popup_;
    QLineEdit* search_ = nullptr;
    QListWidget* list_ = nullptr;
};

} // namespace sayloom
