#include "audio/LevelMailbox.h"

#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

#include <bit>

namespace sayloom {

LevelMailbox::LevelMailbox(QObject* parent)
    : QObject(parent)
    , eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (eventFd_ >= 0) {
        notifier_ = new QSocketNotifier(eventFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &LevelMailbox::deliver);
    }
}

LevelMailbox::~LevelMailbox() {
    delete notifier_;
    if (eventFd_ >= 0)
        ::close(eventFd_);
}

void LevelMailbox::post(float level, std::uint32_t tag) {
    slot_.store((static_cast<std::uint64_t>(std::bit_cast<std::uint32_t>(level)) << 32) | tag);
    if (pending_.exchange(true))
        return; // the main thread has not picked up the previous level yet; it will see this one
    if (eventFd_ >= 0) {
        const std::uint64_t one = 1;
        if (::write(eventFd_, &one, sizeof one) == sizeof one)
            return;
    }
    // Without an eventfd, fall back to a queued call (which allocates).
    QMetaObject::invokeMethod(this, &LevelMailbox::deliver, Qt::QueuedConnection);
}

void LevelMailbox::deliver() {
    if (eventFd_ >= 0) {
        std::uint64_t counter = 0;
        [[maybe_unused]] const auto ignored = ::read(eventFd_, &counter, sizeof counter);
    }
    if (!pending_.exchange(false))
        return;
    const std::uint64_t packed = slot_.load();
    Q_EMIT levelArrived(std::bit_cast<float>(static_cast<std::uint32_t>(packed >> 32)),
                        static_cast<quint32>(packed & 0xFFFFFFFFu));
}

} // namespace sayloom
