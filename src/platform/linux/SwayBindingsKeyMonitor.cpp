#include "platform/linux/SwayBindingsKeyMonitor.h"

#include "platform/linux/SwayBindingsKeyStream.h"
#include "platform/linux/SwayIpcMessage.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

namespace sayloom::linux_desktop {

namespace {

QString swaySocket() { return qEnvironmentVariable("SWAYSOCK"); }

} // namespace

SwayBindingsKeyMonitor::SwayBindingsKeyMonitor(QString socketPath)
    : SessionKeyMonitor([this](SessionKeyStream::Listener listener, QString& failure) {
        // The interest set before the stream opened is bound at once.
        return std::unique_ptr<SessionKeyStream>(
            SwayBindingsKeyStream::open(socketPath_, interest_, std::move(listener), failure));
    })
    , socketPath_(socketPath.isEmpty() ? swaySocket() : std::move(socketPath)) {}

void SwayBindingsKeyMonitor::setKeyInterest(const KeyInterest& interest) {
    interest_ = interest;
    // The stream is always the one this monitor opened.
    if (auto* bindings = static_cast<SwayBindingsKeyStream*>(stream()))
        bindings->setKeyInterest(interest);
}

bool SwayBindingsKeyMonitor::socketAnswers() {
    constexpr int kTimeoutMs = 500;
    const QString path = swaySocket();
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    socket.write(SwayIpcMessage{SwayIpcMessage::getVersion, {}}.encoded());
    const QDeadlineTimer deadline(kTimeoutMs);
    QByteArray buffer;
    bool corrupt = false;
    while (!deadline.hasExpired() && !corrupt) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
        buffer += socket.readAll();
        if (const auto reply = SwayIpcMessage::take(buffer, corrupt))
            return reply->type == SwayIpcMessage::getVersion;
    }
    return false;
}

} // namespace sayloom::linux_desktop
