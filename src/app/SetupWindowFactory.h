#pragma once

#include "app/AppWindow.h"

#include <functional>
#include <memory>

namespace sayloom {

// Builds the two windows where the user sets Sayloom up: each call a new window, not yet shown.
class SetupWindowFactory {
public:
    virtual ~SetupWindowFactory() = default;

    // "Sayloom Settings": account, shortcuts and languages, permissions, launch at login.
    virtual std::unique_ptr<AppWindow> makeSettingsWindow() = 0;
    // "Welcome to Sayloom": permissions, shortcuts and a test dictation; `onComplete` when the
    // user finishes (or skips) it.
    virtual std::unique_ptr<AppWindow> makeOnboardingWindow(std::function<void()> onComplete) = 0;
};

} // namespace sayloom
