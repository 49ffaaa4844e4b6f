#pragma once

#include <functional>

namespace sayloom {

// A top-level window of the application, as the application shell handles it: shown, brought to
// the front, closed. The shell keeps it while it lives; a window the user closed stays (hidden)
// until the shell replaces it. It may be destroyed from inside one of its own callbacks (a button
// that closes it), so an implementation lets its widgets go on a later turn of the event loop.
class AppWindow {
public:
    virtual ~AppWindow() = default;

    virtual bool isVisible() const = 0;
    // Centres the window on the primary screen, shows it, raises it and asks the window manager
    // to activate it.
    virtual void present() = 0;
    // Raises and activates a window that is shown already.
    virtual void bringToFront() = 0;
    // Hides the window for good; `onClosed` does not fire for it.
    virtual void close() = 0;

    // Called when the user closes the window (its close button, Escape).
    std::function<void()> onClosed;
};

} // namespace sayloom
