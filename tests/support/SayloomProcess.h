#pragma once

#include "LoopbackHttpServer.h"
#include "TaskProbe.h"

#include "auth/CredentialStore.h"
#include "platform/linux/FileKeychain.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace sayloom::testing {

// The built `sayloom` run as a process for one command, with a file keychain and settings in a
// temporary home and every service (API, website, identity tokens) on a loopback server. The
// server answers from the test's event loop while the command runs.
class SayloomProcess {
public:
    struct Outcome {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    // Tokens the fixtures hand out; no command may ever print them.
    static constexpr const char* kRefreshedIdToken = "cli-id-token-Q1";
    static constexpr const char* kRefreshedRefreshToken = "cli-refresh-token-W2";
    static constexpr const char* kStoredRefreshToken = "stored-refresh-E3";

    SayloomProcess(LoopbackHttpServer& server, QString executable)
        : server_(server)
        , executable_(std::move(executable)) {}

    QString keychainPath() const {
        return home_.filePath(QStringLiteral("data/sayloom/keychain.json"));
    }
    // The private runtime folder the command sees, where a running instance would listen.
    QString runtimePath() const { return home_.filePath(QStringLiteral("runtime")); }
    QString settingsPath() const {
        return home_.filePath(QStringLiteral("config/sayloom/settings.json"));
    }

    // Stores an account in the keychain as a past sign-in would have.
    void signIn() {
        linux_desktop::FileKeychain keychain(keychainPath());
        const QString service = QString::fromLatin1(CredentialStore::kCredentialsService);
        const QString account = QString::fromLatin1(CredentialStore::kKeychainAccount);
        const QByteArray blob = QByteArray(R"({"ai.sayloom.app.firebase-refresh-token":")") +
                                kStoredRefreshToken + R"(","ai.sayloom.app.firebase-uid":"uid-9"})";
        ASSERT_EQ(TaskProbe<int>::start(keychain.add(service, account, blob)).value(),
                  KeychainStatus::success);
    }

    // The identity service's answer to a refresh, for the server's handler.
    static QByteArray tokenResponse() {
        return QByteArray(R"({"id_token":")") + kRefreshedIdToken + R"(","refresh_token":")" +
               kRefreshedRefreshToken + R"(","expires_in":"3600"})";
    }

    // Adds a variable to the environment of every later run.
    void setEnvironmentValue(const QString& name, const QString& value) {
        extraEnvironment_.insert(name, value);
    }

    // The environment every run gets: the temporary home and the loopback services.
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The test binaries draw offscreen; Sayloom itself uses the test display.
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        const QString base = server_.url().toString();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home_.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home_.filePath(QStringLiteral("config")));
        // A Wayland display named relative to the session's runtime folder stays reachable.
        const QString wayland = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
        if (!wayland.isEmpty() && !wayland.startsWith(QLatin1Char('/')))
            environment.insert(QStringLiteral("WAYLAND_DISPLAY"),
                               environment.value(QStringLiteral("XDG_RUNTIME_DIR")) +
                                   QLatin1Char('/') + wayland);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimePath());
        environment.insert(QStringLiteral("SAYLOOM_KEYCHAIN"), QStringLiteral("file"));
        environment.insert(QStringLiteral("SAYLOOM_API_BASE_URL"), base);
        environment.insert(QStringLiteral("SAYLOOM_WEBSITE_BASE_URL"), base);
        environment.insert(QStringLiteral("SAYLOOM_SECURE_TOKEN_BASE_URL"), base);
        environment.insert(QStringLiteral("SAYLOOM_FIREBASE_WEB_API_KEY"),
                           QStringLiteral("cli-key"));
        environment.insert(extraEnvironment_);
        return environment;
    }

    Outcome run(const QStringList& arguments, int boundMs = 30'000) {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(executable_, arguments);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, boundMs));
        Outcome outcome{process.exitCode(), process.readAllStandardOutput(),
                        process.readAllStandardError()};
        for (const char* secret :
             {kRefreshedIdToken, kRefreshedRefreshToken, kStoredRefreshToken}) {
            EXPECT_FALSE(outcome.out.contains(secret));
            EXPECT_FALSE(outcome.err.contains(secret)) << outcome.err.toStdString();
        }
        return outcome;
    }

private:
    LoopbackHttpServer& server_;
    QString executable_;
    QTemporaryDir home_;
    QProcessEnvironment extraEnvironment_;
};

} // namespace sayloom::testing
