#include "LogCapture.h"
#include "TaskProbe.h"

#include "platform/linux/DesktopKeychain.h"
#include "platform/linux/LibsecretKeychain.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <gtest/gtest.h>

#include <libsecret/secret.h>

using namespace sayloom;
using namespace sayloom::testing;
using sayloom::linux_desktop::DesktopKeychain;
using sayloom::linux_desktop::LibsecretKeychain;

namespace {

// Upper bound for one exchange with the Secret Service; they take milliseconds.
constexpr int kBoundMs = 10'000;
const QString kAccount = QStringLiteral("sayloom-test");

template <typename T>
T finished(QCoro::Task<T> task) {
    auto probe = TaskProbe<T>::start(std::move(task));
    EXPECT_TRUE(QTest::qWaitFor([&] { return probe.done(); }, kBoundMs));
    EXPECT_FALSE(probe.failed());
    return probe.value();
}

// `secret-tool lookup service S account A`: what another client of the keyring sees.
QByteArray lookUpWithSecretTool(const QString& service) {
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("service"),
                                               service, QStringLiteral("account"), kAccount});
    EXPECT_TRUE(tool.waitForFinished(kBoundMs));
    return tool.readAllStandardOutput();
}

// Each test works on items of its own service name and removes them afterwards. Without a
// Secret Service on the session bus the tests skip, except under CI, where they fail.
class SecretServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString failure;
        finished([](SecretServiceTest* self, QString* failure) -> QCoro::Task<bool> {
            LibsecretKeychain::Connection connection = co_await LibsecretKeychain::connect();
            self->keychain = std::move(connection.keychain);
            *failure = connection.failure;
            co_return true;
        }(this, &failure));
        if (!keychain) {
            if (qEnvironmentVariableIsSet("CI"))
                FAIL() << "no Secret Service: " << failure.toStdString();
            GTEST_SKIP() << "no Secret Service on the session bus (" << failure.toStdString()
                         << "); run under scripts/lib/headless-session.sh";
        }
    }

    void TearDown() override {
        if (keychain)
            finished(keychain->remove(service, kAccount));
    }

    const QString service =
        QStringLiteral("ai.sayloom.test.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::unique_ptr<LibsecretKeychain> keychain;
};

TEST_F(SecretServiceTest, ItemsFollowTheGenericPasswordContract) {
    const QByteArray binary("\x00\x01\xfe", 3);
    EXPECT_EQ(finished(keychain->read(service, kAccount)).status, KeychainStatus::itemNotFound);
    EXPECT_EQ(finished(keychain->update(service, kAccount, "v")), KeychainStatus::itemNotFound);
    EXPECT_EQ(finished(keychain->remove(service, kAccount)), KeychainStatus::itemNotFound);

    EXPECT_EQ(finished(keychain->add(service, kAccount, "first")), KeychainStatus::success);
    EXPECT_EQ(finished(keychain->add(service, kAccount, "again")), KeychainStatus::duplicateItem);
    const KeychainReadResult first = finished(keychain->read(service, kAccount));
    EXPECT_EQ(first.status, KeychainStatus::success);
    EXPECT_EQ(first.value, "first");

    EXPECT_EQ(finished(keychain->update(service, kAccount, binary)), KeychainStatus::success);
    EXPECT_EQ(finished(keychain->read(service, kAccount)).value, binary);
    EXPECT_EQ(finished(keychain->read(service, QStringLiteral("someone-else"))).status,
              KeychainStatus::itemNotFound);

    EXPECT_EQ(finished(keychain->remove(service, kAccount)), KeychainStatus::success);
    EXPECT_EQ(finished(keychain->read(service, kAccount)).status, KeychainStatus::itemNotFound);
}

TEST_F(SecretServiceTest, OtherClientsOfTheKeyringSeeTheItems) {
    ASSERT_EQ(finished(keychain->add(service, kAccount, R"({"k":"v"})")), KeychainStatus::success);
    EXPECT_EQ(lookUpWithSecretTool(service), R"({"k":"v"})");
    ASSERT_EQ(finished(keychain->update(service, kAccount, "changed")), KeychainStatus::success);
    EXPECT_EQ(lookUpWithSecretTool(service), "changed");
}

TEST_F(SecretServiceTest, CallsLeaveTheEventLoopRunning) {
    ASSERT_EQ(finished(keychain->add(service, kAccount, "v")), KeychainStatus::success);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(0);
    auto read = TaskProbe<KeychainReadResult>::start(keychain->read(service, kAccount));
    EXPECT_FALSE(read.done()) << "the call returned before the Secret Service answered";
    ASSERT_TRUE(QTest::qWaitFor([&] { return read.done(); }, kBoundMs));
    EXPECT_GT(ticks, 0) << "timers ran while the call was out";
    EXPECT_EQ(read.value().value, "v");
}

// Locks the default collection, as the desktop does at screen lock or after a log-in without
// the keyring password.
bool lockDefaultCollection() {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    SecretCollection* collection =
        service ? secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT,
                                                   SECRET_COLLECTION_NONE, nullptr, &error)
                : nullptr;
    bool locked = false;
    if (collection) {
        GList objects{collection, nullptr, nullptr};
        locked = secret_service_lock_sync(service, &objects, nullptr, nullptr, &error) == 1;
        g_object_unref(collection);
    }
    if (error) {
        ADD_FAILURE() << "cannot lock the keyring: " << error->message;
        g_error_free(error);
    }
    if (service)
        g_object_unref(service);
    return locked;
}

// The window of the desktop's unlock prompt, or nothing yet.
QByteArray unlockPromptWindow() {
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--class"), QStringLiteral("gcr-prompter")});
    search.waitForFinished(kBoundMs);
    return search.readAllStandardOutput().split('\n').value(0).trimmed();
}

TEST_F(SecretServiceTest, AnUnlockPromptWaitsForTheUserWithoutHoldingUpTheApplication) {
    const QByteArray password = qgetenv("SAYLOOM_TEST_KEYRING_PASSWORD");
    if (password.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty() ||
        qEnvironmentVariableIsEmpty("DISPLAY")) {
        if (qEnvironmentVariableIsSet("CI"))
            FAIL() << "needs the test keyring's password, xdotool and a display";
        GTEST_SKIP() << "needs the test keyring's password, xdotool and a display";
    }
    ASSERT_EQ(finished(keychain->add(service, kAccount, "behind the lock")),
              KeychainStatus::success);
    ASSERT_TRUE(lockDefaultCollection());

    // First the user dismisses the prompt, then they unlock.
    struct Answer {
        QStringList keys;
        int status;
    };
    const Answer answers[] = {
        {{QStringLiteral("key"), QStringLiteral("Escape")}, KeychainStatus::userCanceled},
        {{QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"),
          QString::fromLatin1(password)},
         KeychainStatus::success},
    };
    for (const Answer& answer : answers) {
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        auto read = TaskProbe<KeychainReadResult>::start(keychain->read(service, kAccount));

        // While the prompt waits for the user, timers and everything else go on.
        QByteArray window;
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !(window = unlockPromptWindow()).isEmpty(); }, kBoundMs))
            << "no unlock prompt appeared";
        const int ticksAtPrompt = ticks;
        ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= ticksAtPrompt + 10; }, kBoundMs));
        EXPECT_FALSE(read.done()) << "the read waits for the user";

        QProcess::execute(QStringLiteral("xdotool"),
                          {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                           QString::fromLatin1(window)});
        QProcess::execute(QStringLiteral("xdotool"), answer.keys);
        if (answer.status == KeychainStatus::success)
            QProcess::execute(QStringLiteral("xdotool"),
                              {QStringLiteral("key"), QStringLiteral("Return")});
        ASSERT_TRUE(QTest::qWaitFor([&] { return read.done(); }, kBoundMs));
        EXPECT_EQ(read.value().status, answer.status);
        EXPECT_EQ(read.value().value,
                  answer.status == KeychainStatus::success ? "behind the lock" : "");
        // Let the prompt window go before the next round looks for one.
        EXPECT_TRUE(QTest::qWaitFor([&] { return unlockPromptWindow().isEmpty(); }, kBoundMs));
    }
}

TEST_F(SecretServiceTest, TheDesktopKeychainPrefersTheSecretServiceAndSaysSoOnce) {
    LogCapture logs;
    QTemporaryDir folder;
    DesktopKeychain desktop({folder.filePath(QStringLiteral("keychain.json")), false});
    // Both wait for the one choice.
    auto first = TaskProbe<KeychainReadResult>::start(desktop.read(service, kAccount));
    auto second = TaskProbe<KeychainReadResult>::start(desktop.read(service, kAccount));
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.done() && second.done(); }, kBoundMs));
    EXPECT_EQ(first.value().status, KeychainStatus::itemNotFound);
    EXPECT_EQ(second.value().status, KeychainStatus::itemNotFound);
    EXPECT_EQ(finished(desktop.add(service, kAccount, "v")), KeychainStatus::success);
    EXPECT_EQ(finished(desktop.read(service, kAccount)).value, "v");

    EXPECT_EQ(desktop.kind(), QStringLiteral("secret-service"));
    EXPECT_EQ(logs.messages(QStringLiteral("keychain"), LogLevel::notice),
              QStringList{QStringLiteral("Using the Secret Service keychain")});
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("keychain.json"))));
    EXPECT_EQ(lookUpWithSecretTool(service), "v");
}

TEST(DesktopKeychain, FallsBackToTheFileWhenNoSecretServiceAnswers) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("keychain.json"));
    for (const bool forceFile : {false, true}) {
        LogCapture logs;
        QFile::remove(path);
        // libsecret's own setting for where the Secret Service is: a name nobody owns.
        if (!forceFile)
            qputenv("SECRET_SERVICE_BUS_NAME", "org.example.NoSecretsHere");
        DesktopKeychain desktop({path, forceFile});
        EXPECT_EQ(finished(desktop.add(QStringLiteral("s"), kAccount, "v")),
                  KeychainStatus::success);
        qunsetenv("SECRET_SERVICE_BUS_NAME");
        EXPECT_EQ(finished(desktop.read(QStringLiteral("s"), kAccount)).value, "v");
        EXPECT_EQ(desktop.kind(), QStringLiteral("file"));
        EXPECT_TRUE(QFile::exists(path));
        const QStringList notices = logs.messages(QStringLiteral("keychain"), LogLevel::notice);
        ASSERT_EQ(notices.size(), 1);
        EXPECT_TRUE(notices[0].startsWith(QStringLiteral("Using the file keychain at ") + path))
            << notices[0].toStdString();
        EXPECT_TRUE(notices[0].contains(forceFile ? QStringLiteral("(SAYLOOM_KEYCHAIN=file)")
                                                  : QStringLiteral("(no Secret Service answered")))
            << notices[0].toStdString();
    }
}

} // namespace
