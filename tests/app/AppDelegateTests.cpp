#include "AppFakes.h"
#include "EngineFakes.h"
#include "FakeKeychain.h"
#include "FakeTranscriber.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "VirtualScheduler.h"

#include "app/AppDelegate.h"
#include "app/UpdateState.h"
#include "app/WebLinks.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthManager.h"
#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <stdexcept>

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
const QUrl kPricingURL(QStringLiteral("https://sayloom.test/pricing"));
const QUrl kDownloadURL(QStringLiteral("https://sayloom.test/"));

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
            *engine, *account, *auth, settings, windows, loginItem, indicator, programs, links,
            updates, notifications, scheduler, [this] { ++terminations; }, QStringLiteral("1.0.0"),
            profile, &hotkeys, &setupWindows});
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
    FakeSetupWindowFactory setupWindows{windows.journal};
    FakeLoginItemService loginService;
    LoginItem loginItem{loginService};
    FakeRecordingIndicator indicator;
    FakeWebBrowser browser;
    FakeProgramLauncher programs;
    FakeURLSession service; // version checks
    WebLinks links{{browser,
                    service,
                    []() -> QCoro::Task<QString> { co_return QString(); },
                    kPricingURL,
                    {},
                    {},
                    kHelpURL,
                    kUpgradeURL,
                    kDownloadURL,
                    {},
                    QStringList{QStringLiteral("sayloom.test")},
                    {}}};
    UpdateState updates{{service, store, scheduler,
                         QUrl(QStringLiteral("https://api.sayloom.test/v1/app/version-check")),
                         kDownloadURL}};
    FakeUserNotifications notifications;
    int terminations = 0;
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
    settings.setAutoLaunch(false);
    EXPECT_EQ(loginService.calls, (QStringList{"register", "unregister"})) << "and when changed";
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

TEST_F(AppDelegateTest, ASignedInLaunchOpensTheSettingsOrTheOnboarding) {
    launch(true);
    EXPECT_EQ(journal(), (QStringList{"make settings", "present settings"}));
    account->signOut();
    settle();
    EXPECT_EQ(journal().mid(2, 2), (QStringList{"close settings", "make login"}))
        << "signing out closes the settings";

    delegate.reset();
    windows.journal->clear();
    launch(true, /*onboarded=*/false);
    EXPECT_EQ(journal().mid(0, 2), (QStringList{"make onboarding", "present onboarding"}));
    EXPECT_EQ(journal().count(QStringLiteral("make onboarding")), 1);
}

TEST_F(AppDelegateTest, CompletingTheOnboardingRestartsTheKeysAndSaysSayloomIsReady) {
    launch(true, /*onboarded=*/false);
    const int stops = hotkeys.stopCount;
    const int starts = hotkeys.startCount;
    window(delegate->onboardingWindow())->primaryAction();
    EXPECT_EQ(delegate->onboardingWindow(), nullptr);
    EXPECT_TRUE(settings.hasCompletedOnboarding());
    EXPECT_EQ(hotkeys.stopCount, stops + 1);
    EXPECT_GT(hotkeys.startCount, starts);
    EXPECT_EQ(notifications.shown,
              QStringList{"sayloom-ready: Sayloom is ready! | Hold Right Ctrl to start talking. "
                          "Your words will appear wherever you type."});

    notifications.authorized = false;
    delegate.reset();
    launch(true, false);
    window(delegate->onboardingWindow())->primaryAction();
    EXPECT_TRUE(logs.contains(
        QStringLiteral("app"), LogLevel::info,
        QStringLiteral("Notification authorization denied — skipping ready notification")));
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
    window(delegate->settingsWindow())->userCloses();
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

TEST_F(AppDelegateTest, ANoticeAfterTheDictationShowsThePillUntilItGoes) {
    launch(true);
    indicator.calls.clear();
    engine->transcriptLeftOnClipboard();
    EXPECT_EQ(indicator.calls, (QStringList{"show"}));
    scheduler.advance(SayloomEngine::kClipboardNoticeDisplay);
    EXPECT_EQ(indicator.calls, (QStringList{"show", "hide"}));

    // A dictation that starts while the notice shows keeps the pill up until it ends.
    engine->transcriptLeftOnClipboard();
    hotkeys.press();
    recorder.willRecord(1000);
    hotkeys.release();
    settle();
    EXPECT_EQ(indicator.calls, (QStringList{"show", "hide", "show", "hide"}));
}

TEST_F(AppDelegateTest, TheEnginesPopupsReachTheDelegateOnlyOnceItHasLaunched) {
    sharedShell.showLimitReached();
    EXPECT_TRUE(journal().isEmpty());
    launch(true);
    windows.journal->clear();
    permissions.microphone = false;
    sharedShell.showPermissionsPopup(false, true);
    EXPECT_EQ(journal(), (QStringList{"make permissions", "present permissions"}));
    delegate.reset();
    sharedShell.showLimitReached();
    EXPECT_EQ(journal().size(), 2);
}

} // namespace

namespace {

QByteArray versionAnswer(bool available, bool forced, const QString& forceDate = {},
                         const QString& url = QStringLiteral("https://sayloom.test/get/2.0.0")) {
    QByteArray body = R"({"latestVersion":"2.0.0","updateUrl":")" + url.toUtf8() + R"(")";
    body += available ? R"(,"updateAvailable":true)" : "";
    body += forced ? R"(,"forceUpdate":true)" : "";
    body += forceDate.isEmpty() ? QByteArray() : R"(,"forceDate":")" + forceDate.toUtf8() + R"(")";
    return body + "}";
}

TEST_F(AppDelegateTest, TheBannerShowsOncePerLaunchUnlessSnoozed) {
    scheduler.setWallNow(WallInstant(std::chrono::hours(24 * 20'000)));
    const QString inThreeDays = QStringLiteral("2024-10-07T12:00:00Z"); // 3.5 days ahead
    service.respond(200, versionAnswer(true, false, inThreeDays));
    launch(true);
    EXPECT_TRUE(journal().contains("banner 2.0.0 3 https://sayloom.test/get/2.0.0"))
        << journal().join('\n').toStdString();
    EXPECT_FALSE(delegate->dockedWindows().contains(delegate->updateBanner()));
    EXPECT_TRUE(logs.contains(QStringLiteral("app"), LogLevel::info,
                              QStringLiteral("Update available: v2.0.0 (current: v1.0.0)")));

    // The periodic check finds the same update: no second banner.
    windows.journal->clear();
    service.respond(200, versionAnswer(true, false, inThreeDays));
    scheduler.advance(AppDelegate::kVersionCheckInterval);
    EXPECT_EQ(journal().count(QStringLiteral("make banner")), 0);

    // "Remind me tomorrow" snoozes; the next launch within the day shows none.
    window(delegate->updateBanner())->primaryAction();
    EXPECT_EQ(delegate->updateBanner(), nullptr);
    EXPECT_TRUE(updates.isReminderSnoozed());
    delegate.reset();
    windows.journal->clear();
    service.respond(200, versionAnswer(true, false, inThreeDays));
    launch(true);
    EXPECT_EQ(journal().count(QStringLiteral("make banner")), 0);
}

TEST_F(AppDelegateTest, AForcedUpdateAtLaunchAlertsAtOnceAndEndsTheProgram) {
    struct Case {
        QString updateUrl;
        bool download;
        QList<QUrl> opened;
    };
    const Case cases[] = {
        {QStringLiteral("https://sayloom.test/get/2.0.0"),
         true,
         {QUrl(QStringLiteral("https://sayloom.test/get/2.0.0"))}},
        {QStringLiteral("https://evil.example/get"), true, {kDownloadURL}},
        {QStringLiteral("not a url"), true, {kDownloadURL}},
        {QStringLiteral("https://sayloom.test/get/2.0.0"), false, {}},
    };
    for (const Case& c : cases) {
        delegate.reset();
        windows.journal->clear();
        browser.opened.clear();
        windows.forceUpdateAnswer = SharedOutcome<bool>();
        terminations = 0;
        service.respond(200, versionAnswer(true, true, {}, c.updateUrl));
        launch(true);
        EXPECT_TRUE(journal().contains("force-update alert 2.0.0"));
        EXPECT_TRUE(notifications.shown.isEmpty()) << "no warning and no wait at launch";
        EXPECT_EQ(terminations, 0);
        windows.answerForceUpdateAlert(c.download);
        EXPECT_EQ(browser.opened, c.opened) << c.updateUrl.toStdString();
        EXPECT_EQ(terminations, 1);
    }
}

TEST_F(AppDelegateTest, AForcedUpdateWaitsForTheDictationWarnsAndAlertsThirtySecondsLater) {
    service.respond(200, "{}");
    launch(true);
    hotkeys.press(); // recording
    settle();
    service.respond(200, versionAnswer(true, true));
    scheduler.advance(AppDelegate::kVersionCheckInterval);
    EXPECT_TRUE(delegate->isForceUpdatePending());
    EXPECT_TRUE(
        logs.contains(QStringLiteral("app"), LogLevel::info,
                      QStringLiteral("Force update detected but engine is busy - deferring")));

    recorder.willRecord(1000);
    hotkeys.release(); // too short: dropped, back to idle
    settle();
    EXPECT_FALSE(delegate->isForceUpdatePending());
    EXPECT_EQ(
        notifications.shown,
        QStringList{"sayloom-force-update-warning: Update Required | Sayloom needs to restart "
                    "for a required update. Save your work."});
    scheduler.advance(29s);
    EXPECT_FALSE(journal().contains("force-update alert 2.0.0"));
    scheduler.advance(1s);
    EXPECT_TRUE(journal().contains("force-update alert 2.0.0"));
    windows.answerForceUpdateAlert(false);
    EXPECT_EQ(terminations, 1);
}

TEST_F(AppDelegateTest, TheRetryTickFiresInAnErrorStateAndABusyEngineReDefers) {
    service.respond(200, "{}");
    launch(true);
    hotkeys.press();
    settle();
    service.respond(200, versionAnswer(true, true));
    scheduler.advance(AppDelegate::kVersionCheckInterval); // deferred, the retry timer runs
    scheduler.advance(AppDelegate::kForceUpdateRetryInterval - 2s); // a long dictation
    hotkeys.release();
    settle();
    ASSERT_EQ(transcriber.callCount(), 1u);
    transcriber.fail(0, std::runtime_error("offline"));
    settle();
    ASSERT_TRUE(engine->state().is(EngineState::Kind::error));
    EXPECT_TRUE(delegate->isForceUpdatePending()) << "an error state does not fire it";
    scheduler.advance(2s); // the retry tick, while the error still shows
    EXPECT_FALSE(delegate->isForceUpdatePending());
    EXPECT_EQ(notifications.shown.size(), 1);

    // A dictation starts during the 30 s: deferred again, fired at the next idle.
    hotkeys.press();
    settle();
    scheduler.advance(30s);
    EXPECT_TRUE(delegate->isForceUpdatePending());
    EXPECT_FALSE(journal().contains("force-update alert 2.0.0"));
    recorder.willRecord(1000);
    hotkeys.release();
    settle();
    scheduler.advance(30s);
    EXPECT_TRUE(journal().contains("force-update alert 2.0.0"));
    windows.answerForceUpdateAlert(false);
    EXPECT_EQ(terminations, 1);
}

} // namespace
