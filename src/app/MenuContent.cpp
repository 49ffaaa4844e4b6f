#include "app/MenuContent.h"

namespace sayloom {

namespace {

MenuStatus statusOf(const MenuInputs& in) {
    if (!in.loggedIn)
        return MenuStatus::signInRequired;
    if (in.engineState == EngineState::Kind::recording)
        return MenuStatus::listening;
    if (in.engineState == EngineState::Kind::transcribing)
        return MenuStatus::transcribing;
    if (!in.microphoneGranted)
        return MenuStatus::microphoneRequired;
    if (!in.accessibilityGranted)
        return MenuStatus::accessibilityRequired;
    return in.engineState == EngineState::Kind::error ? MenuStatus::readyAfterError
                                                      : MenuStatus::ready;
}

std::optional<QString> badgeOf(const MenuInputs& in) {
    if (!in.loggedIn)
        return std::nullopt;
    if (in.isLoadingProfile)
        return QStringLiteral("Loading…");
    if (in.userPlan == QStringLiteral("pro"))
        return *in.userPlan;
    if (in.trialActive)
        return QStringLiteral("Pro Trial");
    return in.userPlan.value_or(QStringLiteral("free"));
}

} // namespace

QString menuStatusText(MenuStatus status) {
    switch (status) {
    case MenuStatus::signInRequired:
        return QStringLiteral("Sign in to use Sayloom");
    case MenuStatus::listening:
        return QStringLiteral("Listening…");
    case MenuStatus::transcribing:
        return QStringLiteral("Transcribing…");
    case MenuStatus::microphoneRequired:
        return QStringLiteral("Microphone required");
    case MenuStatus::accessibilityRequired:
        return QStringLiteral("Accessibility required");
    case MenuStatus::readyAfterError:
    case MenuStatus::ready:
        return QStringLiteral("Ready");
    }
    return {};
}

MenuContent menuContent(const MenuInputs& in) {
    MenuContent out;
    out.status = statusOf(in);
    out.statusText = menuStatusText(out.status);
    out.badge = badgeOf(in);
    out.showAccessibilityNotice = in.accessibilityNeeded;
    out.showSignInRow = !in.loggedIn;

    const QString hotkey = displayName(in.hotkey);
    out.dictationShortcut = hotkey + QStringLiteral(" to talk");
    out.dictationShortcutAccessibleName =
        QStringLiteral("Hold ") + hotkey + QStringLiteral(" to talk");
    if (in.translationTargetName)
        out.translationShortcut = displayName(in.translationHotkey) +
                                  QStringLiteral(" to talk → ") + *in.translationTargetName;

    const bool limitKnown = in.wordLimit >= 0;
    const bool hardLimit = in.usageStatus == UsageStatus::hard;
    out.showUsage = in.loggedIn && limitKnown && !hardLimit;
    out.usageFigures = QStringLiteral("%1 of %2 words used").arg(in.wordsUsed).arg(in.wordLimit);
    out.usageLine = QStringLiteral("%1 of %2 words this week · Resets every Monday")
                        .arg(in.wordsUsed)
                        .arg(in.wordLimit);
    out.showTrial = in.loggedIn && in.trialActive && in.userPlan != QStringLiteral("pro");
    out.trialText = QStringLiteral("%1 days left on your Pro trial").arg(in.trialDaysLeft);
    out.showLimitReached = hardLimit && limitKnown;
    out.showCopyLastTranscription = !in.lastTranscription.isEmpty();
    out.toneRow = QStringLiteral("Writing tone: ") + displayName(in.tone);
    out.showSignOut = in.loggedIn;
    return out;
}

} // namespace sayloom
