#include "platform/linux/AtspiApplicationElement.h"

#include "platform/linux/AtspiAccessibility.h"

namespace sayloom::linux_desktop {

AtspiApplicationElement::AtspiApplicationElement(AtspiAccessibility& accessibility)
    : accessibility_(accessibility) {}

AccessibilityRead AtspiApplicationElement::copyAttributeValue(const QString&) {
    return {ax_error::attributeUnsupported, {}};
}

AXError AtspiApplicationElement::setAttributeValue(const QString& attribute,
                                                   const AccessibilityValue& value) {
    if (attribute != QLatin1String("AXManualAccessibility"))
        return ax_error::attributeUnsupported;
    const auto* enabled = std::get_if<bool>(&value);
    if (!enabled)
        return ax_error::illegalArgument;
    // Turning the status off would take every other application's tree away too.
    return *enabled ? accessibility_.enableAccessibility(timeout_) : ax_error::success;
}

AccessibilityRead
AtspiApplicationElement::copyParameterizedAttributeValue(const QString&,
                                                         const AccessibilityValue&) {
    return {ax_error::attributeUnsupported, {}};
}

} // namespace sayloom::linux_desktop
