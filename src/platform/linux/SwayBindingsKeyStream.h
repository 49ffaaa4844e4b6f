#pragma once

#include "platform/linux/SessionKeyMonitor.h"
#include "platform/linux/SwayKeyBindings.h"
#include "support/Logger.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class QLocalSocket;

namespace sayloom::linux_desktop {

// The hotkeys of a sway session, through key bindings made on a connection of our own to sway's
// IPC socket (see SwayKeyBindings). The connection is read on the main thread without blocking;
// the bindings follow the key interest while the stream is open, and are removed when it is
// destroyed (with the process's normal end). While Sayloom posts keys, binding events are
// ignored: posted keys reach sway through its virtual keyboards.
class SwayBindingsKeyStream final : public SessionKeyStream {
public:
    // Connects to `socketPath`, subscribes to binding events and binds the keys of `interest`;
    // null when the socket cannot be reached, with the reason written to `failure`. `listener`
    // may destroy the stream.
    static std::unique_ptr<SwayBindingsKeyStream> open(const QString& socketPath,
                                                       const KeyInterest& interest,
                                                       Listener listener, QString& failure);
    // Removes the bindings, waiting a moment for sway to read the commands: a connection that
    // hangs up before is dropped with what it sent.
    ~SwayBindingsKeyStream() override;
    SwayBindingsKeyStream(const SwayBindingsKeyStream&) = delete;
    SwayBindingsKeyStream& operator=(const SwayBindingsKeyStream&) = delete;

    void setKeyInterest(const KeyInterest& interest);

    void beginPosting() override { ++postingDepth_; }
    void endPosting() override {
        if (postingDepth_ > 0)
            --postingDepth_;
    }

private:
    explicit SwayBindingsKeyStream(Listener listener);

    void send(std::uint32_t type, const QByteArray& payload);
    // Sends `commands`; a refusal is logged unless the commands may fail.
    enum class Refusal { logged, expected };
    void runCommands(const std::vector<QString>& commands, Refusal refusal = Refusal::logged);
    void read();
    void handleReply(const QByteArray& payload);
    void handleDisconnect();

    std::unique_ptr<QLocalSocket> socket_;
    SwayKeyBindings bindings_{SwayKeyBindings::markerOfThisProcess()};
    QByteArray buffer_;
    // The replies still owed for the commands sent, in order: whether a refusal is logged.
    std::deque<Refusal> owedReplies_;
    int postingDepth_ = 0;
    bool closed_ = false;
    Logger log_{QStringLiteral("hotkey")};
};

} // namespace sayloom::linux_desktop
