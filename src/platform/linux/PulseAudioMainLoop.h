#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

struct pa_context;
struct pa_threaded_mainloop;

namespace sayloom::linux_desktop {

// A libpulse threaded main loop: the thread on which a connection's callbacks run, the lock that
// every other thread holds while it touches the connection, and bounded waits for what those
// callbacks report. The connections made here never spawn a sound server.
class PulseAudioMainLoop {
public:
    // Holds the loop's lock for a scope. Callbacks already run with it held, so on the loop's own
    // thread (and for a loop that could not be created) it does nothing.
    class Lock {
    public:
        explicit Lock(const PulseAudioMainLoop& loop);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainloop_;
    };

    explicit PulseAudioMainLoop(const char* threadName);
    // Stops the thread (without the lock held) and frees the loop. Contexts of this loop must be
    // released before.
    ~PulseAudioMainLoop();
    PulseAudioMainLoop(const PulseAudioMainLoop&) = delete;
    PulseAudioMainLoop& operator=(const PulseAudioMainLoop&) = delete;

    // Null when libpulse could not create a loop.
    pa_threaded_mainloop* get() const { return mainloop_; }
    bool start();
    // Ends the thread; no callback runs afterwards. Call without the lock held.
    void stop();
    // Wakes the thread waiting in waitLocked(). Lock held.
    void signal();

    // A context that names the application to the server's mixers, or null.
    pa_context* newContext(const QString& applicationName) const;
    // Connects `context` to `server` (libpulse's notation, "unix:/path"), or to libpulse's default
    // (PULSE_SERVER, client.conf, then the user's runtime folder) when there is none. A desktop
    // without a server has no microphone for us, so this never starts one. Lock held.
    static bool connect(pa_context* context, const std::optional<QString>& server);

    // Waits (lock held) until `done` holds or the monotonic `deadline` passes; the alarm is a time
    // event of `context`'s loop. True when `done` holds.
    bool waitLocked(pa_context* context, const std::function<bool()>& done, std::uint64_t deadline);
    // A deadline for waitLocked(), `timeout` from now.
    static std::uint64_t deadlineAfter(std::chrono::milliseconds timeout);

private:
    pa_threaded_mainloop* mainloop_;
};

} // namespace sayloom::linux_desktop
