#pragma once

#include "insertion/AccessibilityTrust.h"
#include "platform/linux/X11Connection.h"

#include <optional>

namespace sayloom::linux_desktop {

// "Trusted for accessibility" on the Linux desktop: an X11 session whose server offers XTest (to
// synthesise keys) and XInput 2.2 (to observe them). A Wayland session is not trusted, even where
// XWayland runs: its X server sees only the keys aimed at X clients, and its input goes nowhere
// else.
class X11SessionTrust final : public AccessibilityTrust {
public:
    bool isProcessTrusted() override;

private:
    X11Connection connection_;
    // The extensions of a server do not change while we are connected to it.
    std::optional<bool> extensionsPresent_;
};

} // namespace sayloom::linux_desktop
