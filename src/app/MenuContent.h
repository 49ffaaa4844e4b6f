#pragma once

#include "engine/EngineState.h"
#include "engine/UsageStatus.h"
#include "settings/HotkeyOption.h"
#include "settings/TonePreset.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace sayloom {

// What the tray's menu window shows, computed from the engine, the settings and the account each
// time it is drawn. The window keeps no state of its own beyond hovering.
enum class MenuStatus {
    signInRequired,
    listening,
    transcribing,
    microphoneRequired,
    accessibilityRequired,
    readyAfterError,
    ready,
};

struct MenuInputs {
    bool loggedIn = false;
    EngineState::Kind engineState = EngineState::Kind::idle;
    bool microphoneGranted = true;
    bool accessibilityGranted = true;
    // A transcript could only be left on the clipboard.
    bool accessibilityNeeded = false;
    UsageStatus usageStatus = UsageStatus::ok;
    bool isLoadingProfile = false;
    std::optional<QString> userPlan;
    bool trialActive = false;
    std::int64_t trialDaysLeft = 0;
    std::int64_t wordsUsed = 0;
    std::int64_t wordLimit = 0;
    QString lastTranscription;
    HotkeyOption hotkey = HotkeyOption::fn;
    HotkeyOption translationHotkey = HotkeyOption::controlShift;
    // The translation output language's name while translation is on, else nothing.
    std::optional<QString> translationTargetName;
    TonePreset tone = TonePreset::neutral;
};

struct MenuContent {
    MenuStatus status = MenuStatus::signInRequired;
    QString statusText;
    // The plan badge; nothing while signed out.
    std::optional<QString> badge;

    bool showAccessibilityNotice = false;
    bool showSignInRow = false;
    // "Right Ctrl to talk" and, with translation on, "Ctrl + Shift to talk → German".
    QString dictationShortcut;
    std::optional<QString> translationShortcut;
    // Read to accessibility as "Hold Right Ctrl to talk".
    QString dictationShortcutAccessibleName;

    bool showUsage = false;
    QString usageFigures; // "120 of 2500 words used"
    QString usageLine;    // "120 of 2500 words this week · Resets every Monday"
    bool showTrial = false;
    QString trialText; // "5 days left on your Pro trial"
    bool showLimitReached = false;
    bool showCopyLastTranscription = false;
    QString toneRow; // "Writing tone: Casual"
    bool showSignOut = false;
};

MenuContent menuContent(const MenuInputs& inputs);

// "Sign in to use Sayloom", "Listening…", "Transcribing…", "Microphone required",
// "Accessibility required" or "Ready".
QString menuStatusText(MenuStatus status);

} // namespace sayloom
