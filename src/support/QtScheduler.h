#pragma once

#include "support/Scheduler.h"

namespace sayloom {

// The application's scheduler: the system clocks and precise QTimers on the calling thread's
// event loop.
class QtScheduler final : public Scheduler {
public:
    MonotonicInstant monotonicNow() const override;
    WallInstant wallNow() const override;
    Timer scheduleOnce(Duration delay, std::function<void()> action) override;
    Timer scheduleRepeating(Duration interval, std::function<void()> action) override;

private:
    Timer schedule(Duration delay, bool repeating, std::function<void()> action);
};

} // namespace sayloom
