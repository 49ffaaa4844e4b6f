#pragma once

#include "insertion/FrontmostApplication.h"
#include "support/Scheduler.h"

namespace sayloom::linux_desktop {

// The frontmost application as the accessibility bus tells it: the application whose window is
// active, named by its desktop-file id (from its systemd scope) or its process name. For Wayland
// sessions, where the X server sees only the windows of X clients; an application that is not on
// the accessibility bus goes unseen. Main thread only.
class AtspiFrontmostApplication final : public FrontmostApplicationSource {
public:
    explicit AtspiFrontmostApplication(const Scheduler& clock) : clock_(clock) {}

    std::optional<RunningApplication> frontmostApplication() override;

private:
    const Scheduler& clock_;
};

} // namespace sayloom::linux_desktop
