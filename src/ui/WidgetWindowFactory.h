#pragma once

#include "app/WindowFactory.h"
#include "ui/LoginView.h"

namespace sayloom {

class UpdateState;
class WebLinks;

// The application's windows as Qt Widgets: the sign-in window, the weekly-limit and
// permissions popups, the about window, the update banner, and alerts.
class WidgetWindowFactory final : public WindowFactory {
public:
    struct Collaborators {
        // Runs a whole sign-in when a button of the sign-in window is tapped.
        LoginView::SignIn signIn;
        // What the about window's version line shows and checks; must outlive every window.
        UpdateState& updates;
        // Where the about window's and the banner's links lead; must outlive every window.
        WebLinks& links;
    };

    explicit WidgetWindowFactory(Collaborators collaborators);

    std::unique_ptr<AppWindow> makeLoginWindow() override;
    std::unique_ptr<AppWindow> makeLimitWindow(std::optional<QString> userName,
                                               std::function<void()> onUpgrade,
                                               std::function<void()> onDismiss) override;
    std::unique_ptr<AppWindow> makePermissionsWindow(bool microphoneGranted,
                                                     bool accessibilityGranted,
                                                     std::function<void()> onOpenSettings,
                                                     std::function<void()> onDismiss) override;
    std::unique_ptr<AppWindow> makeAboutWindow() override;
    std::unique_ptr<AppWindow> makeUpdateBanner(QString latestVersion, int daysLeft,
                                                QString updateUrl, std::function<void()> onSnooze,
                                                std::function<void()> onDismiss) override;

    // Shows a warning message box and returns at once; the box deletes itself when closed.
    void showWarningAlert(const QString& message, const QString& informativeText) override;
    // A critical message box, modal to every window of Sayloom's and above them; the box deletes
    // itself when answered. Closing it answers "Quit".
    QCoro::Task<bool> runForceUpdateAlert(QString version) override;

private:
    Collaborators c_;
};

} // namespace sayloom
