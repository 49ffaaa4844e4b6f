#include "platform/linux/X11FrontmostApplication.h"

#include <QByteArray>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

namespace sayloom::linux_desktop {

namespace {

// One property of a window as raw bytes (8-bit data) or items (32-bit data, as longs).
struct Property {
    Atom type = 0;
    int format = 0;
    QByteArray bytes;
    std::vector<unsigned long> items;
};

std::optional<Property> readProperty(Display* display, Window window, const char* name) {
    const Atom atom = XInternAtom(display, name, False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, atom, 0, 1024, False, AnyPropertyType, &type, &format,
                           &count, &remaining, &data) != Success ||
        !data) {
        return std::nullopt;
    }
    Property property;
    property.type = type;
    property.format = format;
    if (format == 8) {
        property.bytes =
            QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
    } else if (format == 32) {
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        property.items.assign(longs, longs + count);
    }
    XFree(data);
    return property;
}

std::optional<qint64> clientProcess(Display* display, Window window) {
    int eventBase = 0, errorBase = 0;
    if (XResQueryExtension(display, &eventBase, &errorBase)) {
        XResClientIdSpec clientId{window, XRES_CLIENT_ID_PID_MASK};
        long count = 0;
        XResClientIdValue* values = nullptr;
        if (XResQueryClientIds(display, 1, &clientId, &count, &values) == Success) {
            std::optional<qint64> pid;
            for (long i = 0; i < count && !pid; ++i) {
                const pid_t found = XResGetClientPid(&values[i]);
                if (found > 0)
                    pid = found;
            }
            XResClientIdsDestroy(count, values);
            if (pid)
                return pid;
        }
    }
    if (const auto property = readProperty(display, window, "_NET_WM_PID");
        property && !property->items.empty())
        return static_cast<qint64>(property->items.front());
    return std::nullopt;
}

} // namespace

std::optional<RunningApplication> X11FrontmostApplication::frontmostApplication() {
    Display* display = connection_.display();
    if (!display)
        return std::nullopt;
    const auto active = readProperty(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW");
    if (!active || active->items.empty() || active->items.front() == 0)
        return std::nullopt;
    const Window window = active->items.front();

    RunningApplication application;
    application.processIdentifier = clientProcess(display, window).value_or(0);

    if (const auto gtkID = readProperty(display, window, "_GTK_APPLICATION_ID");
        gtkID && !gtkID->bytes.isEmpty()) {
        application.applicationID = QString::fromUtf8(gtkID->bytes);
    } else {
        XClassHint hint{nullptr, nullptr};
        if (XGetClassHint(display, window, &hint)) {
            const QString windowClass = QString::fromLocal8Bit(hint.res_class);
            if (hint.res_name)
                XFree(hint.res_name);
            if (hint.res_class)
                XFree(hint.res_class);
            if (!windowClass.isEmpty()) {
                application.applicationID =
                    desktopEntries_.desktopIDForWindowClass(windowClass).value_or(windowClass);
            }
        }
    }
    return application;
}

std::optional<QString> X11FrontmostApplication::frontmostApplicationID() {
    const auto application = frontmostApplication();
    return application ? application->applicationID : std::nullopt;
}

} // namespace sayloom::linux_desktop
