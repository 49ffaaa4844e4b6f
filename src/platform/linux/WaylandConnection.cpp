#include "platform/linux/WaylandConnection.h"

#include "fake-input-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sayloom::linux_desktop {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

} // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::connect() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display));
    static const wl_registry_listener listener{&WaylandConnection::global,
                                               &WaylandConnection::globalRemove};
    connection->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(connection->registry_, &listener, connection.get());
    if (!connection->roundtrip())
        return nullptr;
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display) : display_(display) {
    notifier_ = new QSocketNotifier(wl_display_get_fd(display_), QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { dispatchOnce(0); });
    // Requests made from event handlers go out before the event loop sleeps.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                         [this] { flush(); });
}

WaylandConnection::~WaylandConnection() {
    delete notifier_;
    if (keyboards_)
        zwp_virtual_keyboard_manager_v1_destroy(keyboards_);
    if (dataControl_)
        zwlr_data_control_manager_v1_destroy(dataControl_);
    // The protocol has no destructor request: the compositor forgets it with the connection.
    if (fakeInput_)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(fakeInput_));
    if (seat_)
        wl_seat_destroy(seat_);
    if (registry_)
        wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

void WaylandConnection::global(void* data, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    const auto bind = [&](const wl_interface* wanted, uint32_t highest) {
        return wl_registry_bind(registry, name, wanted, std::min(version, highest));
    };
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_)
        self->seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        self->keyboards_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
            bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    // Version 1 has the clipboard only, which is all we use.
    else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        self->dataControl_ = static_cast<zwlr_data_control_manager_v1*>(
            bind(&zwlr_data_control_manager_v1_interface, 1));
    // Keyboard keys came with version 4.
    else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        self->fakeInput_ =
            static_cast<org_kde_kwin_fake_input*>(bind(&org_kde_kwin_fake_input_interface, 4));
}

void WaylandConnection::globalRemove(void*, wl_registry*, uint32_t) {}

bool WaylandConnection::flush() {
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        reportBroken();
        return false;
    }
    return !isBroken();
}

bool WaylandConnection::isBroken() const { return wl_display_get_error(display_) != 0; }

void WaylandConnection::reportBroken() {
    if (reportedBroken_)
        return;
    reportedBroken_ = true;
    notifier_->setEnabled(false);
    log_.error("The connection to the Wayland compositor broke: %{public}s",
               QString::fromUtf8(std::strerror(wl_display_get_error(display_))));
}

int WaylandConnection::dispatchOnce(int timeoutMs, int fd, short fdEvents) {
    if (isBroken()) {
        reportBroken();
        return -1;
    }
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) {
            reportBroken();
            return -1;
        }
    }
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display_);
        reportBroken();
        return -1;
    }
    pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {fd, fdEvents, 0}};
    const int ready = poll(fds, fd >= 0 ? 2 : 1, timeoutMs);
    if (ready <= 0 || !(fds[0].revents & (POLLIN | POLLERR | POLLHUP))) {
        wl_display_cancel_read(display_);
    } else if (wl_display_read_events(display_) < 0) {
        reportBroken();
        return -1;
    }
    if (wl_display_dispatch_pending(display_) < 0) {
        reportBroken();
        return -1;
    }
    return fd >= 0 && ready > 0 && fds[1].revents != 0 ? 1 : 0;
}

bool WaylandConnection::roundtrip(std::chrono::milliseconds bound) {
    bool done = false;
    static const wl_callback_listener listener{[](void* data, wl_callback* callback, uint32_t) {
        *static_cast<bool*>(data) = true;
        wl_callback_destroy(callback);
    }};
    wl_callback* callback = wl_display_sync(display_);
    wl_callback_add_listener(callback, &listener, &done);
    const Clock::time_point deadline = Clock::now() + bound;
    while (!done) {
        if (dispatchOnce(remainingMs(deadline)) < 0)
            return false;
        if (!done && Clock::now() >= deadline) {
            // The callback may still come; it must not write to `done` then.
            wl_proxy_set_user_data(reinterpret_cast<wl_proxy*>(callback), &lateAnswers_);
            log_.error("The Wayland compositor did not answer within %ld ms",
                       static_cast<qint64>(bound.count()));
            return false;
        }
    }
    return true;
}

bool WaylandConnection::waitUntilReady(int fd, bool forWriting, std::chrono::milliseconds bound) {
    const Clock::time_point deadline = Clock::now() + bound;
    const short events = forWriting ? POLLOUT : POLLIN;
    for (;;) {
        const int ready = dispatchOnce(remainingMs(deadline), fd, events);
        if (ready != 0)
            return ready > 0;
        if (Clock::now() >= deadline)
            return false;
    }
}

} // namespace sayloom::linux_desktop
