#pragma once

#include "app/WindowFactory.h"
#include "ui/LoginView.h"

namespace sayloom {

// The application's windows as Qt Widgets: the sign-in window, the weekly-limit and
// permissions popups, and warning alerts.
class WidgetWindowFactory final : public WindowFactory {
public:
    // `signIn` runs a whole sign-in when a button of the sign-in window is tapped.
    explicit WidgetWindowFactory(LoginView::SignIn signIn);

    std::unique_ptr<AppWindow> makeLoginWindow() override;
    std::unique_ptr<AppWindow> makeLimitWindow(std::optional<QString> userName,
                                               std::function<void()> onUpgrade,
                                               std::function<void()> onDismiss) override;
    std::unique_ptr<AppWindow> makePermissionsWindow(bool microphoneGranted,
                                                     bool accessibilityGranted,
                                                     std::function<void()> onOpenSettings,
                                                     std::function<void()> onDismiss) override;

    // Shows a warning message box and returns at once; the box deletes itself when closed.
    void showWarningAlert(const QString& message, const QString& informativeText) override;

private:
    LoginView::SignIn signIn_;
};

} // namespace sayloom
