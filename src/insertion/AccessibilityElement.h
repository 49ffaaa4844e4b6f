#pragma once

#include "insertion/AXError.h"
#include "support/Scheduler.h"

#include <QString>

#include <memory>
#include <variant>

namespace sayloom {

// A range of text in UTF-16 code units, whatever the toolkit behind the element counts in.
struct TextRange {
    qint64 location = 0;
    qint64 length = 0;

    friend bool operator==(const TextRange&, const TextRange&) = default;
};

class AccessibilityElement;

// What an attribute holds: nothing, a string, a Boolean, a number, a text range or another
// element.
using AccessibilityValue = std::variant<std::monostate, QString, bool, qint64, TextRange,
                                        std::shared_ptr<AccessibilityElement>>;

// The outcome of an attribute read: an error code and, on success, a value that may still be
// empty.
struct AccessibilityRead {
    AXError error = ax_error::success;
    AccessibilityValue value;
};

// One element of the desktop's accessibility tree, reached through named attributes:
//   "AXFocusedUIElement"  (system-wide element) the element with keyboard focus
//   "AXRole"              the role, in the vocabulary of AccessibilityInjector::textRoles()
//   "AXDOMClassList"      answers with success only for an element inside web content
//   "AXSelectedText"      written to replace the selection, or insert at the caret
//   "AXSelectedTextRange" the selection (its location is the caret when nothing is selected);
//                         written to select that range, or to put the caret at its location
//   "AXValue"             the whole text
//   "AXNumberOfCharacters" the length of the whole text, a number (UTF-16 units); told even by
//                         fields that hide their text, such as password fields
//   "AXStringForRange"    (parameterised by a TextRange) the text of that range
//   "AXManualAccessibility" (application element) written true to ask for the tree
class AccessibilityElement {
public:
    virtual ~AccessibilityElement() = default;

    // Bounds every later call on this element; a call that runs into it fails with
    // ax_error::cannotComplete.
    virtual void setMessagingTimeout(Duration timeout) = 0;
    virtual AccessibilityRead copyAttributeValue(const QString& attribute) = 0;
    virtual AXError setAttributeValue(const QString& attribute,
                                      const AccessibilityValue& value) = 0;
    virtual AccessibilityRead
    copyParameterizedAttributeValue(const QString& attribute,
                                    const AccessibilityValue& parameter) = 0;
};

// Where the injector reaches the desktop's accessibility tree. Main thread only.
class AccessibilityAccess {
public:
    virtual ~AccessibilityAccess() = default;

    // The element that answers for the whole desktop ("AXFocusedUIElement").
    virtual std::shared_ptr<AccessibilityElement> systemWideElement() = 0;
    // The element of one running application, by process identifier.
    virtual std::shared_ptr<AccessibilityElement> applicationElement(qint64 processIdentifier) = 0;
};

} // namespace sayloom
