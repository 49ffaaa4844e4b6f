#include "platform/linux/EvdevKeyMonitor.h"

#include "platform/linux/EvdevKeyStream.h"

namespace sayloom::linux_desktop {

EvdevKeyMonitor::EvdevKeyMonitor()
    : SessionKeyMonitor([](SessionKeyStream::Listener listener, QString& failure) {
        return std::unique_ptr<SessionKeyStream>(
            EvdevKeyStream::open(std::move(listener), failure));
    }) {}

std::set<QByteArray> EvdevKeyMonitor::keyboards() const {
    // The stream is always the one this monitor opened.
    const auto* devices = static_cast<const EvdevKeyStream*>(stream());
    return devices ? devices->keyboards() : std::set<QByteArray>{};
}

} // namespace sayloom::linux_desktop
