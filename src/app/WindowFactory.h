#pragma once

#include "app/AppWindow.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace sayloom {

// Builds the application's windows; the shell decides when. Each call builds a new window, not yet
// shown.
class WindowFactory {
public:
    virtual ~WindowFactory() = default;

    // "Sayloom": sign in with Google or GitHub.
    virtual std::unique_ptr<AppWindow> makeLoginWindow() = 0;
    // "Upgrade to keep talking": the weekly allowance is spent.
    virtual std::unique_ptr<AppWindow> makeLimitWindow(std::optional<QString> userName,
                                                       std::function<void()> onUpgrade,
                                                       std::function<void()> onDismiss) = 0;
    // "Permissions required": what a dictation is missing.
    virtual std::unique_ptr<AppWindow> makePermissionsWindow(bool microphoneGranted,
                                                             bool accessibilityGranted,
                                                             std::function<void()> onOpenSettings,
                                                             std::function<void()> onDismiss) = 0;

    // A warning the user acknowledges before going on.
    virtual void showWarningAlert(const QString& message, const QString& informativeText) = 0;
};

} // namespace sayloom
