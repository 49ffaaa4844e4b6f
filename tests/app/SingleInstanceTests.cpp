#include "LogCapture.h"

#include "app/SingleInstance.h"

#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <coroutine>
#include <future>

using namespace sayloom;
using namespace sayloom::testing;
using Reply = SingleInstance::Reply;

inline void PrintTo(const Reply& reply, std::ostream* os) {
    *os << (reply.ok ? "ok: " : "failed: ") << reply.message.toStdString();
}

namespace {

// Sends from another thread, since send() blocks and the instance answers from this thread's
// event loop.
std::optional<Reply> sendWhileServing(const QString& directory, const QString& command,
                                      const QStringList& arguments = {}, int timeoutMs = 5000) {
    auto reply = std::async(std::launch::async, [=] {
        return SingleInstance::send(directory, command, arguments, timeoutMs);
    });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        timeoutMs + 5000));
    return reply.get();
}

// Writes raw bytes to the instance and reports whether it answered or hung up without a word.
QByteArray rawExchange(const QString& directory, const QByteArray& bytes) {
    auto outcome = std::async(std::launch::async, [=] {
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::socketPath(directory));
        if (!socket.waitForConnected(2000))
            return QByteArray("<no connection>");
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
        while (socket.state() == QLocalSocket::ConnectedState && !socket.canReadLine())
            if (!socket.waitForReadyRead(2000))
                break;
        const QByteArray answer = socket.readAll();
        return answer.isEmpty() ? QByteArray("<hung up>") : answer;
    });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        10'000));
    return outcome.get();
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(instance.claim(), SingleInstance::Claim::primary)
            << instance.errorString().toStdString();
    }

    QTemporaryDir runtime;
    const QString directory = runtime.path() + QStringLiteral("/sayloom");
    SingleInstance instance{directory};
};

TEST_F(SingleInstanceTest, TheFirstClaimWinsAndAnswersTheCommandsOfOthers) {
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(QFileInfo(directory).permissions() & others) << "a private folder";
    SingleInstance second(directory);
    EXPECT_EQ(second.claim(), SingleInstance::Claim::anotherIsRunning);

    QList<QStringList> received;
    instance.addCommand(QStringLiteral("echo"), {},
                        [&](QStringList arguments) -> QCoro::Task<Reply> {
                            received << arguments;
                            co_return Reply{true, arguments.join(QLatin1Char('|'))};
                        });
    const QStringList odd = {QStringLiteral("a b\nc"), QStringLiteral("ü\"}")};
    EXPECT_EQ(sendWhileServing(directory, QStringLiteral("echo"), odd),
              (Reply{true, odd.join('|')}));
    EXPECT_EQ(received, QList<QStringList>{odd});
}

TEST_F(SingleInstanceTest, AReplyMayComeLongAfterTheRequest) {
    // Holds the command until the test lets it go.
    struct Gate {
        explicit Gate(std::coroutine_handle<>* w) : waiter(w) {}
        std::coroutine_handle<>* waiter;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { *waiter = handle; }
        void await_resume() const noexcept {}
    };
    std::coroutine_handle<> waiter;
    instance.addCommand(QStringLiteral("slow"), {}, [&](QStringList) -> QCoro::Task<Reply> {
        co_await Gate(&waiter);
        co_return Reply{false, QStringLiteral("late")};
    });
    auto reply = std::async(std::launch::async, [this] {
        return SingleInstance::send(directory, QStringLiteral("slow"), {}, 10'000);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiter != nullptr; }, 5000));
    // Waiting for something not to happen: a reply sent before the command finished would reach
    // the sender over the local socket well within this time.
    QTest::qWait(200);
    EXPECT_NE(reply.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    waiter.resume();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        5000));
    EXPECT_EQ(reply.get(), (Reply{false, QStringLiteral("late")}));
}

TEST_F(SingleInstanceTest, WhatIsNotAnAcceptableCommandIsDroppedUnansweredAndLogged) {
    LogCapture logs;
    int runs = 0;
    instance.addCommand(
        QStringLiteral("open-url"),
        [](const QStringList& arguments) { return !arguments.isEmpty(); },
        [&](QStringList) -> QCoro::Task<Reply> {
            ++runs;
            co_return Reply{true, {}};
        });
    const std::pair<QByteArray, const char*> cases[] = {
        {QByteArray(17 * 1024, 'x'), "a message longer than 16 KiB"},
        {"{\"command\":\"open-url\",\"arguments\":[\"" + QByteArray(16 * 1024, 'a') + "\"]}\n",
         "a message longer than 16 KiB"},
        {"not json\n", "a message that is not a command"},
        {"{\"command\":\"open-url\",\"arguments\":[1]}\n", "a message that is not a command"},
        {"{\"command\":\"open-url\",\"arguments\":[],\"extra\":1}\n",
         "a message that is not a command"},
        {"{\"command\":\"format-disk\"}\n", "the unknown command \"format-disk\""},
        {"{\"command\":\"<secret-Z9>\"}\n", "the unknown command \"<unreadable>\""},
        {"{\"command\":\"open-url\",\"arguments\":[]}\n", "invalid arguments for \"open-url\""},
    };
    for (const auto& [bytes, reason] : cases) {
        SCOPED_TRACE(reason);
        logs.clear();
        EXPECT_EQ(rawExchange(directory, bytes), QByteArray("<hung up>"));
        EXPECT_EQ(logs.messages(QStringLiteral("app")),
                  QStringList{QStringLiteral("Dropped %1 on the instance socket")
                                  .arg(QString::fromUtf8(reason))});
    }
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(logs.countContaining(QStringLiteral("secret-Z9")), 0);
    // The instance still serves.
    EXPECT_EQ(sendWhileServing(directory, QStringLiteral("open-url"), {QStringLiteral("x")}),
              (Reply{true, QString()}));
}

TEST(SingleInstanceClaimTest, NobodyAnswersWhenNoInstanceRuns) {
    QTemporaryDir runtime;
    EXPECT_EQ(SingleInstance::send(runtime.path(), QStringLiteral("signout"), {}, 500),
              std::nullopt);
}

TEST(SingleInstanceClaimTest, ALockAndSocketLeftByAProcessThatIsGoneAreTakenOver) {
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
    instance.addCommand(QStringLiteral("ping"), {}, [](QStringList) -> QCoro::Task<Reply> {
        co_return Reply{true, "pong"};
    });
    EXPECT_EQ(sendWhileServing(directory, QStringLiteral("ping")), (Reply{true, "pong"}));
}

} // namespace
