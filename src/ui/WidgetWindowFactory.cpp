#include "ui/WidgetWindowFactory.h"

#include "ui/LimitReachedView.h"
#include "ui/PermissionsRequiredView.h"
#include "ui/WidgetWindow.h"

#include <QMessageBox>

namespace sayloom {

WidgetWindowFactory::WidgetWindowFactory(LoginView::SignIn signIn) : signIn_(std::move(signIn)) {}

std::unique_ptr<AppWindow> WidgetWindowFactory::makeLoginWindow() {
    return std::make_unique<WidgetWindow>(LoginView::windowTitle(),
                                          QSize(LoginView::kWidth, LoginView::kHeight),
                                          new LoginView(signIn_));
}

std::unique_ptr<AppWindow> WidgetWindowFactory::makeLimitWindow(std::optional<QString> userName,
                                                                std::function<void()> onUpgrade,
                                                                std::function<void()> onDismiss) {
    return std::make_unique<WidgetWindow>(
        LimitReachedView::windowTitle(), QSize(LimitReachedView::kWidth, LimitReachedView::kHeight),
        new LimitReachedView(std::move(userName), std::move(onUpgrade), std::move(onDismiss)));
}

std::unique_ptr<AppWindow>
WidgetWindowFactory::makePermissionsWindow(bool microphoneGranted, bool accessibilityGranted,
                                           std::function<void()> onOpenSettings,
                                           std::function<void()> onDismiss) {
    return std::make_unique<WidgetWindow>(
        PermissionsRequiredView::windowTitle(),
        QSize(PermissionsRequiredView::kWidth, PermissionsRequiredView::kHeight),
        new PermissionsRequiredView(microphoneGranted, accessibilityGranted,
                                    std::move(onOpenSettings), std::move(onDismiss)));
}

void WidgetWindowFactory::showWarningAlert(const QString& message, const QString& informativeText) {
    // Shown, not exec()'d: the caller goes on at once and no nested event loop runs.
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Sayloom"), message, QMessageBox::Ok);
    box->setInformativeText(informativeText);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    box->raise();
    box->activateWindow();
}

} // namespace sayloom
