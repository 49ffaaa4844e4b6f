#pragma once

#include <gio/gio.h>

#include <coroutine>
#include <functional>
#include <memory>

namespace sayloom::linux_desktop {

// Awaits one GIO-style asynchronous call (`something_async(..., callback, userData)`) from a
// coroutine, which resumes with the call's GAsyncResult to hand to the matching `_finish`.
//
// GLib delivers the callback through the main context of the thread that started the call. On
// the main thread that is the context Qt's own event loop runs, so the event loop goes on
// serving timers, input and network replies while the call (a D-Bus round trip, or an unlock
// prompt waiting for the user) is pending. Should Qt run without GLib (QT_NO_GLIB), a Qt timer
// drives the GLib context for as long as calls are pending.
class GAsyncAwaiter {
public:
    using Result = std::shared_ptr<GAsyncResult>;
    using Start = std::function<void(GAsyncReadyCallback callback, gpointer userData)>;

    explicit GAsyncAwaiter(Start start);

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle);
    Result await_resume() const { return state_->result; }

private:
    struct State {
        std::coroutine_handle<> handle;
        Result result;
    };

    static void completed(GObject* source, GAsyncResult* result, gpointer userData);

    Start start_;
    std::shared_ptr<State> state_;
};

} // namespace sayloom::linux_desktop
