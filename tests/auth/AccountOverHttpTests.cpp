#include "LogCapture.h"
#include "LoopbackHttpServer.h"
#include "TaskProbe.h"

#include "auth/AuthState.h"
#include "auth/FirebaseAuthError.h"
#include "auth/FirebaseAuthManager.h"
#include "platform/linux/FileKeychain.h"
#include "support/JsonFileKeyValueStore.h"
#include "support/QtScheduler.h"
#include "support/QtURLSession.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>

using namespace sayloom;
using namespace sayloom::testing;
using sayloom::linux_desktop::FileKeychain;
using Request = LoopbackHttpServer::Request;
using Responder = LoopbackHttpServer::Responder;

inline void PrintTo(const QByteArray& bytes, std::ostream* os) { *os << bytes.toStdString(); }
inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

constexpr int kBoundMs = 10'000;
const QString kService = QString::fromLatin1(CredentialStore::kCredentialsService);
const QString kAccount = QString::fromLatin1(CredentialStore::kKeychainAccount);
const QByteArray kStoredRefreshToken = "stored refresh/token+=&";

QByteArray tokenJson(const QByteArray& idToken, const QByteArray& refreshToken) {
    return R"({"id_token":")" + idToken + R"(","refresh_token":")" + refreshToken +
           R"(","expires_in":"3600"})";
}

template <typename T>
TaskProbe<T> finished(QCoro::Task<T> task) {
    auto probe = TaskProbe<T>::start(std::move(task));
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe.done(); }, kBoundMs));
    return probe;
}

// The token refresh and the account calls through QNetworkAccessManager against the loopback
// server, with the credentials in a real file keychain.
class AccountOverHttp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isListening());
        ASSERT_TRUE(folder.isValid());
        FileKeychain seed(keychainPath());
        ASSERT_EQ(TaskProbe<int>::start(seed.add(kService, kAccount,
                                                 R"({"ai.sayloom.app.firebase-refresh-token":")" +
                                                     kStoredRefreshToken +
                                                     R"(","ai.sayloom.app.firebase-uid":"uid-7"})"))
                      .value(),
                  KeychainStatus::success);
        server.setHandler(
            [this](const Request& request, Responder& responder) { handle(request, responder); });
        auth = std::make_unique<FirebaseAuthManager>(FirebaseAuthManager::Collaborators{
            keychain, session, scheduler,
            SecureTokenEndpoint(server.url().toString(), QStringLiteral("test-key")),
            server.url(QStringLiteral("/v1/auth/sync"))});
        ASSERT_TRUE(auth->isLoggedIn());
    }

    void TearDown() override {
        account.reset();
        if (auth)
            finished(auth->flushCredentialWrites());
    }

    void handle(const Request& request, Responder& responder) {
        const QByteArray path = request.path();
        if (path == "/v1/token") {
            ++refreshes;
            responder.respond(tokenStatus,
                              tokenStatus == 200
                                  ? tokenJson("id-" + QByteArray::number(refreshes), "rotated")
                                  : R"({"error":{"message":"TOKEN_EXPIRED"}})",
                              {{"Content-Type", "application/json"}});
        } else if (path == "/v1/auth/me") {
            // The first profile request is refused: its token was revoked.
            if (++profileRequests == 1)
                responder.respond(401, R"({"error":"unauthorized"})");
            else
                responder.respond(200, R"({"user":{"email":"kim@example.com","name":"Kim",)"
                                       R"("plan":"pro"},"wordUsage":{"wordsUsed":42,)"
                                       R"("wordLimit":10000},"trial":{"active":false}})");
        } else {
            responder.respond(404);
        }
    }

    QString keychainPath() const { return folder.filePath(QStringLiteral("keychain.json")); }

    QByteArray storedBlob() {
        FileKeychain reader(keychainPath());
        return TaskProbe<KeychainReadResult>::start(reader.read(kService, kAccount)).value().value;
    }

    LogCapture logs;
    LoopbackHttpServer server;
    QTemporaryDir folder;
    FileKeychain keychain{folder.filePath(QStringLiteral("keychain.json"))};
    JsonFileKeyValueStore defaults{folder.filePath(QStringLiteral("settings.json"))};
    QtURLSession session;
    QtScheduler scheduler;
    std::unique_ptr<FirebaseAuthManager> auth;
    std::unique_ptr<AuthState> account;
    int tokenStatus = 200;
    int refreshes = 0;
    int profileRequests = 0;
};

TEST_F(AccountOverHttp, RefreshesTheTokenAndStoresTheNewOnes) {
    auto token = finished(auth->getIdToken());
    ASSERT_FALSE(token.failed()) << localizedDescription(token.error()).toStdString();
    EXPECT_EQ(token.value(), QStringLiteral("id-1"));

    ASSERT_EQ(server.requests().size(), 1);
    const Request& request = server.requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/v1/token?key=test-key");
    EXPECT_EQ(request.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(QUrlQuery(QString::fromUtf8(request.body))
                  .queryItemValue(QStringLiteral("refresh_token"), QUrl::FullyDecoded),
              QString::fromUtf8(kStoredRefreshToken))
        << "the token survives form encoding: " << request.body.toStdString();

    finished(auth->flushCredentialWrites());
    const QJsonObject stored = QJsonDocument::fromJson(storedBlob()).object();
    EXPECT_EQ(stored.value(QStringLiteral("ai.sayloom.app.firebase-id-token")), "id-1");
    EXPECT_EQ(stored.value(QStringLiteral("ai.sayloom.app.firebase-refresh-token")), "rotated");
    EXPECT_EQ(stored.value(QStringLiteral("ai.sayloom.app.firebase-uid")), "uid-7");
}

TEST_F(AccountOverHttp, AProfileRefusedOnceIsLoadedWithAFreshToken) {
    account = std::make_unique<AuthState>(AuthState::Collaborators{
        *auth, defaults, session, scheduler, server.url(QStringLiteral("/v1/auth/me")),
        server.url(QStringLiteral("/v1/auth/timezone")), false});
    finished(account->loadUserInfo());

    QStringList exchanges;
    for (const Request& request : server.requests())
        exchanges << QString::fromUtf8(request.path() + " " +
                                       request.header("Authorization").value_or("-"));
    EXPECT_EQ(
        exchanges,
        (QStringList{QStringLiteral("/v1/token -"), QStringLiteral("/v1/auth/me Bearer id-1"),
                     QStringLiteral("/v1/token -"), QStringLiteral("/v1/auth/me Bearer id-2")}));
    EXPECT_EQ(account->userPlan(), QStringLiteral("pro"));
    EXPECT_EQ(account->userName(), QStringLiteral("Kim"));
    EXPECT_EQ(account->wordsUsed(), 42);
    EXPECT_EQ(account->wordLimit(), 10000);
    EXPECT_EQ(JsonFileKeyValueStore(defaults.path()).integer(QStringLiteral("cachedWordLimit")),
              10000);
}

TEST_F(AccountOverHttp, ARefusedRefreshSignsOutWithoutLoggingAnyToken) {
    tokenStatus = 400;
    auto token = finished(auth->getIdToken());
    ASSERT_TRUE(token.errorAs<FirebaseAuthError>());
    EXPECT_EQ(token.errorAs<FirebaseAuthError>()->code(), FirebaseAuthError::Code::sessionExpired);
    EXPECT_FALSE(auth->isLoggedIn());
    finished(auth->flushCredentialWrites());
    EXPECT_TRUE(storedBlob().isEmpty()) << "the credentials item is gone";
    EXPECT_TRUE(logs.contains(
        QStringLiteral("auth"), LogLevel::error,
        QStringLiteral(
            R"(Token refresh failed: HTTP 400 - {"error":{"message":"TOKEN_EXPIRED"}})")));
    for (const LogRecord& record : logs.records())
        EXPECT_FALSE(record.message.contains(QString::fromUtf8(kStoredRefreshToken)))
            << record.message.toStdString();
}

} // namespace
