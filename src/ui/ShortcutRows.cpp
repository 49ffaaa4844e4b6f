#include "ui/ShortcutRows.h"

#include "settings/AppSettings.h"
#include "ui/HotkeyPicker.h"
#include "ui/LanguageComboBox.h"

#include <QGridLayout>
#include <QLabel>

namespace sayloom {

namespace {

QLabel* rowLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

ShortcutRows::ShortcutRows(AppSettings& settings, KeyEventMonitor::Capabilities road,
                           QWidget* parent)
    : QWidget(parent)
    , settings_(settings) {
    // Created in reading order: the keyboard's focus order is the order of creation.
    dictationHotkey_ = new HotkeyPicker(false, QStringLiteral("Dictation shortcut"), road, this);
    speechLanguage_ = new LanguageComboBox(true, QStringLiteral("Speech language"), this);
    translationHotkey_ = new HotkeyPicker(true, QStringLiteral("Translation shortcut"), road, this);
    outputLanguage_ = new LanguageComboBox(false, QStringLiteral("Translate to"), this);
    // Each row's two pickers stand as tall as each other.
    for (HotkeyPicker* picker : {dictationHotkey_, translationHotkey_})
        picker->setMinimumHeight(speechLanguage_->sizeHint().height());

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->addWidget(rowLabel(QStringLiteral("Hold"), dictationHotkey_, this), 0, 0);
    grid->addWidget(dictationHotkey_, 0, 1);
    grid->addWidget(rowLabel(QStringLiteral("Speak"), speechLanguage_, this), 0, 2);
    grid->addWidget(speechLanguage_, 0, 3);
    grid->addWidget(rowLabel(QStringLiteral("Hold"), translationHotkey_, this), 1, 0);
    grid->addWidget(translationHotkey_, 1, 1);
    grid->addWidget(rowLabel(QStringLiteral("Translate to"), outputLanguage_, this), 1, 2);
    grid->addWidget(outputLanguage_, 1, 3);
    grid->setColumnStretch(3, 1);

    connect(dictationHotkey_, &HotkeyPicker::optionChosen, this, [this](HotkeyOption option) {
        settings_.setSelectedHotkey(option);
        Q_EMIT chosen();
    });
    connect(translationHotkey_, &HotkeyPicker::optionChosen, this, [this](HotkeyOption option) {
        settings_.setSelectedTranslationHotkey(option);
        settings_.setTranslationEnabled(true);
        Q_EMIT chosen();
    });
    connect(translationHotkey_, &HotkeyPicker::noneChosen, this, [this] {
        settings_.setTranslationEnabled(false);
        Q_EMIT chosen();
    });
    connect(speechLanguage_, &LanguageComboBox::keyChosen, this, [this](const QString& key) {
        settings_.setSpeechLanguageKey(key);
        Q_EMIT chosen();
    });
    connect(outputLanguage_, &LanguageComboBox::keyChosen, this, [this](const QString& key) {
        settings_.setOutputLanguageKey(key);
        Q_EMIT chosen();
    });

    const auto follow = [this] { refresh(); };
    connect(&settings_, &AppSettings::selectedHotkeyChanged, this, follow);
    connect(&settings_, &AppSettings::selectedTranslationHotkeyChanged, this, follow);
    connect(&settings_, &AppSettings::translationEnabledChanged, this, follow);
    connect(&settings_, &AppSettings::speechLanguageKeyChanged, this, follow);
    connect(&settings_, &AppSettings::outputLanguageKeyChanged, this, follow);
    refresh();
}

void ShortcutRows::refresh() {
    const HotkeyOption dictation = settings_.selectedHotkey();
    const HotkeyOption translation = settings_.selectedTranslationHotkey();
    dictationHotkey_->setState(dictation, translation);
    translationHotkey_->setState(translation, dictation, settings_.translationEnabled());
    speechLanguage_->setSelectedKey(settings_.speechLanguageKey());
    outputLanguage_->setSelectedKey(settings_.outputLanguageKey());
}

} // namespace sayloom
