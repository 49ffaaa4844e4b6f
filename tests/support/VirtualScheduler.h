#pragma once

#include "support/Scheduler.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

namespace sayloom::testing {

// Virtual time for unit tests. Nothing fires until `advance` is called; `advance(d)` then fires
// every action due within d in time order (ties in scheduling order), including actions that
// were scheduled while advancing, and leaves the clocks at the end of the span.
class VirtualScheduler final : public Scheduler {
public:
    VirtualScheduler();

    MonotonicInstant monotonicNow() const override { return monotonic_; }
    WallInstant wallNow() const override { return wall_; }
    Timer scheduleOnce(Duration delay, std::function<void()> action) override;
    Timer scheduleRepeating(Duration interval, std::function<void()> action) override;

    void advance(Duration span);
    // Fires what is due now (zero-delay actions, cancelled sleeps) without moving the clocks.
    void runDue() { advance(Duration::zero()); }

    // Number of actions still scheduled.
    std::size_t pendingCount() const;
    // Time until the next action, or nothing when none is scheduled.
    std::optional<Duration> timeToNext() const;

    void setWallNow(WallInstant now) { wall_ = now; }

private:
    struct Entry;
    using Queue = std::multimap<std::pair<MonotonicInstant, std::uint64_t>, std::shared_ptr<Entry>>;
    class Control;

    Timer schedule(Duration delay, Duration interval, std::function<void()> action);
    void enqueue(const std::shared_ptr<Entry>& entry);

    MonotonicInstant monotonic_;
    WallInstant wall_;
    std::uint64_t sequence_ = 0;
    Queue queue_;
};

} // namespace sayloom::testing
