#include "platform/linux/AtspiTextElement.h"

#include <atspi/atspi.h>

#include <gtest/gtest.h>

using sayloom::linux_desktop::AtspiTextElement;

namespace {

// AT-SPI reports Qt's and GTK's text fields all as "text": editability and line count decide
// what the injector sees.
TEST(AtspiRoleMappingTest, TextRolesDependOnEditabilityAndLines) {
    struct Case {
        AtspiRole role;
        bool editable;
        bool singleLine;
        bool multiLine;
        const char* expected;
    };
    const Case cases[] = {
        {ATSPI_ROLE_TEXT, true, true, false, "AXTextField"},    // QLineEdit, GtkEntry
        {ATSPI_ROLE_TEXT, true, false, true, "AXTextArea"},     // QTextEdit, GtkTextView
        {ATSPI_ROLE_TEXT, true, false, false, "AXTextArea"},    // no line state declared
        {ATSPI_ROLE_TEXT, false, false, true, "AXStaticText"},  // read-only text
        {ATSPI_ROLE_ENTRY, true, false, false, "AXTextField"},  // entries are single-line
        {ATSPI_ROLE_ENTRY, false, true, false, "AXStaticText"}, // read-only entry
        {ATSPI_ROLE_PASSWORD_TEXT, true, true, false, "AXTextField"},
        {ATSPI_ROLE_PARAGRAPH, true, false, false, "AXTextArea"}, // office documents
        {ATSPI_ROLE_COMBO_BOX, false, false, false, "AXComboBox"},
        {ATSPI_ROLE_TERMINAL, false, false, false, "AXTextArea"},
        {ATSPI_ROLE_UNKNOWN, false, false, false, "AXUnknown"},
        {ATSPI_ROLE_PUSH_BUTTON, false, false, false, "push button"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(AtspiTextElement::roleName(c.role, c.editable, c.singleLine, c.multiLine),
                  QString::fromLatin1(c.expected));
    }
}

} // namespace
