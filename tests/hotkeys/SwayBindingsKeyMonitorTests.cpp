// The sway key monitor against a stand-in for sway's IPC socket: a peer on a thread of its own
// that speaks the binary framing, answers every command, records them and sends binding events.

#include "platform/linux/SwayBindingsKeyMonitor.h"
#include "platform/linux/SwayIpcMessage.h"
#include "platform/linux/SwayKeyBindings.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace sayloom;
using namespace sayloom::linux_desktop;

namespace {

constexpr int kBoundMs = 5000;

class FakeSwayPeer {
public:
    explicit FakeSwayPeer(const QString& path) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path.toLocal8Bit();
        std::memcpy(address.sun_path, bytes.constData(), bytes.size());
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        thread_ = std::thread([this] { serve(); });
    }

    ~FakeSwayPeer() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        hangUp();
        thread_.join();
    }

    // The payloads of the messages of `type` received so far.
    std::vector<QByteArray> received(std::uint32_t type) {
        const std::lock_guard lock(mutex_);
        std::vector<QByteArray> payloads;
        for (const SwayIpcMessage& message : received_)
            if (message.type == type)
                payloads.push_back(message.payload);
        return payloads;
    }

    void sendBindingEvent(const char* command) {
        send({SwayIpcMessage::bindingEvent,
              QByteArray(R"({"change":"run","binding":{"command":")") + command + "\"}}"});
    }

    void hangUp() {
        const std::lock_guard lock(mutex_);
        if (client_ >= 0)
            ::shutdown(client_, SHUT_RDWR);
    }

private:
    void serve() {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        {
            const std::lock_guard lock(mutex_);
            client_ = client;
        }
        QByteArray buffer;
        char chunk[4096];
        for (;;) {
            const ssize_t count = ::read(client, chunk, sizeof chunk);
            if (count <= 0)
                break;
            buffer.append(chunk, count);
            bool corrupt = false;
            while (auto message = SwayIpcMessage::take(buffer, corrupt)) {
                {
                    const std::lock_guard lock(mutex_);
                    received_.push_back(*message);
                }
                send({message->type, message->type == SwayIpcMessage::runCommand
                                         ? QByteArray(R"([{"success":true}])")
                                         : QByteArray(R"({"success":true})")});
            }
        }
        const std::lock_guard lock(mutex_);
        ::close(client_);
        client_ = -1;
    }

    void send(const SwayIpcMessage& message) {
        const QByteArray bytes = message.encoded();
        const std::lock_guard lock(mutex_);
        if (client_ >= 0)
            (void)!::write(client_, bytes.constData(), static_cast<size_t>(bytes.size()));
    }

    int listener_ = -1;
    int client_ = -1;
    std::mutex mutex_;
    std::vector<SwayIpcMessage> received_;
    std::thread thread_;
};

class SwayBindingsKeyMonitorTest : public ::testing::Test {
protected:
    QString path() const { return folder.filePath(QStringLiteral("sway.sock")); }

    // The commands after the removal of what a killed Sayloom left behind, which come first.
    std::vector<QByteArray> commands() {
        std::vector<QByteArray> all = peer.received(SwayIpcMessage::runCommand);
        const std::size_t leftovers =
            std::min(all.size(), SwayKeyBindings::unbindLeftovers().size());
        for (std::size_t i = 0; i < leftovers; ++i)
            EXPECT_TRUE(all[i].startsWith("unbindsym ")) << all[i].toStdString();
        all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(leftovers));
        return all;
    }

    QByteArray marker() const {
        return "nop sayloom-" + QByteArray::number(QCoreApplication::applicationPid());
    }

    QTemporaryDir folder;
    FakeSwayPeer peer{path()};
    SwayBindingsKeyMonitor monitor{path()};
    std::vector<ModifierFlags> flags;
};

TEST_F(SwayBindingsKeyMonitorTest, BindsWhileObservingAndUnbindsEverythingBeforeItStops) {
    monitor.setKeyInterest({{HotkeyOption::fn}, false, false, false});
    const auto handle = monitor.addFlagsChangedMonitor(
        KeyEventMonitor::Scope::global, [this](ModifierFlags value) { flags.push_back(value); });
    ASSERT_TRUE(handle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return commands().size() == 2; }, kBoundMs));
    EXPECT_EQ(peer.received(SwayIpcMessage::subscribe),
              std::vector<QByteArray>{QByteArray(R"(["binding"])")});
    EXPECT_TRUE(commands()[0].startsWith("bindsym --"));

    peer.sendBindingEvent(marker() + "-press-Control_R");
    peer.sendBindingEvent("nop sayloom-1-press-Control_R");
    peer.sendBindingEvent(marker() + "-release-Control_R");
    ASSERT_TRUE(QTest::qWaitFor([&] { return flags.size() == 2; }, kBoundMs));
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{modifier_flags::function, 0}));

    monitor.setKeyInterest({{HotkeyOption::fn}, true, false, true});
    ASSERT_TRUE(QTest::qWaitFor([&] { return commands().size() == 6; }, kBoundMs));

    // The removal waits for sway's answers: every unbinding has arrived once it returns.
    monitor.removeMonitor(*handle);
    const std::vector<QByteArray> all = commands();
    ASSERT_EQ(all.size(), 12u);
    for (std::size_t i = 6; i < all.size(); ++i)
        EXPECT_TRUE(all[i].startsWith("unbindsym ")) << all[i].toStdString();
}

TEST_F(SwayBindingsKeyMonitorTest, AHeldHotkeyIsLetGoWhenSwayGoesAway) {
    monitor.setKeyInterest({{HotkeyOption::optionKey}, false, false, false});
    ASSERT_TRUE(monitor.addFlagsChangedMonitor(
        KeyEventMonitor::Scope::global, [this](ModifierFlags value) { flags.push_back(value); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return commands().size() == 4; }, kBoundMs));
    peer.sendBindingEvent(marker() + "-press-Alt_R");
    ASSERT_TRUE(QTest::qWaitFor([&] { return flags.size() == 1; }, kBoundMs));
    peer.hangUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return flags.size() == 2; }, kBoundMs));
    EXPECT_EQ(flags, (std::vector<ModifierFlags>{modifier_flags::option, 0}));
}

TEST(SwayBindingsKeyMonitor, NoGlobalMonitorWithoutASocket) {
    QTemporaryDir folder;
    SwayBindingsKeyMonitor monitor(folder.filePath(QStringLiteral("missing.sock")));
    EXPECT_FALSE(
        monitor.addFlagsChangedMonitor(KeyEventMonitor::Scope::global, [](ModifierFlags) {}));
    const auto capabilities = monitor.capabilities();
    EXPECT_TRUE(capabilities.distinguishesLeftFromRight);
    EXPECT_TRUE(capabilities.bindsKeysOnTheFly);
}

} // namespace
