#include "support/PlatformText.h"

namespace sayloom {

const PlatformText& platformTextEntry(PlatformTextKey key) {
    using K = PlatformTextKey;
    static const PlatformText fn{"Globe (Fn)", "Right Ctrl"};
    static const PlatformText enableAccessibility{
        "Enable Accessibility in System Settings > Privacy & Security > Accessibility, then "
        "restart.",
        "Sayloom can't watch the keyboard in this session. Log in to an X11 (Xorg) session, then "
        "restart."};
    static const PlatformText both{
        "Sayloom needs Microphone and Accessibility permissions to capture your voice and type "
        "into other apps. Please enable them in System Settings.",
        "Sayloom needs a microphone and an X11 session to capture your voice and type into other "
        "apps. Connect a microphone (check Settings > Sound > Input) and log in to an X11 (Xorg) "
        "session."};
    static const PlatformText microphone{
        "Sayloom needs Microphone access to capture your voice for transcription. Please enable "
        "it in System Settings.",
        "Sayloom needs a microphone to capture your voice for transcription. Connect one and check "
        "that it is chosen in Settings > Sound > Input."};
    static const PlatformText accessibility{
        "Sayloom needs Accessibility access to type transcribed text into other apps. Please "
        "enable it in System Settings.",
        "Sayloom needs an X11 session to type transcribed text into other apps. Log out and choose "
        "an X11 (Xorg) session at the login screen."};
    static const PlatformText onClipboard{
        "Your transcription was saved to the clipboard. To auto-type into other apps, enable "
        "Sayloom in System Settings → Privacy & Security → Accessibility.",
        "Your transcription was saved to the clipboard. To type into other apps automatically, "
        "Sayloom needs an X11 (Xorg) session."};
    static const PlatformText typeIntoApps{"Enable Accessibility to type into apps",
                                           "Log in to an X11 session to type into apps"};
    static const PlatformText copied{"Copied. Press ⌘V to paste", "Copied. Press Ctrl+V to paste"};
    static const PlatformText tagLine{"Type with your voice, anywhere on your Mac.",
                                      "Type with your voice, anywhere on your desktop."};
    static const PlatformText ready{
        "Sayloom is in your menu bar. Hold your key any time you can type.",
        "Sayloom is in your system tray. Hold your key any time you "
        "can type."};
    static const PlatformText accessibilityURL{
        "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?Privacy_"
        "Accessibility",
        ""};
    static const PlatformText microphoneURL{
        "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?Privacy_Microphone",
        ""};
    static const PlatformText restartApps{
        "",
        "Sayloom has switched on the desktop's accessibility support. Applications that were "
        "already open join it when they are started again; until then Sayloom pastes into them."};
    static const PlatformText accessibilityHelp{
        "System Settings > Privacy & Security > Accessibility",
        "Sayloom hears its key and types for you through the X server, which needs an X11 (Xorg) "
        "session with the XInput 2 and XTest extensions. In a Wayland session, log out and choose "
        "an X11 session at the login screen."};
    static const PlatformText remoteConsent{
        "",
        "The first time Sayloom types for you, GNOME asks whether to allow remote interaction "
        "with your desktop (remote control of the keyboard). Sayloom uses it only to press Ctrl+V "
        "and to type your transcripts into the focused app; allow it to dictate into apps."};
    static const PlatformText remoteRefused{
        "", "GNOME did not allow remote control. Copied. Press Ctrl+V to paste"};

    switch (key) {
    case K::fnHotkeyName:
        return fn;
    case K::enableAccessibilityError:
        return enableAccessibility;
    case K::permissionsNeededBoth:
        return both;
    case K::permissionsNeededMicrophone:
        return microphone;
    case K::permissionsNeededAccessibility:
        return accessibility;
    case K::transcriptOnClipboard:
        return onClipboard;
    case K::typeIntoAppsCaption:
        return typeIntoApps;
    case K::copiedPressToPaste:
        return copied;
    case K::aboutTagLine:
        return tagLine;
    case K::readyInTray:
        return ready;
    case K::accessibilitySettingsURL:
        return accessibilityURL;
    case K::microphoneSettingsURL:
        return microphoneURL;
    case K::restartAppsForAccessibility:
        return restartApps;
    case K::accessibilityMissingHelp:
        return accessibilityHelp;
    case K::remoteControlConsent:
        return remoteConsent;
    case K::remoteControlRefused:
        return remoteRefused;
    }
    return fn;
}

QString platformText(PlatformTextKey key) {
    return QString::fromUtf8(platformTextEntry(key).linuxText);
}

QString macOSText(PlatformTextKey key) { return QString::fromUtf8(platformTextEntry(key).macOS); }

} // namespace sayloom
