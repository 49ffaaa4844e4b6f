#include "FakeKeychain.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "PendingURLSession.h"
#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "auth/AuthState.h"
#include "auth/FirebaseAuthManager.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

const QString kCurrent = QString::fromLatin1(CredentialStore::kCredentialsService);
const QString kAuthState = QStringLiteral("authState");
const QUrl kMeURL(QStringLiteral("https://api.test/v1/auth/me"));
const QUrl kTimezoneURL(QStringLiteral("https://api.test/v1/auth/timezone"));
const QUrl kSyncURL(QStringLiteral("https://api.test/v1/auth/sync"));

QByteArray tokenResponse(const QString& idToken) {
    return QJsonDocument(QJsonObject{{QStringLiteral("id_token"), idToken},
                                     {QStringLiteral("refresh_token"), QStringLiteral("r2")},
                                     {QStringLiteral("expires_in"), QStringLiteral("3600")}})
        .toJson(QJsonDocument::Compact);
}

// Delivers what the account state receives on later turns of the event loop.
void deliverQueued() { QCoreApplication::sendPostedEvents(); }

template <typename ApiSession>
class AccountTest : public ::testing::Test {
protected:
    AccountTest() {
        keychain.put(kCurrent, R"({"ai.sayloom.app.firebase-refresh-token":"r1",)"
                               R"("ai.sayloom.app.firebase-uid":"uid-1"})");
    }
    ~AccountTest() override {
        state.reset();
        deliverQueued();
    }

    // The manager (restored and holding a fresh token unless `freshToken` is false) and the
    // account state, without the start-up calls unless asked.
    AuthState& start(bool syncAtStartup = false, bool freshToken = true) {
        auth = std::make_unique<FirebaseAuthManager>(FirebaseAuthManager::Collaborators{
            keychain, authSession, scheduler,
            SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("k")),
            kSyncURL});
        if (freshToken) {
            authSession.respond(200, tokenResponse(QStringLiteral("token-1")));
            TaskProbe<QString>::start(auth->getIdToken());
        }
        state = std::make_unique<AuthState>(AuthState::Collaborators{
            *auth, defaults, api, scheduler, kMeURL, kTimezoneURL, syncAtStartup});
        deliverQueued();
        return *state;
    }

    void load() { TaskProbe<void>::start(state->loadUserInfo()); }

    LogCapture logs;
    VirtualScheduler scheduler;
    FakeKeychain keychain;
    FakeURLSession authSession;
    ApiSession api;
    MemoryKeyValueStore defaults;
    std::unique_ptr<FirebaseAuthManager> auth;
    std::unique_ptr<AuthState> state;
};

using AuthStateTest = AccountTest<FakeURLSession>;
using PendingAuthStateTest = AccountTest<PendingURLSession>;

TEST_F(AuthStateTest, ShowsTheLastKnownAccountUntilTheServiceAnswers) {
    defaults.setString(QStringLiteral("cachedUserName"), QStringLiteral("Ann"));
    defaults.setString(QStringLiteral("cachedUserPicture"), QStringLiteral("https://p/a.png"));
    defaults.setString(QStringLiteral("cachedUserPlan"), QStringLiteral("pro"));
    defaults.setInteger(QStringLiteral("cachedWordLimit"), 9000);
    keychain.items.clear();
    auth = std::make_unique<FirebaseAuthManager>(FirebaseAuthManager::Collaborators{
        keychain, authSession, scheduler, SecureTokenEndpoint({}, {}), kSyncURL});
    AuthState account({*auth, defaults, api, scheduler, kMeURL, kTimezoneURL});
    EXPECT_EQ(account.userName(), QStringLiteral("Ann"));
    EXPECT_EQ(account.userPicture(), QStringLiteral("https://p/a.png"));
    EXPECT_EQ(account.userPlan(), QStringLiteral("pro"));
    EXPECT_EQ(account.wordLimit(), 9000);

    // The manager's values (none here) replace them on a later turn.
    deliverQueued();
    EXPECT_EQ(account.userName(), std::nullopt);
    EXPECT_EQ(account.userPicture(), std::nullopt);
    EXPECT_EQ(account.userPlan(), QStringLiteral("pro"));
    EXPECT_TRUE(api.requests.empty()) << "nobody is signed in: no start-up calls";

    defaults.setString(QStringLiteral("cachedWordLimit"), QStringLiteral("9000"));
    AuthState typed({*auth, defaults, api, scheduler, kMeURL, kTimezoneURL});
    EXPECT_EQ(typed.wordLimit(), 2500) << "only an integer counts";
}

TEST_F(AuthStateTest, MirrorsTheManagerOnALaterTurnAndRemembersNamesItReports) {
    AuthState& account = start();
    EXPECT_TRUE(account.isLoggedIn());

    authSession.respond(200, R"({"user":{"email":"ann@example.com","name":"Ann"}})");
    TaskProbe<void>::start(auth->syncAccount());
    EXPECT_EQ(account.userName(), std::nullopt) << "not before the next turn";
    deliverQueued();
    EXPECT_EQ(account.userName(), QStringLiteral("Ann"));
    EXPECT_EQ(account.userEmail(), QStringLiteral("ann@example.com"));
    EXPECT_EQ(defaults.string(QStringLiteral("cachedUserName")), QStringLiteral("Ann"));

    // A name from the profile is shown but not remembered.
    api.respond(200, R"({"user":{"name":"Ann Profile"}})");
    load();
    EXPECT_EQ(account.userName(), QStringLiteral("Ann Profile"));
    EXPECT_EQ(defaults.string(QStringLiteral("cachedUserName")), QStringLiteral("Ann"));
}

TEST_F(AuthStateTest, StartUpSyncsLoadsTheProfileAndReportsTheTimeZone) {
    start(/*syncAtStartup=*/true);
    ASSERT_EQ(authSession.requests.size(), 2u);
    EXPECT_EQ(authSession.requests[1].url, kSyncURL);
    ASSERT_EQ(api.requests.size(), 2u);
    EXPECT_EQ(api.requests[0].url, kMeURL);
    EXPECT_EQ(api.requests[0].httpMethod, "GET");
    EXPECT_EQ(api.requests[0].value("Authorization"), "Bearer token-1");
    EXPECT_EQ(api.requests[0].timeoutInterval, 10s);

    const URLRequest& zone = api.requests[1];
    EXPECT_EQ(zone.url, kTimezoneURL);
    EXPECT_EQ(zone.httpMethod, "POST");
    EXPECT_EQ(zone.value("Authorization"), "Bearer token-1");
    EXPECT_EQ(zone.value("Content-Type"), "application/json");
    EXPECT_EQ(zone.timeoutInterval, 10s);
    EXPECT_EQ(QJsonDocument::fromJson(zone.httpBody).object(),
              (QJsonObject{{QStringLiteral("timezone"), AuthState::currentTimeZoneId()}}));
    EXPECT_FALSE(AuthState::currentTimeZoneId().isEmpty());
}

TEST_F(AuthStateTest, AFailedStartUpSyncIsLoggedAndTheProfileStillLoads) {
    authSession.respond(200, tokenResponse(QStringLiteral("token-1")));
    authSession.respond(502);
    api.respond(200, R"({"user":{"plan":"free"}})");
    start(/*syncAtStartup=*/true, /*freshToken=*/false);
    EXPECT_TRUE(logs.contains(kAuthState, LogLevel::error,
                              QStringLiteral("Startup sync failed (non-fatal): Failed to sync "
                                             "account. Check your connection.")));
    EXPECT_EQ(state->userPlan(), QStringLiteral("free"));
    EXPECT_EQ(api.requests.size(), 2u);
}

struct ProfileCase {
    const char* name;
    QByteArray body;
    // Expected afterwards, starting from: plan "old", 100 of 5000 words (limit cached as 5000),
    // trial active with 3 days left.
    std::optional<QString> plan;
    std::optional<QString> cachedPlan;
    std::int64_t wordsUsed;
    std::int64_t wordLimit;
    std::optional<qint64> cachedLimit;
    bool trialActive;
    std::int64_t trialDaysLeft;
};

class ProfileAnswers : public AuthStateTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(ProfileAnswers, ApplyWhatTheyHoldAndKeepTheRest) {
    const ProfileCase& c = GetParam();
    AuthState& account = start();
    api.respond(200, R"({"user":{"plan":"old"},"wordUsage":{"wordsUsed":100,"wordLimit":5000},)"
                     R"("trial":{"active":true,"daysLeft":3}})");
    load();
    api.respond(200, c.body);
    load();
    EXPECT_EQ(account.userPlan(), c.plan);
    EXPECT_EQ(defaults.string(QStringLiteral("cachedUserPlan")), c.cachedPlan);
    EXPECT_EQ(account.wordsUsed(), c.wordsUsed);
    EXPECT_EQ(account.wordLimit(), c.wordLimit);
    EXPECT_EQ(defaults.integer(QStringLiteral("cachedWordLimit")), c.cachedLimit);
    EXPECT_EQ(account.trialActive(), c.trialActive);
    EXPECT_EQ(account.trialDaysLeft(), c.trialDaysLeft);
    EXPECT_FALSE(account.isLoadingProfile());
}

INSTANTIATE_TEST_SUITE_P(
    AuthState, ProfileAnswers,
    ::testing::Values(
        ProfileCase{"Everything",
                    R"({"user":{"email":"a@b","name":"A","plan":"pro"},)"
                    R"("wordUsage":{"wordsUsed":7,"wordLimit":100000},)"
                    R"("trial":{"active":true,"daysLeft":12}})",
                    QStringLiteral("pro"), QStringLiteral("pro"), 7, 100000, 100000, true, 12},
        ProfileCase{"NoWordUsageKeepsItButNoTrialEndsIt", R"({"user":{"plan":"old"}})",
                    QStringLiteral("old"), QStringLiteral("old"), 100, 5000, 5000, false, 0},
        ProfileCase{"WordUsageWithoutALimitMeansTheDefault", R"({"wordUsage":{"wordsUsed":9}})",
                    QStringLiteral("old"), QStringLiteral("old"), 9, 2500, 2500, false, 0},
        ProfileCase{"AUserWithoutAPlanClearsItButKeepsTheCachedOne",
                    R"({"user":{"email":"a@b"},"trial":{"active":true,"daysLeft":3}})",
                    std::nullopt, QStringLiteral("old"), 100, 5000, 5000, true, 3},
        ProfileCase{"MembersOfTheWrongTypeCountAsAbsent",
                    R"({"user":{"plan":7},"wordUsage":{"wordsUsed":"12","wordLimit":2.5},)"
                    R"("trial":{"active":"yes","daysLeft":null}})",
                    std::nullopt, QStringLiteral("old"), 0, 2500, 2500, false, 0},
        ProfileCase{"NotJsonChangesNothing", "<html>oops</html>", QStringLiteral("old"),
                    QStringLiteral("old"), 100, 5000, 5000, true, 3},
        ProfileCase{"NotAnObjectChangesNothing", "[1,2]", QStringLiteral("old"),
                    QStringLiteral("old"), 100, 5000, 5000, true, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AuthStateTest, LoadingIsShownOnlyWhileThePlanIsUnknown) {
    AuthState& account = start();
    std::vector<bool> loading;
    QObject::connect(&account, &AuthState::isLoadingProfileChanged,
                     [&](bool value) { loading.push_back(value); });
    api.respond(500);
    load();
    EXPECT_EQ(loading, (std::vector<bool>{true, false}));
    EXPECT_TRUE(logs.contains(kAuthState, LogLevel::error,
                              QStringLiteral("loadUserInfo: /me returned status 500")));

    loading.clear();
    api.respond(200, R"({"user":{"plan":"free"}})");
    load();
    loading.clear();
    api.failWith(URLError::timedOut);
    load();
    EXPECT_EQ(loading, std::vector<bool>{false});
    EXPECT_TRUE(logs.contains(kAuthState, LogLevel::error,
                              QStringLiteral("Failed to load user info: The request timed out.")));
}

TEST_F(AuthStateTest, ARejectedTokenGetsOneForcedRefreshAndOneRetry) {
    struct Case {
        const char* name;
        int retryStatus;                // of the repeated profile request
        std::optional<int> tokenStatus; // of the forced refresh (200 when nothing)
        QString logLine;
    };
    const Case cases[] = {
        {"retry refused", 401, std::nullopt,
         QStringLiteral("loadUserInfo retry: status 401; will retry on next sync.")},
        {"refresh unavailable", 0, 503,
         QStringLiteral("loadUserInfo: token refresh temporarily failed; will retry on next "
                        "sync.")},
        {"refresh refused", 0, 400,
         QStringLiteral("loadUserInfo retry failed: Session expired. Please sign in again.; will "
                        "retry on next sync.")},
        {"retry succeeds", 200, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        AuthState& account = start();
        logs.clear();
        api.requests.clear();
        const std::size_t refreshesBefore = authSession.requests.size();
        api.respond(401);
        if (c.tokenStatus)
            authSession.respond(*c.tokenStatus, "{}");
        else
            authSession.respond(200, tokenResponse(QStringLiteral("token-2")));
        if (c.retryStatus)
            api.respond(c.retryStatus, R"({"user":{"plan":"pro"}})");
        load();

        EXPECT_EQ(authSession.requests.size(), refreshesBefore + 1) << c.name;
        EXPECT_EQ(api.requests.size(), c.retryStatus ? 2u : 1u) << c.name;
        if (c.retryStatus) {
            EXPECT_EQ(api.requests[1].value("Authorization"), "Bearer token-2") << c.name;
        }
        if (c.logLine.isEmpty()) {
            EXPECT_EQ(account.userPlan(), QStringLiteral("pro")) << c.name;
        } else {
            EXPECT_TRUE(logs.contains(kAuthState, LogLevel::error, c.logLine))
                << c.name << "\n"
                << logs.messages().join('\n').toStdString();
        }
        EXPECT_FALSE(account.isLoadingProfile()) << c.name;
        keychain.put(kCurrent, R"({"ai.sayloom.app.firebase-refresh-token":"r1",)"
                               R"("ai.sayloom.app.firebase-uid":"uid-1"})");
    }
}

TEST_F(AuthStateTest, RefreshIfStaleLoadsOnlyAfterTheInterval) {
    AuthState& account = start();
    TaskProbe<void>::start(account.refreshIfStale(10s));
    EXPECT_EQ(api.requests.size(), 1u) << "never loaded: stale";
    scheduler.advance(10s);
    TaskProbe<void>::start(account.refreshIfStale(10s));
    EXPECT_EQ(api.requests.size(), 1u);
    scheduler.advance(1s);
    TaskProbe<void>::start(account.refreshIfStale(10s));
    EXPECT_EQ(api.requests.size(), 2u);

    auth->clearAuthState();
    deliverQueued();
    scheduler.advance(1min);
    TaskProbe<void>::start(account.refreshIfStale(10s));
    account.applicationDidBecomeActive();
    EXPECT_EQ(api.requests.size(), 2u) << "signed out: nothing to load";
}

TEST_F(AuthStateTest, BecomingActiveReloadsTheProfile) {
    AuthState& account = start();
    account.applicationDidBecomeActive();
    account.applicationDidBecomeActive();
    EXPECT_EQ(api.requests.size(), 2u);
}

TEST_F(AuthStateTest, SignOutForgetsTheAccountAndItsCachedCopies) {
    AuthState& account = start();
    authSession.respond(200, R"({"user":{"email":"a@b","name":"Ann"}})");
    TaskProbe<void>::start(auth->syncAccount());
    api.respond(200, R"({"user":{"plan":"pro"},"wordUsage":{"wordsUsed":5,"wordLimit":9000},)"
                     R"("trial":{"active":true,"daysLeft":2}})");
    load();
    deliverQueued();
    defaults.setString(QStringLiteral("cachedUserPicture"), QStringLiteral("https://p"));

    account.signOut();
    EXPECT_FALSE(auth->isLoggedIn());
    EXPECT_EQ(account.userPlan(), std::nullopt);
    EXPECT_EQ(account.wordsUsed(), 0);
    EXPECT_EQ(account.wordLimit(), 2500);
    EXPECT_FALSE(account.trialActive());
    EXPECT_EQ(account.trialDaysLeft(), 0);
    for (const char* key :
         {"cachedUserName", "cachedUserPicture", "cachedUserPlan", "cachedWordLimit"})
        EXPECT_FALSE(defaults.value(QString::fromLatin1(key))) << key;
    EXPECT_TRUE(account.isLoggedIn()) << "the mirrored fields follow on the next turn";
    deliverQueued();
    EXPECT_FALSE(account.isLoggedIn());
    EXPECT_EQ(account.userName(), std::nullopt);
    EXPECT_EQ(account.userEmail(), std::nullopt);
    EXPECT_FALSE(defaults.value(QStringLiteral("cachedUserName")));
}

TEST_F(AuthStateTest, ANameOvertakenBySignOutIsNotRemembered) {
    AuthState& account = start();
    authSession.respond(200, R"({"user":{"email":"a@b","name":"Ann"}})");
    TaskProbe<void>::start(auth->syncAccount());
    account.signOut(); // before the name has reached the account state
    deliverQueued();
    EXPECT_EQ(account.userName(), std::nullopt);
    EXPECT_FALSE(defaults.value(QStringLiteral("cachedUserName")));
}

TEST_F(AuthStateTest, TheEnginesUsageWritesChangeOnlyTheFields) {
    AuthState& account = start();
    WordUsageSink& sink = account;
    defaults.clearWrites();
    sink.setWordsUsed(321);
    sink.setWordLimit(4000);
    EXPECT_EQ(account.wordsUsed(), 321);
    EXPECT_EQ(account.wordLimit(), 4000);
    EXPECT_TRUE(defaults.writes().isEmpty());
}

TEST_F(AuthStateTest, ATimeZoneReportWithoutATokenIsLogged) {
    keychain.items.clear();
    AuthState& account = start(false, /*freshToken=*/false);
    TaskProbe<void>::start(account.sendTimezone());
    EXPECT_TRUE(api.requests.empty());
    EXPECT_TRUE(logs.contains(kAuthState, LogLevel::error,
                              QStringLiteral("Failed to send timezone: Please sign in to use "
                                             "Sayloom")));
}

TEST_F(PendingAuthStateTest, AProfileAnsweredAfterSignOutIsDropped) {
    AuthState& account = start();
    auto loading = TaskProbe<void>::start(account.loadUserInfo());
    EXPECT_TRUE(account.isLoadingProfile());
    account.signOut();
    api.respond(
        0, 200,
        R"({"user":{"email":"a@b","plan":"pro"},"wordUsage":{"wordsUsed":5,"wordLimit":9}})");
    ASSERT_TRUE(loading.done());
    EXPECT_EQ(account.userPlan(), std::nullopt);
    EXPECT_EQ(account.userEmail(), std::nullopt);
    EXPECT_EQ(account.wordLimit(), 2500);
    EXPECT_FALSE(defaults.value(QStringLiteral("cachedUserPlan")));
    EXPECT_FALSE(defaults.value(QStringLiteral("cachedWordLimit")));
    EXPECT_FALSE(account.isLoadingProfile());
}

TEST_F(PendingAuthStateTest, OverlappingLoadsBothRunAndTheLaterAnswerWins) {
    AuthState& account = start();
    auto first = TaskProbe<void>::start(account.loadUserInfo());
    auto second = TaskProbe<void>::start(account.loadUserInfo());
    ASSERT_EQ(api.count(), 2u);
    api.respond(1, 200, R"({"user":{"plan":"pro"}})");
    api.respond(0, 200, R"({"user":{"plan":"free"}})");
    EXPECT_EQ(account.userPlan(), QStringLiteral("free"));
}

} // namespace
