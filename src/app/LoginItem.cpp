#include "app/LoginItem.h"

namespace sayloom {

void LoginItem::setLaunchAtLogin(bool enabled) {
    if (enabled) {
        if (const auto error = service_.registerApplication())
            log_.error("Failed to %s: %s", "register", *error);
        else
            log_.info("Registered as login item");
    } else {
        if (const auto error = service_.unregisterApplication())
            log_.error("Failed to %s: %s", "unregister", *error);
        else
            log_.info("Unregistered login item");
    }
}

} // namespace sayloom
