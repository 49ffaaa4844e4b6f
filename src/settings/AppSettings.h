#pragma once

#include "settings/HotkeyOption.h"
#include "settings/SpeechLanguage.h"
#include "settings/TonePreset.h"
#include "support/KeyValueStore.h"
#include "support/Logger.h"

#include <QObject>
#include <QString>

#include <optional>

namespace sayloom {

// The user's choices, read from the user-defaults store at construction and written back on every
// assignment. Each property has a change signal that fires on every assignment, also when the
// value stays the same. The two hotkeys are kept distinct: the one just assigned wins and the
// other moves to the first free option. Main thread only; the application creates one instance.
class AppSettings final : public QObject {
    Q_OBJECT
    Q_PROPERTY(sayloom::HotkeyOption selectedHotkey READ selectedHotkey WRITE setSelectedHotkey
                   NOTIFY selectedHotkeyChanged)
    Q_PROPERTY(sayloom::HotkeyOption selectedTranslationHotkey READ selectedTranslationHotkey WRITE
                   setSelectedTranslationHotkey NOTIFY selectedTranslationHotkeyChanged)
    Q_PROPERTY(bool autoLaunch READ autoLaunch WRITE setAutoLaunch NOTIFY autoLaunchChanged)
    Q_PROPERTY(QString speechLanguageKey READ speechLanguageKey WRITE setSpeechLanguageKey NOTIFY
                   speechLanguageKeyChanged)
    Q_PROPERTY(bool translationEnabled READ translationEnabled WRITE setTranslationEnabled NOTIFY
                   translationEnabledChanged)
    Q_PROPERTY(QString outputLanguageKey READ outputLanguageKey WRITE setOutputLanguageKey NOTIFY
                   outputLanguageKeyChanged)
    Q_PROPERTY(
        sayloom::TonePreset tonePreset READ tonePreset WRITE setTonePreset NOTIFY tonePresetChanged)
    Q_PROPERTY(bool hasCompletedOnboarding READ hasCompletedOnboarding WRITE
                   setHasCompletedOnboarding NOTIFY hasCompletedOnboardingChanged)

public:
    // User-defaults keys.
    static constexpr const char* kSelectedHotkeyKey = "selectedHotkey";
    static constexpr const char* kSelectedTranslationHotkeyKey = "selectedTranslationHotkey";
    static constexpr const char* kAutoLaunchKey = "autoLaunch";
    static constexpr const char* kSpeechLanguageKey = "speechLanguage";
    static constexpr const char* kTranslationEnabledKey = "translateAfterDictation";
    static constexpr const char* kOutputLanguageKey = "outputLanguage";
    static constexpr const char* kTonePresetKey = "tonePreset";
    static constexpr const char* kHasCompletedOnboardingKey = "hasCompletedOnboarding";

    // Reads every setting; a key that is absent, holds another type or names no option gives the
    // default. Two equal stored hotkeys are separated here and the corrected one is written.
    explicit AppSettings(KeyValueStore& store, QObject* parent = nullptr);

    HotkeyOption selectedHotkey() const { return selectedHotkey_; }
    HotkeyOption selectedTranslationHotkey() const { return selectedTranslationHotkey_; }
    bool autoLaunch() const { return autoLaunch_; }
    // The key of the speech language, or "auto".
    QString speechLanguageKey() const { return speechLanguageKey_; }
    bool translationEnabled() const { return translationEnabled_; }
    QString outputLanguageKey() const { return outputLanguageKey_; }
    TonePreset tonePreset() const { return tonePreset_; }
    bool hasCompletedOnboarding() const { return hasCompletedOnboarding_; }

    void setSelectedHotkey(HotkeyOption value);
    void setSelectedTranslationHotkey(HotkeyOption value);
    void setAutoLaunch(bool value);
    void setSpeechLanguageKey(const QString& value);
    void setTranslationEnabled(bool value);
    void setOutputLanguageKey(const QString& value);
    void setTonePreset(TonePreset value);
    void setHasCompletedOnboarding(bool value);

    // The language the speech key names, or the "auto" row when it names none.
    SpeechLanguage speechLanguage() const;
    // The code of the translation output language; nothing while translation is off, or when the
    // output key names no language or names "auto".
    std::optional<QString> translationTargetCode() const;
    // The output language's name without its parenthesised variant ("English (UK)" gives
    // "English"); nothing under the same conditions as translationTargetCode().
    std::optional<QString> translationTargetName() const;

Q_SIGNALS:
    void selectedHotkeyChanged(sayloom::HotkeyOption value);
    void selectedTranslationHotkeyChanged(sayloom::HotkeyOption value);
    void autoLaunchChanged(bool value);
    void speechLanguageKeyChanged(const QString& value);
    void translationEnabledChanged(bool value);
    void outputLanguageKeyChanged(const QString& value);
    void tonePresetChanged(sayloom::TonePreset value);
    void hasCompletedOnboardingChanged(bool value);

private:
    enum class HotkeySide { dictation, translation };

    // Stores and writes one hotkey, then keeps the pair distinct. Returns whether the other
    // hotkey was moved.
    bool assignHotkey(HotkeySide side, HotkeyOption value);
    bool enforceDistinctness(HotkeySide changed);
    // The first option, in the order of allHotkeyOptions(), other than `taken`.
    static HotkeyOption firstOptionOtherThan(HotkeyOption taken);
    std::optional<SpeechLanguage> translationTarget() const;

    KeyValueStore& store_;
    Logger log_{QStringLiteral("appSettings")};
    HotkeyOption selectedHotkey_ = HotkeyOption::fn;
    HotkeyOption selectedTranslationHotkey_ = HotkeyOption::controlShift;
    bool autoLaunch_ = true;
    QString speechLanguageKey_ = QStringLiteral("auto");
    bool translationEnabled_ = true;
    QString outputLanguageKey_ = QStringLiteral("es");
    TonePreset tonePreset_ = TonePreset::neutral;
    bool hasCompletedOnboarding_ = false;
    // Set while one hotkey is being moved aside, so that the move does not move the other back.
    bool isEnforcingDistinctness_ = false;
};

} // namespace sayloom
