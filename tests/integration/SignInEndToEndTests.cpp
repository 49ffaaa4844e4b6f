#include "LoopbackHttpServer.h"
#include "RealPartRequirement.h"
#include "SayloomProcess.h"
#include "TaskProbe.h"

#include "auth/CredentialStore.h"
#include "platform/linux/FileKeychain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;
using Request = LoopbackHttpServer::Request;
using Responder = LoopbackHttpServer::Responder;

namespace {

constexpr int kBoundMs = 30'000;
const QString kClientId =
    QStringLiteral("123456789012-abcdefghijklmnopqrstuvwxyz012345.apps.googleusercontent.com");
const QString kGoogleScheme =
    QStringLiteral("com.googleusercontent.apps.123456789012-abcdefghijklmnopqrstuvwxyz012345");

// What the stand-ins hand out: no log line may ever show one of them.
const QByteArray kCode = "google-code-Z7";
const QByteArray kGoogleIdToken = "google-id-signature-K4";
const QByteArray kIdToken = "firebase-id-token-P1";
const QByteArray kRefreshToken = "firebase-refresh-token-P2";
const QByteArray kGitHubRefreshToken = "github-refresh-token-P3";
const QByteArray kGitHubToken = "github-link-token-P4";

QByteArray base64Url(const QByteArray& bytes) {
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray jwt(const QJsonObject& payload, const QByteArray& signature) {
    return "eyJhbGciOiJSUzI1NiJ9." +
           base64Url(QJsonDocument(payload).toJson(QJsonDocument::Compact)) + "." + signature;
}

// Sign-in from end to end with real processes: Google's two endpoints, the identity toolkit,
// GitHub and the service are stand-ins on a loopback server; the browser is a program that
// follows the pages' redirects and runs `sayloom URL` with the address it ends at, as the desktop
// would.
class SignInEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_REAL_PART(
            qEnvironmentVariableIsEmpty("DISPLAY")
                ? QStringLiteral("no X display: run inside scripts/lib/headless-session.sh")
                : QString());
        ASSERT_TRUE(server.isListening());
        server.setHandler(
            [this](const Request& request, Responder& responder) { answer(request, responder); });
        const QString base = server.url().toString();
        for (const char* variable :
             {"SAYLOOM_GOOGLE_AUTH_BASE_URL", "SAYLOOM_GOOGLE_TOKEN_BASE_URL",
              "SAYLOOM_IDENTITY_TOOLKIT_BASE_URL", "SAYLOOM_GITHUB_BASE_URL"})
            process.setEnvironmentValue(QLatin1String(variable), base);
        process.setEnvironmentValue(QStringLiteral("SAYLOOM_GOOGLE_CLIENT_ID"), kClientId);
        process.setEnvironmentValue(QStringLiteral("SAYLOOM_GITHUB_CLIENT_ID"),
                                    QStringLiteral("github-client"));
        process.setEnvironmentValue(QStringLiteral("SAYLOOM_FIREBASE_AUTH_DOMAIN"),
                                    QStringLiteral("sayloom-test.firebaseapp.com"));
        process.setEnvironmentValue(QStringLiteral("SAYLOOM_BROWSER"),
                                    QStringLiteral(BROWSER_STAND_IN));
        process.setEnvironmentValue(QStringLiteral("SAYLOOM_TEST_URL_HANDLER"),
                                    QStringLiteral(SAYLOOM_EXECUTABLE));
        process.setEnvironmentValue(QStringLiteral("SAYLOOM_LOG_LEVEL"), QStringLiteral("debug"));
    }

    void TearDown() override {
        if (instance.state() != QProcess::NotRunning) {
            instance.terminate();
            EXPECT_TRUE(instance.waitForFinished(10'000));
        }
        // No code, state, nonce, verifier or token in any line any process wrote, at any level.
        readInstanceLog();
        QByteArray everything = instanceLog;
        for (const auto& outcome : outcomes)
            everything += outcome.out + outcome.err;
        QList<QByteArray> secrets = {kCode,         kGoogleIdToken,      kIdToken,
                                     kRefreshToken, kGitHubRefreshToken, kGitHubToken};
        secrets << state << nonce << verifier;
        for (const QByteArray& secret : secrets)
            EXPECT_TRUE(secret.isEmpty() || !everything.contains(secret)) << secret.toStdString();
    }

    void answer(const Request& request, Responder& responder) {
        const QByteArray path = request.path();
        const QUrlQuery query(QString::fromLatin1(request.target.mid(path.size() + 1)));
        if (path == "/o/oauth2/v2/auth") {
            // The user picked an account: Google sends the browser to the application.
            state = query.queryItemValue(QStringLiteral("state")).toLatin1();
            nonce = query.queryItemValue(QStringLiteral("nonce")).toLatin1();
            const QByteArray returned = forgeState ? QByteArray("forged-state") : state;
            responder.respond(
                302, {},
                {{"Location", query.queryItemValue(QStringLiteral("redirect_uri")).toLatin1() +
                                  "?code=" + kCode + "&state=" + returned}});
        } else if (path == "/token") {
            verifier = QUrlQuery(QString::fromLatin1(request.body))
                           .queryItemValue(QStringLiteral("code_verifier"))
                           .toLatin1();
            responder.respond(
                200, R"({"id_token":")" +
                         jwt({{"nonce", QString::fromLatin1(nonce)}}, kGoogleIdToken) + R"("})");
        } else if (path == "/v1/accounts:signInWithIdp") {
            responder.respond(200, R"({"idToken":")" + kIdToken + R"(","refreshToken":")" +
                                       kRefreshToken +
                                       R"(","localId":"uid-google",)"
                                       R"("expiresIn":"3600","email":"ada@example.com"})");
        } else if (path == "/login/oauth/authorize") {
            // GitHub sends the browser to the service's callback ...
            responder.respond(
                302, {},
                {{"Location", query.queryItemValue(QStringLiteral("redirect_uri")).toLatin1() +
                                  "?code=gh-code"}});
        } else if (path == "/v1/auth/github/callback") {
            // ... and the service, having signed the user in, back to the application.
            const qint64 exp = QDateTime::currentSecsSinceEpoch() + 3600;
            responder.respond(302, {},
                              {{"Location", "sayloom://auth/github-callback?idToken=" +
                                                jwt({{"exp", exp}}, kIdToken) +
                                                "&refreshToken=" + kGitHubRefreshToken +
                                                "&uid=uid-github&name=Grace+Hopper"}});
        } else if (path == "/v1/auth/sync") {
            responder.respond(200, R"({"user":{"email":"grace@example.com","name":"Grace"}})");
        } else if (path == "/v1/auth/me") {
            responder.respond(200, R"({"user":{"plan":"free"}})");
        } else {
            responder.respond(200, "{}");
        }
    }

    SayloomProcess::Outcome run(const QStringList& arguments) {
        outcomes.push_back(process.run(arguments, kBoundMs));
        return outcomes.back();
    }

    QString storedCredentials() {
        linux_desktop::FileKeychain keychain(process.keychainPath());
        return QString::fromUtf8(
            TaskProbe<KeychainReadResult>::start(
                keychain.read(QString::fromLatin1(CredentialStore::kCredentialsService),
                              QString::fromLatin1(CredentialStore::kKeychainAccount)))
                .value()
                .value);
    }

    void startInstance() {
        instance.setProcessEnvironment(process.environment());
        instance.setProcessChannelMode(QProcess::MergedChannels);
        instance.start(QStringLiteral(SAYLOOM_EXECUTABLE), {});
        ASSERT_TRUE(waitForInstanceLog("Engine started")) << instanceLog.toStdString();
    }

    void readInstanceLog() {
        if (instance.isOpen())
            instanceLog += instance.readAll();
    }
    // Whether the user's mimeapps.list comes to name Sayloom's entry for both schemes.
    bool waitForDefaultHandler() {
        QFile defaults(process.environment().value(QStringLiteral("XDG_CONFIG_HOME")) +
                       QStringLiteral("/mimeapps.list"));
        return QTest::qWaitFor(
            [&] {
                if (!defaults.open(QIODevice::ReadOnly))
                    return false;
                const QByteArray list = defaults.readAll();
                defaults.close();
                return list.contains("x-scheme-handler/sayloom=sayloom.desktop") &&
                       list.contains("x-scheme-handler/" + kGoogleScheme.toLatin1() +
                                     "=sayloom.desktop");
            },
            kBoundMs);
    }

    bool waitForInstanceLog(const char* fragment) {
        return QTest::qWaitFor(
            [&] {
                readInstanceLog();
                return instanceLog.contains(fragment);
            },
            kBoundMs);
    }

    int requestsTo(const QByteArray& path) const {
        int count = 0;
        for (const Request& request : server.requests())
            count += request.path() == path ? 1 : 0;
        return count;
    }

    LoopbackHttpServer server;
    SayloomProcess process{server, QStringLiteral(SAYLOOM_EXECUTABLE)};
    QProcess instance;
    QByteArray instanceLog;
    std::vector<SayloomProcess::Outcome> outcomes;
    QByteArray state, nonce, verifier;
    bool forgeState = false;
};

TEST_F(SignInEndToEnd, GoogleSignInThroughTheRunningInstanceEndsSignedIn) {
    startInstance();
    // The running instance registered itself for both schemes.
    QFile entry(process.environment().value(QStringLiteral("XDG_DATA_HOME")) +
                QStringLiteral("/applications/sayloom.desktop"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return entry.exists(); }, kBoundMs));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray desktopEntry = entry.readAll();
    EXPECT_TRUE(desktopEntry.contains("Exec=" SAYLOOM_EXECUTABLE " %u"))
        << desktopEntry.toStdString();
    EXPECT_TRUE(desktopEntry.contains("MimeType=x-scheme-handler/sayloom;x-scheme-handler/" +
                                      kGoogleScheme.toLatin1() + ";"));
    // ... and made itself their default handler.
    ASSERT_TRUE(waitForDefaultHandler()) << "xdg-mime (package xdg-utils) made Sayloom the handler";

    const auto signIn = run({QStringLiteral("signin"), QStringLiteral("google")});
    EXPECT_EQ(signIn.exitCode, 0) << signIn.err.toStdString() << instanceLog.toStdString();
    EXPECT_EQ(signIn.out, "Signed in as grace@example.com\n") << "the account sync's address";
    EXPECT_EQ(requestsTo("/v1/auth/me"), 1) << "the profile is loaded after the sync";
    EXPECT_FALSE(verifier.isEmpty());

    // The instance writes the credentials; they are in the keychain once it has ended.
    instance.terminate();
    ASSERT_TRUE(instance.waitForFinished(10'000));
    EXPECT_TRUE(storedCredentials().contains(QString::fromLatin1(kRefreshToken)));
    EXPECT_TRUE(storedCredentials().contains(QStringLiteral("uid-google")));
}

TEST_F(SignInEndToEnd, GitHubSignInFromATerminalWithoutARunningInstance) {
    const auto signIn = run({QStringLiteral("signin"), QStringLiteral("github")});
    EXPECT_EQ(signIn.exitCode, 0) << signIn.err.toStdString();
    EXPECT_EQ(signIn.out, "Signed in as grace@example.com\n");
    EXPECT_TRUE(storedCredentials().contains(QString::fromLatin1(kGitHubRefreshToken)));
    EXPECT_EQ(requestsTo("/v1/auth/github/callback"), 1);

    const auto again = run({QStringLiteral("signin"), QStringLiteral("google")});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(again.err.contains("already signed in as uid-github")) << again.err.toStdString();
}

TEST_F(SignInEndToEnd, ACallbackWithTheWrongStateIsRefusedAndNothingIsStored) {
    forgeState = true;
    const auto signIn = run({QStringLiteral("signin"), QStringLiteral("google")});
    EXPECT_EQ(signIn.exitCode, 1);
    EXPECT_TRUE(signIn.err.contains("Authentication callback failed.")) << signIn.err.toStdString();
    EXPECT_TRUE(
        signIn.err.contains("Google callback state did not match the pending sign-in - rejecting"));
    EXPECT_EQ(requestsTo("/token"), 0) << "the code is never exchanged";
    EXPECT_TRUE(storedCredentials().isEmpty());
}

TEST_F(SignInEndToEnd, AnUnsolicitedLinkGitHubLinkChangesNothingButTheLog) {
    process.signIn();
    const QString before = storedCredentials();
    startInstance();
    const auto link = run({QStringLiteral("sayloom://auth/link-github?githubToken=") +
                           QString::fromLatin1(kGitHubToken)});
    EXPECT_EQ(link.exitCode, 0) << link.err.toStdString();
    ASSERT_TRUE(waitForInstanceLog("Ignoring unsolicited link-github deep link (no pending auth) "
                                   "— CSRF guard"))
        << instanceLog.toStdString();
    EXPECT_EQ(requestsTo("/v1/auth/link-github"), 0);
    instance.terminate();
    ASSERT_TRUE(instance.waitForFinished(10'000));
    EXPECT_EQ(storedCredentials(), before);

    const auto foreign = run({QStringLiteral("sayloom://upgrade"), QStringLiteral("file:///etc")});
    EXPECT_EQ(foreign.exitCode, 2) << "only links of ours are handed on";
}

TEST_F(SignInEndToEnd, AnInstalledInstanceUsesTheSystemsEntryAndDropsABuildTreesCopies) {
    const auto write = [](const QString& path, const QByteArray& content) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    };
    // A system entry that starts this executable, as the package's starts /usr/bin/sayloom.
    QTemporaryDir system;
    const QString systemEntry = system.filePath(QStringLiteral("applications/sayloom.desktop"));
    write(systemEntry,
          "[Desktop Entry]\nType=Application\nName=Sayloom\nExec=" SAYLOOM_EXECUTABLE " %u\n");
    process.setEnvironmentValue(QStringLiteral("XDG_DATA_DIRS"),
                                system.path() + QStringLiteral(":/usr/local/share:/usr/share"));
    // What an earlier run from a build tree left in the user's folders.
    const QString data = process.environment().value(QStringLiteral("XDG_DATA_HOME"));
    const QString ownEntry = data + QStringLiteral("/applications/sayloom.desktop");
    const QString ownIcon = data + QStringLiteral("/icons/hicolor/scalable/apps/sayloom.svg");
    write(ownEntry, "[Desktop Entry]\nName=Sayloom\nExec=/home/kim/sayloom/build/src/sayloom %u\n");
    QFile icon(QStringLiteral(SAYLOOM_APPLICATION_ICON));
    ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
    write(ownIcon, icon.readAll());

    startInstance();
    EXPECT_TRUE(waitForInstanceLog(QStringLiteral("Installed: using the desktop entry %1")
                                       .arg(systemEntry)
                                       .toUtf8()
                                       .constData()))
        << instanceLog.toStdString();
    ASSERT_TRUE(waitForDefaultHandler()) << instanceLog.toStdString();
    EXPECT_FALSE(QFile::exists(ownEntry)) << "it would hide the system's entry from the menu";
    EXPECT_FALSE(QFile::exists(ownIcon));

    QFile autostart(process.environment().value(QStringLiteral("XDG_CONFIG_HOME")) +
                    QStringLiteral("/autostart/sayloom.desktop"));
    // Written once the application has finished launching.
    ASSERT_TRUE(QTest::qWaitFor([&] { return autostart.open(QIODevice::ReadOnly); }, kBoundMs))
        << instanceLog.toStdString();
    EXPECT_TRUE(autostart.readAll().contains("\nExec=" SAYLOOM_EXECUTABLE " %u\n"));
}

} // namespace
