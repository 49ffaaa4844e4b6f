#pragma once

#include <QString>

// Xlib's types, without the macros its headers bring along (None, Bool, Status, KeyPress...),
// which clash with Qt's names.
struct _XDisplay;
using Display = _XDisplay;

namespace sayloom::linux_desktop {

// A connection of our own to the X server named by $DISPLAY, separate from Qt's. Errors on it
// (a window that went away between two requests) are recorded instead of ending the process.
// Main thread only.
class X11Connection {
public:
    X11Connection();
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    // Null when there is no X server to talk to (no $DISPLAY, or a Wayland session without
    // XWayland).
    Display* display() const { return display_; }

    // Whether the session is a Wayland one, whatever X server may run beside it.
    static bool isWaylandSession();

    // Runs `requests` and tells whether the server reported an error for any of them.
    template <typename F>
    bool withoutErrors(F&& requests) {
        const unsigned long before = errorCount();
        requests();
        sync();
        return errorCount() == before;
    }

private:
    static unsigned long errorCount();
    void sync();

    Display* display_ = nullptr;
};

} // namespace sayloom::linux_desktop
