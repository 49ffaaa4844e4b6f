#pragma once

#include "hotkeys/KeyEventMonitor.h"
#include "hotkeys/SyntheticKeyGuard.h"
#include "platform/linux/HeldKeys.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace sayloom::linux_desktop {

class ApplicationKeyFilter;

// Where a session's keys are read from: the X server, the kernel's input devices. The stream
// starts when it is opened and stops when it is destroyed. What it reads is queued and handed to
// its listener in order; the listener may destroy the stream.
class SessionKeyStream {
public:
    using Listener = std::function<void(const HeldKeys::Change& change)>;

    virtual ~SessionKeyStream();
    // Raises and lowers the guard of the keys Sayloom posts (see SyntheticKeyGuard).
    virtual void beginPosting() = 0;
    virtual void endPosting() = 0;

protected:
    explicit SessionKeyStream(Listener listener);

    void queue(const HeldKeys::Change& change) { pending_.push_back(change); }
    // Hands what is queued to the listener now, until the listener destroys the stream.
    void deliverPending();
    // Hands what is queued to the listener from the event loop.
    void scheduleDelivery();
    // The context of the stream's connections and queued deliveries: they end with it.
    QObject& context() { return context_; }

private:
    Listener listener_;
    std::deque<HeldKeys::Change> pending_;
    bool deliveryScheduled_ = false;
    QObject context_;
    // Cleared on destruction, so that delivery stops when a listener destroyed the stream.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A key monitor over a session key stream: global monitors read the session's keys from the
// stream, open while one is installed; local monitors read Qt's key events for our own windows.
// The stream already carries the keys aimed at our windows, so local monitors hear nothing while
// a global monitor is installed: each key reaches a client that installs both once. It is also
// the guard of the keys Sayloom posts, raised through to the stream. Main thread only.
class SessionKeyMonitor : public KeyEventMonitor, public SyntheticKeyGuard {
public:
    // Opens the stream; null when the session's keys cannot be read, with the reason written to
    // `failure`. The monitor logs a reason unless it is the last one again.
    using StreamOpener = std::function<std::unique_ptr<SessionKeyStream>(
        SessionKeyStream::Listener listener, QString& failure)>;

    explicit SessionKeyMonitor(StreamOpener openStream);
    ~SessionKeyMonitor() override;

    std::optional<Handle> addFlagsChangedMonitor(Scope scope, FlagsHandler handler) override;
    std::optional<Handle> addKeyDownMonitor(Scope scope, KeyDownHandler handler) override;
    void removeMonitor(Handle handle) override;

    void beginPosting() override;
    void endPosting() override;

    // Whether the session's keys are being read (a global monitor is installed).
    bool isObservingSession() const { return stream_ != nullptr; }

protected:
    SessionKeyStream* stream() const { return stream_.get(); }

private:
    struct Monitor {
        Scope scope;
        FlagsHandler flagsChanged;
        KeyDownHandler keyDown;
    };

    std::optional<Handle> add(Monitor monitor);
    void deliver(Scope scope, const HeldKeys::Change& change);
    bool hasMonitors(Scope scope) const;

    StreamOpener openStream_;
    std::map<Handle, Monitor> monitors_;
    Handle nextHandle_ = 1;
    std::unique_ptr<SessionKeyStream> stream_;
    std::unique_ptr<ApplicationKeyFilter> filter_;
    // Why the session's keys could not be read last time (logged once).
    QString lastFailure_;
};

} // namespace sayloom::linux_desktop
