#include "platform/linux/GAsyncAwaiter.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

namespace sayloom::linux_desktop {

namespace {

int pendingCalls = 0;

bool qtRunsGlib() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

// Only without Qt's GLib dispatcher: iterates the default GLib context while calls are pending.
void drivePendingCalls() {
    static QTimer* timer = nullptr;
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            if (pendingCalls == 0)
                timer->stop();
        });
    }
    if (!timer->isActive())
        timer->start();
}

} // namespace

GAsyncAwaiter::GAsyncAwaiter(Start start)
    : start_(std::move(start))
    , state_(std::make_shared<State>()) {}

void GAsyncAwaiter::await_suspend(std::coroutine_handle<> handle) {
    state_->handle = handle;
    ++pendingCalls;
    start_(&GAsyncAwaiter::completed, new std::shared_ptr<State>(state_));
    if (!qtRunsGlib())
        drivePendingCalls();
}

void GAsyncAwaiter::completed(GObject*, GAsyncResult* result, gpointer userData) {
    const std::unique_ptr<std::shared_ptr<State>> slot(
        static_cast<std::shared_ptr<State>*>(userData));
    const std::shared_ptr<State> state = *slot;
    --pendingCalls;
    g_object_ref(result);
    state->result = Result(result, [](GAsyncResult* r) { g_object_unref(r); });
    state->handle.resume();
}

} // namespace sayloom::linux_desktop
