#pragma once

#include "app/ApplicationShell.h"
#include "engine/EnginePorts.h"
#include "support/Logger.h"

#include <QObject>
#include <QSet>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <memory>

namespace sayloom {

class AppSettings;
class AppWindow;
class AuthState;
class FirebaseAuthManager;
class LoginItem;
class ProgramLauncher;
class RecordingIndicatorPort;
class SayloomEngine;
class WebBrowser;
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
        WebBrowser& browser;
        ProgramLauncher& programs;
        QUrl upgradeURL;
        QUrl helpURL;
        // The recording profile this build declares; anything but "production" is logged.
        QString recordingProfile;
    };

    explicit AppDelegate(Collaborators collaborators, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The delegate of this process once it has launched, or null: the engine's popups reach it
    // through this.
    static AppDelegate* shared();

    // The start-up sequence: launch at login, the reactions to the signed-in flag and to the
    // engine's state, and the first window.
    void applicationDidFinishLaunching();
    // The process is about to end, whatever ended it: the engine stops.
    void applicationWillTerminate();

    void showLoginWindow();
    // The settings window, or the sign-in window when nobody is signed in.
    void showSettingsWindow() override;
    void showOnboardingWindow();
    void showAboutWindow();
    void openHelpPage();
    void showLimitReached();
    void showPermissionsPopup(bool microphoneGranted, bool accessibilityGranted);

    // Raises the window the user last saw, when one is shown.
    void bringToFront() override;
    void showWarningAlert(const QString& message, const QString& informativeText) override;

    // Open windows, for the task bar's sake: those shown and not yet closed.
    const QSet<AppWindow*>& dockedWindows() const { return dockedWindows_; }
    AppWindow* loginWindow() const { return loginWindow_.get(); }
    AppWindow* limitWindow() const { return limitWindow_.get(); }
    AppWindow* permissionsWindow() const { return permissionsWindow_.get(); }

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
    void openPermissionSettings(bool microphoneGranted);

    Logger log_{QStringLiteral("app")};
    Collaborators c_;
    std::unique_ptr<AppWindow> loginWindow_;
    std::unique_ptr<AppWindow> limitWindow_;
    std::unique_ptr<AppWindow> permissionsWindow_;
    QSet<AppWindow*> dockedWindows_;
    AppWindow* lastPresented_ = nullptr;
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
