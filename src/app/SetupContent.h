#pragma once

#include "engine/DictationOutcome.h"
#include "settings/HotkeyOption.h"
#include "settings/SpeechLanguage.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace sayloom {

// What the settings and onboarding windows say, computed from the settings, the account and the
// test dictation's outcome each time they change. The windows keep no state of their own beyond
// what the user is doing with a control.

// The account's plan as the settings window names it: "Loading…" while the profile loads, "Pro",
// "Pro Trial", the service's plan name, or "Free" when there is none.
QString planLabel(bool isLoadingProfile, const std::optional<QString>& userPlan, bool trialActive);

// "Hold Right Ctrl and you get German. Hold Control + Shift and you get Spanish.", with "whatever
// you speak" for the "auto" language. `translationTargetName` is nothing while translation is off
// or has no output language; the sentence then says there is no translation shortcut.
QString dictationSummary(HotkeyOption hotkey, const SpeechLanguage& speechLanguage,
                         HotkeyOption translationHotkey,
                         const std::optional<QString>& translationTargetName);

// "120 of 2500 words this week. Resets every Monday"
QString weeklyUsageLine(std::int64_t wordsUsed, std::int64_t wordLimit);
// "5 days left on your Pro trial."
QString trialLine(std::int64_t trialDaysLeft);

struct OnboardingContent {
    QString title;
    QString subtitle;
    // The try-it field's placeholder and the sentence under it.
    QString placeholder;
    QString outcomeMessage;
    // The translation shortcut's hint; nothing while translation is off.
    std::optional<QString> translationHint;
    // "Start using Sayloom" once the test dictation was heard, else a dimmed "Finish setup" that
    // cannot be pressed yet, with its caption and help text.
    QString primaryButton;
    bool primaryEnabled = false;
    std::optional<QString> primaryCaption;
    QString primaryHelp;
};

// The onboarding window for the test dictation's `outcome`, the two hotkeys, and the translation
// output language's name (nothing while translation is off).
OnboardingContent onboardingContent(const DictationOutcome& outcome, HotkeyOption hotkey,
                                    HotkeyOption translationHotkey,
                                    const std::optional<QString>& translationTargetName);

} // namespace sayloom
