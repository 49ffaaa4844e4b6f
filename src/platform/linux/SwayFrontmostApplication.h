#pragma once

#include "insertion/FrontmostApplication.h"
#include "platform/linux/DesktopEntryIndex.h"

#include <QJsonObject>

namespace sayloom::linux_desktop {

// The application whose window has the keyboard in sway, as its tree over the IPC socket
// (SWAYSOCK) tells: Wayland and X clients alike, those off the accessibility bus (terminals)
// included. Its identifier is the window's Wayland application id, or an X window's class, each
// mapped to the desktop file that names it as its window class where one does. Asks sway at each
// call, within a bounded time (it blocks that long). Main thread only.
class SwayFrontmostApplication final : public FrontmostApplicationSource {
public:
    static constexpr int kTimeoutMs = 500;

    std::optional<RunningApplication> frontmostApplication() override;

    // The focused window of a tree as sway's GET_TREE reply gives it; its identifier as the
    // window names it.
    static std::optional<RunningApplication> focusedIn(const QJsonObject& tree);

private:
    DesktopEntryIndex desktopEntries_;
};

} // namespace sayloom::linux_desktop
