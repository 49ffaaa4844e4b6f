#include "insertion/InjectionError.h"

namespace sayloom {

QString InjectionError::description() const {
    switch (case_) {
    case Case::axFailure:
        return QStringLiteral("axFailure(%1)").arg(code_);
    case Case::accessibilityNotGranted:
        return QStringLiteral("accessibilityNotGranted");
    case Case::noFocusedElement:
        return QStringLiteral("noFocusedElement");
    case Case::notTextElement:
        return QStringLiteral("notTextElement");
    case Case::temporarilyUnavailable:
        return QStringLiteral("temporarilyUnavailable");
    case Case::attributeNotSettable:
        return QStringLiteral("attributeNotSettable");
    case Case::writeIgnored:
        return QStringLiteral("writeIgnored");
    }
    return QStringLiteral("axFailure(%1)").arg(code_);
}

} // namespace sayloom
