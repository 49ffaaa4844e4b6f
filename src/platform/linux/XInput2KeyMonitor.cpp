#include "platform/linux/XInput2KeyMonitor.h"

#include "platform/linux/XInput2KeyStream.h"

namespace sayloom::linux_desktop {

XInput2KeyMonitor::XInput2KeyMonitor()
    : SessionKeyMonitor([](SessionKeyStream::Listener listener, QString& lastFailure) {
        return std::unique_ptr<SessionKeyStream>(
            XInput2KeyStream::open(std::move(listener), lastFailure));
    }) {}

} // namespace sayloom::linux_desktop
