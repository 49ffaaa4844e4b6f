#pragma once

#include "hotkeys/KeyEventMonitor.h"

#include <QWidget>

namespace sayloom {

class AppSettings;
class HotkeyPicker;
class LanguageComboBox;

// The two shortcuts as rows of pickers bound to the settings: "Hold" [dictation hotkey] "Speak"
// [speech language], and "Hold" [translation hotkey, or "None"] "Translate to" [output
// language]. Each picker holds back the option the other hotkey holds, and marks the options the
// session's hotkey road (`road`) handles otherwise. A choice is written to the
// settings at once; the rows follow the settings, whoever changed them. The settings must
// outlive it.
class ShortcutRows final : public QWidget {
    Q_OBJECT

public:
    ShortcutRows(AppSettings& settings, KeyEventMonitor::Capabilities road,
                 QWidget* parent = nullptr);

    HotkeyPicker* dictationHotkey() const { return dictationHotkey_; }
    HotkeyPicker* translationHotkey() const { return translationHotkey_; }
    LanguageComboBox* speechLanguage() const { return speechLanguage_; }
    LanguageComboBox* outputLanguage() const { return outputLanguage_; }

Q_SIGNALS:
    // The user chose a hotkey or a language.
    void chosen();

private:
    void refresh();

    AppSettings& settings_;
    HotkeyPicker* dictationHotkey_ = nullptr;
    HotkeyPicker* translationHotkey_ = nullptr;
    LanguageComboBox* speechLanguage_ = nullptr;
    LanguageComboBox* outputLanguage_ = nullptr;
};

} // namespace sayloom
