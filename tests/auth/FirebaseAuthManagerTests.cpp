#include "FakeKeychain.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "PendingURLSession.h"
#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "auth/FirebaseAuthError.h"
#include "auth/FirebaseAuthManager.h"
#include "support/JSONDecodingError.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }
inline void PrintTo(const QByteArray& bytes, std::ostream* os) { *os << bytes.toStdString(); }

namespace {

using Code = FirebaseAuthError::Code;
using TokenProbe = TaskProbe<QString>;

const QString kCurrent = QString::fromLatin1(CredentialStore::kCredentialsService);
const QString kId = QString::fromLatin1(CredentialStore::kIdTokenService);
const QString kRefresh = QString::fromLatin1(CredentialStore::kRefreshTokenService);
const QString kUid = QString::fromLatin1(CredentialStore::kUidService);
const QString kAuth = QStringLiteral("auth");

// Distinctive values, so that a test can search every log line for them.
const QString kStoredIdToken = QStringLiteral("stored-id-token-Xq81");
const QString kStoredRefreshToken = QStringLiteral("stored/refresh+token=A&b");
const QString kNewIdToken = QStringLiteral("fresh-id-token-Zr52");
const QString kNewRefreshToken = QStringLiteral("fresh-refresh-token-Mm07");

QByteArray blob(const CredentialMap& map) {
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        object.insert(it.key(), it.value());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

CredentialMap storedMap(const FakeKeychain& keychain) {
    CredentialMap map;
    if (const auto bytes = keychain.value(kCurrent)) {
        const QJsonObject object = QJsonDocument::fromJson(*bytes).object();
        for (auto it = object.begin(); it != object.end(); ++it)
            map.insert(it.key(), it.value().toString());
    }
    return map;
}

QByteArray tokenResponse(const QString& idToken = kNewIdToken,
                         const QString& refreshToken = kNewRefreshToken,
                         const QString& expiresIn = QStringLiteral("3600")) {
    return QJsonDocument(QJsonObject{{QStringLiteral("id_token"), idToken},
                                     {QStringLiteral("refresh_token"), refreshToken},
                                     {QStringLiteral("expires_in"), expiresIn}})
        .toJson(QJsonDocument::Compact);
}

std::optional<Code> errorCode(const TokenProbe& probe) {
    const auto error = probe.errorAs<FirebaseAuthError>();
    return error ? std::optional<Code>(error->code()) : std::nullopt;
}

// A manager over a fake keychain holding a signed-in user, with the token endpoint at
// https://token.test and the key "web-key".
template <typename Session>
class ManagerTest : public ::testing::Test {
protected:
    ManagerTest() {
        keychain.put(kCurrent, blob({{kId, kStoredIdToken},
                                     {kRefresh, kStoredRefreshToken},
                                     {kUid, QStringLiteral("uid-1")}}));
    }

    FirebaseAuthManager& start() {
        manager = std::make_unique<FirebaseAuthManager>(FirebaseAuthManager::Collaborators{
            keychain, session, scheduler,
            SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("web-key")),
            QUrl(QStringLiteral("https://api.test/v1/auth/sync"))});
        return *manager;
    }

    LogCapture logs;
    VirtualScheduler scheduler;
    FakeKeychain keychain;
    Session session;
    std::unique_ptr<FirebaseAuthManager> manager;
};

using TokenTest = ManagerTest<FakeURLSession>;
using ConcurrentTokenTest = ManagerTest<PendingURLSession>;

TEST_F(TokenTest, RestoresTheSignedInUserAndRefreshesTheRestoredTokenFirst) {
    FirebaseAuthManager& auth = start();
    EXPECT_TRUE(auth.isRestored());
    EXPECT_TRUE(auth.isLoggedIn());
    EXPECT_EQ(auth.uid(), QStringLiteral("uid-1"));

    session.respond(200, tokenResponse());
    auto token = TokenProbe::start(auth.getIdToken());
    ASSERT_TRUE(token.done());
    EXPECT_EQ(token.value(), kNewIdToken);
    ASSERT_EQ(session.requests.size(), 1u);

    const URLRequest& request = session.requests[0];
    EXPECT_EQ(request.url, QUrl(QStringLiteral("https://token.test/v1/token?key=web-key")));
    EXPECT_EQ(request.httpMethod, "POST");
    EXPECT_EQ(request.headers, (HeaderList{{"Content-Type", "application/x-www-form-urlencoded"}}));
    // "&", "=" and "+" are encoded; "/" may stand in a query and is not.
    EXPECT_EQ(request.httpBody,
              "grant_type=refresh_token&refresh_token=stored/refresh%2Btoken%3DA%26b");
    EXPECT_EQ(request.timeoutInterval, 15s);

    EXPECT_EQ(storedMap(keychain), (CredentialMap{{kId, kNewIdToken},
                                                  {kRefresh, kNewRefreshToken},
                                                  {kUid, QStringLiteral("uid-1")}}));
    EXPECT_EQ(TokenProbe::start(auth.getIdToken()).value(), kNewIdToken);
    EXPECT_EQ(session.requests.size(), 1u) << "the fresh token is served from memory";
}

TEST_F(TokenTest, RestoresOnlyWithBothTheUserIdAndTheRefreshToken) {
    struct Case {
        CredentialMap stored;
        bool loggedIn;
    };
    const Case cases[] = {
        {{{kRefresh, "r"}, {kUid, "u"}}, true},
        {{{kId, "i"}, {kRefresh, "r"}}, false},
        {{{kId, "i"}, {kUid, "u"}}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        keychain.items.clear();
        if (!c.stored.isEmpty())
            keychain.put(kCurrent, blob(c.stored));
        FirebaseAuthManager& auth = start();
        EXPECT_EQ(auth.isLoggedIn(), c.loggedIn) << blob(c.stored).toStdString();
        EXPECT_EQ(auth.uid().has_value(), c.loggedIn);
    }
}

TEST_F(TokenTest, WithoutARefreshTokenNothingIsSent) {
    keychain.items.clear();
    FirebaseAuthManager& auth = start();
    auto token = TokenProbe::start(auth.getIdToken());
    EXPECT_EQ(errorCode(token), Code::notLoggedIn);
    EXPECT_TRUE(session.requests.empty());
}

TEST_F(TokenTest, ATokenIsUsedOnlyWithMoreThanFiveMinutesLeft) {
    FirebaseAuthManager& auth = start();
    session.respond(200, tokenResponse());
    TokenProbe::start(auth.getIdToken());

    // Expiry an hour after the refresh: at 3299 s it has 301 s left, at 3300 s exactly 300.
    scheduler.advance(3299s);
    EXPECT_EQ(TokenProbe::start(auth.getIdToken()).value(), kNewIdToken);
    EXPECT_EQ(session.requests.size(), 1u);
    scheduler.advance(1s);
    session.respond(200, tokenResponse(QStringLiteral("third")));
    EXPECT_EQ(TokenProbe::start(auth.getIdToken()).value(), QStringLiteral("third"));
    EXPECT_EQ(session.requests.size(), 2u);
    // The refresh used the rotated refresh token.
    EXPECT_TRUE(session.requests[1].httpBody.endsWith(kNewRefreshToken.toUtf8()));
}

TEST_F(TokenTest, ForgettingTheTokenForcesARefresh) {
    FirebaseAuthManager& auth = start();
    session.respond(200, tokenResponse());
    TokenProbe::start(auth.getIdToken());
    auth.forgetCachedToken();
    session.respond(200, tokenResponse(QStringLiteral("forced")));
    EXPECT_EQ(TokenProbe::start(auth.getIdToken()).value(), QStringLiteral("forced"));
    EXPECT_EQ(session.requests.size(), 2u);
}

TEST_F(TokenTest, TokenLifetimeReadsWholeNumbersWithinOneMinuteAndOneHour) {
    const std::pair<std::optional<QString>, int> cases[] = {
        {QStringLiteral("30"), 60},
        {QStringLiteral("60"), 60},
        {QStringLiteral("61"), 61},
        {QStringLiteral("3600"), 3600},
        {QStringLiteral("7200"), 3600},
        {QStringLiteral("+120"), 120},
        {QStringLiteral("-5"), 60},
        {QStringLiteral("abc"), 3600},
        {QStringLiteral("12a"), 3600},
        {QStringLiteral(" 120"), 3600},
        {QStringLiteral("+"), 3600},
        {QStringLiteral(""), 3600},
        {std::nullopt, 3600},
        {QStringLiteral("99999999999999999999"), 3600},
        {QStringLiteral("１２０"), 3600},
        {QStringLiteral("1.5"), 3600},
    };
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(FirebaseAuthManager::tokenLifetime(text), std::chrono::seconds(seconds))
            << text.value_or(QStringLiteral("<none>")).toStdString();
}

TEST_F(TokenTest, RefusedRefreshesSignOutAndTransientOnesKeepTheUser) {
    struct Case {
        std::optional<int> status; // nothing: a transport failure
        QByteArray body;
        Code expected;
        bool signedOut;
        QString logLine;
    };
    const Case cases[] = {
        {429, "slow down", Code::refreshTemporarilyFailed, false,
         QStringLiteral("Token refresh failed: HTTP 429 - slow down")},
        {503, "", Code::refreshTemporarilyFailed, false,
         QStringLiteral("Token refresh failed: HTTP 503 - ")},
        {500, "\xff\xfe", Code::refreshTemporarilyFailed, false,
         QStringLiteral("Token refresh failed: HTTP 500 - empty")},
        {std::nullopt, "", Code::refreshTemporarilyFailed, false,
         QStringLiteral("Token refresh: network error (The Internet connection appears to be "
                        "offline.). Treating as transient.")},
        {200, R"({"id_token":"i","refresh_token":"r","expires_in":3600})",
         Code::refreshTemporarilyFailed, false,
         QStringLiteral("Token refresh: invalid JSON response. Treating as transient.")},
        {200, R"({"id_token":"","refresh_token":"r","expires_in":"3600"})",
         Code::refreshTemporarilyFailed, false,
         QStringLiteral("Token refresh: invalid JSON response. Treating as transient.")},
        {200, "[]", Code::refreshTemporarilyFailed, false,
         QStringLiteral("Token refresh: invalid JSON response. Treating as transient.")},
        {400, R"({"error":{"message":"INVALID_REFRESH_TOKEN"}})", Code::sessionExpired, true,
         QStringLiteral("Token refresh failed: HTTP 400 - "
                        R"({"error":{"message":"INVALID_REFRESH_TOKEN"}})")},
        {401, "", Code::sessionExpired, true, QStringLiteral("Token refresh failed: HTTP 401 - ")},
    };
    for (const Case& c : cases) {
        const std::string label =
            std::to_string(c.status.value_or(-1)) + " " + c.body.toStdString();
        keychain.put(kCurrent, blob({{kRefresh, kStoredRefreshToken}, {kUid, "u"}}));
        FirebaseAuthManager& auth = start();
        logs.clear();
        if (c.status)
            session.respond(*c.status, c.body);
        else
            session.failWith(URLError::notConnectedToInternet);

        auto token = TokenProbe::start(auth.getIdToken());
        EXPECT_EQ(errorCode(token), c.expected) << label;
        EXPECT_EQ(auth.isLoggedIn(), !c.signedOut) << label;
        EXPECT_TRUE(logs.contains(kAuth, LogLevel::error, c.logLine))
            << label << "\n"
            << logs.messages().join('\n').toStdString();
        if (c.signedOut) {
            EXPECT_FALSE(keychain.value(kCurrent)) << label;
            EXPECT_TRUE(logs.contains(kAuth, LogLevel::error,
                                      QStringLiteral("Token refresh failed permanently: Session "
                                                     "expired. Please sign in again.. Clearing "
                                                     "auth state.")))
                << label;
        } else {
            EXPECT_EQ(storedMap(keychain),
                      (CredentialMap{{kRefresh, kStoredRefreshToken}, {kUid, "u"}}))
                << label;
            EXPECT_TRUE(logs.contains(
                kAuth, LogLevel::error,
                QStringLiteral("Token refresh temporarily failed; keeping credentials for retry.")))
                << label;
            // The next caller tries again.
            session.respond(200, tokenResponse());
            EXPECT_EQ(TokenProbe::start(auth.getIdToken()).value(), kNewIdToken) << label;
        }
    }
}

TEST_F(TokenTest, AnUnusableEndpointIsAConfigurationErrorThatKeepsTheUser) {
    const std::pair<SecureTokenEndpoint, const char*> cases[] = {
        {SecureTokenEndpoint(QStringLiteral("http://token.example"), QStringLiteral("k")),
         "SAYLOOM_SECURE_TOKEN_BASE_URL"},
        {SecureTokenEndpoint(QStringLiteral("https://token.example"), QString()),
         "SAYLOOM_FIREBASE_WEB_API_KEY"},
    };
    for (const auto& [endpoint, variable] : cases) {
        logs.clear();
        manager = std::make_unique<FirebaseAuthManager>(
            FirebaseAuthManager::Collaborators{keychain, session, scheduler, endpoint, {}});
        auto token = TokenProbe::start(manager->getIdToken());
        EXPECT_EQ(errorCode(token), Code::invalidConfig);
        EXPECT_TRUE(session.requests.empty()) << "no refresh token goes out over plain http";
        const QStringList errors = logs.messages(kAuth, LogLevel::error);
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].contains(QLatin1String(variable))) << errors[0].toStdString();
        // The build is at fault, not the user's session: they stay signed in.
        EXPECT_TRUE(manager->isLoggedIn());
        EXPECT_EQ(storedMap(keychain).value(kUid), QStringLiteral("uid-1"));
    }
}

TEST_F(TokenTest, TheRefreshTimerFetchesATokenEveryFiftyMinutes) {
    FirebaseAuthManager& auth = start();
    session.respond(200, tokenResponse());
    TokenProbe::start(auth.getIdToken());
    auth.startRefreshTimer();

    scheduler.advance(3000s); // 600 s left: the cached token serves
    EXPECT_EQ(session.requests.size(), 1u);
    EXPECT_EQ(logs.messages(kAuth, LogLevel::info).count(QStringLiteral("Token refreshed")), 1);

    session.respond(200, tokenResponse());
    scheduler.advance(3000s); // expired: refreshed
    EXPECT_EQ(session.requests.size(), 2u);

    auth.clearAuthState();
    scheduler.advance(6000s);
    EXPECT_EQ(session.requests.size(), 2u) << "sign-out stops the timer";
}

TEST_F(TokenTest, SignOutForgetsEverythingAndNotifiesAfterwards) {
    FirebaseAuthManager& auth = start();
    std::vector<bool> loggedIn;
    bool credentialsGoneWhenNotified = false;
    QObject::connect(&auth, &FirebaseAuthManager::isLoggedInChanged, [&](bool value) {
        loggedIn.push_back(value);
        credentialsGoneWhenNotified = auth.credentialStore().credentials().isEmpty();
    });
    auth.clearAuthState();
    EXPECT_EQ(loggedIn, std::vector<bool>{false});
    EXPECT_TRUE(credentialsGoneWhenNotified);
    EXPECT_FALSE(auth.uid());
    EXPECT_FALSE(keychain.value(kCurrent));
    EXPECT_EQ(keychain.operations.mid(keychain.operations.size() - 3),
              (QStringList{QStringLiteral("update ai.sayloom.credentials"),
                           QStringLiteral("update ai.sayloom.credentials"),
                           QStringLiteral("remove ai.sayloom.credentials")}));
    EXPECT_EQ(errorCode(TokenProbe::start(auth.getIdToken())), Code::notLoggedIn);
}

TEST_F(TokenTest, NoTokenOrKeychainValueEverReachesTheLog) {
    FirebaseAuthManager& auth = start();
    session.respond(200, tokenResponse());
    TokenProbe::start(auth.getIdToken());
    // A refused refresh whose body echoes what it was sent.
    auth.forgetCachedToken();
    session.respond(
        400, QStringLiteral(R"({"error":"bad","refresh_token":"%1","sent":"%2",)"
                            R"("id_token":"%3","echo":"%4"})")
                 .arg(kNewRefreshToken, kNewRefreshToken, kNewIdToken,
                      QStringLiteral("grant_type=refresh_token&refresh_token=") + kNewRefreshToken)
                 .toUtf8());
    TokenProbe::start(auth.getIdToken());
    EXPECT_FALSE(auth.isLoggedIn());
    auth.clearAuthState();

    const QString secrets[] = {kStoredIdToken,   kStoredRefreshToken,    kNewIdToken,
                               kNewRefreshToken, QStringLiteral("Mm07"), QStringLiteral("Zr52")};
    ASSERT_FALSE(logs.records().empty());
    for (const LogRecord& record : logs.records())
        for (const QString& secret : secrets)
            EXPECT_FALSE(record.message.contains(secret)) << record.message.toStdString();
    EXPECT_EQ(logs.countContaining(QStringLiteral("Token refresh failed: HTTP 400")), 1);
}

TEST_F(ConcurrentTokenTest, ConcurrentCallersShareOneRefresh) {
    FirebaseAuthManager& auth = start();
    std::vector<TokenProbe> callers;
    for (int i = 0; i < 10; ++i)
        callers.push_back(TokenProbe::start(auth.getIdToken()));
    ASSERT_EQ(session.count(), 1u);
    EXPECT_FALSE(callers.front().done());

    session.respond(0, 200, tokenResponse());
    for (const TokenProbe& caller : callers) {
        ASSERT_TRUE(caller.done());
        EXPECT_EQ(caller.value(), kNewIdToken);
    }
    EXPECT_EQ(session.count(), 1u);
}

TEST_F(ConcurrentTokenTest, ARefreshAnsweredAfterSignOutStoresNothing) {
    session.honourCancellation = false; // the answer is already on its way
    FirebaseAuthManager& auth = start();
    auto token = TokenProbe::start(auth.getIdToken());
    auth.clearAuthState();
    keychain.operations.clear();

    session.respond(0, 200, tokenResponse());
    EXPECT_EQ(errorCode(token), Code::sessionExpired);
    EXPECT_FALSE(auth.isLoggedIn());
    EXPECT_FALSE(keychain.value(kCurrent));
    EXPECT_TRUE(keychain.operations.isEmpty());
    EXPECT_TRUE(logs.contains(kAuth, LogLevel::info,
                              QStringLiteral("Discarding a token refresh that completed after "
                                             "sign-out")));
    EXPECT_EQ(errorCode(TokenProbe::start(auth.getIdToken())), Code::notLoggedIn);
}

TEST_F(ConcurrentTokenTest, SignOutCancelsTheRefreshInFlight) {
    FirebaseAuthManager& auth = start();
    auto token = TokenProbe::start(auth.getIdToken());
    auth.clearAuthState();
    ASSERT_TRUE(token.done());
    EXPECT_EQ(errorCode(token), Code::sessionExpired);
    EXPECT_FALSE(session.isPending(0));
    EXPECT_EQ(logs.countContaining(QStringLiteral("network error")), 0)
        << "a cancelled refresh is no network trouble";
}

TEST_F(ConcurrentTokenTest, ARefusalOvertakenBySignOutDoesNotClearWhatCameAfter) {
    session.honourCancellation = false;
    FirebaseAuthManager& auth = start();
    auto token = TokenProbe::start(auth.getIdToken());
    auth.clearAuthState();
    // New credentials stored while the old refresh is still out.
    auth.credentialStore().setCredential(kRefresh, QStringLiteral("next-refresh"));
    auth.credentialStore().setCredential(kUid, QStringLiteral("uid-2"));

    session.respond(0, 400, "{}");
    EXPECT_EQ(errorCode(token), Code::sessionExpired);
    EXPECT_EQ(storedMap(keychain), (CredentialMap{{kRefresh, "next-refresh"}, {kUid, "uid-2"}}));
    EXPECT_EQ(logs.countContaining(QStringLiteral("failed permanently")), 0);
}

TEST_F(ConcurrentTokenTest, ATransientFailureLetsTheNextCallerTryAgain) {
    FirebaseAuthManager& auth = start();
    auto first = TokenProbe::start(auth.getIdToken());
    auto second = TokenProbe::start(auth.getIdToken());
    session.respond(0, 503);
    EXPECT_EQ(errorCode(first), Code::refreshTemporarilyFailed);
    EXPECT_EQ(errorCode(second), Code::refreshTemporarilyFailed);
    auto third = TokenProbe::start(auth.getIdToken());
    ASSERT_EQ(session.count(), 2u);
    session.respond(1, 200, tokenResponse());
    EXPECT_EQ(third.value(), kNewIdToken);
}

TEST(FirebaseAuthManager, TokenCallsWaitForTheKeychainToBeRead) {
    VirtualScheduler scheduler;
    FakeKeychain keychain;
    FakeURLSession session;
    keychain.put(kCurrent, blob({{kRefresh, "r"}, {kUid, "u"}}));
    keychain.hold();
    FirebaseAuthManager auth(
        {keychain,
         session,
         scheduler,
         SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("k")),
         {}});
    EXPECT_FALSE(auth.isRestored());
    EXPECT_FALSE(auth.isLoggedIn());
    auto token = TokenProbe::start(auth.getIdToken());
    EXPECT_FALSE(token.done());

    session.respond(200, tokenResponse());
    keychain.release();
    EXPECT_TRUE(auth.isLoggedIn());
    ASSERT_TRUE(token.done());
    EXPECT_EQ(token.value(), kNewIdToken);
}

class AccountSyncTest : public ManagerTest<FakeURLSession> {};

TEST_F(AccountSyncTest, PostsWithTheTokenAndTakesTheUsersNameAndEmail) {
    FirebaseAuthManager& auth = start();
    session.respond(200, tokenResponse());
    session.respond(200, R"({"user":{"email":"ann@example.com","name":"Ann","plan":"pro"}})");
    auto sync = TaskProbe<void>::start(auth.syncAccount());
    ASSERT_TRUE(sync.done());
    EXPECT_FALSE(sync.failed());
    EXPECT_EQ(auth.userEmail(), QStringLiteral("ann@example.com"));
    EXPECT_EQ(auth.userName(), QStringLiteral("Ann"));

    const URLRequest& request = session.requests.at(1);
    EXPECT_EQ(request.url, QUrl(QStringLiteral("https://api.test/v1/auth/sync")));
    EXPECT_EQ(request.httpMethod, "POST");
    EXPECT_EQ(request.value("Authorization"), "Bearer " + kNewIdToken.toUtf8());
    EXPECT_EQ(request.value("Content-Type"), "application/json");
    EXPECT_TRUE(request.httpBody.isEmpty());
    EXPECT_EQ(request.timeoutInterval, 15s);
}

TEST_F(AccountSyncTest, FailuresAndOddAnswers) {
    FirebaseAuthManager& auth = start();
    session.respond(200, tokenResponse());
    TokenProbe::start(auth.getIdToken());

    session.respond(500, R"({"user":{"name":"Nobody"}})");
    auto refused = TaskProbe<void>::start(auth.syncAccount());
    ASSERT_TRUE(refused.errorAs<FirebaseAuthError>());
    EXPECT_EQ(refused.errorAs<FirebaseAuthError>()->code(), Code::syncFailed);

    session.respond(200, "<html>");
    EXPECT_TRUE(TaskProbe<void>::start(auth.syncAccount()).errorAs<JSONDecodingError>());

    // An answer without a user object changes nothing and is no error; a user without a name
    // clears it.
    session.respond(200, R"({"user":{"email":"e@x","name":"N"}})");
    TaskProbe<void>::start(auth.syncAccount());
    session.respond(200, R"({"ok":true})");
    EXPECT_FALSE(TaskProbe<void>::start(auth.syncAccount()).failed());
    EXPECT_EQ(auth.userName(), QStringLiteral("N"));
    session.respond(200, R"({"user":{"email":"e@x","name":5}})");
    TaskProbe<void>::start(auth.syncAccount());
    EXPECT_EQ(auth.userName(), std::nullopt);

    session.failWith(URLError::timedOut);
    auto transport = TaskProbe<void>::start(auth.syncAccount());
    ASSERT_TRUE(transport.errorAs<URLError>());
    EXPECT_EQ(transport.errorAs<URLError>()->code(), URLError::timedOut);
}

TEST(FirebaseAuthManager, AnAccountSyncAnsweredAfterSignOutBringsNoNameBack) {
    VirtualScheduler scheduler;
    FakeKeychain keychain;
    PendingURLSession session;
    keychain.put(kCurrent, blob({{kRefresh, "r"}, {kUid, "u"}}));
    FirebaseAuthManager auth(
        {keychain, session, scheduler,
         SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("k")),
         QUrl(QStringLiteral("https://api.test/v1/auth/sync"))});
    auto sync = TaskProbe<void>::start(auth.syncAccount());
    session.respond(0, 200, tokenResponse());
    ASSERT_EQ(session.count(), 2u);
    auth.clearAuthState();
    session.respond(1, 200, R"({"user":{"email":"ann@example.com","name":"Ann"}})");
    EXPECT_TRUE(sync.done());
    EXPECT_EQ(auth.userName(), std::nullopt);
    EXPECT_EQ(auth.userEmail(), std::nullopt);
}

} // namespace
