#include "app/SetupContent.h"

#include "support/PlatformText.h"

namespace sayloom {

QString planLabel(bool isLoadingProfile, const std::optional<QString>& userPlan, bool trialActive) {
    if (isLoadingProfile)
        return QStringLiteral("Loading…");
    if (userPlan == QStringLiteral("pro"))
        return QStringLiteral("Pro");
    if (trialActive)
        return QStringLiteral("Pro Trial");
    return userPlan.value_or(QStringLiteral("Free"));
}

QString dictationSummary(HotkeyOption hotkey, const SpeechLanguage& speechLanguage,
                         HotkeyOption translationHotkey,
                         const std::optional<QString>& translationTargetName) {
    const QString spoken = speechLanguage.code == QLatin1String("auto")
                               ? QStringLiteral("whatever you speak")
                               : speechLanguage.name;
    QString sentence = QStringLiteral("Hold ") + displayName(hotkey) +
                       QStringLiteral(" and you get ") + spoken + QLatin1Char('.');
    if (translationTargetName)
        sentence += QStringLiteral(" Hold ") + displayName(translationHotkey) +
                    QStringLiteral(" and you get ") + *translationTargetName + QLatin1Char('.');
    else
        sentence += QStringLiteral(" You have no translation shortcut.");
    return sentence;
}

QString weeklyUsageLine(std::int64_t wordsUsed, std::int64_t wordLimit) {
    return QStringLiteral("%1 of %2 words this week. Resets every Monday")
        .arg(wordsUsed)
        .arg(wordLimit);
}

QString trialLine(std::int64_t trialDaysLeft) {
    return QStringLiteral("%1 days left on your Pro trial.").arg(trialDaysLeft);
}

namespace {

QString outcomeMessage(const DictationOutcome& outcome, const QString& hotkey) {
    if (outcome.typed)
        return QStringLiteral(
            "Nice, Sayloom typed your first dictation. You can finish setup now.");
    if (outcome.heard)
        return QStringLiteral("Sayloom heard you, but could not type into the field. Your text is "
                              "on the clipboard. Allow Accessibility to have it typed for you. You "
                              "can finish setup either way.");
    if (outcome.attempted)
        return QStringLiteral("Nothing arrived. Another app may already use ") + hotkey +
               QStringLiteral(", so try a different shortcut above.");
    return QStringLiteral("Hold ") + hotkey +
           QStringLiteral(" and say a few words, then release the key.");
}

} // namespace

OnboardingContent onboardingContent(const DictationOutcome& outcome, HotkeyOption hotkey,
                                    HotkeyOption translationHotkey,
                                    const std::optional<QString>& translationTargetName) {
    const QString key = displayName(hotkey);
    OnboardingContent content;
    // Heard is a success even when the text could only go to the clipboard.
    if (outcome.heard) {
        content.title = QStringLiteral("You're set up.");
        content.subtitle = platformText(PlatformTextKey::readyInTray);
    } else {
        content.title = QStringLiteral("Sayloom types what you say.");
        content.subtitle = QStringLiteral("Pick your key and language, then try it below.");
    }
    content.placeholder =
        QStringLiteral("Click here, then hold ") + key + QStringLiteral(" and speak");
    content.outcomeMessage = outcomeMessage(outcome, key);
    if (translationTargetName)
        content.translationHint =
            QStringLiteral("Also try it: hold ") + displayName(translationHotkey) +
            QStringLiteral(" instead and your words arrive in ") + *translationTargetName;
    content.primaryEnabled = outcome.heard;
    if (outcome.heard) {
        content.primaryButton = QStringLiteral("Start using Sayloom");
    } else {
        content.primaryButton = QStringLiteral("Finish setup");
        content.primaryCaption = QStringLiteral("Dictate once to finish");
        content.primaryHelp = QStringLiteral("Dictate once before finishing setup");
    }
    return content;
}

} // namespace sayloom
