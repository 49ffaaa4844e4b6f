#pragma once

#include "insertion/AccessibilityElement.h"
#include "platform/linux/AtspiCall.h"

#include <optional>

namespace sayloom::linux_desktop {

// The focused accessible object, answering the injector's attributes through AT-SPI.
//
// Role ("AXRole"). AT-SPI reports Qt's QLineEdit and QTextEdit and GTK's GtkEntry and
// GtkTextView all as "text"; what matters is whether the user can edit them:
//   text, entry, password text, edit bar, paragraph, document text, editable
//     single-line (and every entry, password text and edit bar)  -> "AXTextField"
//     multi-line or undeclared                                     -> "AXTextArea"
//     not editable                                                 -> "AXStaticText"
//   combo box                                                      -> "AXComboBox"
//   terminal                                                       -> "AXTextArea"
//   unknown, invalid                                               -> "AXUnknown"
//   any other role                                                 -> its AT-SPI name ("push
//   button")
// AT-SPI has no search-field role: search entries come as entries, hence text fields.
//
// Web content ("AXDOMClassList") is any object inside a web document (Gecko or Chromium
// content, Electron applications included).
//
// Offsets. The injector counts UTF-16 units. AT-SPI counts characters (code points), and GTK and
// the web engines do so, but Qt counts UTF-16 units; and the length passed with inserted text
// is read as bytes by GTK and as UTF-16 units by Qt. Qt's objects are used as they are;
// everyone else's offsets are converted through the field's text. The length
// ("AXNumberOfCharacters") is Qt's own count for Qt, and the length of the text for the others.
class AtspiTextElement final : public AccessibilityElement {
public:
    AtspiTextElement(AtspiRef accessible, const Scheduler& clock);

    void setMessagingTimeout(Duration timeout) override { timeout_ = timeout; }
    AccessibilityRead copyAttributeValue(const QString& attribute) override;
    AXError setAttributeValue(const QString& attribute, const AccessibilityValue& value) override;
    AccessibilityRead copyParameterizedAttributeValue(const QString& attribute,
                                                      const AccessibilityValue& parameter) override;

    // The AX role for an AT-SPI role and the object's states (see above).
    static QString roleName(int atspiRole, bool editable, bool singleLine, bool multiLine);

private:
    // The caret or selection in the toolkit's own units.
    struct NativeSelection {
        int start = 0;
        int end = 0;
    };

    AccessibilityRead role();
    AccessibilityRead webContent();
    AccessibilityRead selectedRange();
    AccessibilityRead value();
    AccessibilityRead characterCount();
    AccessibilityRead stringForRange(TextRange range);
    AXError replaceSelection(const QString& text);
    AXError select(TextRange range);

    AXError nativeSelection(NativeSelection& selection);
    // The field's whole text, read once per element.
    AXError wholeText(QString& text);
    bool countsUtf16();

    AtspiRef accessible_;
    const Scheduler& clock_;
    Duration timeout_ = std::chrono::milliseconds(150);
    std::optional<bool> utf16_;
    std::optional<QString> text_;
};

} // namespace sayloom::linux_desktop
