#include "platform/linux/AtspiFrontmostApplication.h"

#include "platform/linux/AtspiCall.h"
#include "platform/linux/ProcessApplicationId.h"

#include <atspi/atspi.h>

using namespace std::chrono_literals;

namespace sayloom::linux_desktop {

namespace {

// Each call is bounded: a frozen application must not hold up the dictation.
constexpr Duration kCallTimeout = 150ms;

bool isActive(AtspiAccessible* window) {
    AtspiStateSet* states = atspi_accessible_get_state_set(window);
    if (!states)
        return false;
    const bool active = atspi_state_set_contains(states, ATSPI_STATE_ACTIVE);
    g_object_unref(states);
    return active;
}

} // namespace

std::optional<RunningApplication> AtspiFrontmostApplication::frontmostApplication() {
    if (atspi_init() < 0)
        return std::nullopt;
    const AtspiRef desktop = adoptAccessible(atspi_get_desktop(0));
    if (!desktop)
        return std::nullopt;
    const gint applications = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (gint a = 0; a < applications; ++a) {
        AtspiCall call(clock_, kCallTimeout);
        const AtspiRef application =
            adoptAccessible(atspi_accessible_get_child_at_index(desktop.get(), a, call.error()));
        if (!application)
            continue;
        const gint windows = atspi_accessible_get_child_count(application.get(), nullptr);
        for (gint w = 0; w < windows; ++w) {
            const AtspiRef window =
                adoptAccessible(atspi_accessible_get_child_at_index(application.get(), w, nullptr));
            if (!window || !isActive(window.get()))
                continue;
            const qint64 pid = atspi_accessible_get_process_id(application.get(), nullptr);
            return RunningApplication{pid, applicationIdOfProcess(pid)};
        }
    }
    return std::nullopt;
}

} // namespace sayloom::linux_desktop
