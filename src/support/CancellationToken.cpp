#include "support/CancellationToken.h"

#include <vector>

namespace sayloom {

CancellationToken::CancellationToken() : state_(std::make_shared<State>()) {}

void CancellationToken::cancel() {
    if (state_->cancelled)
        return;
    state_->cancelled = true;
    // A callback may unsubscribe others or itself: run a snapshot.
    auto callbacks = std::move(state_->callbacks);
    state_->callbacks.clear();
    for (auto& [id, callback] : callbacks)
        callback();
}

bool CancellationToken::isCancelled() const { return state_->cancelled; }

CancellationToken::Registration CancellationToken::subscribe(Callback callback) const {
    if (state_->cancelled)
        return 0;
    const Registration id = state_->nextId++;
    state_->callbacks.emplace(id, std::move(callback));
    return id;
}

void CancellationToken::unsubscribe(Registration registration) const {
    state_->callbacks.erase(registration);
}

} // namespace sayloom
