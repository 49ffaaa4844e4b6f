#pragma once

#include <QString>

namespace sayloom {

// User-facing texts that name a place or key of the desktop. Each has the original macOS wording
// and the wording a Linux user needs; the application shows the Linux column.
enum class PlatformTextKey {
    // Display name of the "fn" hotkey option.
    fnHotkeyName,
    // The engine's error state when the global key monitor cannot be installed.
    enableAccessibilityError,
    // Permission popup texts: both missing, microphone missing, accessibility missing.
    permissionsNeededBoth,
    permissionsNeededMicrophone,
    permissionsNeededAccessibility,
    // The menu's note when a transcript could only be left on the clipboard.
    transcriptOnClipboard,
    // The caption under that note, saying what would let Sayloom type into apps.
    typeIntoAppsCaption,
    // The pill's notice when no application took a paste and the transcript stays on the
    // clipboard.
    copiedPressToPaste,
    // The about window's tag line.
    aboutTagLine,
    // The ready notification after the first launch.
    readyInTray,
    // Where "Open Settings" buttons lead for each permission; empty when the desktop has no
    // such page.
    accessibilitySettingsURL,
    microphoneSettingsURL,
    // Applications join the accessibility bus when they start: those started before it was
    // switched on need a restart before text can be inserted into them directly.
    restartAppsForAccessibility,
    // What the Accessibility row's "Allow" and "Open Settings" buttons say is missing before they
    // lead there.
    accessibilityMissingHelp,
    // What the desktop asks the first time Sayloom presses keys in a GNOME Wayland session, and
    // why Sayloom needs it.
    remoteControlConsent,
    // The pill's notice when the user did not allow that: the transcript stays on the clipboard.
    remoteControlRefused,
};

struct PlatformText {
    const char* macOS;
    const char* linuxText;
};

const PlatformText& platformTextEntry(PlatformTextKey key);

// The text this build shows (the Linux column).
QString platformText(PlatformTextKey key);
// The original macOS text, for tests of the core against the given wording.
QString macOSText(PlatformTextKey key);

} // namespace sayloom
