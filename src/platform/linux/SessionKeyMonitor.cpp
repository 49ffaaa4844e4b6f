#include "platform/linux/SessionKeyMonitor.h"

#include "platform/linux/ApplicationKeyFilter.h"
#include "support/Logger.h"

#include <vector>

namespace sayloom::linux_desktop {

SessionKeyStream::SessionKeyStream(Listener listener) : listener_(std::move(listener)) {}

SessionKeyStream::~SessionKeyStream() { *alive_ = false; }

void SessionKeyStream::scheduleDelivery() {
    if (pending_.empty() || deliveryScheduled_)
        return;
    deliveryScheduled_ = true;
    QMetaObject::invokeMethod(
        &context_, [this] { deliverPending(); }, Qt::QueuedConnection);
}

void SessionKeyStream::deliverPending() {
    deliveryScheduled_ = false;
    const std::shared_ptr<bool> alive = alive_;
    while (!pending_.empty()) {
        const HeldKeys::Change change = pending_.front();
        pending_.pop_front();
        listener_(change);
        if (!*alive)
            return;
    }
}

SessionKeyMonitor::SessionKeyMonitor(StreamOpener openStream)
    : openStream_(std::move(openStream)) {}

SessionKeyMonitor::~SessionKeyMonitor() = default;

std::optional<KeyEventMonitor::Handle>
SessionKeyMonitor::addFlagsChangedMonitor(Scope scope, FlagsHandler handler) {
    return add(Monitor{scope, std::move(handler), {}});
}

std::optional<KeyEventMonitor::Handle>
SessionKeyMonitor::addKeyDownMonitor(Scope scope, KeyDownHandler handler) {
    return add(Monitor{scope, {}, std::move(handler)});
}

std::optional<KeyEventMonitor::Handle> SessionKeyMonitor::add(Monitor monitor) {
    if (monitor.scope == Scope::global && !stream_) {
        QString failure;
        stream_ = openStream_(
            [this](const HeldKeys::Change& change) { deliver(Scope::global, change); }, failure);
        if (!stream_) {
            // The engine asks again while the keys cannot be read: each reason is logged once.
            if (failure != lastFailure_)
                Logger(QStringLiteral("hotkey")).error("%{public}s", failure);
            lastFailure_ = failure;
            return std::nullopt;
        }
        lastFailure_.clear();
    }
    if (monitor.scope == Scope::local && !filter_) {
        filter_ = std::make_unique<ApplicationKeyFilter>([this](const HeldKeys::Change& change) {
            if (!stream_)
                deliver(Scope::local, change);
        });
    }
    const Handle handle = nextHandle_++;
    monitors_.emplace(handle, std::move(monitor));
    return handle;
}

void SessionKeyMonitor::removeMonitor(Handle handle) {
    monitors_.erase(handle);
    if (!hasMonitors(Scope::global))
        stream_.reset();
    if (!hasMonitors(Scope::local))
        filter_.reset();
}

bool SessionKeyMonitor::hasMonitors(Scope scope) const {
    for (const auto& [handle, monitor] : monitors_) {
        if (monitor.scope == scope)
            return true;
    }
    return false;
}

void SessionKeyMonitor::deliver(Scope scope, const HeldKeys::Change& change) {
    // A handler may remove monitors (its own included): look each one up again before calling.
    std::vector<Handle> handles;
    for (const auto& [handle, monitor] : monitors_) {
        if (monitor.scope == scope)
            handles.push_back(handle);
    }
    for (const Handle handle : handles) {
        const auto found = monitors_.find(handle);
        if (found == monitors_.end())
            continue;
        // Copies: the handler may remove its own monitor while it runs.
        if (change.flags && found->second.flagsChanged) {
            const FlagsHandler handler = found->second.flagsChanged;
            handler(*change.flags);
        } else if (change.keyDown && found->second.keyDown) {
            const KeyDownHandler handler = found->second.keyDown;
            handler(*change.keyDown);
        }
    }
}

void SessionKeyMonitor::beginPosting() {
    if (stream_)
        stream_->beginPosting();
}

void SessionKeyMonitor::endPosting() {
    if (stream_)
        stream_->endPosting();
}

} // namespace sayloom::linux_desktop
