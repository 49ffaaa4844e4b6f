#include "app/AppDelegate.h"

#include "app/AppWindow.h"
#include "app/LoginItem.h"
#include "app/ProgramLauncher.h"
#include "app/RecordingIndicatorPort.h"
#include "app/SetupWindowFactory.h"
#include "app/UpdateState.h"
#include "app/UserNotifications.h"
#include "app/WebLinks.h"
#include "app/WindowFactory.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthManager.h"
#include "engine/DictationHotkeys.h"
#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"

#include <QPointer>

namespace sayloom {

namespace {

AppDelegate* sharedDelegate = nullptr;

// The desktop's sound settings, in the order they are tried.
struct SoundSettings {
    const char* program;
    QStringList arguments;
};
const SoundSettings kSoundSettings[] = {
    {"gnome-control-center", {QStringLiteral("sound")}},
    {"systemsettings", {QStringLiteral("kcm_pulseaudio")}},
    {"pavucontrol", {}},
};

} // namespace

AppDelegate::AppDelegate(Collaborators collaborators, QObject* parent)
    : QObject(parent)
    , c_(std::move(collaborators)) {}

AppDelegate::~AppDelegate() {
    *alive_ = false;
    if (sharedDelegate == this)
        sharedDelegate = nullptr;
}

AppDelegate* AppDelegate::shared() { return sharedDelegate; }

std::optional<QString> AppDelegate::recordingProfileMismatch(const QString& declared) {
    if (declared == QLatin1String(kProductionProfile))
        return std::nullopt;
    return QStringLiteral("recording profile mismatch: binary is ") +
           QLatin1String(kProductionProfile) + QStringLiteral(", bundle declares ") +
           (declared.isEmpty() ? QStringLiteral("<unset>") : declared);
}

void AppDelegate::applicationDidFinishLaunching() {
    sharedDelegate = this;
    if (const auto mismatch = recordingProfileMismatch(c_.recordingProfile))
        log_.error("%{public}s", *mismatch);
    c_.loginItem.setLaunchAtLogin(c_.settings.autoLaunch());
    // A change in the settings window takes effect at once.
    connect(&c_.settings, &AppSettings::autoLaunchChanged, this,
            [this](bool enabled) { c_.loginItem.setLaunchAtLogin(enabled); });
    c_.updates.clearExpiredSnooze();
    log_.info("Application launched");

    launchVersionCheck();
    versionCheckTimer_ = c_.scheduler.scheduleRepeating(kVersionCheckInterval, [this] {
        // The tick's task may outlive the delegate; it checks that it is still there.
        runVersionCheck();
    });
    connect(&c_.engine, &SayloomEngine::stateChanged, this,
            [this](const EngineState& state) { engineStateChanged(state); });
    connect(&c_.engine, &SayloomEngine::recordingNoticeChanged, this,
            [this] { updateRecordingIndicator(); });
    observeSignIn();
}

void AppDelegate::updateRecordingIndicator() {
    const bool shown =
        !c_.engine.state().is(EngineState::Kind::idle) || c_.engine.recordingNotice();
    if (shown == pillShown_)
        return;
    pillShown_ = shown;
    if (shown)
        c_.recordingIndicator.show();
    else
        c_.recordingIndicator.hide();
}

void AppDelegate::engineStateChanged(const EngineState& state) {
    updateRecordingIndicator();

    // A forced update that waited for the dictation to end goes on once the engine is idle (an
    // error state keeps it waiting for the retry timer).
    if (pendingForceUpdate_ && state.is(EngineState::Kind::idle)) {
        pendingForceUpdate_ = false;
        pendingForceRetryTimer_.cancel();
        log_.info("Engine idle — firing deferred force update modal");
        warnThenForceUpdate(pendingUpdateUrl_, pendingLatestVersion_);
    }
}

QCoro::Task<void> AppDelegate::observeSignIn() {
    const auto alive = alive_;
    // The keychain is read in the background: until it has answered, "signed out" would only
    // flash the sign-in window at a user who is signed in.
    co_await c_.auth.waitUntilRestored();
    if (!*alive)
        co_return;
    connect(
        &c_.authState, &AuthState::isLoggedInChanged, this,
        [this](bool loggedIn) { loggedInChanged(loggedIn); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [this, loggedIn = c_.auth.isLoggedIn()] { loggedInChanged(loggedIn); },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [this] { openFirstWindow(); }, Qt::QueuedConnection);
}

void AppDelegate::loggedInChanged(bool loggedIn) {
    if (loggedIn) {
        closeWindow(loginWindow_);
        c_.engine.start();
        if (!c_.settings.hasCompletedOnboarding())
            showOnboardingWindow();
    } else {
        c_.engine.stop();
        closeWindow(settingsWindow_);
        showLoginWindow();
    }
}

void AppDelegate::openFirstWindow() {
    if (!c_.auth.isLoggedIn())
        showLoginWindow();
    else if (c_.settings.hasCompletedOnboarding())
        showSettingsWindow();
    else
        showOnboardingWindow();
}

void AppDelegate::applicationWillTerminate() {
    c_.engine.stop();
    log_.info("Engine stopped before exit");
}

// MARK: windows

void AppDelegate::showWindow(std::unique_ptr<AppWindow>& slot,
                             const std::function<std::unique_ptr<AppWindow>()>& make) {
    if (slot && slot->isVisible()) {
        slot->bringToFront();
        lastPresented_ = slot.get();
        return;
    }
    // A window the user closed is replaced by a new one.
    if (slot)
        closeWindow(slot);
    slot = make();
    dockWindow(*slot);
    slot->present();
    lastPresented_ = slot.get();
}

void AppDelegate::dockWindow(AppWindow& window) {
    dockedWindows_.insert(&window);
    window.onClosed = [this, window = &window] {
        dockedWindows_.remove(window);
        if (lastPresented_ == window)
            lastPresented_ = nullptr;
    };
}

void AppDelegate::closeWindow(std::unique_ptr<AppWindow>& slot) {
    if (!slot)
        return;
    dockedWindows_.remove(slot.get());
    if (lastPresented_ == slot.get())
        lastPresented_ = nullptr;
    slot->close();
    slot.reset();
}

void AppDelegate::showLoginWindow() {
    showWindow(loginWindow_, [this] { return c_.windows.makeLoginWindow(); });
}

void AppDelegate::showSettingsWindow() {
    if (!c_.authState.isLoggedIn() && !c_.auth.isLoggedIn()) {
        showLoginWindow();
        return;
    }
    if (!c_.setupWindows) {
        log_.info("The settings window is not part of this version yet");
        return;
    }
    showWindow(settingsWindow_, [this] { return c_.setupWindows->makeSettingsWindow(); });
}

void AppDelegate::showOnboardingWindow() {
    if (!c_.setupWindows) {
        log_.info("The onboarding window is not part of this version yet");
        return;
    }
    showWindow(onboardingWindow_, [this] {
        return c_.setupWindows->makeOnboardingWindow([this] { completeOnboarding(); });
    });
}

void AppDelegate::completeOnboarding() {
    closeWindow(onboardingWindow_);
    // Finished once is finished: the next launch opens the settings instead.
    c_.settings.setHasCompletedOnboarding(true);
    c_.engine.checkPermissions();
    if (c_.hotkeys) {
        c_.hotkeys->stop();
        c_.hotkeys->setEventTapFailed(false);
    }
    c_.engine.start();
    postReadyNotification(displayName(c_.settings.selectedHotkey()));
}

QCoro::Task<void> AppDelegate::postReadyNotification(QString hotkeyName) {
    const auto alive = alive_;
    const bool authorized = co_await c_.notifications.requestAuthorization();
    if (!*alive)
        co_return;
    if (!authorized) {
        log_.info("Notification authorization denied — skipping ready notification");
        co_return;
    }
    const std::optional<QString> failure = co_await c_.notifications.add(
        QStringLiteral("sayloom-ready"), QStringLiteral("Sayloom is ready!"),
        QStringLiteral("Hold ") + hotkeyName +
            QStringLiteral(" to start talking. Your words will appear wherever you type."));
    if (*alive && failure)
        log_.error("Failed to post ready notification: %{public}s", *failure);
}

void AppDelegate::showAboutWindow() {
    log_.info("The about window is not part of this version yet");
}

void AppDelegate::openHelpPage() { c_.links.openHelp(); }

void AppDelegate::showLimitReached() {
    showWindow(limitWindow_, [this] {
        return c_.windows.makeLimitWindow(
            c_.authState.userName(),
            [this] {
                c_.links.openUpgrade();
                closeWindow(limitWindow_);
            },
            [this] { closeWindow(limitWindow_); });
    });
}

void AppDelegate::showPermissionsPopup(bool microphoneGranted, bool accessibilityGranted) {
    showWindow(permissionsWindow_, [=, this] {
        return c_.windows.makePermissionsWindow(
            microphoneGranted, accessibilityGranted,
            [this, microphoneGranted] {
                openPermissionSettings(microphoneGranted);
                closeWindow(permissionsWindow_);
            },
            [this] { closeWindow(permissionsWindow_); });
    });
}

void AppDelegate::openPermissionSettings(bool microphoneGranted) {
    // A missing microphone is set up in the desktop's sound settings; for the rest (an X11
    // session, input access) the help page explains what to do.
    if (!microphoneGranted) {
        for (const SoundSettings& settings : kSoundSettings) {
            const QString program = QLatin1String(settings.program);
            if (c_.programs.isAvailable(program) && c_.programs.launch(program, settings.arguments))
                return;
        }
    }
    openHelpPage();
}

void AppDelegate::bringToFront() {
    if (lastPresented_ && lastPresented_->isVisible())
        lastPresented_->bringToFront();
}

void AppDelegate::showWarningAlert(const QString& message, const QString& informativeText) {
    c_.windows.showWarningAlert(message, informativeText);
}

// MARK: version checks and forced updates

QCoro::Task<void> AppDelegate::launchVersionCheck() {
    const auto alive = alive_;
    isLaunchCheck_ = true;
    co_await runVersionCheck();
    if (!*alive)
        co_return;
    isLaunchCheck_ = false;
    showUpdateBannerIfNeeded();
}

QCoro::Task<void> AppDelegate::runVersionCheck() {
    const auto alive = alive_;
    const bool applied = co_await c_.updates.checkForUpdate();
    if (*alive && applied)
        handleVersionCheckResult();
}

void AppDelegate::handleVersionCheckResult() {
    const UpdateState& updates = c_.updates;
    if (updates.forceUpdate())
        forceUpdate(updates.updateUrl(), updates.latestVersion().value_or(c_.currentVersion));
    else if (updates.updateAvailable())
        log_.info("Update available: v%s (current: v%s)",
                  updates.latestVersion().value_or(QStringLiteral("?")), c_.currentVersion);
}

void AppDelegate::showUpdateBannerIfNeeded() {
    const UpdateState& updates = c_.updates;
    const std::optional<int> daysLeft = updates.daysLeft();
    if (!updates.updateAvailable() || updates.forceUpdate() || c_.updates.isReminderSnoozed() ||
        !daysLeft || *daysLeft < 2 || !updates.latestVersion())
        return;
    if (snoozeWindow_) {
        snoozeWindow_->close();
        snoozeWindow_.reset();
    }
    // Not among the docked windows: the banner brings no task-bar entry of its own.
    snoozeWindow_ = c_.windows.makeUpdateBanner(
        *updates.latestVersion(), *daysLeft, updates.updateUrl(),
        [this] {
            c_.updates.snoozeReminder();
            if (snoozeWindow_)
                snoozeWindow_->close();
            snoozeWindow_.reset();
        },
        [this] {
            if (snoozeWindow_)
                snoozeWindow_->close();
            snoozeWindow_.reset();
        });
    snoozeWindow_->present();
}

bool AppDelegate::isEngineBusy() const {
    const EngineState state = c_.engine.state();
    return state.is(EngineState::Kind::recording) || state.is(EngineState::Kind::transcribing);
}

void AppDelegate::forceUpdate(const QString& url, const QString& version) {
    if (isLaunchCheck_)
        showForceUpdateModal(url, version);
    else if (isEngineBusy())
        deferForceUpdate(url, version);
    else
        warnThenForceUpdate(url, version);
}

void AppDelegate::deferForceUpdate(const QString& url, const QString& version) {
    log_.info("Force update detected but engine is busy - deferring");
    pendingForceUpdate_ = true;
    pendingUpdateUrl_ = url;
    pendingLatestVersion_ = version;
    pendingForceRetryTimer_ = c_.scheduler.scheduleRepeating(kForceUpdateRetryInterval, [this] {
        if (!pendingForceUpdate_ || isEngineBusy())
            return;
        pendingForceUpdate_ = false;
        pendingForceRetryTimer_.cancel();
        warnThenForceUpdate(pendingUpdateUrl_, pendingLatestVersion_);
    });
}

QCoro::Task<void> AppDelegate::warnThenForceUpdate(QString url, QString version) {
    const auto alive = alive_;
    const bool authorized = co_await c_.notifications.requestAuthorization();
    if (!*alive)
        co_return;
    if (authorized) {
        const std::optional<QString> failure = co_await c_.notifications.add(
            QStringLiteral("sayloom-force-update-warning"), QStringLiteral("Update Required"),
            QStringLiteral("Sayloom needs to restart for a required update. Save your work."));
        if (*alive && failure)
            log_.error("Failed to post force-update notification: %{public}s", *failure);
    } else {
        log_.info("Notification authorization denied — force-update warning will rely on modal "
                  "only");
    }
    if (!*alive)
        co_return;
    co_await c_.scheduler.sleep(kForceUpdateWarningDelay);
    if (!*alive)
        co_return;
    if (isEngineBusy()) {
        // The engine-idle observer picks it up again; no retry timer on this road.
        log_.info("Engine became busy during 30s wait — re-deferring force update");
        pendingForceUpdate_ = true;
        pendingUpdateUrl_ = url;
        pendingLatestVersion_ = version;
        co_return;
    }
    co_await showForceUpdateModal(std::move(url), std::move(version));
}

QCoro::Task<void> AppDelegate::showForceUpdateModal(QString url, QString version) {
    const auto alive = alive_;
    // No dictation may start under the alert; the program ends after it either way.
    c_.engine.stop();
    const bool download = co_await c_.windows.runForceUpdateAlert(version);
    if (!*alive)
        co_return;
    if (download)
        c_.links.openUpdate(url);
    c_.terminate();
}

// MARK: the engine's popups

void SharedDelegateShell::showPermissionsPopup(bool microphoneGranted, bool accessibilityGranted) {
    if (AppDelegate* delegate = AppDelegate::shared())
        delegate->showPermissionsPopup(microphoneGranted, accessibilityGranted);
}

void SharedDelegateShell::showLimitReached() {
    if (AppDelegate* delegate = AppDelegate::shared())
        delegate->showLimitReached();
}

} // namespace sayloom
