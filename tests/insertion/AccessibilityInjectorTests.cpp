#include "InsertionFakes.h"
#include "LogCapture.h"

#include "insertion/AccessibilityInjector.h"

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

const QString kCategory = QStringLiteral("ax-injector");

class AccessibilityInjectorTest : public ::testing::Test {
protected:
    AccessibilityInjectorTest() {
        access.focused->makeTextField(QStringLiteral("Hello world"), TextRange{5, 0});
    }

    LogCapture logs;
    FakeAccessibilityAccess access;
    FakeFrontmostApplication frontmost;
    AccessibilityInjector injector{access, frontmost};
};

TEST_F(AccessibilityInjectorTest, EmptyTextSucceedsWithoutAnyAccessibilityCall) {
    EXPECT_EQ(injector.insert(QString(), QStringLiteral("org.example.Editor")), std::nullopt);
    EXPECT_TRUE(access.systemWide->calls.isEmpty());
    EXPECT_TRUE(access.focused->calls.isEmpty());
}

TEST_F(AccessibilityInjectorTest, WritesTheTextAsTheSelectionWithBoundedCalls) {
    EXPECT_EQ(injector.insert(QStringLiteral("cafe\u0301s"), QStringLiteral("org.example.Editor")),
              std::nullopt);

    ASSERT_EQ(access.focused->writes.size(), 1u);
    EXPECT_EQ(access.focused->writes[0].first, QStringLiteral("AXSelectedText"));
    EXPECT_EQ(std::get<QString>(access.focused->writes[0].second), QStringLiteral("cafe\u0301s"));
    // Focus, role, web check, the write, and the field read before and after it.
    EXPECT_LE(access.elementCallCount(), 9);
    EXPECT_EQ(access.focused->fieldText(), QStringLiteral("Hellocafe\u0301s world"));
    // Both elements are bounded before their first call.
    EXPECT_EQ(access.systemWide->calls.first(), QStringLiteral("timeout 150"));
    EXPECT_EQ(access.focused->calls.first(), QStringLiteral("timeout 150"));
    // Characters, not code units: the combining accent belongs to its letter.
    EXPECT_TRUE(logs.contains(kCategory, LogLevel::debug,
                              QStringLiteral("AX insert ok into org.example.Editor (5 chars)")));

    injector.insert(QStringLiteral("x"), std::nullopt);
    EXPECT_TRUE(logs.contains(kCategory, LogLevel::debug,
                              QStringLiteral("AX insert ok into <unknown> (1 chars)")));
}

struct FocusedReadCase {
    const char* name;
    AXError error;
    AccessibilityValue value;
    InjectionError expected;
};

TEST_F(AccessibilityInjectorTest, FocusedElementReadOutcomesMapToErrors) {
    const std::vector<FocusedReadCase> cases = {
        {"no value", ax_error::noValue, {}, InjectionError::noFocusedElement()},
        {"unsupported", ax_error::attributeUnsupported, {}, InjectionError::noFocusedElement()},
        {"api disabled", ax_error::apiDisabled, {}, InjectionError::accessibilityNotGranted()},
        {"not implemented",
         ax_error::notImplemented,
         {},
         InjectionError::accessibilityNotGranted()},
        // A target that does not answer in time is not "nothing focused".
        {"cannot complete", ax_error::cannotComplete, {}, InjectionError::axFailure(-25204)},
        {"other failure", ax_error::failure, {}, InjectionError::axFailure(-25200)},
        {"success without value", ax_error::success, {}, InjectionError::noFocusedElement()},
        {"success with a string", ax_error::success, QStringLiteral("AXTextField"),
         InjectionError::noFocusedElement()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        access.setFocusedRead(c.error, c.value);
        EXPECT_EQ(injector.insert(QStringLiteral("text"), std::nullopt), c.expected);
        EXPECT_TRUE(access.focused->writes.empty());
    }
}

TEST_F(AccessibilityInjectorTest, RoleCheckAcceptsTextRolesAndSkipsUnreadableRoles) {
    struct Case {
        const char* name;
        AccessibilityRead role;
        bool written;
    };
    const std::vector<Case> cases = {
        {"text area", {ax_error::success, QStringLiteral("AXTextArea")}, true},
        {"combo box", {ax_error::success, QStringLiteral("AXComboBox")}, true},
        {"search field", {ax_error::success, QStringLiteral("AXSearchField")}, true},
        {"unknown role", {ax_error::success, QStringLiteral("AXUnknown")}, true},
        {"button", {ax_error::success, QStringLiteral("AXButton")}, false},
        {"unreadable role", {ax_error::cannotComplete, {}}, true},
        {"role without value", {ax_error::success, {}}, true},
        {"role that is no string", {ax_error::success, true}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        access.focused->writes.clear();
        access.focused->attributes[QStringLiteral("AXRole")] = c.role;
        const auto result = injector.insert(QStringLiteral("text"), std::nullopt);
        EXPECT_EQ(!access.focused->writes.empty(), c.written);
        const std::optional<InjectionError> expected =
            c.written ? std::nullopt : std::optional(InjectionError::notTextElement());
        EXPECT_EQ(result, expected);
    }
    EXPECT_TRUE(logs.contains(kCategory, LogLevel::debug,
                              QStringLiteral("Focused element role AXButton is not text-bearing")));
}

TEST_F(AccessibilityInjectorTest, WebElementIsRefusedEvenWithATextRole) {
    access.focused->attributes[QStringLiteral("AXRole")] = {ax_error::success,
                                                            QStringLiteral("AXTextArea")};
    // Whatever the value: a successful read is what marks web content.
    access.focused->attributes[QStringLiteral("AXDOMClassList")] = {ax_error::success, {}};

    EXPECT_EQ(injector.insert(QStringLiteral("text"), std::nullopt),
              InjectionError::notTextElement());
    EXPECT_TRUE(access.focused->writes.empty());
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::debug,
        QStringLiteral("Focused element is a web element — skipping AX, using clipboard path")));
}

TEST_F(AccessibilityInjectorTest, WriteOutcomesMapToErrors) {
    const std::vector<std::pair<AXError, std::optional<InjectionError>>> cases = {
        {ax_error::success, std::nullopt},
        {ax_error::apiDisabled, InjectionError::accessibilityNotGranted()},
        {ax_error::notImplemented, InjectionError::accessibilityNotGranted()},
        {ax_error::cannotComplete, InjectionError::temporarilyUnavailable()},
        {ax_error::attributeUnsupported, InjectionError::attributeNotSettable()},
        {ax_error::illegalArgument, InjectionError::attributeNotSettable()},
        {ax_error::failure, InjectionError::axFailure(-25200)},
        {ax_error::invalidElement, InjectionError::axFailure(-25202)},
    };
    for (const auto& [code, expected] : cases) {
        SCOPED_TRACE(code);
        access.focused->writeResult = code;
        EXPECT_EQ(injector.insert(QStringLiteral("text"), std::nullopt), expected);
    }
}

TEST_F(AccessibilityInjectorTest, AWriteThatLeavesTheFieldAsItWasIsNotASuccess) {
    struct Case {
        const char* name;
        TextRange selection;
        QString text;
        bool ignoresWrites;
        bool hidesText;
        bool tellsLength;
        std::optional<InjectionError> expected;
    };
    // The field holds "Hello world".
    const std::vector<Case> cases = {
        {"field takes the write", {5, 0}, ",", false, false, true, std::nullopt},
        {"field ignores the write", {5, 0}, ",", true, false, true, InjectionError::writeIgnored()},
        {"ignored, length untold", {5, 0}, ",", true, false, false, InjectionError::writeIgnored()},
        // A password field reads empty before and after: its length tells the write took.
        {"hidden text takes the write", {0, 0}, "secret", false, true, true, std::nullopt},
        {"hidden text ignores the write",
         {0, 0},
         "secret",
         true,
         true,
         true,
         InjectionError::writeIgnored()},
        {"selection replaced by text of its length",
         {6, 5},
         "earth",
         false,
         false,
         true,
         std::nullopt},
        // The field shows the text either way; a paste now would add it a second time.
        {"selection replaced by itself", {6, 5}, "world", false, false, true, std::nullopt},
        {"ignored over a selection of the same text",
         {6, 5},
         "world",
         true,
         false,
         true,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto field = std::make_shared<FakeAccessibilityElement>();
        field->ignoresWrites = c.ignoresWrites;
        field->hidesText = c.hidesText;
        field->tellsLength = c.tellsLength;
        field->makeTextField(QStringLiteral("Hello world"), c.selection);
        access.setFocused(field);
        EXPECT_EQ(injector.insert(c.text, std::nullopt), c.expected);
        // After a write that did not take, the selection is where it was for the paste.
        const auto selection = std::get<TextRange>(
            field->attributes.value(QStringLiteral("AXSelectedTextRange")).value);
        if (c.expected) {
            EXPECT_EQ(selection, c.selection);
        }
    }
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::debug,
        QStringLiteral("Focused element kept its text after the write — using clipboard path")));
}

TEST_F(AccessibilityInjectorTest, AFieldThatCannotBeReadIsTrustedWithTheWrite) {
    access.focused->ignoresWrites = true;
    for (const AXError error : {ax_error::noValue, ax_error::cannotComplete}) {
        SCOPED_TRACE(error);
        access.focused->attributes[QStringLiteral("AXValue")] = {error, {}};
        EXPECT_EQ(injector.insert(QStringLiteral("text"), std::nullopt), std::nullopt);
    }
}

TEST(InjectionErrorTest, DescriptionAndEqualityFollowTheCaseAndItsCode) {
    EXPECT_EQ(InjectionError::axFailure(-25204).description(), QStringLiteral("axFailure(-25204)"));
    EXPECT_EQ(InjectionError::attributeNotSettable().description(),
              QStringLiteral("attributeNotSettable"));
    EXPECT_EQ(InjectionError::axFailure(-25204), InjectionError::axFailure(-25204));
    EXPECT_NE(InjectionError::axFailure(-25204), InjectionError::axFailure(-25200));
    EXPECT_NE(InjectionError::noFocusedElement(), InjectionError::notTextElement());
}

// MARK: caret context

struct CaretCase {
    const char* name;
    QString text;
    TextRange range;
    bool rangeReadsWork;
    bool valueWorks;
    qint64 radius;
    std::optional<CaretContext> expected;
};

TEST_F(AccessibilityInjectorTest, CaretContextCutsAtUtf16OffsetsWithItsFallbacks) {
    const QString hundred = QString(50, QLatin1Char('a')) + QString(50, QLatin1Char('b'));
    const QString emojiText = QStringLiteral("x\U0001F600yz");
    const std::vector<CaretCase> cases = {
        {"caret at the start",
         QStringLiteral("Hello"),
         {0, 0},
         true,
         true,
         64,
         CaretContext{QString(), QStringLiteral("Hello")}},
        {"radius limits both sides",
         hundred,
         {70, 0},
         true,
         true,
         10,
         CaretContext{hundred.mid(60, 10), hundred.mid(70, 10)}},
        {"selection: the caret is its start",
         QStringLiteral("Hello world"),
         {6, 5},
         true,
         true,
         64,
         CaretContext{QStringLiteral("Hello "), QStringLiteral("world")}},
        {"range reads unsupported: cut from the value",
         QStringLiteral("Hello"),
         {5, 0},
         false,
         true,
         64,
         CaretContext{QStringLiteral("Hello"), QString()}},
        {"value cut near the end",
         hundred,
         {95, 0},
         false,
         true,
         10,
         CaretContext{hundred.mid(85, 10), hundred.mid(95, 5)}},
        // Offsets are UTF-16 units: a radius of 2 before "y" takes the emoji's two halves.
        {"surrogate pair counted as two units",
         emojiText,
         {3, 0},
         true,
         true,
         2,
         CaretContext{QStringLiteral("\U0001F600"), QStringLiteral("yz")}},
        {"cut inside a surrogate pair",
         emojiText,
         {3, 0},
         false,
         true,
         1,
         CaretContext{emojiText.mid(2, 1), QStringLiteral("y")}},
        {"both reads fail", QStringLiteral("Hello"), {3, 0}, false, false, 64, std::nullopt},
        {"caret beyond the value", QStringLiteral("Hi"), {5, 0}, false, true, 64, std::nullopt},
        {"caret at 0 needs nothing before",
         QStringLiteral("Hi"),
         {0, 0},
         false,
         false,
         64,
         CaretContext{QString(), std::nullopt}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto field = std::make_shared<FakeAccessibilityElement>();
        field->makeTextField(c.text, c.range);
        if (!c.rangeReadsWork)
            field->stringForRange = nullptr;
        if (!c.valueWorks)
            field->attributes[QStringLiteral("AXValue")] = {ax_error::noValue, {}};
        access.setFocused(field);
        access.systemWide->calls.clear();

        EXPECT_EQ(injector.caretContext(c.radius), c.expected);
        EXPECT_LE(field->calls.filter(QStringLiteral("read AXValue")).size(), 1);
        EXPECT_LE(access.elementCallCount(), 6);
    }
}

TEST_F(AccessibilityInjectorTest, CaretContextNeedsAFocusedElementAndARange) {
    access.setFocusedRead(ax_error::noValue);
    EXPECT_EQ(injector.caretContext(64), std::nullopt);

    access.setFocused(access.focused);
    access.focused->attributes[QStringLiteral("AXSelectedTextRange")] = {ax_error::success,
                                                                         QStringLiteral("5")};
    EXPECT_EQ(injector.caretContext(64), std::nullopt);
    access.focused->attributes[QStringLiteral("AXSelectedTextRange")] = {ax_error::cannotComplete,
                                                                         {}};
    EXPECT_EQ(injector.caretContext(64), std::nullopt);
}

TEST_F(AccessibilityInjectorTest, EmptyRangesAreNeverAskedFor) {
    access.focused->makeTextField(QStringLiteral("Hello"), TextRange{0, 0});
    injector.caretContext(0);
    EXPECT_TRUE(access.focused->calls.filter(QStringLiteral("param")).isEmpty());
}

// MARK: accessibility tree request

TEST_F(AccessibilityInjectorTest, TreeIsRequestedOncePerProcess) {
    EXPECT_FALSE(injector.requestAccessibilityTree());

    frontmost.application = RunningApplication{4242, QStringLiteral("org.example.Chat")};
    EXPECT_TRUE(injector.requestAccessibilityTree());
    EXPECT_FALSE(injector.requestAccessibilityTree());
    ASSERT_TRUE(access.applications.contains(4242));
    const auto& writes = access.applications[4242]->writes;
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].first, QStringLiteral("AXManualAccessibility"));
    EXPECT_EQ(std::get<bool>(writes[0].second), true);
    EXPECT_TRUE(
        logs.contains(kCategory, LogLevel::info,
                      QStringLiteral("Requested accessibility tree from org.example.Chat")));

    // A relaunched application is a new process, asked again even when its write fails.
    frontmost.application = RunningApplication{4343, std::nullopt};
    access.applicationElement(4343);
    access.applications[4343]->writeResult = ax_error::failure;
    EXPECT_TRUE(injector.requestAccessibilityTree());
    EXPECT_TRUE(logs.contains(kCategory, LogLevel::info,
                              QStringLiteral("Requested accessibility tree from unknown")));
}

} // namespace
