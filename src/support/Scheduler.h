#pragma once

#include "support/CancellationToken.h"

#include <chrono>
#include <coroutine>
#include <functional>
#include <memory>

namespace sayloom {

using Duration = std::chrono::nanoseconds;
using MonotonicInstant = std::chrono::steady_clock::time_point;
using WallInstant = std::chrono::system_clock::time_point;

// Seconds as a double, the unit most of our log lines and intervals are written in.
using Seconds = std::chrono::duration<double>;

// Handle of a scheduled action. Cancelling (or destroying the handle) guarantees the action
// will not run afterwards. Handles are move-only.
class Timer {
public:
    struct Control {
        virtual ~Control() = default;
        virtual void cancel() = 0;
        virtual bool isActive() const = 0;
    };

    Timer() = default;
    explicit Timer(std::shared_ptr<Control> control) : control_(std::move(control)) {}
    Timer(Timer&&) noexcept = default;
    Timer& operator=(Timer&& other) noexcept;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;
    ~Timer() { cancel(); }

    void cancel();
    // True while the action is still due (a one-shot that has fired is no longer active).
    bool isActive() const { return control_ && control_->isActive(); }

private:
    std::shared_ptr<Control> control_;
};

class SleepAwaitable;

// The one source of time for product code: clocks, timers and sleeps. The application uses
// precise Qt timers; tests use a virtual clock they advance by hand. Main thread only.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    virtual MonotonicInstant monotonicNow() const = 0;
    virtual WallInstant wallNow() const = 0;

    // Runs `action` once after `delay` on the main thread.
    [[nodiscard]] virtual Timer scheduleOnce(Duration delay, std::function<void()> action) = 0;
    // Runs `action` every `interval` until the returned handle is cancelled or destroyed.
    [[nodiscard]] virtual Timer scheduleRepeating(Duration interval,
                                                  std::function<void()> action) = 0;

    // `co_await scheduler.sleep(d, token)` resumes after `d`, or early once `token` is
    // cancelled. It yields true when the full time elapsed and false when cancelled.
    SleepAwaitable sleep(Duration duration, CancellationToken token = {});
};

class SleepAwaitable {
public:
    SleepAwaitable(Scheduler& scheduler, Duration duration, CancellationToken token);

    bool await_ready() const noexcept;
    void await_suspend(std::coroutine_handle<> handle);
    bool await_resume() noexcept;

private:
    struct State;
    Scheduler* scheduler_;
    Duration duration_;
    CancellationToken token_;
    // Shared with the timer and cancellation callbacks, so the awaitable itself can move.
    std::shared_ptr<State> state_;
};

} // namespace sayloom
