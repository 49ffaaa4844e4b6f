#pragma once

#include "insertion/AccessibilityElement.h"

namespace sayloom::linux_desktop {

class AtspiAccessibility;

// One running application. "AXManualAccessibility" written true asks for its tree; the desktop
// has no per-application switch, so this turns on the accessibility bus's status for every
// application started from then on.
class AtspiApplicationElement final : public AccessibilityElement {
public:
    explicit AtspiApplicationElement(AtspiAccessibility& accessibility);

    void setMessagingTimeout(Duration timeout) override { timeout_ = timeout; }
    AccessibilityRead copyAttributeValue(const QString& attribute) override;
    AXError setAttributeValue(const QString& attribute, const AccessibilityValue& value) override;
    AccessibilityRead copyParameterizedAttributeValue(const QString& attribute,
                                                      const AccessibilityValue& parameter) override;

private:
    AtspiAccessibility& accessibility_;
    Duration timeout_ = std::chrono::milliseconds(150);
};

} // namespace sayloom::linux_desktop
