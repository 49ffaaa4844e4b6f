#include "support/Scheduler.h"

namespace sayloom {

Timer& Timer::operator=(Timer&& other) noexcept {
    if (this != &other) {
        cancel();
        control_ = std::move(other.control_);
    }
    return *this;
}

void Timer::cancel() {
    if (control_) {
        control_->cancel();
        control_.reset();
    }
}

SleepAwaitable Scheduler::sleep(Duration duration, CancellationToken token) {
    return SleepAwaitable(*this, duration, std::move(token));
}

struct SleepAwaitable::State {
    std::coroutine_handle<> handle;
    Timer timer;
    CancellationToken::Registration registration = 0;
    bool completed = false;
    bool resumed = false;
};

SleepAwaitable::SleepAwaitable(Scheduler& scheduler, Duration duration, CancellationToken token)
    : scheduler_(&scheduler)
    , duration_(duration)
    , token_(std::move(token))
    , state_(std::make_shared<State>()) {}

bool SleepAwaitable::await_ready() const noexcept { return token_.isCancelled(); }

void SleepAwaitable::await_suspend(std::coroutine_handle<> handle) {
    state_->handle = handle;
    std::weak_ptr<State> weak = state_;
    CancellationToken token = token_;
    auto resumeOnce = [weak, token](bool completed) {
        auto state = weak.lock();
        if (!state || state->resumed)
            return;
        state->resumed = true;
        state->completed = completed;
        token.unsubscribe(state->registration);
        state->handle.resume();
    };
    state_->timer = scheduler_->scheduleOnce(duration_, [resumeOnce] { resumeOnce(true); });
    // Cancellation resumes the sleeper from the event loop rather than from inside cancel(),
    // so that whoever cancels never runs the sleeper's continuation on its own stack.
    Scheduler* scheduler = scheduler_;
    state_->registration = token_.subscribe([weak, scheduler, resumeOnce] {
        auto state = weak.lock();
        if (!state || state->resumed)
            return;
        state->timer =
            scheduler->scheduleOnce(Duration::zero(), [resumeOnce] { resumeOnce(false); });
    });
}

bool SleepAwaitable::await_resume() noexcept {
    if (state_->handle == nullptr) // never suspended: the token was already cancelled
        return false;
    return state_->completed;
}

} // namespace sayloom
