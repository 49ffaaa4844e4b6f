#pragma once

#include "insertion/FrontmostApplication.h"
#include "platform/linux/DesktopEntryIndex.h"
#include "platform/linux/X11Connection.h"

namespace sayloom::linux_desktop {

// The application of the active window (_NET_ACTIVE_WINDOW, kept by the window manager). Its
// identifier is the window's _GTK_APPLICATION_ID, else the id of the desktop file whose
// StartupWMClass names the window's class, else the WM_CLASS class itself; its process is the
// one the X server knows as the window's client (X-Resource), else _NET_WM_PID.
class X11FrontmostApplication final : public FrontmostApplicationSource {
public:
    std::optional<RunningApplication> frontmostApplication() override;

    // The identifier alone, as the injector's provider wants it.
    std::optional<QString> frontmostApplicationID();

private:
    X11Connection connection_;
    DesktopEntryIndex desktopEntries_;
};

} // namespace sayloom::linux_desktop
