#include "platform/linux/X11Connection.h"

#include <QByteArray>

#include <X11/Xlib.h>

#include <atomic>

namespace sayloom::linux_desktop {

namespace {

std::atomic<unsigned long> errors{0};

// Xlib's default handler exits the process on any error; a window closing between our
// GetProperty requests is no reason for that.
int recordError(Display*, XErrorEvent*) {
    ++errors;
    return 0;
}

} // namespace

X11Connection::X11Connection() {
    static const bool handlerInstalled = [] {
        XSetErrorHandler(recordError);
        return true;
    }();
    (void)handlerInstalled;
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        display_ = XOpenDisplay(nullptr);
}

X11Connection::~X11Connection() {
    if (display_)
        XCloseDisplay(display_);
}

bool X11Connection::isWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE")
                   .compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
}

unsigned long X11Connection::errorCount() { return errors.load(); }

void X11Connection::sync() {
    if (display_)
        XSync(display_, False);
}

} // namespace sayloom::linux_desktop
