#include "platform/linux/AtspiSystemWideElement.h"

#include "platform/linux/AtspiAccessibility.h"

namespace sayloom::linux_desktop {

AtspiSystemWideElement::AtspiSystemWideElement(AtspiAccessibility& accessibility)
    : accessibility_(accessibility) {}

AccessibilityRead AtspiSystemWideElement::copyAttributeValue(const QString& attribute) {
    if (attribute == QLatin1String("AXFocusedUIElement"))
        return accessibility_.focusedElement(timeout_);
    return {ax_error::attributeUnsupported, {}};
}

AXError AtspiSystemWideElement::setAttributeValue(const QString&, const AccessibilityValue&) {
    return ax_error::attributeUnsupported;
}

AccessibilityRead
AtspiSystemWideElement::copyParameterizedAttributeValue(const QString&, const AccessibilityValue&) {
    return {ax_error::attributeUnsupported, {}};
}

} // namespace sayloom::linux_desktop
