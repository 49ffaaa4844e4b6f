#include "EngineFakes.h"
#include "FakeTranscriber.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "VirtualScheduler.h"

#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"
#include "support/PlatformText.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

namespace {

const QString kEngine = QStringLiteral("engine");
const QUrl kWarmupURL(QStringLiteral("https://api.test/v1/warmup"));

// The engine from construction on: start-up, permission polling, warm-ups and waking.
class EngineStartupTest : public ::testing::Test {
protected:
    EngineStartupTest() : settings(store) {}

    void launch() {
        engine = std::make_unique<SayloomEngine>(SayloomEngine::Collaborators{
            transcriber, settings, scheduler, hotkeys, recorder, inserter, permissions, nullptr,
            nullptr, nullptr, &session, kWarmupURL, &account, &wake});
        scheduler.runDue(); // the start-up task
    }

    std::size_t warmups() const {
        std::size_t count = 0;
        for (const URLRequest& request : session.requests)
            count += request.url == kWarmupURL ? 1 : 0;
        return count;
    }

    LogCapture logs;
    VirtualScheduler scheduler;
    MemoryKeyValueStore store;
    AppSettings settings;
    FakeTranscriber transcriber;
    FakeHotkeys hotkeys;
    FakeRecorder recorder;
    FakeInserter inserter;
    FakePermissions permissions;
    FakeURLSession session;
    FakeAccount account;
    FakeWake wake;
    std::unique_ptr<SayloomEngine> engine;
};

TEST_F(EngineStartupTest, ASignedInLaunchFetchesATokenWarmsUpAndKeepsWarm) {
    launch();
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::info, QStringLiteral("Engine started")));
    EXPECT_GE(hotkeys.startCount, 1);
    EXPECT_EQ(account.tokenRequests, 1);
    EXPECT_EQ(account.refreshTimerStarts, 1);
    EXPECT_EQ(warmups(), 1u);
    scheduler.advance(60s);
    EXPECT_EQ(warmups(), 2u);
    scheduler.advance(120s);
    EXPECT_EQ(warmups(), 4u);

    account.loggedIn = false; // a tick while signed out sends nothing
    scheduler.advance(60s);
    EXPECT_EQ(warmups(), 4u);
}

TEST_F(EngineStartupTest, AStopBeforeTheStartUpCameRoundKeepsTheEngineStopped) {
    account.loggedIn = false;
    engine = std::make_unique<SayloomEngine>(SayloomEngine::Collaborators{
        transcriber, settings, scheduler, hotkeys, recorder, inserter, permissions, nullptr,
        nullptr, nullptr, &session, kWarmupURL, &account, &wake});
    const int starts = hotkeys.startCount; // the first permission check's own start
    engine->stop();
    scheduler.runDue();
    EXPECT_EQ(hotkeys.startCount, starts);
    engine->start(); // signing in later starts it as usual
    EXPECT_EQ(hotkeys.startCount, starts + 1);
}

TEST_F(EngineStartupTest, ASignedOutLaunchSendsNothingButAWakeStillWarmsUp) {
    account.loggedIn = false;
    launch();
    EXPECT_EQ(account.tokenRequests, 0);
    EXPECT_EQ(account.refreshTimerStarts, 0);
    EXPECT_EQ(warmups(), 0u);
    scheduler.advance(10min);
    EXPECT_EQ(warmups(), 0u) << "no warm-up timer";

    wake.wake();
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::info,
        QStringLiteral("System woke from sleep - refreshing credentials + warming API")));
    EXPECT_EQ(account.tokenRequests, 0);
    EXPECT_EQ(warmups(), 1u);
}

TEST_F(EngineStartupTest, FailedTokenFetchesAreLoggedAndStartUpGoesOn) {
    account.tokenError = std::make_exception_ptr(std::runtime_error("offline"));
    launch();
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::error,
                              QStringLiteral("Initial token fetch failed: offline")));
    EXPECT_EQ(account.refreshTimerStarts, 1);
    EXPECT_EQ(warmups(), 1u);
    wake.wake();
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::error,
                              QStringLiteral("Post-wake token refresh failed: offline")));
    EXPECT_EQ(warmups(), 2u);
}

TEST_F(EngineStartupTest, PollingSlowsOnceBothPermissionsAreThereAndSpeedsUpWhenOneGoes) {
    launch();
    EXPECT_EQ(engine->permissionPollingState(), SayloomEngine::PermissionPollingState::slow);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::info,
                              QStringLiteral("All permissions granted - reduced polling to 30s")));

    permissions.accessibility = false;
    scheduler.advance(29s);
    EXPECT_TRUE(engine->isAccessibilityGranted()) << "the slow poll has not looked yet";
    scheduler.advance(1s);
    EXPECT_FALSE(engine->isAccessibilityGranted());
    EXPECT_EQ(engine->permissionPollingState(), SayloomEngine::PermissionPollingState::fast);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::error,
                              QStringLiteral("Permission revoked - resumed fast polling")));
    EXPECT_EQ(logs.countContaining(QStringLiteral("Permission revoked")), 1) << "said once";
    scheduler.advance(10s);
    EXPECT_EQ(logs.countContaining(QStringLiteral("Permission revoked")), 1);
}

TEST_F(EngineStartupTest, AccessibilityGrantedLaterRestartsTheMonitorWithinTwoSeconds) {
    permissions.accessibility = false;
    hotkeys.installable = false;
    settings.setHasCompletedOnboarding(true);
    launch();
    EXPECT_TRUE(hotkeys.eventTapFailed());
    EXPECT_EQ(engine->state(),
              EngineState::error(platformText(PlatformTextKey::enableAccessibilityError)));
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::error,
        QStringLiteral("Event tap failed - accessibility not granted for this binary")));
    scheduler.advance(1min);
    EXPECT_TRUE(engine->state().is(EngineState::Kind::error)) << "no timer clears this error";
    logs.clear();

    const int startsBefore = hotkeys.startCount;
    permissions.accessibility = true;
    hotkeys.installable = true;
    scheduler.advance(2s);
    EXPECT_TRUE(
        logs.contains(kEngine, LogLevel::info,
                      QStringLiteral("Accessibility just granted - restarting hotkey monitor")));
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::info, QStringLiteral("Engine started")));
    EXPECT_GT(hotkeys.startCount, startsBefore);
    EXPECT_FALSE(hotkeys.eventTapFailed());
}

TEST_F(EngineStartupTest, BeforeOnboardingAFailedMonitorIsOnlyLogged) {
    hotkeys.installable = false;
    launch();
    EXPECT_EQ(engine->state(), EngineState::idle());
    EXPECT_TRUE(
        logs.contains(kEngine, LogLevel::info,
                      QStringLiteral("Accessibility not granted yet - onboarding will handle it")));
}

TEST_F(EngineStartupTest, AMissingMicrophoneIsReportedAtStartUp) {
    permissions.microphone = false;
    launch();
    EXPECT_TRUE(logs.contains(
        kEngine, LogLevel::error,
        QStringLiteral(
            "Microphone permission denied - open System Settings > Privacy > Microphone")));
    EXPECT_EQ(engine->permissionPollingState(), SayloomEngine::PermissionPollingState::fast);
}

TEST_F(EngineStartupTest, StopDiscardsARecordingLeavesTheStateAndSilencesTimersAndWake) {
    launch();
    hotkeys.press();
    ASSERT_EQ(engine->state(), EngineState::recording());
    engine->stop();
    EXPECT_EQ(recorder.stopCount, 1);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(engine->state(), EngineState::recording()) << "stop() leaves the state alone";
    EXPECT_EQ(hotkeys.stopCount, 1);
    EXPECT_TRUE(logs.contains(kEngine, LogLevel::info, QStringLiteral("Engine stopped")));

    const std::size_t before = warmups();
    logs.clear();
    scheduler.advance(10min);
    wake.wake();
    EXPECT_EQ(warmups(), before);
    EXPECT_TRUE(logs.messages(kEngine).isEmpty());

    engine->start(); // start() after stop() brings polling and waking back
    wake.wake();
    EXPECT_EQ(warmups(), before + 1);
}

} // namespace
