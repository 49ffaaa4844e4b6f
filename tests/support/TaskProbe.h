#pragma once

#include <qcoro/qcorotask.h>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>

namespace sayloom::testing {

// Starts a coroutine and keeps its outcome for the test to inspect after advancing time:
//   auto probe = TaskProbe<int>::start(doWork());
//   scheduler.advance(1s);
//   ASSERT_TRUE(probe.done()); EXPECT_EQ(probe.value(), 42);
template <typename T>
class TaskProbe {
public:
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;

    static TaskProbe start(QCoro::Task<T> task) {
        TaskProbe probe;
        run(std::move(task), probe.state_);
        return probe;
    }

    bool done() const { return state_->done; }
    bool failed() const { return state_->error != nullptr; }
    std::exception_ptr error() const { return state_->error; }
    const Stored& value() const { return *state_->value; }

    // Rethrows the stored error as E; null when it is of another type or there is none.
    template <typename E>
    std::optional<E> errorAs() const {
        if (!state_->error)
            return std::nullopt;
        try {
            std::rethrow_exception(state_->error);
        } catch (const E& e) {
            return e;
        } catch (...) {
            return std::nullopt;
        }
    }

private:
    struct State {
        bool done = false;
        std::exception_ptr error;
        std::optional<Stored> value;
    };

    static QCoro::Task<> run(QCoro::Task<T> task, std::shared_ptr<State> state) {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                state->value = true;
            } else {
                state->value = co_await task;
            }
        } catch (...) {
            state->error = std::current_exception();
        }
        state->done = true;
    }

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace sayloom::testing
