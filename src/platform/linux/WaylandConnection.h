#pragma once

#include "support/Logger.h"

#include <QObject>

#include <chrono>
#include <memory>

class QSocketNotifier;
struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwlr_data_control_manager_v1;
struct org_kde_kwin_fake_input;

namespace sayloom::linux_desktop {

// A connection of our own to the Wayland compositor (Sayloom's windows go through XWayland), for
// the protocols that reach the whole session without a window: the seat's virtual keyboards and
// its clipboard. Events are dispatched from the event loop as they come, and from the bounded
// waits below; what is queued is sent before the event loop sleeps. Main thread only.
class WaylandConnection final : public QObject {
    Q_OBJECT
public:
    // How long the compositor may take to answer a request.
    static constexpr std::chrono::milliseconds kAnswerBound{3000};

    // Connects to the compositor of WAYLAND_DISPLAY and learns its globals; null when there is
    // none or it does not answer.
    static std::unique_ptr<WaylandConnection> connect();
    ~WaylandConnection() override;

    wl_display* display() const { return display_; }
    // The first seat; null when the compositor has none.
    wl_seat* seat() const { return seat_; }
    // Null when the compositor does not offer the protocol.
    zwp_virtual_keyboard_manager_v1* virtualKeyboardManager() const { return keyboards_; }
    zwlr_data_control_manager_v1* dataControlManager() const { return dataControl_; }
    // KDE's fake input, at a version that has keyboard keys.
    org_kde_kwin_fake_input* fakeInput() const { return fakeInput_; }

    // Sends what is queued and returns once the compositor has handled it, dispatching the events
    // that come meanwhile. False when the connection broke or no answer came within `bound`.
    bool roundtrip(std::chrono::milliseconds bound = kAnswerBound);
    // Sends what is queued. False when the connection broke.
    bool flush();
    // Dispatches events until `fd` can be read (or written, with `forWriting`), for at most
    // `bound`. False when the time ran out or the connection broke.
    bool waitUntilReady(int fd, bool forWriting, std::chrono::milliseconds bound);
    bool isBroken() const;

private:
    WaylandConnection(wl_display* display);
    // Reads and dispatches the events that have come; waits up to `timeoutMs` for the first, and
    // for `fd` too when it is not -1. Returns 1 when `fd` is ready, 0 otherwise, -1 on a broken
    // connection.
    int dispatchOnce(int timeoutMs, int fd = -1, short fdEvents = 0);
    void reportBroken();

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);
    static void globalRemove(void* data, wl_registry* registry, uint32_t name);

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards_ = nullptr;
    zwlr_data_control_manager_v1* dataControl_ = nullptr;
    org_kde_kwin_fake_input* fakeInput_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    bool reportedBroken_ = false;
    // Where the answer to a roundtrip that timed out lands, if it comes at all.
    bool lateAnswers_ = false;
    Logger log_{QStringLiteral("wayland")};
};

} // namespace sayloom::linux_desktop
