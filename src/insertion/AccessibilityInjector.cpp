#include "insertion/AccessibilityInjector.h"

#include "support/TextMetrics.h"

#include <algorithm>

namespace sayloom {

namespace {

std::optional<QString> stringIn(const AccessibilityValue& value) {
    if (const auto* text = std::get_if<QString>(&value))
        return *text;
    return std::nullopt;
}

// The UTF-16 units from `from` to `to` of `text`, when 0 <= from <= to <= its length.
std::optional<QString> cut(const QString& text, qint64 from, qint64 to) {
    if (from < 0 || from > to || to > text.size())
        return std::nullopt;
    return text.mid(from, to - from);
}

// A field's whole text and, when it tells, its length: what the readback compares before and
// after a write. The length catches fields that hide their text (a password field reads empty
// whatever it holds).
struct FieldText {
    QString text;
    std::optional<qint64> length;

    friend bool operator==(const FieldText&, const FieldText&) = default;
};

// Nothing when the text cannot be read: the readback then has nothing to compare.
std::optional<FieldText> readFieldText(AccessibilityElement& element) {
    const AccessibilityRead value = element.copyAttributeValue(QStringLiteral("AXValue"));
    const std::optional<QString> text =
        value.error == ax_error::success ? stringIn(value.value) : std::nullopt;
    if (!text)
        return std::nullopt;
    const AccessibilityRead count =
        element.copyAttributeValue(QStringLiteral("AXNumberOfCharacters"));
    const auto* length =
        count.error == ax_error::success ? std::get_if<qint64>(&count.value) : nullptr;
    return FieldText{*text, length ? std::optional<qint64>(*length) : std::nullopt};
}

std::optional<TextRange> readSelection(AccessibilityElement& element) {
    const AccessibilityRead read =
        element.copyAttributeValue(QStringLiteral("AXSelectedTextRange"));
    const auto* range = std::get_if<TextRange>(&read.value);
    if (read.error != ax_error::success || !range)
        return std::nullopt;
    return *range;
}

} // namespace

AccessibilityInjector::AccessibilityInjector(AccessibilityAccess& access,
                                             FrontmostApplicationSource& frontmost)
    : access_(access)
    , frontmost_(frontmost) {}

const QStringList& AccessibilityInjector::textRoles() {
    static const QStringList roles = {QStringLiteral("AXTextField"), QStringLiteral("AXTextArea"),
                                      QStringLiteral("AXComboBox"), QStringLiteral("AXSearchField"),
                                      QStringLiteral("AXUnknown")};
    return roles;
}

std::optional<InjectionError>
AccessibilityInjector::insert(const QString& text, const std::optional<QString>& bundleID) {
    if (text.isEmpty())
        return std::nullopt;

    const auto systemWide = access_.systemWideElement();
    systemWide->setMessagingTimeout(kMessagingTimeout);
    const AccessibilityRead focusedRead =
        systemWide->copyAttributeValue(QStringLiteral("AXFocusedUIElement"));
    switch (focusedRead.error) {
    case ax_error::success:
        break;
    case ax_error::noValue:
    case ax_error::attributeUnsupported:
        return InjectionError::noFocusedElement();
    case ax_error::apiDisabled:
    case ax_error::notImplemented:
        return InjectionError::accessibilityNotGranted();
    default:
        return InjectionError::axFailure(focusedRead.error);
    }
    const auto* focusedHandle =
        std::get_if<std::shared_ptr<AccessibilityElement>>(&focusedRead.value);
    if (!focusedHandle || !*focusedHandle)
        return InjectionError::noFocusedElement();
    AccessibilityElement& focused = **focusedHandle;
    focused.setMessagingTimeout(kMessagingTimeout);

    // A role that cannot be read does not block the insertion: the write below decides.
    const AccessibilityRead roleRead = focused.copyAttributeValue(QStringLiteral("AXRole"));
    if (roleRead.error == ax_error::success) {
        if (const auto role = stringIn(roleRead.value); role && !textRoles().contains(*role)) {
            log_.debug("Focused element role %{public}s is not text-bearing", *role);
            return InjectionError::notTextElement();
        }
    }

    // Web content edits its fields through its own scripts; writing underneath them corrupts
    // their state, so such fields get the clipboard instead.
    if (focused.copyAttributeValue(QStringLiteral("AXDOMClassList")).error == ax_error::success) {
        log_.debug("Focused element is a web element — skipping AX, using clipboard path");
        return InjectionError::notTextElement();
    }

    // Some fields answer the write with success and keep their text as it was: the transcript
    // would then be lost without a word. What the field held is read before the write and
    // compared after it. Replacing a selection with the same text changes nothing either, but
    // then the text is where it should be.
    const std::optional<FieldText> before = readFieldText(focused);
    const std::optional<TextRange> selection = before ? readSelection(focused) : std::nullopt;
    const bool replacesWithItself =
        selection &&
        cut(before->text, selection->location, selection->location + selection->length) == text;

    const AXError written = focused.setAttributeValue(QStringLiteral("AXSelectedText"), text);
    switch (written) {
    case ax_error::success:
        if (before && !replacesWithItself && readFieldText(focused) == before) {
            // The caret may have moved all the same: put the selection back, so that the paste
            // lands where the write should have.
            if (selection)
                focused.setAttributeValue(QStringLiteral("AXSelectedTextRange"), *selection);
            log_.debug("Focused element kept its text after the write — using clipboard path");
            return InjectionError::writeIgnored();
        }
        log_.debug("AX insert ok into %{public}s (%ld chars)",
                   bundleID.value_or(QStringLiteral("<unknown>")), characterCount(text));
        return std::nullopt;
    case ax_error::apiDisabled:
    case ax_error::notImplemented:
        return InjectionError::accessibilityNotGranted();
    case ax_error::cannotComplete:
        return InjectionError::temporarilyUnavailable();
    case ax_error::attributeUnsupported:
    case ax_error::illegalArgument:
        return InjectionError::attributeNotSettable();
    default:
        return InjectionError::axFailure(written);
    }
}

std::shared_ptr<AccessibilityElement> AccessibilityInjector::focusedElementOrNothing() {
    const auto systemWide = access_.systemWideElement();
    systemWide->setMessagingTimeout(kMessagingTimeout);
    const AccessibilityRead read =
        systemWide->copyAttributeValue(QStringLiteral("AXFocusedUIElement"));
    if (read.error != ax_error::success)
        return nullptr;
    const auto* handle = std::get_if<std::shared_ptr<AccessibilityElement>>(&read.value);
    if (!handle || !*handle)
        return nullptr;
    (*handle)->setMessagingTimeout(kMessagingTimeout);
    return *handle;
}

std::optional<QString> AccessibilityInjector::stringForRange(AccessibilityElement& element,
                                                             qint64 location, qint64 length) {
    if (length <= 0)
        return std::nullopt;
    const AccessibilityRead read = element.copyParameterizedAttributeValue(
        QStringLiteral("AXStringForRange"), TextRange{location, length});
    if (read.error != ax_error::success)
        return std::nullopt;
    return stringIn(read.value);
}

std::optional<CaretContext> AccessibilityInjector::caretContext(qint64 radius) {
    const auto focused = focusedElementOrNothing();
    if (!focused)
        return std::nullopt;

    const AccessibilityRead rangeRead =
        focused->copyAttributeValue(QStringLiteral("AXSelectedTextRange"));
    const auto* range = std::get_if<TextRange>(&rangeRead.value);
    if (rangeRead.error != ax_error::success || !range)
        return std::nullopt;
    // With a selection, the caret is where the selection starts: the transcript replaces it.
    const qint64 caret = range->location;

    // The whole text, read at most once and only when a range read gives nothing.
    bool valueRead = false;
    std::optional<QString> value;
    const auto wholeValue = [&]() -> const std::optional<QString>& {
        if (!valueRead) {
            valueRead = true;
            const AccessibilityRead read = focused->copyAttributeValue(QStringLiteral("AXValue"));
            if (read.error == ax_error::success)
                value = stringIn(read.value);
        }
        return value;
    };

    std::optional<QString> before;
    if (caret < 1) {
        before = QString();
    } else {
        const qint64 start = std::max<qint64>(caret - radius, 0);
        before = stringForRange(*focused, start, caret - start);
        if (!before) {
            if (const auto& whole = wholeValue())
                before = cut(*whole, start, caret);
        }
    }

    const qint64 end = caret + radius;
    std::optional<QString> after = stringForRange(*focused, caret, radius);
    if (!after) {
        if (const auto& whole = wholeValue())
            after = cut(*whole, caret, std::min<qint64>(whole->size(), end));
    }

    if (!before)
        return std::nullopt;
    return CaretContext{*before, after};
}

bool AccessibilityInjector::requestAccessibilityTree() {
    const auto application = frontmost_.frontmostApplication();
    if (!application)
        return false;
    if (manualAccessibilityPIDs_.contains(application->processIdentifier))
        return false;

    const auto element = access_.applicationElement(application->processIdentifier);
    element->setMessagingTimeout(kMessagingTimeout);
    // Whether the application listened shows in the next read of its tree, not here.
    element->setAttributeValue(QStringLiteral("AXManualAccessibility"), true);
    manualAccessibilityPIDs_.insert(application->processIdentifier);
    log_.info("Requested accessibility tree from %{public}s",
              application->applicationID.value_or(QStringLiteral("unknown")));
    return true;
}

} // namespace sayloom
