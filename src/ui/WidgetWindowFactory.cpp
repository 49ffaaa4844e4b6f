#include "ui/WidgetWindowFactory.h"

#include "auth/SharedOutcome.h"
#include "ui/AboutView.h"
#include "ui/LimitReachedView.h"
#include "ui/PermissionsRequiredView.h"
#include "ui/UpdateBannerView.h"
#include "ui/WidgetWindow.h"

#include <QMessageBox>
#include <QPushButton>

namespace sayloom {

WidgetWindowFactory::WidgetWindowFactory(Collaborators collaborators)
    : c_(std::move(collaborators)) {}

std::unique_ptr<AppWindow> WidgetWindowFactory::makeLoginWindow() {
    return std::make_unique<WidgetWindow>(LoginView::windowTitle(),
                                          QSize(LoginView::kWidth, LoginView::kHeight),
                                          new LoginView(c_.signIn));
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

std::unique_ptr<AppWindow> WidgetWindowFactory::makeAboutWindow() {
    auto* view = new AboutView(c_.updates, c_.links);
    return std::make_unique<WidgetWindow>(AboutView::windowTitle(), view->windowSize(), view);
}

std::unique_ptr<AppWindow> WidgetWindowFactory::makeUpdateBanner(QString latestVersion,
                                                                 int daysLeft, QString updateUrl,
                                                                 std::function<void()> onSnooze,
                                                                 std::function<void()> onDismiss) {
    return std::make_unique<WidgetWindow>(
        UpdateBannerView::windowTitle(), QSize(UpdateBannerView::kWidth, UpdateBannerView::kHeight),
        new UpdateBannerView(latestVersion, daysLeft, std::move(updateUrl), c_.links,
                             std::move(onSnooze), std::move(onDismiss)),
        Qt::WindowStaysOnTopHint);
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

QCoro::Task<bool> WidgetWindowFactory::runForceUpdateAlert(QString version) {
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Sayloom"),
                                QStringLiteral("Update Required"));
    box->setInformativeText(QStringLiteral("Sayloom v") + version +
                            QStringLiteral(" is required. Your current version is no longer "
                                           "supported. Please download the latest version to "
                                           "continue."));
    QPushButton* download =
        box->addButton(QStringLiteral("Download Update"), QMessageBox::AcceptRole);
    QPushButton* quit = box->addButton(QStringLiteral("Quit"), QMessageBox::RejectRole);
    box->setDefaultButton(download);
    // The window's close button and Escape answer "Quit".
    box->setEscapeButton(quit);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Settled as the box finishes, before its deletion (which would drop a queued delivery);
    // a box destroyed unanswered counts as "Quit".
    SharedOutcome<bool> answer;
    QObject::connect(box, &QMessageBox::finished, box, [answer, box, download](int) mutable {
        answer.resolve(box->clickedButton() == download);
    });
    QObject::connect(box, &QObject::destroyed, [answer]() mutable { answer.resolve(false); });
    // Shown, never exec()'d: the coroutine waits for the answer without a nested event loop.
    // QDialog::open() would make the box modal to its parent window only, and it has none, so
    // blocking nothing: the modality is set here and the box shown as open() would show it.
    // QMessageBox::setWindowModality() resets the window flags: the hint follows it.
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->show();
    box->raise();
    box->activateWindow();
    const bool downloadChosen = co_await answer.wait();
    co_return downloadChosen;
}

} // namespace sayloom
