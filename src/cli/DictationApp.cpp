#include "cli/DictationApp.h"

#include "app/SingleInstance.h"
#include "audio/AudioRecorder.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthError.h"
#include "auth/FirebaseAuthManager.h"
#include "auth/SignInConfiguration.h"
#include "cli/AccountServices.h"
#include "cli/CommandOutput.h"
#include "cli/HeadlessShell.h"
#include "cli/InterruptWatcher.h"
#include "cli/SignInHost.h"
#include "engine/Cld2LanguageRecognizer.h"
#include "engine/SayloomEngine.h"
#include "engine/TranscriptPostProcessing.h"
#include "hotkeys/HotkeyManager.h"
#include "insertion/AXFallbackCache.h"
#include "insertion/AccessibilityInjector.h"
#include "insertion/TextInjector.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/LogindWakeSource.h"
#include "platform/linux/PulseAudioInputFactory.h"
#include "platform/linux/PulseAudioSourceMonitor.h"
#include "platform/linux/QtClipboardPasteboard.h"
#include "platform/linux/X11Connection.h"
#include "platform/linux/X11FrontmostApplication.h"
#include "platform/linux/X11KeyPoster.h"
#include "platform/linux/X11SessionTrust.h"
#include "platform/linux/XInput2KeyMonitor.h"
#include "platform/linux/XdgUrlHandlerRegistration.h"
#include "settings/AppSettings.h"
#include "support/Logger.h"
#include "support/PlatformText.h"
#include "transcription/APIConfig.h"
#include "transcription/CloudTranscriber.h"

#include <QCoreApplication>

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

// The two permissions on Linux: input can be observed and synthesised (an X11 session), and the
// sound server has a capture source.
class DesktopPermissions final : public PermissionProbe {
public:
    DesktopPermissions(X11SessionTrust& trust, PulseAudioSourceMonitor& microphone)
        : trust_(trust)
        , microphone_(microphone) {}
    bool isAccessibilityTrusted() override { return trust_.isProcessTrusted(); }
    bool isMicrophoneAuthorized() override { return microphone_.isAvailable(); }

private:
    X11SessionTrust& trust_;
    PulseAudioSourceMonitor& microphone_;
};

// Until the application has windows, the popups the engine asks for are log lines.
class LoggingPopups final : public EngineShell {
public:
    void showPermissionsPopup(bool microphoneGranted, bool accessibilityGranted) override {
        if (!microphoneGranted && !accessibilityGranted)
            log_.error("%{public}s", platformText(PlatformTextKey::permissionsNeededBoth));
        else if (!microphoneGranted)
            log_.error("%{public}s", platformText(PlatformTextKey::permissionsNeededMicrophone));
        else
            log_.error("%{public}s", platformText(PlatformTextKey::permissionsNeededAccessibility));
    }
    void showLimitReached() override {
        log_.error("Weekly word limit reached. Upgrade to Pro for unlimited words: %{public}s",
                   APIConfig::endpoints().upgradeURL().toString());
    }

private:
    Logger log_{QStringLiteral("app")};
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

// Every part of the running application, in the order they depend on each other.
class DictationApp {
public:
    DictationApp()
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
        , hotkeys_(keyMonitor_, settings_)
        , accessibility_(frontmost_, services_.scheduler())
        , accessibilityInjector_(accessibility_, frontmost_)
        , fallbackCache_(services_.defaults())
        , keyPoster_(services_.scheduler())
        , injector_({accessibilityInjector_, fallbackCache_, pasteboard_, keyPoster_, trust_,
                     services_.scheduler(), [this] { return frontmost_.frontmostApplicationID(); }})
        , postProcessing_(accessibilityInjector_, settings_, recognizer_,
                          [this] { return frontmost_.frontmostApplicationID(); })
        , permissions_(trust_, microphone_)
        , shell_(/*printAlerts=*/false)
        , signInHost_(services_, authState_, shell_) {
        // The keys the injector posts are ours, not the user's hotkey.
        keyPoster_.setSyntheticKeyGuard(&keyMonitor_);
        engine_ = std::make_unique<SayloomEngine>(SayloomEngine::Collaborators{
            transcriber_, settings_, services_.scheduler(), hotkeys_, recorder_, injector_,
            permissions_, &popups_, &authState_, &postProcessing_, &services_.session(),
            APIConfig::endpoints().warmupURL(), &account_, &wake_});
        QObject::connect(
            engine_.get(), &SayloomEngine::stateChanged,
            [this](const EngineState& state) { log_.info("State: %{public}s", stateName(state)); });
    }

    SayloomEngine& engine() { return *engine_; }
    FirebaseAuthManager& auth() { return services_.auth(); }
    SignInHost& signInHost() { return signInHost_; }

private:
    Logger log_{QStringLiteral("app")};
    AccountServices services_;
    AppSettings settings_;
    AuthState authState_;
    AuthManagerAccount account_;
    CloudTranscriber transcriber_;
    AudioRecorder recorder_;
    PulseAudioSourceMonitor microphone_;
    XInput2KeyMonitor keyMonitor_;
    HotkeyManager hotkeys_;
    X11FrontmostApplication frontmost_;
    AtspiAccessibility accessibility_;
    AccessibilityInjector accessibilityInjector_;
    AXFallbackCache fallbackCache_;
    QtClipboardPasteboard pasteboard_;
    X11KeyPoster keyPoster_;
    X11SessionTrust trust_;
    TextInjector injector_;
    Cld2LanguageRecognizer recognizer_;
    TranscriptPostProcessing postProcessing_;
    DesktopPermissions permissions_;
    LoggingPopups popups_;
    HeadlessShell shell_;
    SignInHost signInHost_;
    LogindWakeSource wake_;
    std::unique_ptr<SayloomEngine> engine_;
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

// Makes this executable the handler of the "sayloom" links and of the Google redirect.
void registerUrlHandler() {
    QStringList schemes = {QStringLiteral("sayloom")};
    const SignInConfiguration signIn =
        SignInConfiguration::fromEnvironment(APIConfig::endpoints().githubCallbackURL());
    if (SignInConfiguration::isGoogleClientId(signIn.googleClientId()))
        schemes << signIn.reversedGoogleClientId();
    XdgUrlHandlerRegistration::registerHandler(QCoreApplication::applicationFilePath(), schemes);
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
        printError(QStringLiteral("Sayloom is already running"));
        return 1;
    case SingleInstance::Claim::failed:
        printError(QStringLiteral("cannot start: %1").arg(instance.errorString()));
        return 1;
    }

    logConfigurationProblems();
    registerUrlHandler();
    DictationApp app;
    app.signInHost().serve(instance);
    app.signInHost().deepLinks().open(urls);

    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, [&app] {
        app.engine().stop();
        QCoreApplication::quit();
    });
    const int status = QCoreApplication::exec();
    // Credentials refreshed while running must reach the keychain before the process ends.
    QCoro::waitFor(app.auth().flushCredentialWrites());
    return status;
}

} // namespace sayloom
