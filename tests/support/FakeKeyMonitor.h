#pragma once

#include "hotkeys/KeyEventMonitor.h"

#include <map>

namespace sayloom::testing {

// A key monitor driven by the test: flags() and keyDown() reach the installed handlers of one
// scope, as a real monitor would hand them a key event.
class FakeKeyMonitor final : public KeyEventMonitor {
public:
    std::optional<Handle> addFlagsChangedMonitor(Scope scope, FlagsHandler handler) override {
        return add(scope, Monitor{scope, std::move(handler), {}});
    }
    std::optional<Handle> addKeyDownMonitor(Scope scope, KeyDownHandler handler) override {
        return add(scope, Monitor{scope, {}, std::move(handler)});
    }
    void removeMonitor(Handle handle) override {
        ++removals;
        monitors_.erase(handle);
    }
    void setKeyInterest(const KeyInterest& interest) override { interests.push_back(interest); }

    void flags(ModifierFlags value, Scope scope = Scope::global) {
        for (auto& [handle, monitor] : copy()) {
            if (monitor.scope == scope && monitor.flagsChanged)
                monitor.flagsChanged(value);
        }
    }
    void keyDown(KeyCode code, Scope scope = Scope::global) {
        for (auto& [handle, monitor] : copy()) {
            if (monitor.scope == scope && monitor.keyDown)
                monitor.keyDown(code);
        }
    }

    // Installed monitors of one scope.
    int installed(Scope scope) const {
        int count = 0;
        for (const auto& [handle, monitor] : monitors_)
            count += monitor.scope == scope ? 1 : 0;
        return count;
    }

    // Whether global monitors can be installed (an X11 session) or not (Wayland).
    bool globalInstallable = true;
    int additions = 0;
    int removals = 0;
    // Every key interest the manager reported, in order.
    std::vector<KeyInterest> interests;

private:
    struct Monitor {
        Scope scope;
        FlagsHandler flagsChanged;
        KeyDownHandler keyDown;
    };

    std::optional<Handle> add(Scope scope, Monitor monitor) {
        ++additions;
        if (scope == Scope::global && !globalInstallable)
            return std::nullopt;
        monitors_.emplace(next_, std::move(monitor));
        return next_++;
    }
    std::map<Handle, Monitor> copy() const { return monitors_; }

    std::map<Handle, Monitor> monitors_;
    Handle next_ = 1;
};

} // namespace sayloom::testing
