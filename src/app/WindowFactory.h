#pragma once

#include "app/AppWindow.h"

#include <QString>

#include <qcoro/qcorotask.h>

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

    // "About Sayloom": the icon, the name, the tag line, the version line and the legal links.
    virtual std::unique_ptr<AppWindow> makeAboutWindow() = 0;
    // "Update available" (360 × 150, above other windows): a newer version exists, with the
    // days left before it is required.
    virtual std::unique_ptr<AppWindow> makeUpdateBanner(QString latestVersion, int daysLeft,
                                                        QString updateUrl,
                                                        std::function<void()> onSnooze,
                                                        std::function<void()> onDismiss) = 0;

    // A warning the user acknowledges before going on.
    virtual void showWarningAlert(const QString& message, const QString& informativeText) = 0;
    // The critical "Update Required" alert for `version`, above every window of Sayloom's and
    // modal to all of them, without a nested event loop. Resumes with true for "Download Update",
    // false for "Quit".
    virtual QCoro::Task<bool> runForceUpdateAlert(QString version) = 0;
};

} // namespace sayloom
