#pragma once

#include "hotkeys/KeyEventMonitor.h"
#include "hotkeys/SyntheticKeyGuard.h"
#include "platform/linux/HeldKeys.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <set>

namespace sayloom::linux_desktop {

class ApplicationKeyFilter;
class EvdevKeyStream;

// The key monitor of sessions whose keys only the kernel's input devices tell in full (a
// Wayland session, where nothing else sees a key's release): global monitors read every
// keyboard among /dev/input/event* (the user in the "input" group), local monitors read Qt's
// key events for our own windows. The devices already carry the keys aimed at our windows, so
// local monitors hear nothing while a global monitor is installed: each key reaches a client that
// installs both once.
//
// Key roles as on X11, decided by the session's keyboard layout: Shift raises Shift, Left Ctrl
// raises Control, Alt raises Option (not AltGr), and Right Ctrl raises Function alone. Escape,
// Space and Return go down with their own key codes, every other key with `key_codes::other`.
//
// It is also the guard of the keys Sayloom posts: while the key poster raises it, key presses
// are ignored (posted keys come back, if at all, through the compositor's virtual devices).
// Main thread only.
class EvdevKeyMonitor final : public KeyEventMonitor, public SyntheticKeyGuard {
public:
    EvdevKeyMonitor();
    ~EvdevKeyMonitor() override;

    std::optional<Handle> addFlagsChangedMonitor(Scope scope, FlagsHandler handler) override;
    std::optional<Handle> addKeyDownMonitor(Scope scope, KeyDownHandler handler) override;
    void removeMonitor(Handle handle) override;
    Capabilities capabilities() const override {
        return {.distinguishesLeftFromRight = true, .bindsKeysOnTheFly = false};
    }

    void beginPosting() override;
    void endPosting() override;

    // Whether the session's keys are being read (a global monitor is installed).
    bool isObservingSession() const { return stream_ != nullptr; }
    // The device nodes of the keyboards being read.
    std::set<QByteArray> keyboards() const;

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
    std::unique_ptr<EvdevKeyStream> stream_;
    std::unique_ptr<ApplicationKeyFilter> filter_;
    // Why the keyboards could not be read last time (logged once).
    QString lastFailure_;
};

} // namespace sayloom::linux_desktop
