#include "settings/AppSettings.h"

namespace sayloom {

namespace {

QString key(const char* name) { return QString::fromLatin1(name); }

} // namespace

AppSettings::AppSettings(KeyValueStore& store, QObject* parent) : QObject(parent), store_(store) {
    if (const auto raw = store_.string(key(kSelectedHotkeyKey)))
        selectedHotkey_ = hotkeyOptionFromRawValue(*raw).value_or(selectedHotkey_);
    if (const auto raw = store_.string(key(kSelectedTranslationHotkeyKey)))
        selectedTranslationHotkey_ =
            hotkeyOptionFromRawValue(*raw).value_or(selectedTranslationHotkey_);
    autoLaunch_ = store_.boolean(key(kAutoLaunchKey)).value_or(autoLaunch_);
    speechLanguageKey_ = store_.string(key(kSpeechLanguageKey)).value_or(speechLanguageKey_);
    translationEnabled_ = store_.boolean(key(kTranslationEnabledKey)).value_or(translationEnabled_);
    outputLanguageKey_ = store_.string(key(kOutputLanguageKey)).value_or(outputLanguageKey_);
    if (const auto raw = store_.string(key(kTonePresetKey)))
        tonePreset_ = tonePresetFromRawValue(*raw).value_or(tonePreset_);
    hasCompletedOnboarding_ =
        store_.boolean(key(kHasCompletedOnboardingKey)).value_or(hasCompletedOnboarding_);

    // Stored data can name the same key twice (edited by hand, or written by an older version):
    // the dictation hotkey keeps it.
    if (selectedHotkey_ == selectedTranslationHotkey_) {
        selectedTranslationHotkey_ = firstOptionOtherThan(selectedHotkey_);
        store_.setString(key(kSelectedTranslationHotkeyKey), rawValue(selectedTranslationHotkey_));
    }
}

// The hotkey setters settle both hotkeys and the store before any signal goes out, so that an
// observer of either signal never sees the two hotkeys equal. The assigned side signals first.
void AppSettings::setSelectedHotkey(HotkeyOption value) {
    const bool movedOther = assignHotkey(HotkeySide::dictation, value);
    Q_EMIT selectedHotkeyChanged(selectedHotkey_);
    if (movedOther)
        Q_EMIT selectedTranslationHotkeyChanged(selectedTranslationHotkey_);
}

void AppSettings::setSelectedTranslationHotkey(HotkeyOption value) {
    const bool movedOther = assignHotkey(HotkeySide::translation, value);
    Q_EMIT selectedTranslationHotkeyChanged(selectedTranslationHotkey_);
    if (movedOther)
        Q_EMIT selectedHotkeyChanged(selectedHotkey_);
}

void AppSettings::setAutoLaunch(bool value) {
    autoLaunch_ = value;
    store_.setBoolean(key(kAutoLaunchKey), value);
    Q_EMIT autoLaunchChanged(value);
}

void AppSettings::setSpeechLanguageKey(const QString& value) {
    speechLanguageKey_ = value;
    store_.setString(key(kSpeechLanguageKey), value);
    Q_EMIT speechLanguageKeyChanged(speechLanguageKey_);
}

void AppSettings::setTranslationEnabled(bool value) {
    translationEnabled_ = value;
    store_.setBoolean(key(kTranslationEnabledKey), value);
    log_.info("translationEnabled -> %{bool,public}d", value);
    Q_EMIT translationEnabledChanged(value);
}

void AppSettings::setOutputLanguageKey(const QString& value) {
    outputLanguageKey_ = value;
    store_.setString(key(kOutputLanguageKey), value);
    log_.info("outputLanguageKey -> %{public}s", value);
    Q_EMIT outputLanguageKeyChanged(outputLanguageKey_);
}

void AppSettings::setTonePreset(TonePreset value) {
    tonePreset_ = value;
    store_.setString(key(kTonePresetKey), rawValue(value));
    Q_EMIT tonePresetChanged(value);
}

void AppSettings::setHasCompletedOnboarding(bool value) {
    hasCompletedOnboarding_ = value;
    store_.setBoolean(key(kHasCompletedOnboardingKey), value);
    Q_EMIT hasCompletedOnboardingChanged(value);
}

bool AppSettings::assignHotkey(HotkeySide side, HotkeyOption value) {
    if (side == HotkeySide::dictation) {
        selectedHotkey_ = value;
        store_.setString(key(kSelectedHotkeyKey), rawValue(value));
    } else {
        selectedTranslationHotkey_ = value;
        store_.setString(key(kSelectedTranslationHotkeyKey), rawValue(value));
    }
    return enforceDistinctness(side);
}

bool AppSettings::enforceDistinctness(HotkeySide changed) {
    // Moving the other hotkey assigns it in turn; that assignment must not move this one back.
    if (isEnforcingDistinctness_)
        return false;
    if (selectedHotkey_ != selectedTranslationHotkey_)
        return false;
    isEnforcingDistinctness_ = true;
    const HotkeyOption replacement = firstOptionOtherThan(selectedHotkey_);
    assignHotkey(changed == HotkeySide::dictation ? HotkeySide::translation : HotkeySide::dictation,
                 replacement);
    isEnforcingDistinctness_ = false;
    return true;
}

HotkeyOption AppSettings::firstOptionOtherThan(HotkeyOption taken) {
    for (HotkeyOption option : allHotkeyOptions())
        if (option != taken)
            return option;
    return HotkeyOption::fn;
}

SpeechLanguage AppSettings::speechLanguage() const {
    if (auto found = speech_languages::lookup(speechLanguageKey_))
        return *found;
    return speech_languages::speechList().first();
}

std::optional<SpeechLanguage> AppSettings::translationTarget() const {
    if (!translationEnabled_)
        return std::nullopt;
    auto found = speech_languages::lookup(outputLanguageKey_);
    if (!found || found->code == u"auto")
        return std::nullopt;
    return found;
}

std::optional<QString> AppSettings::translationTargetCode() const {
    if (auto target = translationTarget())
        return target->code;
    return std::nullopt;
}

std::optional<QString> AppSettings::translationTargetName() const {
    auto target = translationTarget();
    if (!target)
        return std::nullopt;
    const qsizetype cut = target->name.indexOf(QStringLiteral(" ("));
    return cut < 0 ? target->name : target->name.left(cut).trimmed();
}

} // namespace sayloom
