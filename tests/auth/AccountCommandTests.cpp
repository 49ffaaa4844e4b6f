#include "LoopbackHttpServer.h"
#include "SayloomProcess.h"
#include "TaskProbe.h"

#include "app/SingleInstance.h"
#include "auth/CredentialStore.h"
#include "platform/linux/FileKeychain.h"
#include "support/JsonFileKeyValueStore.h"

#include <QJsonDocument>
#include <QJsonObject>

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

using Outcome = SayloomProcess::Outcome;

// `sayloom account` and `sayloom signout` as processes, with the identity and account services on
// the loopback server.
class AccountCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isListening());
        server.setHandler([](const Request& request, Responder& responder) {
            const QByteArray path = request.path();
            if (path == "/v1/token")
                responder.respond(200, SayloomProcess::tokenResponse());
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

    QString settingsPath() const { return process.settingsPath(); }

    void signIn() {
        process.signIn();
        JsonFileKeyValueStore settings(settingsPath());
        settings.setString(QStringLiteral("cachedUserPlan"), QStringLiteral("pro"));
        settings.setInteger(QStringLiteral("cachedWordLimit"), 10000);
    }

    KeychainReadResult storedCredentials() {
        FileKeychain keychain(process.keychainPath());
        return TaskProbe<KeychainReadResult>::start(keychain.read(kService, kAccount)).value();
    }

    Outcome run(const QStringList& arguments) { return process.run(arguments, kBoundMs); }

    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
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

TEST_F(AccountCommands, SignOutGoesThroughTheRunningInstance) {
    signIn();
    SingleInstance running(process.runtimePath() + QStringLiteral("/sayloom"));
    ASSERT_EQ(running.claim(), SingleInstance::Claim::primary);
    SingleInstance::Reply reply{true, QStringLiteral("signed out")};
    int commands = 0;
    running.addCommand(QStringLiteral("signout"), {},
                       [&](QStringList) -> QCoro::Task<SingleInstance::Reply> {
                           ++commands;
                           co_return SingleInstance::Reply(reply);
                       });
    const Outcome signedOut = run({QStringLiteral("signout")});
    EXPECT_EQ(signedOut.exitCode, 0) << signedOut.err.toStdString();
    EXPECT_EQ(signedOut.out, "Signed out.\n");
    EXPECT_EQ(commands, 1);
    EXPECT_EQ(storedCredentials().status, KeychainStatus::success)
        << "the instance signs out; the command leaves the keychain to it";

    reply = {false, QStringLiteral("not signed in")};
    const Outcome notSignedIn = run({QStringLiteral("signout")});
    EXPECT_EQ(notSignedIn.exitCode, 1);
    EXPECT_TRUE(notSignedIn.err.contains("not signed in"));
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
