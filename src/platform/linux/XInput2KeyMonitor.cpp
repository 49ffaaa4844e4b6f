#include "platform/linux/XInput2KeyMonitor.h"

#include "platform/linux/XInput2KeyStream.h"

namespace sayloom::linux_desktop {

XInput2KeyMonitor::XInput2KeyMonitor()
    : SessionKeyMonitor([](SessionKeyStream::Listener listener, QString& failure) {
        return std::unique_ptr<SessionKeyStream>(
            XInput2KeyStream::open(std::move(listener), failure));
    }) {}

} // namespace sayloom::linux_desktop
