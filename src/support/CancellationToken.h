#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace sayloom {

// A cancellation flag shared by copies. Whoever holds a copy may cancel; sleeps and HTTP
// transfers that were handed a copy end early when it is cancelled. Main thread only.
class CancellationToken {
public:
    using Callback = std::function<void()>;
    using Registration = std::uint64_t;

    CancellationToken();

    // Cancels once; later calls do nothing. Callbacks registered at that moment run in
    // registration order.
    void cancel();
    bool isCancelled() const;

    // Registers a callback for the moment of cancellation. Returns 0 (and registers nothing)
    // when the token is already cancelled.
    Registration subscribe(Callback callback) const;
    void unsubscribe(Registration registration) const;

private:
    struct State {
        bool cancelled = false;
        Registration nextId = 1;
        std::map<Registration, Callback> callbacks;
    };
    std::shared_ptr<State> state_;
};

} // namespace sayloom
