#include "VirtualScheduler.h"

#include <optional>

namespace sayloom::testing {

struct VirtualScheduler::Entry {
    MonotonicInstant due;
    Duration interval; // zero for one-shot actions
    std::function<void()> action;
    bool active = true;
};

class VirtualScheduler::Control final : public Timer::Control {
public:
    explicit Control(std::weak_ptr<Entry> entry) : entry_(std::move(entry)) {}
    void cancel() override {
        if (auto entry = entry_.lock())
            entry->active = false;
    }
    bool isActive() const override {
        auto entry = entry_.lock();
        return entry && entry->active;
    }

private:
    std::weak_ptr<Entry> entry_;
};

VirtualScheduler::VirtualScheduler()
    : monotonic_(std::chrono::steady_clock::time_point(std::chrono::hours(1000)))
    // 2026-01-01T00:00:00Z
    , wall_(std::chrono::system_clock::time_point(std::chrono::seconds(1767225600))) {}

Timer VirtualScheduler::scheduleOnce(Duration delay, std::function<void()> action) {
    return schedule(delay, Duration::zero(), std::move(action));
}

Timer VirtualScheduler::scheduleRepeating(Duration interval, std::function<void()> action) {
    // A repeating timer of no interval would fire forever within one advance.
    return schedule(interval, std::max(interval, Duration(1)), std::move(action));
}

Timer VirtualScheduler::schedule(Duration delay, Duration interval, std::function<void()> action) {
    auto entry = std::make_shared<Entry>();
    entry->due = monotonic_ + std::max(delay, Duration::zero());
    entry->interval = interval;
    entry->action = std::move(action);
    enqueue(entry);
    return Timer(std::make_shared<Control>(entry));
}

void VirtualScheduler::enqueue(const std::shared_ptr<Entry>& entry) {
    queue_.emplace(std::make_pair(entry->due, sequence_++), entry);
}

void VirtualScheduler::advance(Duration span) {
    const MonotonicInstant end = monotonic_ + span;
    while (!queue_.empty()) {
        auto first = queue_.begin();
        if (first->first.first > end)
            break;
        std::shared_ptr<Entry> entry = first->second;
        queue_.erase(first);
        if (!entry->active)
            continue;
        wall_ += entry->due - monotonic_;
        monotonic_ = entry->due;
        if (entry->interval > Duration::zero()) {
            entry->due += entry->interval;
            enqueue(entry);
        } else {
            entry->active = false;
        }
        auto action = entry->action; // the action may cancel or drop its own timer
        action();
    }
    wall_ += end - monotonic_;
    monotonic_ = end;
}

std::size_t VirtualScheduler::pendingCount() const {
    std::size_t count = 0;
    for (const auto& [key, entry] : queue_)
        count += entry->active ? 1 : 0;
    return count;
}

std::optional<Duration> VirtualScheduler::timeToNext() const {
    for (const auto& [key, entry] : queue_)
        if (entry->active)
            return key.first - monotonic_;
    return std::nullopt;
}

} // namespace sayloom::testing
