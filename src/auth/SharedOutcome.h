#pragma once

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace sayloom {

// The outcome of one piece of work that any number of coroutines wait for: each
// `co_await outcome.wait()` resumes with the value (or rethrows the error) once the work settles,
// or at once when it has settled already. Settles once; later calls are ignored. Copies share the
// outcome. Main thread only.
template <typename T>
class SharedOutcome {
    struct State;

public:
    SharedOutcome() : state_(std::make_shared<State>()) {}

    bool isSettled() const { return state_->value.has_value() || state_->error != nullptr; }

    void resolve(T value) {
        if (isSettled())
            return;
        state_->value = std::move(value);
        wakeAll();
    }

    void reject(std::exception_ptr error) {
        if (isSettled())
            return;
        state_->error = error;
        wakeAll();
    }

    class Awaiter {
    public:
        explicit Awaiter(std::shared_ptr<State> state) : state_(std::move(state)) {}
        bool await_ready() const noexcept {
            return state_->value.has_value() || state_->error != nullptr;
        }
        void await_suspend(std::coroutine_handle<> handle) { state_->waiters.push_back(handle); }
        T await_resume() const {
            if (state_->error)
                std::rethrow_exception(state_->error);
            return *state_->value;
        }

    private:
        std::shared_ptr<State> state_;
    };

    Awaiter wait() const { return Awaiter(state_); }

private:
    struct State {
        std::optional<T> value;
        std::exception_ptr error;
        std::vector<std::coroutine_handle<>> waiters;
    };

    void wakeAll() {
        // Keep the state alive while the waiters run: one of them may drop the last copy.
        auto state = state_;
        auto waiters = std::exchange(state->waiters, {});
        for (auto handle : waiters)
            handle.resume();
    }

    std::shared_ptr<State> state_;
};

} // namespace sayloom
