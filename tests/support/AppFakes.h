#pragma once

#include "app/AppWindow.h"
#include "app/ApplicationShell.h"
#include "app/LoginItem.h"
#include "app/ProgramLauncher.h"
#include "app/RecordingIndicatorPort.h"
#include "app/SetupWindowFactory.h"
#include "app/UserNotifications.h"
#include "app/WindowFactory.h"
#include "auth/SharedOutcome.h"
#include "support/WebBrowser.h"

#include <memory>

#include <QList>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace sayloom::testing {

// A browser that records the pages it was asked to open, and fails to launch when told to.
class FakeWebBrowser final : public WebBrowser {
public:
    std::optional<QString> open(const QUrl& url) override {
        opened << url;
        return launchProblem;
    }

    QList<QUrl> opened;
    std::optional<QString> launchProblem;
};

// An application shell that records what it was asked to show, as "front", "settings" and
// "alert: MESSAGE | TEXT".
class FakeApplicationShell final : public ApplicationShell {
public:
    void bringToFront() override { calls << QStringLiteral("front"); }
    void showSettingsWindow() override { calls << QStringLiteral("settings"); }
    void showWarningAlert(const QString& message, const QString& informativeText) override {
        calls << QStringLiteral("alert: %1 | %2").arg(message, informativeText);
    }

    QStringList calls;
};

// Windows that record what happened to them in a journal the factory shares: "make login",
// "present login", "front login", "close login" (by the shell), "closed login" (by the user).
class FakeWindow final : public AppWindow {
public:
    FakeWindow(QString kind, std::shared_ptr<QStringList> journal)
        : kind(std::move(kind))
        , journal_(std::move(journal)) {}

    bool isVisible() const override { return visible; }
    void present() override {
        visible = true;
        *journal_ << QStringLiteral("present ") + kind;
    }
    void bringToFront() override { *journal_ << QStringLiteral("front ") + kind; }
    void close() override {
        visible = false;
        *journal_ << QStringLiteral("close ") + kind;
    }
    // The user closes the window.
    void userCloses() {
        visible = false;
        *journal_ << QStringLiteral("closed ") + kind;
        if (onClosed)
            onClosed();
    }

    QString kind;
    bool visible = false;
    // The view's two buttons: upgrade or open settings, and dismiss.
    std::function<void()> primaryAction;
    std::function<void()> dismissAction;
    std::optional<QString> userName;
    bool microphoneGranted = true;
    bool accessibilityGranted = true;

private:
    std::shared_ptr<QStringList> journal_;
};

class FakeWindowFactory final : public WindowFactory {
public:
    std::unique_ptr<AppWindow> makeLoginWindow() override { return make(QStringLiteral("login")); }
    std::unique_ptr<AppWindow> makeLimitWindow(std::optional<QString> userName,
                                               std::function<void()> onUpgrade,
                                               std::function<void()> onDismiss) override {
        auto window = make(QStringLiteral("limit"));
        window->userName = std::move(userName);
        window->primaryAction = std::move(onUpgrade);
        window->dismissAction = std::move(onDismiss);
        return window;
    }
    std::unique_ptr<AppWindow> makePermissionsWindow(bool microphoneGranted,
                                                     bool accessibilityGranted,
                                                     std::function<void()> onOpenSettings,
                                                     std::function<void()> onDismiss) override {
        auto window = make(QStringLiteral("permissions"));
        window->microphoneGranted = microphoneGranted;
        window->accessibilityGranted = accessibilityGranted;
        window->primaryAction = std::move(onOpenSettings);
        window->dismissAction = std::move(onDismiss);
        return window;
    }
    std::unique_ptr<AppWindow> makeAboutWindow() override { return make(QStringLiteral("about")); }
    std::unique_ptr<AppWindow> makeUpdateBanner(QString latestVersion, int daysLeft,
                                                QString updateUrl, std::function<void()> onSnooze,
                                                std::function<void()> onDismiss) override {
        auto window = make(QStringLiteral("banner"));
        *journal
            << QStringLiteral("banner %1 %2 %3").arg(latestVersion).arg(daysLeft).arg(updateUrl);
        window->primaryAction = std::move(onSnooze);
        window->dismissAction = std::move(onDismiss);
        return window;
    }
    void showWarningAlert(const QString& message, const QString& informativeText) override {
        *journal << QStringLiteral("alert %1 | %2").arg(message, informativeText);
    }
    // Resumes when the test answers with answerForceUpdateAlert().
    QCoro::Task<bool> runForceUpdateAlert(QString version) override {
        *journal << QStringLiteral("force-update alert ") + version;
        co_return co_await forceUpdateAnswer.wait();
    }
    void answerForceUpdateAlert(bool download) { forceUpdateAnswer.resolve(download); }
    SharedOutcome<bool> forceUpdateAnswer;

    std::shared_ptr<QStringList> journal = std::make_shared<QStringList>();

private:
    std::unique_ptr<FakeWindow> make(const QString& kind) {
        *journal << QStringLiteral("make ") + kind;
        return std::make_unique<FakeWindow>(kind, journal);
    }
};

// Settings and onboarding windows for the same journal; the onboarding's completion callback is
// kept for the test.
class FakeSetupWindowFactory final : public SetupWindowFactory {
public:
    explicit FakeSetupWindowFactory(std::shared_ptr<QStringList> journal)
        : journal_(std::move(journal)) {}
    std::unique_ptr<AppWindow> makeSettingsWindow() override {
        *journal_ << QStringLiteral("make settings");
        return std::make_unique<FakeWindow>(QStringLiteral("settings"), journal_);
    }
    std::unique_ptr<AppWindow> makeOnboardingWindow(std::function<void()> onComplete) override {
        *journal_ << QStringLiteral("make onboarding");
        auto window = std::make_unique<FakeWindow>(QStringLiteral("onboarding"), journal_);
        window->primaryAction = std::move(onComplete);
        return window;
    }

private:
    std::shared_ptr<QStringList> journal_;
};

class FakeLoginItemService final : public LoginItemService {
public:
    std::optional<QString> registerApplication() override {
        calls << QStringLiteral("register");
        return failure;
    }
    std::optional<QString> unregisterApplication() override {
        calls << QStringLiteral("unregister");
        return failure;
    }
    QStringList calls;
    std::optional<QString> failure;
};

class FakeRecordingIndicator final : public RecordingIndicatorPort {
public:
    void show() override { calls << QStringLiteral("show"); }
    void hide() override { calls << QStringLiteral("hide"); }
    QStringList calls;
};

// Programs that exist when listed in `available`; launches are recorded as "PROGRAM ARGS".
class FakeProgramLauncher final : public ProgramLauncher {
public:
    bool isAvailable(const QString& program) const override { return available.contains(program); }
    bool launch(const QString& program, const QStringList& arguments) override {
        launched << (QStringList{program} + arguments).join(QLatin1Char(' '));
        return true;
    }
    QStringList available;
    QStringList launched;
};

// Notifications that are allowed (unless told otherwise) and recorded as "TITLE | BODY".
class FakeUserNotifications final : public UserNotifications {
public:
    QCoro::Task<bool> requestAuthorization() override { co_return authorized; }
    QCoro::Task<std::optional<QString>> add(QString identifier, QString title,
                                            QString body) override {
        shown << identifier + QStringLiteral(": ") + title + QStringLiteral(" | ") + body;
        co_return failure;
    }
    bool authorized = true;
    std::optional<QString> failure;
    QStringList shown;
};

} // namespace sayloom::testing
