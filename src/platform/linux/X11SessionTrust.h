#pragma once

#include "insertion/AccessibilityTrust.h"
#include "platform/linux/X11Connection.h"

#include <optional>

namespace sayloom::linux_desktop {

// Whether an X11 session lets us observe its keys (its server offers XInput 2.2) or post keys
// (XTest), or both. A Wayland session is not trusted for either, even where XWayland runs: its X
// server sees only the keys aimed at X clients, and its input goes nowhere else.
class X11SessionTrust final : public AccessibilityTrust {
public:
    enum class Use { observingKeys, postingKeys, both };

    explicit X11SessionTrust(Use use = Use::both) : use_(use) {}
    bool isProcessTrusted() override;

private:
    Use use_;
    X11Connection connection_;
    // The extensions of a server do not change while we are connected to it.
    std::optional<bool> extensionsPresent_;
};

} // namespace sayloom::linux_desktop
