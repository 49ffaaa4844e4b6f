#include "platform/linux/XInput2KeyMonitor.h"

#include "platform/linux/ApplicationKeyFilter.h"
#include "platform/linux/XInput2KeyStream.h"

#include <vector>

namespace sayloom::linux_desktop {

XInput2KeyMonitor::XInput2KeyMonitor() = default;

XInput2KeyMonitor::~XInput2KeyMonitor() = default;

std::optional<KeyEventMonitor::Handle>
XInput2KeyMonitor::addFlagsChangedMonitor(Scope scope, FlagsHandler handler) {
    return add(Monitor{scope, std::move(handler), {}});
}

std::optional<KeyEventMonitor::Handle>
XInput2KeyMonitor::addKeyDownMonitor(Scope scope, KeyDownHandler handler) {
    return add(Monitor{scope, {}, std::move(handler)});
}

std::optional<KeyEventMonitor::Handle> XInput2KeyMonitor::add(Monitor monitor) {
    if (monitor.scope == Scope::global && !stream_) {
        stream_ = XInput2KeyStream::open(
            [this](const HeldKeys::Change& change) { deliver(Scope::global, change); },
            lastFailure_);
        if (!stream_)
            return std::nullopt;
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

void XInput2KeyMonitor::removeMonitor(Handle handle) {
    monitors_.erase(handle);
    if (!hasMonitors(Scope::global))
        stream_.reset();
    if (!hasMonitors(Scope::local))
        filter_.reset();
}

bool XInput2KeyMonitor::hasMonitors(Scope scope) const {
    for (const auto& [handle, monitor] : monitors_) {
        if (monitor.scope == scope)
            return true;
    }
    return false;
}

void XInput2KeyMonitor::deliver(Scope scope, const HeldKeys::Change& change) {
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

void XInput2KeyMonitor::beginPosting() {
    if (stream_)
        stream_->beginPosting();
}

void XInput2KeyMonitor::endPosting() {
    if (stream_)
        stream_->endPosting();
}

} // namespace sayloom::linux_desktop
