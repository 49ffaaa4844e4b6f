#pragma once

#include "hotkeys/KeyEventMonitor.h"
#include "hotkeys/SyntheticKeyGuard.h"
#include "platform/linux/HeldKeys.h"

#include <QString>

#include <map>
#include <memory>

namespace sayloom::linux_desktop {

class ApplicationKeyFilter;
class XInput2KeyStream;

// The key monitor of the Linux desktop. Global monitors read XInput 2.2 raw key events of the
// X11 session (they cannot be installed in a Wayland session, where the X server sees only the
// keys aimed at X clients, nor without XInput 2.2); local monitors read Qt's key events for our
// own windows. Raw events already include the keys aimed at our windows, so local monitors hear
// nothing while a global monitor is installed: each key reaches a client that installs both
// once.
//
// Key roles: Shift (left or right) raises Shift, Left Ctrl raises Control, Alt raises Option,
// and Right Ctrl raises Function alone, standing in for the Fn key X11 never sees. Escape, Space
// and Return go down with their own key codes, every other key with `key_codes::other`.
//
// It is also the guard of the keys Sayloom posts: the key poster raises it around its posting,
// and key presses from the XTest keyboards are then ignored. Main thread only.
class XInput2KeyMonitor final : public KeyEventMonitor, public SyntheticKeyGuard {
public:
    XInput2KeyMonitor();
    ~XInput2KeyMonitor() override;

    std::optional<Handle> addFlagsChangedMonitor(Scope scope, FlagsHandler handler) override;
    std::optional<Handle> addKeyDownMonitor(Scope scope, KeyDownHandler handler) override;
    void removeMonitor(Handle handle) override;

    void beginPosting() override;
    void endPosting() override;

    // Whether the session's keys are being read (a global monitor is installed).
    bool isObservingSession() const { return stream_ != nullptr; }

private:
    struct Monitor {
        Scope scope;
        FlagsHandler flagsChanged;
        KeyDownHandler keyDown;
    };

    std::optional<Handle> add(Monitor monitor);
    void deliver(Scope scope, const HeldKeys::Change& change);
    bool hasMonitors(Scope scope) const;

    std::map<Handle, Monitor> monitors_;
    Handle nextHandle_ = 1;
    std::unique_ptr<XInput2KeyStream> stream_;
    std::unique_ptr<ApplicationKeyFilter> filter_;
    // Why the session's keys could not be read last time (logged once).
    QString lastFailure_;
};

} // namespace sayloom::linux_desktop
