#include "platform/linux/ApplicationKeyFilter.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include <X11/keysym.h>

namespace sayloom::linux_desktop {

namespace {

// Qt reports the keysym as the native virtual key on X11 and on Wayland; events made by Qt
// itself (or by tests) may carry only the Qt key, which cannot tell left from right.
unsigned long keysymOf(const QKeyEvent& event) {
    if (event.nativeVirtualKey() != 0)
        return event.nativeVirtualKey();
    switch (event.key()) {
    case Qt::Key_Shift:
        return XK_Shift_L;
    case Qt::Key_Control:
        return XK_Control_L;
    case Qt::Key_Alt:
        return XK_Alt_L;
    case Qt::Key_Escape:
        return XK_Escape;
    case Qt::Key_Space:
        return XK_space;
    case Qt::Key_Return:
        return XK_Return;
    default:
        return 0;
    }
}

// The physical key: its scan code (the X keycode under X11), or the Qt key without one.
unsigned keyOf(const QKeyEvent& event) {
    if (event.nativeScanCode() != 0)
        return event.nativeScanCode();
    return (1u << 31) | static_cast<unsigned>(event.key());
}

} // namespace

ApplicationKeyFilter::ApplicationKeyFilter(Listener listener) : listener_(std::move(listener)) {
    if (auto* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

bool ApplicationKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    // Key and focus events go to the window first, then to its widgets: take them once, at the
    // window.
    if (!watched->isWindowType())
        return false;
    // Releases that happen while another window has the keyboard never reach us.
    if (type == QEvent::FocusOut) {
        releaseAll();
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    const auto& keyEvent = static_cast<const QKeyEvent&>(*event);
    // Qt sends an auto-repeat as a release and a press of a key that stays down.
    if (keyEvent.isAutoRepeat())
        return false;
    const unsigned key = keyOf(keyEvent);
    const HeldKeys::Change change =
        type == QEvent::KeyPress ? held_.press(key, HeldKeys::roleOfKeysym(keysymOf(keyEvent)))
                                 : held_.release(key);
    if (change.flags || change.keyDown)
        listener_(change);
    return false;
}

void ApplicationKeyFilter::releaseAll() {
    const ModifierFlags before = held_.flags();
    held_.clear();
    if (before != 0)
        listener_(HeldKeys::Change{.flags = ModifierFlags{0}, .keyDown = std::nullopt});
}

} // namespace sayloom::linux_desktop
