#include "LoopbackHttpServer.h"
#include "TaskProbe.h"

#include "auth/CredentialStore.h"
#include "platform/linux/FileKeychain.h"
#include "support/JsonFileKeyValueStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;
using sayloom::linux_desktop::FileKeychain;
using Request = LoopbackHttpServer::Request;
using Responder = LoopbackHttpServer::Responder;

inline void PrintTo(const QByteArray& bytes, std::ostream* os) { *os << bytes.toStdString(); }

namespace {

constexpr int kBoundMs = 20'000;
const QString kService = QString::fromLatin1(CredentialStore::kCredentialsService);
const QString kAccount = QString::fromLatin1(CredentialStore::kKeychainAccount);

struct Outcome {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// `sayloom account` and `sayloom signout` as processes, with a file keychain and settings in a
// temporary home, and the identity and account services on the loopback server.
class AccountCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isListening());
        ASSERT_TRUE(home.isValid());
        server.setHandler([](const Request& request, Responder& responder) {
            const QByteArray path = request.path();
            if (path == "/v1/token")
                responder.respond(200, R"({"id_token":"cli-id-token-Q1","refresh_token":)"
                                       R"("cli-refresh-token-W2","expires_in":"3600"})");
            else if (path == "/v1/auth/sync")
                responder.respond(200, R"({"user":{"email":"kim@example.com","name":"Kim"}})");
            else if (path == "/v1/auth/me")
                responder.respond(200, R"({"user":{"email":"kim@example.com","name":"Kim",)"
                                       R"("plan":"pro"},"wordUsage":{"wordsUsed":42,)"
                                       R"("wordLimit":10000},"trial":{"active":true,)"
                                       R"("daysLeft":5}})");
            else
                responder.respond(404);
        });
    }

    QString keychainPath() const {
        return home.filePath(QStringLiteral("data/sayloom/keychain.json"));
    }
    QString settingsPath() const {
        return home.filePath(QStringLiteral("config/sayloom/settings.json"));
    }

    void signIn() {
        FileKeychain keychain(keychainPath());
        ASSERT_EQ(
            TaskProbe<int>::start(
                keychain.add(kService, kAccount,
                             R"({"ai.sayloom.app.firebase-refresh-token":"stored-refresh-E3",)"
                             R"("ai.sayloom.app.firebase-uid":"uid-9"})"))
                .value(),
            KeychainStatus::success);
        JsonFileKeyValueStore settings(settingsPath());
        settings.setString(QStringLiteral("cachedUserPlan"), QStringLiteral("pro"));
        settings.setInteger(QStringLiteral("cachedWordLimit"), 10000);
    }

    KeychainReadResult storedCredentials() {
        FileKeychain keychain(keychainPath());
        return TaskProbe<KeychainReadResult>::start(keychain.read(kService, kAccount)).value();
    }

    Outcome run(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString base = server.url().toString();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("SAYLOOM_KEYCHAIN"), QStringLiteral("file"));
        environment.insert(QStringLiteral("SAYLOOM_API_BASE_URL"), base);
        environment.insert(QStringLiteral("SAYLOOM_WEBSITE_BASE_URL"), base);
        environment.insert(QStringLiteral("SAYLOOM_SECURE_TOKEN_BASE_URL"), base);
        environment.insert(QStringLiteral("SAYLOOM_FIREBASE_WEB_API_KEY"),
                           QStringLiteral("cli-key"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(SAYLOOM_EXECUTABLE), arguments);
        // The loopback server answers from this event loop while the command runs.
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kBoundMs));
        Outcome outcome{process.exitCode(), process.readAllStandardOutput(),
                        process.readAllStandardError()};
        for (const QByteArray& secret :
             {QByteArray("cli-id-token-Q1"), QByteArray("cli-refresh-token-W2"),
              QByteArray("stored-refresh-E3")}) {
            EXPECT_FALSE(outcome.out.contains(secret));
            EXPECT_FALSE(outcome.err.contains(secret)) << outcome.err.toStdString();
        }
        return outcome;
    }

    LoopbackHttpServer server;
    QTemporaryDir home;
};

TEST_F(AccountCommands, AccountShowsWhoIsSignedInThePlanAndTheUsage) {
    signIn();
    const Outcome text = run({QStringLiteral("account")});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.out, "Signed in as Kim <kim@example.com>\n"
                        "Plan: pro\n"
                        "Words: 42 of 10000 this week\n"
                        "Trial: active, 5 days left\n");
    QStringList paths;
    for (const Request& request : server.requests())
        paths << QString::fromUtf8(request.path());
    EXPECT_EQ(paths, (QStringList{QStringLiteral("/v1/token"), QStringLiteral("/v1/auth/sync"),
                                  QStringLiteral("/v1/auth/me")}));
    EXPECT_TRUE(storedCredentials().value.contains("cli-refresh-token-W2"))
        << "the rotated refresh token reached the keychain before the command ended";

    const Outcome json = run({QStringLiteral("account"), QStringLiteral("--json")});
    EXPECT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(json.out).object(),
              QJsonDocument::fromJson(R"({"isLoggedIn":true,"userEmail":"kim@example.com",)"
                                      R"("userName":"Kim","userPicture":null,"userPlan":"pro",)"
                                      R"("wordsUsed":42,"wordLimit":10000,"trialActive":true,)"
                                      R"("trialDaysLeft":5})")
                  .object())
        << json.out.toStdString();
}

TEST_F(AccountCommands, SignOutForgetsTheCredentialsAndTheCachedAccount) {
    signIn();
    const Outcome signedOut = run({QStringLiteral("signout")});
    EXPECT_EQ(signedOut.exitCode, 0) << signedOut.err.toStdString();
    EXPECT_EQ(signedOut.out, "Signed out.\n");
    EXPECT_EQ(storedCredentials().status, KeychainStatus::itemNotFound);
    JsonFileKeyValueStore settings(settingsPath());
    EXPECT_FALSE(settings.value(QStringLiteral("cachedUserPlan")));
    EXPECT_FALSE(settings.value(QStringLiteral("cachedWordLimit")));
    EXPECT_TRUE(server.requests().isEmpty()) << "signing out is local";

    const Outcome account = run({QStringLiteral("account")});
    EXPECT_EQ(account.exitCode, 1);
    EXPECT_TRUE(account.err.contains("not signed in")) << account.err.toStdString();
    EXPECT_TRUE(account.out.isEmpty());
}

TEST_F(AccountCommands, NobodySignedInOrAWrongOption) {
    const Outcome account = run({QStringLiteral("account")});
    EXPECT_EQ(account.exitCode, 1);
    EXPECT_TRUE(account.err.contains("not signed in")) << account.err.toStdString();
    const Outcome signOut = run({QStringLiteral("signout")});
    EXPECT_EQ(signOut.exitCode, 1);
    EXPECT_TRUE(signOut.err.contains("not signed in")) << signOut.err.toStdString();
    EXPECT_TRUE(server.requests().isEmpty());

    EXPECT_EQ(run({QStringLiteral("account"), QStringLiteral("--yaml")}).exitCode, 2);
    EXPECT_EQ(run({QStringLiteral("signout"), QStringLiteral("now")}).exitCode, 2);
}

} // namespace
