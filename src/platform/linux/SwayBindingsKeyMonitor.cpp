#include "platform/linux/SwayBindingsKeyMonitor.h"

#include "platform/linux/SwayBindingsKeyStream.h"
#include "platform/linux/SwayIpcMessage.h"

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
    return SwayIpcMessage{SwayIpcMessage::getVersion, {}}.request(500).has_value();
}

} // namespace sayloom::linux_desktop
