#include "cli/DictationApp.h"

#include "BuildConfig.h"
#include "app/AccountSignIn.h"
#include "app/AppDelegate.h"
#include "app/AvatarCache.h"
#include "app/DeepLinkAction.h"
#include "app/LoginItem.h"
#include "app/MenuActions.h"
#include "app/SingleInstance.h"
#include "app/UpdateState.h"
#include "app/WebLinks.h"
#include "audio/AudioRecorder.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthError.h"
#include "auth/FirebaseAuthManager.h"
#include "auth/SignInConfiguration.h"
#include "cli/AccountServices.h"
#include "cli/CommandOutput.h"
#include "cli/InterruptWatcher.h"
#include "cli/SignInHost.h"
#include "engine/Cld2LanguageRecognizer.h"
#include "engine/SayloomEngine.h"
#include "engine/TranscriptPostProcessing.h"
#include "hotkeys/HotkeyManager.h"
#include "insertion/AXFallbackCache.h"
#include "insertion/AccessibilityInjector.h"
#include "insertion/Pasteboard.h"
#include "insertion/TextInjector.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DesktopInstallation.h"
#include "platform/linux/DesktopMotionPreference.h"
#include "platform/linux/DesktopProgramLauncher.h"
#include "platform/linux/FreedesktopNotifications.h"
#include "platform/linux/LogindWakeSource.h"
#include "platform/linux/PulseAudioInputFactory.h"
#include "platform/linux/PulseAudioSourceMonitor.h"
#include "platform/linux/SessionAdapters.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/linux/XdgUrlHandlerRegistration.h"
#include "settings/AppSettings.h"
#include "support/Logger.h"
#include "support/PlatformText.h"
#include "transcription/APIConfig.h"
#include "transcription/CloudTranscriber.h"
#include "ui/MenuWindow.h"
#include "ui/PopupAccessibility.h"
#include "ui/RecordingIndicator.h"
#include "ui/SayloomIcons.h"
#include "ui/TrayIcon.h"
#include "ui/WidgetSetupWindowFactory.h"
#include "ui/WidgetWindowFactory.h"

#include <QGuiApplication>
#include <QStandardPaths>

namespace sayloom {

namespace {

using namespace linux_desktop;

QString stateName(const EngineState& state) {
    switch (state.kind()) {
    case EngineState::Kind::idle:
        return QStringLiteral("idle");
    case EngineState::Kind::recording:
        return QStringLiteral("recording");
    case EngineState::Kind::transcribing:
        return QStringLiteral("transcribing");
    case EngineState::Kind::error:
        return QStringLiteral("error: ") + state.message();
    }
    return {};
}

// The two permissions on Linux: the session's hotkey road can observe the keys, and the sound
// server has a capture source.
class DesktopPermissions final : public PermissionProbe {
public:
    DesktopPermissions(AccessibilityTrust& trust, PulseAudioSourceMonitor& microphone)
        : trust_(trust)
        , microphone_(microphone) {}
    bool isAccessibilityTrusted() override { return trust_.isProcessTrusted(); }
    bool isMicrophoneAuthorized() override { return microphone_.isAvailable(); }

private:
    AccessibilityTrust& trust_;
    PulseAudioSourceMonitor& microphone_;
};

class AuthManagerAccount final : public EngineAccount {
public:
    explicit AuthManagerAccount(FirebaseAuthManager& auth) : auth_(auth) {}
    QCoro::Task<void> waitUntilRestored() override { return auth_.waitUntilRestored(); }
    bool isLoggedIn() const override { return auth_.isLoggedIn(); }
    QCoro::Task<QString> getIdToken() override { return auth_.getIdToken(); }
    void startRefreshTimer() override { auth_.startRefreshTimer(); }

private:
    FirebaseAuthManager& auth_;
};

// The URL schemes this build handles: "sayloom", and the Google redirect when sign-in with Google
// is configured.
QStringList ownSchemes() {
    return DeepLinkAction::registeredSchemes(
        SignInConfiguration::fromEnvironment(APIConfig::endpoints().githubCallbackURL())
            .googleClientId());
}

// The web pages of this build's service and website, opened in the user's browser.
WebLinks::Collaborators webLinkCollaborators(AccountServices& services) {
    const Endpoints& endpoints = APIConfig::endpoints();
    return {services.browser(),
            services.session(),
            [&services] { return services.auth().getIdToken(); },
            endpoints.pricingURL(),
            endpoints.privacyURL(),
            endpoints.termsURL(),
            endpoints.helpURL(),
            endpoints.upgradeURL(),
            endpoints.downloadURL(),
            endpoints.billingPortalURL(),
            WebLinks::defaultTrustedDomains(QUrl(endpoints.websiteBaseURL()),
                                            QUrl(endpoints.apiBaseURL())),
            WebLinks::defaultPaymentHosts(QUrl(endpoints.websiteBaseURL()))};
}

// Every part of the running application, in the order they depend on each other.
class DictationApp {
public:
    explicit DictationApp(const DesktopInstallation& installation)
        : settings_(services_.defaults())
        , authState_({services_.auth(), services_.defaults(), services_.session(),
                      services_.scheduler(), APIConfig::endpoints().authMeURL(),
                      APIConfig::endpoints().authTimezoneURL(), /*syncAtStartup=*/true})
        , account_(services_.auth())
        , transcriber_({services_.session(), settings_, services_.scheduler(),
                        APIConfig::endpoints().transcribeURL(),
                        [this] { return services_.auth().getIdToken(); },
                        [this] {
                            services_.auth().forgetCachedToken();
                            return services_.auth().getIdToken();
                        }})
        , recorder_(pulseAudioInputFactory())
        , microphone_(services_.scheduler())
        , session_(SessionRoads::detect(SessionEnvironment::current()), services_.scheduler())
        , hotkeys_(session_.keyMonitor(), settings_)
        , accessibility_(session_.frontmost(), services_.scheduler())
        , accessibilityInjector_(accessibility_, session_.frontmost())
        , fallbackCache_(services_.defaults())
        , pasteboard_(session_.pasteboard())
        , injector_({accessibilityInjector_, fallbackCache_, pasteboard_, session_.keyPoster(),
                     session_.keyPostingTrust(), services_.scheduler(),
                     [this] { return session_.frontmostApplicationID(); }})
        , postProcessing_(accessibilityInjector_, settings_, recognizer_,
                          [this] { return session_.frontmostApplicationID(); })
        , permissions_(session_.hotkeyTrust(), microphone_)
        , indicator_(services_.scheduler(), motion_)
        , updates_({services_.session(), services_.defaults(), services_.scheduler(),
                    APIConfig::endpoints().versionCheckURL(QString::fromLatin1(build::kVersion)),
                    APIConfig::endpoints().downloadURL()})
        , webLinks_(webLinkCollaborators(services_))
        , windows_({[this](SignInProvider provider) {
                        return signInAndLoadAccount(services_.auth(), authState_, provider);
                    },
                    updates_, webLinks_})
        , autostart_(installation.executable(), ownSchemes())
        , loginItem_(autostart_)
        , avatars_(services_.session(),
                   QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                       QStringLiteral("/sayloom")) {
        engine_ = std::make_unique<SayloomEngine>(SayloomEngine::Collaborators{
            transcriber_, settings_, services_.scheduler(), hotkeys_, recorder_, injector_,
            permissions_, &popups_, &authState_, &postProcessing_, &services_.session(),
            APIConfig::endpoints().warmupURL(), &account_, &wake_});
        setupWindows_ =
            std::make_unique<WidgetSetupWindowFactory>(WidgetSetupWindowFactory::Collaborators{
                settings_, authState_, *engine_, updates_, webLinks_, services_.scheduler(),
                [this](bool microphoneGranted) {
                    delegate_->openPermissionSettings(microphoneGranted);
                },
                [this] { return accessibilitySwitchedOn_; }, session_.keyMonitor().capabilities()});
        delegate_ = std::make_unique<AppDelegate>(AppDelegate::Collaborators{
            *engine_, authState_, services_.auth(), settings_, windows_, loginItem_, indicator_,
            programs_, webLinks_, updates_, notifications_, services_.scheduler(),
            [] { QCoreApplication::quit(); }, QString::fromLatin1(build::kVersion),
            QString::fromUtf8(build::kRecordingProfile), &hotkeys_, setupWindows_.get()});
        signInHost_ = std::make_unique<SignInHost>(services_, authState_, *delegate_);
        connectPill();
        connectTray();
        connectMenu();
        QObject::connect(
            engine_.get(), &SayloomEngine::stateChanged,
            [this](const EngineState& state) { log_.info("State: %{public}s", stateName(state)); });
    }

    // Starts what the user sees, and answers other `sayloom` processes on `instance`.
    void launch(SingleInstance& instance) {
        switchOnAccessibility();
        signInHost_->serve(instance);
        instance.addCommand(
            QStringLiteral("activate"),
            [](const QStringList& arguments) { return arguments.isEmpty(); },
            [this](QStringList) -> QCoro::Task<SingleInstance::Reply> {
                delegate_->showSettingsWindow();
                delegate_->bringToFront();
                co_return SingleInstance::Reply{true, QString()};
            });
        QObject::connect(qApp, &QCoreApplication::aboutToQuit,
                         [this] { delegate_->applicationWillTerminate(); });
        delegate_->applicationDidFinishLaunching();
        tray_.show();
    }

    SignInHost& signInHost() { return *signInHost_; }
    FirebaseAuthManager& auth() { return services_.auth(); }

private:
    // Applications expose their text fields on the accessibility bus only while it is switched
    // on (Qt's above all), and direct insertion needs them there.
    void switchOnAccessibility() {
        constexpr auto timeout = std::chrono::seconds(1);
        // Nothing to do when it is on already, or when there is no accessibility bus at all.
        const std::optional<bool> enabled = AtspiAccessibility::isAccessibilityEnabled(timeout);
        if (!enabled || *enabled)
            return;
        Logger log(QStringLiteral("app"));
        accessibilitySwitchedOn_ = accessibility_.enableAccessibility(timeout) == ax_error::success;
        if (accessibilitySwitchedOn_)
            log.info("Switched the accessibility bus on: %{public}s",
                     platformText(PlatformTextKey::restartAppsForAccessibility));
        else
            log.error("Could not switch the accessibility bus on");
    }

    void connectPill() {
        SayloomEngine* engine = engine_.get();
        QObject::connect(engine, &SayloomEngine::stateChanged, &indicator_,
                         &RecordingIndicator::setState);
        QObject::connect(engine, &SayloomEngine::activeTranslationTargetChanged, &indicator_,
                         &RecordingIndicator::setTranslationTarget);
        QObject::connect(engine, &SayloomEngine::recordingNoticeChanged, &indicator_,
                         &RecordingIndicator::setNotice);
        QObject::connect(&recorder_, &AudioRecorder::audioLevelChanged, &indicator_,
                         &RecordingIndicator::setAudioLevel);
        // Queued: keys that could not go out are reported from within the insertion, and the
        // engine's return to idle right after it would clear the notice.
        QObject::connect(&injector_, &TextInjector::leftOnClipboard, engine,
                         &SayloomEngine::transcriptLeftOnClipboard, Qt::QueuedConnection);
        QObject::connect(&injector_, &TextInjector::keysRefused, engine,
                         &SayloomEngine::keysRefusedByDesktop, Qt::QueuedConnection);
    }

    void connectTray() {
        SayloomEngine* engine = engine_.get();
        tray_.setEngineState(engine->state());
        tray_.setSignedIn(authState_.isLoggedIn());
        QObject::connect(engine, &SayloomEngine::stateChanged, &tray_, &TrayIcon::setEngineState);
        QObject::connect(engine, &SayloomEngine::lastTranscriptionChanged, &tray_,
                         &TrayIcon::setLastTranscription);
        QObject::connect(&authState_, &AuthState::isLoggedInChanged, &tray_,
                         &TrayIcon::setSignedIn);
        QObject::connect(&tray_, &TrayIcon::copyLastTranscriptionRequested,
                         [this] { pasteboard_.setString(engine_->lastTranscription()); });
        QObject::connect(&tray_, &TrayIcon::signOutRequested, [this] { authState_.signOut(); });
        QObject::connect(&tray_, &TrayIcon::quitRequested, [] { QCoreApplication::quit(); });
    }

    // The tray's menu window, opened by a click on the tray icon or by "Open Sayloom" in its
    // context menu; the update dot on the tray icon.
    void connectMenu() {
        MenuActions actions;
        actions.openSettings = [this] { delegate_->showSettingsWindow(); };
        actions.signIn = [this] { delegate_->showLoginWindow(); };
        actions.openHelp = [this] { delegate_->openHelpPage(); };
        actions.signOut = [this] { authState_.signOut(); };
        actions.quit = [] { QCoreApplication::quit(); };
        actions.copyLastTranscription = [this] {
            pasteboard_.setString(engine_->lastTranscription());
        };
        actions.openAccessibilitySettings = [this] { delegate_->openHelpPage(); };
        actions.upgrade = [this] { webLinks_.openUpgrade(); };
        actions.selectTone = [this](TonePreset tone) { settings_.setTonePreset(tone); };
        menu_ = std::make_unique<MenuWindow>(*engine_, settings_, authState_, avatars_,
                                             std::move(actions));
        const auto openMenu = [this] { menu_->popUp(tray_.geometry()); };
        QObject::connect(&tray_, &TrayIcon::activated, openMenu);
        QObject::connect(&tray_, &TrayIcon::openRequested, openMenu);
        QObject::connect(&updates_, &UpdateState::changed, &tray_, [this] {
            tray_.setUpdateAvailable(updates_.updateAvailable() && !updates_.forceUpdate());
        });
    }

    Logger log_{QStringLiteral("app")};
    AccountServices services_;
    AppSettings settings_;
    AuthState authState_;
    AuthManagerAccount account_;
    CloudTranscriber transcriber_;
    AudioRecorder recorder_;
    PulseAudioSourceMonitor microphone_;
    SessionAdapters session_;
    HotkeyManager hotkeys_;
    AtspiAccessibility accessibility_;
    AccessibilityInjector accessibilityInjector_;
    AXFallbackCache fallbackCache_;
    Pasteboard& pasteboard_;
    TextInjector injector_;
    Cld2LanguageRecognizer recognizer_;
    TranscriptPostProcessing postProcessing_;
    DesktopPermissions permissions_;
    SharedDelegateShell popups_;
    LogindWakeSource wake_;
    DesktopMotionPreference motion_;
    RecordingIndicator indicator_;
    UpdateState updates_;
    WebLinks webLinks_;
    FreedesktopNotifications notifications_;
    WidgetWindowFactory windows_;
    XdgAutostart autostart_;
    LoginItem loginItem_;
    DesktopProgramLauncher programs_;
    TrayIcon tray_;
    AvatarCache avatars_;
    std::unique_ptr<SayloomEngine> engine_;
    std::unique_ptr<WidgetSetupWindowFactory> setupWindows_;
    std::unique_ptr<AppDelegate> delegate_;
    std::unique_ptr<SignInHost> signInHost_;
    std::unique_ptr<MenuWindow> menu_;
    bool accessibilitySwitchedOn_ = false;
};

// Says at start-up which sign-in this build cannot run, naming what to set: a person who built
// Sayloom without its deployment values finds the reason in the log.
void logConfigurationProblems() {
    const Logger log(QStringLiteral("app"));
    if (const auto problem = AccountServices::configurationError())
        log.error("Identity tokens cannot be refreshed: %{public}s", *problem);
    const SignInConfiguration signIn =
        SignInConfiguration::fromEnvironment(APIConfig::endpoints().githubCallbackURL());
    if (const auto problem = signIn.googleProblem())
        log.error("Google sign-in is unavailable: %{public}s", *problem);
    if (const auto problem = signIn.githubProblem())
        log.error("GitHub sign-in is unavailable: %{public}s", *problem);
}

// Makes this executable the handler of the "sayloom" links and of the Google redirect: through
// the system's desktop entry when installed, through one of its own otherwise.
void registerUrlHandler(const DesktopInstallation& installation) {
    if (installation.isInstalled())
        Logger(QStringLiteral("app"))
            .info("Installed: using the desktop entry %{public}s", installation.systemEntry());
    XdgUrlHandlerRegistration::registerHandler(
        installation.executable(), ownSchemes(), SayloomIcons::applicationIconSvg(),
        installation.isInstalled() ? XdgUrlHandlerRegistration::Entry::system
                                   : XdgUrlHandlerRegistration::Entry::own);
}

} // namespace

QString dictationSessionProblem() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no X11 display (DISPLAY is not set): start Sayloom from a terminal "
                              "of your desktop session");
    const X11Connection probe;
    if (!probe.display())
        return QStringLiteral("cannot open the X11 display %1: start Sayloom from a terminal of "
                              "your desktop session")
            .arg(qEnvironmentVariable("DISPLAY"));
    return {};
}

int runDictationApp(const QStringList& urls) {
    SingleInstance instance(SingleInstance::defaultDirectory());
    switch (instance.claim()) {
    case SingleInstance::Claim::primary:
        break;
    case SingleInstance::Claim::anotherIsRunning:
        // Starting Sayloom again (its menu entry, a second `sayloom`) brings the running one
        // forward instead.
        if (SingleInstance::send(SingleInstance::defaultDirectory(), QStringLiteral("activate")))
            return 0;
        printError(QStringLiteral("Sayloom is already running but does not answer"));
        return 1;
    case SingleInstance::Claim::failed:
        printError(QStringLiteral("cannot start: %1").arg(instance.errorString()));
        return 1;
    }

    logConfigurationProblems();
    const DesktopInstallation installation = DesktopInstallation::current();
    registerUrlHandler(installation);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    includePopupsInAccessibleTree();
    QGuiApplication::setWindowIcon(SayloomIcons::applicationIcon());
    // Quit, a signal and the end of the session all end in aboutToQuit, which stops the engine.
    // Signals are caught before anything starts: one that comes while Sayloom starts ends it
    // once the event loop runs, with the same clean-up (sway's key bindings removed among it).
    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, [] { QCoreApplication::quit(); });
    DictationApp app(installation);
    app.launch(instance);
    app.signInHost().deepLinks().open(urls);

    const int status = QCoreApplication::exec();
    // Credentials refreshed while running must reach the keychain before the process ends.
    QCoro::waitFor(app.auth().flushCredentialWrites());
    return status;
}

} // namespace sayloom
