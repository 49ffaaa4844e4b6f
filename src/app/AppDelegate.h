#pragma once

#include "app/ApplicationShell.h"
#include "engine/EnginePorts.h"
#include "engine/EngineState.h"
#include "support/Logger.h"
#include "support/Scheduler.h"

#include <QObject>
#include <QSet>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <functional>
#include <memory>

namespace sayloom {

class AppSettings;
class AppWindow;
class AuthState;
class DictationHotkeys;
class SetupWindowFactory;
class FirebaseAuthManager;
class LoginItem;
class ProgramLauncher;
class RecordingIndicatorPort;
class SayloomEngine;
class Scheduler;
class UpdateState;
class UserNotifications;
class WebLinks;
class WindowFactory;

// The application around the engine: its start-up, the windows it opens on demand (one of each
// kind at a time), its reactions to signing in and out and to the engine's state, and its end.
// Knows no widget: windows come from a WindowFactory. One per process, main thread only.
class AppDelegate final : public QObject, public ApplicationShell {
    Q_OBJECT

public:
    static constexpr const char* kProductionProfile = "production";

    struct Collaborators {
        SayloomEngine& engine;
        AuthState& authState;
        FirebaseAuthManager& auth;
        AppSettings& settings;
        WindowFactory& windows;
        LoginItem& loginItem;
        RecordingIndicatorPort& recordingIndicator;
        ProgramLauncher& programs;
        WebLinks& links;
        UpdateState& updates;
        UserNotifications& notifications;
        Scheduler& scheduler;
        // Ends the process (after the engine is stopped): the forced update's last step.
        std::function<void()> terminate;
        // This build's version, as the version check tells the service.
        QString currentVersion;
        // The recording profile this build declares; anything but "production" is logged.
        QString recordingProfile;
        // The key monitor the engine listens to, restarted when onboarding completes.
        DictationHotkeys* hotkeys = nullptr;
        // The settings and onboarding windows; without them those windows are only logged.
        SetupWindowFactory* setupWindows = nullptr;
    };

    static constexpr std::chrono::seconds kVersionCheckInterval{14'400};
    static constexpr std::chrono::seconds kForceUpdateRetryInterval{300};
    static constexpr std::chrono::seconds kForceUpdateWarningDelay{30};

    explicit AppDelegate(Collaborators collaborators, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The delegate of this process once it has launched, or null: the engine's popups reach it
    // through this.
    static AppDelegate* shared();

    // The start-up sequence: launch at login, the update snooze cleaned up, the reactions to the
    // signed-in flag and to the engine's state, the version checks, and the first window.
    void applicationDidFinishLaunching();
    // The process is about to end, whatever ended it: the engine stops.
    void applicationWillTerminate();

    void showLoginWindow();
    // The settings window, or the sign-in window when nobody is signed in.
    void showSettingsWindow() override;
    void showOnboardingWindow();
    // The onboarding is done: its window closes, the key monitor restarts with what the user
    // chose, and a notification says that Sayloom is ready.
    void completeOnboarding();
    void showAboutWindow();
    void openHelpPage();
    void showLimitReached();
    void showPermissionsPopup(bool microphoneGranted, bool accessibilityGranted);
    // Where a missing permission is granted: the sound settings for the microphone, else the
    // help page.
    void openPermissionSettings(bool microphoneGranted);

    // A version check, and what its answer calls for (a forced update, or a log line).
    QCoro::Task<void> runVersionCheck();
    // The update banner, when an update is available, not forced, not snoozed, has a latest
    // version and at least two days left.
    void showUpdateBannerIfNeeded();
    bool isForceUpdatePending() const { return pendingForceUpdate_; }
    AppWindow* updateBanner() const { return snoozeWindow_.get(); }

    // Raises the window the user last saw, when one is shown.
    void bringToFront() override;
    void showWarningAlert(const QString& message, const QString& informativeText) override;

    // Open windows, for the task bar's sake: those shown and not yet closed.
    const QSet<AppWindow*>& dockedWindows() const { return dockedWindows_; }
    AppWindow* loginWindow() const { return loginWindow_.get(); }
    AppWindow* limitWindow() const { return limitWindow_.get(); }
    AppWindow* permissionsWindow() const { return permissionsWindow_.get(); }
    AppWindow* settingsWindow() const { return settingsWindow_.get(); }
    AppWindow* onboardingWindow() const { return onboardingWindow_.get(); }

    // The log line for a recording profile other than "production", or nothing.
    static std::optional<QString> recordingProfileMismatch(const QString& declared);

private:
    QCoro::Task<void> observeSignIn();
    void loggedInChanged(bool loggedIn);
    void openFirstWindow();
    // Shows the window in `slot`, or builds one with `make` when there is none on screen.
    void showWindow(std::unique_ptr<AppWindow>& slot,
                    const std::function<std::unique_ptr<AppWindow>()>& make);
    void dockWindow(AppWindow& window);
    void closeWindow(std::unique_ptr<AppWindow>& slot);

    QCoro::Task<void> postReadyNotification(QString hotkeyName);
    QCoro::Task<void> launchVersionCheck();
    void handleVersionCheckResult();
    bool isEngineBusy() const;
    void forceUpdate(const QString& url, const QString& version);
    void deferForceUpdate(const QString& url, const QString& version);
    QCoro::Task<void> warnThenForceUpdate(QString url, QString version);
    QCoro::Task<void> showForceUpdateModal(QString url, QString version);
    void engineStateChanged(const EngineState& state);
    // The pill shows while a dictation is under way, and while the engine has a notice.
    void updateRecordingIndicator();

    Logger log_{QStringLiteral("app")};
    Collaborators c_;
    std::unique_ptr<AppWindow> settingsWindow_;
    std::unique_ptr<AppWindow> onboardingWindow_;
    std::unique_ptr<AppWindow> loginWindow_;
    std::unique_ptr<AppWindow> limitWindow_;
    std::unique_ptr<AppWindow> permissionsWindow_;
    QSet<AppWindow*> dockedWindows_;
    AppWindow* lastPresented_ = nullptr;
    std::unique_ptr<AppWindow> snoozeWindow_;

    bool pillShown_ = false;
    bool isLaunchCheck_ = true;
    Timer versionCheckTimer_;
    bool pendingForceUpdate_ = false;
    QString pendingUpdateUrl_;
    QString pendingLatestVersion_;
    Timer pendingForceRetryTimer_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The engine's popups, for the engine built before the delegate: they reach the delegate once it
// has launched, and nothing happens before.
class SharedDelegateShell final : public EngineShell {
public:
    void showPermissionsPopup(bool microphoneGranted, bool accessibilityGranted) override;
    void showLimitReached() override;
};

} // namespace sayloom
