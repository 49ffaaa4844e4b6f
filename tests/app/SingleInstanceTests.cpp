#include "app/SingleInstance.h"

#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace sayloom;

namespace {

// Sends from another thread, since send() blocks and the instance answers from this thread's
// event loop.
std::optional<QByteArray> sendWhileServing(const QString& directory, const QByteArray& command) {
    auto reply = std::async(std::launch::async,
                            [&] { return SingleInstance::send(directory, command, 5000); });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        10'000));
    return reply.get();
}

TEST(SingleInstanceTest, TheFirstClaimWinsAndAnswersCommandsOfOthers) {
    QTemporaryDir runtime;
    const QString directory = runtime.path() + QStringLiteral("/sayloom");
    SingleInstance first(directory);
    ASSERT_EQ(first.claim(), SingleInstance::Claim::primary) << first.errorString().toStdString();
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(QFileInfo(directory).permissions() & others) << "a private folder";

    SingleInstance second(directory);
    EXPECT_EQ(second.claim(), SingleInstance::Claim::anotherIsRunning);

    QList<QByteArray> received;
    first.setCommandHandler([&](const QByteArray& command) {
        received << command;
        return command == "signout" ? QByteArray("signed-out") : QByteArray("unknown");
    });
    EXPECT_EQ(sendWhileServing(directory, "signout"), QByteArray("signed-out"));
    EXPECT_EQ(sendWhileServing(directory, "sayloom://auth?code=1"), QByteArray("unknown"));
    EXPECT_EQ(received, (QList<QByteArray>{"signout", "sayloom://auth?code=1"}));
}

TEST(SingleInstanceTest, NobodyAnswersWhenNoInstanceRuns) {
    QTemporaryDir runtime;
    EXPECT_EQ(SingleInstance::send(runtime.path(), "signout", 500), std::nullopt);
}

TEST(SingleInstanceTest, ALockAndSocketLeftByAProcessThatIsGoneAreTakenOver) {
    QTemporaryDir runtime;
    const QString directory = runtime.path() + QStringLiteral("/sayloom");
    QDir().mkpath(directory);
    QFile stale(directory + QStringLiteral("/instance.lock"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    // A process id that cannot be running (above the kernel's limit).
    stale.write("4194305\nsayloom\n" + QHostInfo::localHostName().toUtf8() + "\n");
    stale.close();
    QFile leftover(SingleInstance::socketPath(directory));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();

    SingleInstance instance(directory);
    EXPECT_EQ(instance.claim(), SingleInstance::Claim::primary)
        << instance.errorString().toStdString();
    instance.setCommandHandler([](const QByteArray&) { return QByteArray("ok"); });
    EXPECT_EQ(sendWhileServing(directory, "ping"), QByteArray("ok"));
}

} // namespace
