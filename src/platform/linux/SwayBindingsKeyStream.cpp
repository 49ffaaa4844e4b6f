#include "platform/linux/SwayBindingsKeyStream.h"

#include "platform/linux/SwayIpcMessage.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

namespace sayloom::linux_desktop {

namespace {

// How long the end of the stream waits for sway to take the unbinding commands.
constexpr int kUnbindTimeoutMs = 1000;

} // namespace

std::unique_ptr<SwayBindingsKeyStream> SwayBindingsKeyStream::open(const QString& socketPath,
                                                                   const KeyInterest& interest,
                                                                   Listener listener,
                                                                   QString& failure) {
    const auto fail = [&failure](const QString& reason) {
        failure = reason;
        return nullptr;
    };
    if (socketPath.isEmpty())
        return fail(QStringLiteral("Cannot bind the hotkey in sway: SWAYSOCK is not set"));

    std::unique_ptr<SwayBindingsKeyStream> stream(new SwayBindingsKeyStream(std::move(listener)));
    QLocalSocket& socket = *stream->socket_;
    socket.connectToServer(socketPath);
    // A local socket connects at once or fails at once; only a full backlog leaves it connecting,
    // and what is written meanwhile is sent once it connects.
    if (socket.state() == QLocalSocket::UnconnectedState)
        return fail(QStringLiteral("Cannot bind the hotkey in sway: %1 (%2)")
                        .arg(socket.errorString(), socketPath));
    stream->send(SwayIpcMessage::subscribe, QByteArrayLiteral(R"(["binding"])"));
    // A Sayloom that was killed left its bindings in sway, swallowing their keys: they go first
    // (most are not there, and sway says so).
    stream->runCommands(SwayKeyBindings::unbindLeftovers(), Refusal::expected);
    stream->setKeyInterest(interest);
    stream->log_.info("Binding the hotkey through sway's IPC socket");
    return stream;
}

SwayBindingsKeyStream::SwayBindingsKeyStream(Listener listener)
    : SessionKeyStream(std::move(listener))
    , socket_(std::make_unique<QLocalSocket>()) {
    QObject::connect(socket_.get(), &QLocalSocket::readyRead, &context(), [this] { read(); });
    QObject::connect(socket_.get(), &QLocalSocket::disconnected, &context(),
                     [this] { handleDisconnect(); });
}

SwayBindingsKeyStream::~SwayBindingsKeyStream() {
    QObject::disconnect(socket_.get(), nullptr, &context(), nullptr);
    const std::vector<QString> commands = bindings_.unbindAll();
    if (commands.empty() || socket_->state() != QLocalSocket::ConnectedState)
        return;
    runCommands(commands);
    // The only wait of the stream: the process may end right after, and sway drops what a client
    // sent once it sees the hang-up. Replies owed include those of earlier commands.
    const QDeadlineTimer deadline(kUnbindTimeoutMs);
    socket_->waitForBytesWritten(kUnbindTimeoutMs);
    while (!owedReplies_.empty() && !deadline.hasExpired()) {
        if (socket_->bytesAvailable() == 0 &&
            !socket_->waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        buffer_ += socket_->readAll();
        bool corrupt = false;
        while (const auto message = SwayIpcMessage::take(buffer_, corrupt))
            if (message->type == SwayIpcMessage::runCommand)
                handleReply(message->payload);
        if (corrupt)
            break;
    }
    if (!owedReplies_.empty())
        log_.error("Sway did not confirm the removal of the hotkey bindings");
}

void SwayBindingsKeyStream::setKeyInterest(const KeyInterest& interest) {
    runCommands(bindings_.rebind(interest));
}

void SwayBindingsKeyStream::send(std::uint32_t type, const QByteArray& payload) {
    socket_->write(SwayIpcMessage{type, payload}.encoded());
}

void SwayBindingsKeyStream::runCommands(const std::vector<QString>& commands, Refusal refusal) {
    // One message per command: a failing one then says which it was, and stops no other.
    for (const QString& command : commands) {
        log_.debug("sway: %{public}s", command);
        send(SwayIpcMessage::runCommand, command.toUtf8());
        owedReplies_.push_back(refusal);
    }
}

void SwayBindingsKeyStream::read() {
    buffer_ += socket_->readAll();
    bool corrupt = false;
    while (const auto message = SwayIpcMessage::take(buffer_, corrupt)) {
        if (message->type == SwayIpcMessage::runCommand) {
            handleReply(message->payload);
        } else if (message->type == SwayIpcMessage::bindingEvent && postingDepth_ == 0) {
            for (const HeldKeys::Change& change : bindings_.changesFor(message->payload))
                queue(change);
        }
    }
    if (corrupt) {
        log_.error("Sway's IPC socket sent something that is not an IPC message; closing it");
        socket_->abort();
        handleDisconnect();
        return;
    }
    scheduleDelivery();
}

void SwayBindingsKeyStream::handleReply(const QByteArray& payload) {
    if (owedReplies_.empty())
        return;
    const Refusal refusal = owedReplies_.front();
    owedReplies_.pop_front();
    if (refusal == Refusal::expected)
        return;
    for (const QJsonValue result : QJsonDocument::fromJson(payload).array()) {
        const QJsonObject object = result.toObject();
        if (!object.value(QLatin1String("success")).toBool())
            log_.error("Sway refused a hotkey binding: %{public}s",
                       object.value(QLatin1String("error")).toString());
    }
}

void SwayBindingsKeyStream::handleDisconnect() {
    if (closed_)
        return;
    closed_ = true;
    log_.error("Sway's IPC socket closed: the hotkey is no longer observed");
    owedReplies_.clear();
    // Nothing held can be released any more.
    bindings_.forgetHeldKeys();
    queue({.flags = ModifierFlags{0}, .keyDown = std::nullopt});
    scheduleDelivery();
}

} // namespace sayloom::linux_desktop
