#pragma once

#include "insertion/AccessibilityElement.h"

namespace sayloom::linux_desktop {

class AtspiAccessibility;

// The desktop as a whole: answers "AXFocusedUIElement".
class AtspiSystemWideElement final : public AccessibilityElement {
public:
    explicit AtspiSystemWideElement(AtspiAccessibility& accessibility);

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
