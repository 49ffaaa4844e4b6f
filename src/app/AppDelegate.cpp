#include "app/AppDelegate.h"

#include "app/AppWindow.h"
#include "app/LoginItem.h"
#include "app/ProgramLauncher.h"
#include "app/RecordingIndicatorPort.h"
#include "app/WindowFactory.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthManager.h"
#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"
#include "support/WebBrowser.h"

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
    log_.info("Application launched");

    connect(&c_.engine, &SayloomEngine::stateChanged, this, [this](const EngineState& state) {
        if (state.is(EngineState::Kind::idle))
            c_.recordingIndicator.hide();
        else
            c_.recordingIndicator.show();
    });
    observeSignIn();
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
    log_.info("The settings window is not part of this version yet");
}

void AppDelegate::showOnboardingWindow() {
    log_.info("The onboarding window is not part of this version yet");
}

void AppDelegate::showAboutWindow() {
    log_.info("The about window is not part of this version yet");
}

void AppDelegate::openHelpPage() {
    if (const auto problem = c_.browser.open(c_.helpURL))
        log_.error("Could not open the help page: %{public}s", *problem);
}

void AppDelegate::showLimitReached() {
    showWindow(limitWindow_, [this] {
        return c_.windows.makeLimitWindow(
            c_.authState.userName(),
            [this] {
                if (const auto problem = c_.browser.open(c_.upgradeURL))
                    log_.error("Could not open the upgrade page: %{public}s", *problem);
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
