#pragma once

#include "app/SetupWindowFactory.h"
#include "hotkeys/KeyEventMonitor.h"

#include <functional>

namespace sayloom {

class AppSettings;
class AuthState;
class SayloomEngine;
class Scheduler;
class UpdateState;
class WebLinks;

// The settings and onboarding windows as Qt Widgets. In both, Escape and Return belong to a
// dictation while one runs.
class WidgetSetupWindowFactory final : public SetupWindowFactory {
public:
    // Everything must outlive every window made.
    struct Collaborators {
        AppSettings& settings;
        AuthState& account;
        SayloomEngine& engine;
        UpdateState& updates;
        WebLinks& links;
        Scheduler& scheduler;
        // Leads to where a permission is granted: the sound settings when the microphone is
        // missing (`false`), the help page otherwise.
        std::function<void(bool microphoneGranted)> openPermissionSettings;
        // Whether Sayloom switched the desktop's accessibility support on as it started.
        std::function<bool()> accessibilitySwitchedOn;
        // What the session's hotkey road can do, for the shortcut pickers.
        KeyEventMonitor::Capabilities hotkeyRoad{};
    };

    explicit WidgetSetupWindowFactory(Collaborators collaborators);

    std::unique_ptr<AppWindow> makeSettingsWindow() override;
    std::unique_ptr<AppWindow> makeOnboardingWindow(std::function<void()> onComplete) override;

private:
    Collaborators c_;
};

} // namespace sayloom
