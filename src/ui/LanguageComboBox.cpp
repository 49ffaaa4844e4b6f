#include "ui/LanguageComboBox.h"

#include "ui/ViewParts.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace sayloom {

namespace {

constexpr int kKeyRole = Qt::UserRole + 1;
const QString kAllLanguages = QStringLiteral("(all languages)");

bool isAuto(const SpeechLanguage& language) { return language.code == QLatin1String("auto"); }

std::optional<SpeechLanguage> languageFor(const QString& key, bool allowAuto) {
    // The output list alone has the plain "en" row; the lookup finds every other key.
    for (const SpeechLanguage& language : LanguageComboBox::rows(QString(), allowAuto))
        if (language.key() == key)
            return language;
    return speech_languages::lookup(key);
}

} // namespace

QList<SpeechLanguage> LanguageComboBox::rows(const QString& searchText, bool allowAuto) {
    return speech_languages::filter(searchText, allowAuto ? speech_languages::speechList()
                                                          : speech_languages::outputList());
}

LanguageComboBox::LanguageComboBox(bool allowAuto, const QString& accessibleName, QWidget* parent)
    : QPushButton(parent)
    , allowAuto_(allowAuto) {
    setAccessibleName(accessibleName);
    setAutoDefault(false);
    // The labels show through the button; clicks and the focus are the button's.
    flag_ = new QLabel(this);
    name_ = new QLabel(this);
    allLanguages_ = new QLabel(kAllLanguages, this);
    allLanguages_->setForegroundRole(QPalette::PlaceholderText);
    auto* chevron =
        makeIconLabel(symbolIcon(QStringLiteral("pan-up-down"), QStringLiteral("chevron-up-down"),
                                 palette().color(QPalette::ButtonText)),
                      14, this);
    for (QWidget* part : std::initializer_list<QWidget*>{flag_, name_, allLanguages_, chevron})
        part->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 4, 8, 4);
    layout->setSpacing(6);
    layout->addWidget(flag_);
    layout->addWidget(name_);
    layout->addWidget(allLanguages_);
    layout->addStretch(1);
    layout->addWidget(chevron);

    popup_ = new QFrame(this, Qt::Popup);
    popup_->setFrameShape(QFrame::StyledPanel);
    popup_->setFixedSize(kPopupWidth, kPopupHeight);
    popup_->setAccessibleName(accessibleName);
    // Its window carries the button's name too, so that a window list can tell which list is open.
    popup_->setWindowTitle(accessibleName);
    search_ = new QLineEdit(popup_);
    search_->setPlaceholderText(QStringLiteral("Search"));
    search_->setAccessibleName(QStringLiteral("Search languages"));
    search_->setClearButtonEnabled(true);
    search_->addAction(symbolIcon(QStringLiteral("edit-find"), QStringLiteral("search"),
                                  palette().color(QPalette::PlaceholderText)),
                       QLineEdit::LeadingPosition);
    search_->installEventFilter(this);
    list_ = new QListWidget(popup_);
    list_->setAccessibleName(QStringLiteral("Languages"));
    list_->setUniformItemSizes(true);
    // The search field keeps the keyboard; the list follows its arrow keys.
    list_->setFocusPolicy(Qt::NoFocus);
    auto* popupLayout = new QVBoxLayout(popup_);
    popupLayout->setContentsMargins(6, 6, 6, 6);
    popupLayout->setSpacing(6);
    popupLayout->addWidget(search_);
    popupLayout->addWidget(list_, 1);

    connect(search_, &QLineEdit::textChanged, this, [this] { fillList(); });
    connect(list_, &QListWidget::itemClicked, this, &LanguageComboBox::choose);
    connect(this, &QPushButton::clicked, this, &LanguageComboBox::openList);
    setSelectedKey(allowAuto_ ? QStringLiteral("auto") : QStringLiteral("es"));
}

LanguageComboBox::~LanguageComboBox() = default;

QSize LanguageComboBox::sizeHint() const {
    // The labels inside decide the size, not the button's own (empty) text.
    const QSize content = layout()->sizeHint();
    return QSize(content.width(), std::max(content.height(), 30));
}

QSize LanguageComboBox::minimumSizeHint() const { return sizeHint(); }

void LanguageComboBox::setSelectedKey(const QString& key) {
    selectedKey_ = key;
    showSelection();
}

void LanguageComboBox::showSelection() {
    const std::optional<SpeechLanguage> language = languageFor(selectedKey_, allowAuto_);
    flag_->setText(language ? language->flag : QString());
    name_->setText(language ? language->name : selectedKey_);
    allLanguages_->setVisible(language && isAuto(*language));
    setAccessibleDescription(name_->text());
}

bool LanguageComboBox::isOpen() const { return popup_ && popup_->isVisible(); }

void LanguageComboBox::openList() {
    if (isOpen())
        return;
    search_->clear();
    fillList();
    // Under the button, inside the screen.
    QPoint at = mapToGlobal(QPoint(0, height() + 2));
    const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen();
    if (display) {
        const QRect area = display->availableGeometry();
        if (at.y() + kPopupHeight > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - kPopupHeight - 2);
        at.setX(std::clamp(at.x(), area.left(), area.right() + 1 - kPopupWidth));
    }
    popup_->move(at);
    popup_->show();
    search_->setFocus(Qt::PopupFocusReason);
    if (QListWidgetItem* current = list_->currentItem())
        list_->scrollToItem(current, QAbstractItemView::PositionAtCenter);
}

void LanguageComboBox::fillList() {
    list_->clear();
    const QIcon check = symbolIcon(QStringLiteral("object-select"), QStringLiteral("checkmark"),
                                   palette().color(QPalette::Text));
    // A blank icon of the same size keeps the rows without the check mark aligned.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    for (const SpeechLanguage& language : rows(search_->text(), allowAuto_)) {
        QString text = language.flag + QStringLiteral("  ") + language.name;
        if (isAuto(language))
            text += QStringLiteral("  ") + kAllLanguages;
        auto* item = new QListWidgetItem(text, list_);
        item->setData(kKeyRole, language.key());
        const bool selected = language.key() == selectedKey_;
        item->setIcon(selected ? check : QIcon(blank));
        if (selected)
            list_->setCurrentItem(item);
    }
    if (!list_->currentItem() && list_->count() > 0)
        list_->setCurrentRow(0);
}

void LanguageComboBox::choose(QListWidgetItem* item) {
    if (!item)
        return;
    const QString key = item->data(kKeyRole).toString();
    popup_->hide();
    setFocus(Qt::PopupFocusReason);
    setSelectedKey(key);
    Q_EMIT keyChosen(key);
}

void LanguageComboBox::moveCurrent(int steps) {
    if (list_->count() == 0)
        return;
    const int row = std::clamp(list_->currentRow() + steps, 0, list_->count() - 1);
    list_->setCurrentRow(row);
    list_->scrollToItem(list_->item(row));
}

bool LanguageComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != search_ || event->type() != QEvent::KeyPress)
        return QPushButton::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const int page =
        std::max(1, list_->viewport()->height() / std::max(1, list_->sizeHintForRow(0)));
    switch (key->key()) {
    case Qt::Key_Down:
        moveCurrent(1);
        return true;
    case Qt::Key_Up:
        moveCurrent(-1);
        return true;
    case Qt::Key_PageDown:
        moveCurrent(page);
        return true;
    case Qt::Key_PageUp:
        moveCurrent(-page);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose(list_->currentItem());
        return true;
    case Qt::Key_Escape:
        popup_->hide();
        setFocus(Qt::PopupFocusReason);
        return true;
    default:
        return false;
    }
}

} // namespace sayloom
