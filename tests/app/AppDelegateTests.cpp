#include "AppFakes.h"
#include "EngineFakes.h"
#include "FakeKeychain.h"
#include "FakeTranscriber.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "VirtualScheduler.h"

#include "app/AppDelegate.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthManager.h"
#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

const QString kCurrent = QString::fromLatin1(CredentialStore::kCredentialsService);
const QByteArray kSignedIn = R"({"ai.sayloom.app.firebase-refresh-token":"r1",)"
                             R"("ai.sayloom.app.firebase-uid":"uid-1"})";
const QUrl kUpgradeURL(QStringLiteral("https://sayloom.test/upgrade"));
const QUrl kHelpURL(QStringLiteral("https://sayloom.test/help"));

// The delegate over the real engine, account and settings, with fakes at the edges: windows,
// login item, pill, browser and programs.
class AppDelegateTest : public ::testing::Test {
public:
    AppDelegateTest() : settings(store) {}
    ~AppDelegateTest() override {
        delegate.reset();
        QCoreApplication::sendPostedEvents();
    }

    void launch(bool signedIn, bool onboarded = true, QString profile = "production") {
        if (signedIn)
            keychain.put(kCurrent, kSignedIn);
        settings.setHasCompletedOnboarding(onboarded);
        auth = std::make_unique<FirebaseAuthManager>(FirebaseAuthManager::Collaborators{
            keychain, identity, scheduler,
            SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("k")),
            QUrl(QStringLiteral("https://api.test/v1/auth/sync"))});
        account = std::make_unique<AuthState>(AuthState::Collaborators{
            *auth, store, api, scheduler, QUrl(QStringLiteral("https://api.test/v1/auth/me")),
            QUrl(QStringLiteral("https://api.test/v1/auth/timezone")), false});
        engine = std::make_unique<SayloomEngine>(SayloomEngine::Collaborators{
            transcriber, settings, scheduler, hotkeys, recorder, inserter, permissions,
            &sharedShell, nullptr, nullptr, nullptr, QUrl(), nullptr, nullptr});
        delegate = std::make_unique<AppDelegate>(AppDelegate::Collaborators{
            *engine, *account, *auth, settings, windows, loginItem, indicator, browser, programs,
            kUpgradeURL, kHelpURL, profile});
        delegate->applicationDidFinishLaunching();
        settle();
    }
    // Lets queued deliveries and zero-delay work run.
    void settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents();
            scheduler.runDue();
        }
    }
    FakeWindow* window(AppWindow* window) { return static_cast<FakeWindow*>(window); }
    QStringList journal() const { return *windows.journal; }

    LogCapture logs;
    VirtualScheduler scheduler;
    MemoryKeyValueStore store;
    AppSettings settings;
    FakeKeychain keychain;
    FakeURLSession identity;
    FakeURLSession api;
    FakeTranscriber transcriber;
    FakeHotkeys hotkeys;
    FakeRecorder recorder;
    FakeInserter inserter;
    FakePermissions permissions;
    SharedDelegateShell sharedShell;
    FakeWindowFactory windows;
    FakeLoginItemService loginService;
    LoginItem loginItem{loginService};
    FakeRecordingIndicator indicator;
    FakeWebBrowser browser;
    FakeProgramLauncher programs;
    std::unique_ptr<FirebaseAuthManager> auth;
    std::unique_ptr<AuthState> account;
    std::unique_ptr<SayloomEngine> engine;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, ASignedOutLaunchShowsOneSignInWindowAndStopsTheEngine) {
    launch(/*signedIn=*/false, /*onboarded=*/true, QStringLiteral("debug"));
    // The signed-out flag (delivered more than once) and the first window all ask for the sign-in
    // window: one window, brought to the front again.
    EXPECT_EQ(journal().mid(0, 3), (QStringList{"make login", "present login", "front login"}));
    EXPECT_EQ(journal().count(QStringLiteral("make login")), 1);
    EXPECT_EQ(delegate->dockedWindows().size(), 1);
    EXPECT_GE(hotkeys.stopCount, 1);
    EXPECT_EQ(loginService.calls, QStringList{"register"}) << "applied at every launch";
    EXPECT_EQ(
        logs.messages(QStringLiteral("app")),
        (QStringList{"recording profile mismatch: binary is production, bundle declares debug",
                     "Application launched"}));
    EXPECT_TRUE(logs.contains(QStringLiteral("loginItem"), LogLevel::info,
                              QStringLiteral("Registered as login item")));
}

TEST_F(AppDelegateTest, SigningInClosesTheSignInWindowAndStartsTheEngineAndSigningOutReopensIt) {
    launch(false);
    windows.journal->clear();
    const int starts = hotkeys.startCount;
    // The account state reports a completed sign-in.
    Q_EMIT account->isLoggedInChanged(true);
    settle();
    EXPECT_EQ(journal(), QStringList{"close login"});
    EXPECT_EQ(delegate->loginWindow(), nullptr);
    EXPECT_TRUE(delegate->dockedWindows().isEmpty());
    EXPECT_EQ(hotkeys.startCount, starts + 1);

    const int stops = hotkeys.stopCount;
    windows.journal->clear();
    account->signOut();
    settle();
    EXPECT_GT(hotkeys.stopCount, stops);
    EXPECT_EQ(journal().mid(0, 2), (QStringList{"make login", "present login"}));
}

TEST_F(AppDelegateTest, ASignedInLaunchOpensNoSignInWindow) {
    launch(true);
    EXPECT_TRUE(journal().isEmpty());
    EXPECT_TRUE(
        logs.contains(QStringLiteral("app"), LogLevel::info,
                      QStringLiteral("The settings window is not part of this version yet")));
}

TEST_F(AppDelegateTest, EachKindOfWindowIsShownOnceAndRebuiltAfterTheUserClosedIt) {
    launch(false);
    windows.journal->clear();
    window(delegate->loginWindow())->userCloses();
    EXPECT_TRUE(delegate->dockedWindows().isEmpty());
    delegate->showLoginWindow();
    delegate->showLimitReached();
    delegate->showLimitReached();
    delegate->showPermissionsPopup(false, true);
    EXPECT_EQ(journal(), (QStringList{"closed login", "close login", "make login", "present login",
                                      "make limit", "present limit", "front limit",
                                      "make permissions", "present permissions"}));
    EXPECT_EQ(delegate->dockedWindows().size(), 3);

    windows.journal->clear();
    window(delegate->limitWindow())->userCloses();
    delegate->showLimitReached();
    EXPECT_EQ(journal(),
              (QStringList{"closed limit", "close limit", "make limit", "present limit"}));
    // Settings while signed out: the sign-in window instead.
    delegate->showSettingsWindow();
    EXPECT_EQ(journal().last(), "front login");
}

TEST_F(AppDelegateTest, TheLimitWindowUpgradesOrDismissesAndTellsTheUserByName) {
    launch(true);
    delegate->showLimitReached();
    FakeWindow* limit = window(delegate->limitWindow());
    limit->primaryAction();
    EXPECT_EQ(browser.opened, QList<QUrl>{kUpgradeURL});
    EXPECT_EQ(delegate->limitWindow(), nullptr);
    EXPECT_TRUE(delegate->dockedWindows().isEmpty());

    delegate->showLimitReached();
    window(delegate->limitWindow())->dismissAction();
    EXPECT_EQ(delegate->limitWindow(), nullptr);
    EXPECT_EQ(browser.opened.size(), 1);
}

TEST_F(AppDelegateTest, OpenSettingsLeadsToTheSoundSettingsOrTheHelpPage) {
    struct Case {
        bool microphone;
        QStringList available;
        QStringList launched;
        bool helpPage;
    };
    const Case cases[] = {
        {false, {"gnome-control-center", "pavucontrol"}, {"gnome-control-center sound"}, false},
        {false, {"systemsettings", "pavucontrol"}, {"systemsettings kcm_pulseaudio"}, false},
        {false, {"pavucontrol"}, {"pavucontrol"}, false},
        {false, {}, {}, true},
        {true, {"gnome-control-center"}, {}, true},
    };
    launch(true);
    for (const Case& c : cases) {
        programs.available = c.available;
        programs.launched.clear();
        browser.opened.clear();
        delegate->showPermissionsPopup(c.microphone, false);
        FakeWindow* permissions = window(delegate->permissionsWindow());
        EXPECT_EQ(permissions->microphoneGranted, c.microphone);
        permissions->primaryAction();
        EXPECT_EQ(programs.launched, c.launched);
        EXPECT_EQ(browser.opened, c.helpPage ? QList<QUrl>{kHelpURL} : QList<QUrl>{});
        EXPECT_EQ(delegate->permissionsWindow(), nullptr);
    }
}

TEST_F(AppDelegateTest, ThePillShowsWhileTheEngineIsBusyAndTheEngineStopsAtTheEnd) {
    launch(true);
    indicator.calls.clear();
    hotkeys.press();
    recorder.willRecord(1000); // too short: dropped, back to idle
    hotkeys.release();
    settle();
    EXPECT_EQ(indicator.calls, (QStringList{"show", "hide"}));

    const int stops = hotkeys.stopCount;
    delegate->applicationWillTerminate();
    EXPECT_GT(hotkeys.stopCount, stops);
    EXPECT_TRUE(logs.contains(QStringLiteral("app"), LogLevel::info,
                              QStringLiteral("Engine stopped before exit")));
}

TEST_F(AppDelegateTest, TheEnginesPopupsReachTheDelegateOnlyOnceItHasLaunched) {
    sharedShell.showLimitReached();
    EXPECT_TRUE(journal().isEmpty());
    launch(true);
    permissions.microphone = false;
    sharedShell.showPermissionsPopup(false, true);
    EXPECT_EQ(journal(), (QStringList{"make permissions", "present permissions"}));
    delegate.reset();
    sharedShell.showLimitReached();
    EXPECT_EQ(journal().size(), 2);
}

} // namespace
