#include "platform/linux/AtspiTextElement.h"

#include <QList>

#include <algorithm>

#include <atspi/atspi.h>

namespace sayloom::linux_desktop {

namespace {

// The UTF-16 offset of the code point at `codePoints` in `text` (clamped to its end).
qint64 utf16Offset(const QString& text, qint64 codePoints) {
    qint64 offset = 0;
    for (qint64 i = 0; i < codePoints && offset < text.size(); ++i)
        offset += (text.at(offset).isHighSurrogate() && offset + 1 < text.size()) ? 2 : 1;
    return offset;
}

qint64 codePointCount(const QString& text) { return text.toUcs4().size(); }

template <typename T>
std::shared_ptr<T> adopt(T* object) {
    return std::shared_ptr<T>(object, [](T* o) {
        if (o)
            g_object_unref(o);
    });
}

} // namespace

AtspiTextElement::AtspiTextElement(AtspiRef accessible, const Scheduler& clock)
    : accessible_(std::move(accessible))
    , clock_(clock) {}

QString AtspiTextElement::roleName(int atspiRole, bool editable, bool singleLine, bool multiLine) {
    switch (static_cast<AtspiRole>(atspiRole)) {
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_PASSWORD_TEXT:
    case ATSPI_ROLE_EDITBAR:
        return editable ? QStringLiteral("AXTextField") : QStringLiteral("AXStaticText");
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_DOCUMENT_TEXT:
        if (!editable)
            return QStringLiteral("AXStaticText");
        return singleLine && !multiLine ? QStringLiteral("AXTextField")
                                        : QStringLiteral("AXTextArea");
    case ATSPI_ROLE_COMBO_BOX:
        return QStringLiteral("AXComboBox");
    case ATSPI_ROLE_TERMINAL:
        return QStringLiteral("AXTextArea");
    case ATSPI_ROLE_UNKNOWN:
    case ATSPI_ROLE_INVALID:
        return QStringLiteral("AXUnknown");
    default: {
        gchar* name = atspi_role_get_name(static_cast<AtspiRole>(atspiRole));
        const QString result = name ? QString::fromUtf8(name) : QStringLiteral("AXUnknown");
        g_free(name);
        return result;
    }
    }
}

AccessibilityRead AtspiTextElement::copyAttributeValue(const QString& attribute) {
    if (attribute == QLatin1String("AXRole"))
        return role();
    if (attribute == QLatin1String("AXDOMClassList"))
        return webContent();
    if (attribute == QLatin1String("AXSelectedTextRange"))
        return selectedRange();
    if (attribute == QLatin1String("AXValue"))
        return value();
    if (attribute == QLatin1String("AXNumberOfCharacters"))
        return characterCount();
    return {ax_error::attributeUnsupported, {}};
}

AXError AtspiTextElement::setAttributeValue(const QString& attribute,
                                            const AccessibilityValue& value) {
    if (attribute == QLatin1String("AXSelectedTextRange")) {
        const auto* range = std::get_if<TextRange>(&value);
        return range ? select(*range) : ax_error::illegalArgument;
    }
    const auto* text = std::get_if<QString>(&value);
    if (attribute != QLatin1String("AXSelectedText"))
        return ax_error::attributeUnsupported;
    if (!text)
        return ax_error::illegalArgument;
    return replaceSelection(*text);
}

AccessibilityRead
AtspiTextElement::copyParameterizedAttributeValue(const QString& attribute,
                                                  const AccessibilityValue& parameter) {
    const auto* range = std::get_if<TextRange>(&parameter);
    if (attribute != QLatin1String("AXStringForRange"))
        return {ax_error::attributeUnsupported, {}};
    if (!range)
        return {ax_error::illegalArgument, {}};
    return stringForRange(*range);
}

AccessibilityRead AtspiTextElement::role() {
    AtspiCall call(clock_, timeout_);
    const AtspiRole atspiRole = atspi_accessible_get_role(accessible_.get(), call.error());
    if (const AXError error = call.outcome(atspiRole != ATSPI_ROLE_INVALID))
        return {error, {}};
    AtspiStateSet* states = atspi_accessible_get_state_set(accessible_.get());
    const bool editable = states && atspi_state_set_contains(states, ATSPI_STATE_EDITABLE);
    const bool singleLine = states && atspi_state_set_contains(states, ATSPI_STATE_SINGLE_LINE);
    const bool multiLine = states && atspi_state_set_contains(states, ATSPI_STATE_MULTI_LINE);
    if (states)
        g_object_unref(states);
    return {ax_error::success, roleName(atspiRole, editable, singleLine, multiLine)};
}

AccessibilityRead AtspiTextElement::webContent() {
    // The parent chain is short and mostly cached by libatspi; stop at the application.
    AtspiRef node = accessible_;
    for (int depth = 0; node && depth < 100; ++depth) {
        AtspiCall call(clock_, timeout_);
        const AtspiRole nodeRole = atspi_accessible_get_role(node.get(), call.error());
        if (const AXError error = call.outcome(nodeRole != ATSPI_ROLE_INVALID);
            error == ax_error::cannotComplete)
            return {error, {}};
        if (nodeRole == ATSPI_ROLE_DOCUMENT_WEB)
            return {ax_error::success, {}};
        if (nodeRole == ATSPI_ROLE_APPLICATION)
            break;
        AtspiCall parentCall(clock_, timeout_);
        node = adoptAccessible(atspi_accessible_get_parent(node.get(), parentCall.error()));
    }
    return {ax_error::attributeUnsupported, {}};
}

bool AtspiTextElement::countsUtf16() {
    if (!utf16_) {
        // The toolkit is a property of the application object, not of its widgets.
        AtspiCall applicationCall(clock_, timeout_);
        const AtspiRef application = adoptAccessible(
            atspi_accessible_get_application(accessible_.get(), applicationCall.error()));
        AtspiCall call(clock_, timeout_);
        gchar* toolkit = application
                             ? atspi_accessible_get_toolkit_name(application.get(), call.error())
                             : nullptr;
        utf16_ = toolkit &&
                 QString::fromUtf8(toolkit).startsWith(QLatin1String("Qt"), Qt::CaseInsensitive);
        g_free(toolkit);
    }
    return *utf16_;
}

AXError AtspiTextElement::wholeText(QString& text) {
    if (text_) {
        text = *text_;
        return ax_error::success;
    }
    auto iface = adopt(atspi_accessible_get_text_iface(accessible_.get()));
    if (!iface)
        return ax_error::attributeUnsupported;
    AtspiCall call(clock_, timeout_);
    gchar* raw = atspi_text_get_text(iface.get(), 0, -1, call.error());
    const AXError error = call.outcome(raw != nullptr);
    if (raw) {
        text_ = QString::fromUtf8(raw);
        g_free(raw);
    }
    if (error)
        return error;
    text = *text_;
    return ax_error::success;
}

AXError AtspiTextElement::nativeSelection(NativeSelection& selection) {
    auto iface = adopt(atspi_accessible_get_text_iface(accessible_.get()));
    if (!iface)
        return ax_error::attributeUnsupported;
    AtspiCall caretCall(clock_, timeout_);
    const gint caret = atspi_text_get_caret_offset(iface.get(), caretCall.error());
    if (const AXError error = caretCall.outcome(caret >= 0))
        return error;
    selection = {caret, caret};

    AtspiCall countCall(clock_, timeout_);
    const gint count = atspi_text_get_n_selections(iface.get(), countCall.error());
    if (countCall.outcome(count >= 0) == ax_error::cannotComplete)
        return ax_error::cannotComplete;
    if (count > 0) {
        AtspiCall rangeCall(clock_, timeout_);
        AtspiRange* range = atspi_text_get_selection(iface.get(), 0, rangeCall.error());
        if (range) {
            if (range->end_offset > range->start_offset)
                selection = {range->start_offset, range->end_offset};
            g_free(range);
        }
    }
    return ax_error::success;
}

AccessibilityRead AtspiTextElement::selectedRange() {
    NativeSelection selection;
    if (const AXError error = nativeSelection(selection))
        return {error, {}};
    if (countsUtf16())
        return {ax_error::success, TextRange{selection.start, selection.end - selection.start}};
    QString text;
    if (const AXError error = wholeText(text))
        return {error, {}};
    const qint64 start = utf16Offset(text, selection.start);
    const qint64 end = utf16Offset(text, selection.end);
    return {ax_error::success, TextRange{start, end - start}};
}

AccessibilityRead AtspiTextElement::value() {
    QString text;
    if (const AXError error = wholeText(text))
        return {error, {}};
    return {ax_error::success, text};
}

AccessibilityRead AtspiTextElement::characterCount() {
    if (!countsUtf16()) {
        QString text;
        if (const AXError error = wholeText(text))
            return {error, {}};
        return {ax_error::success, qint64(text.size())};
    }
    // Qt tells the length of a password field's text, which it reads as empty.
    auto iface = adopt(atspi_accessible_get_text_iface(accessible_.get()));
    if (!iface)
        return {ax_error::attributeUnsupported, {}};
    AtspiCall call(clock_, timeout_);
    const gint count = atspi_text_get_character_count(iface.get(), call.error());
    if (const AXError error = call.outcome(count >= 0))
        return {error, {}};
    return {ax_error::success, qint64(count)};
}

AccessibilityRead AtspiTextElement::stringForRange(TextRange range) {
    if (range.location < 0 || range.length < 0)
        return {ax_error::illegalArgument, {}};
    if (countsUtf16()) {
        auto iface = adopt(atspi_accessible_get_text_iface(accessible_.get()));
        if (!iface)
            return {ax_error::attributeUnsupported, {}};
        // Qt answers a range past the end with an empty string rather than the part that
        // exists: clamp it first.
        AtspiCall countCall(clock_, timeout_);
        const gint count = atspi_text_get_character_count(iface.get(), countCall.error());
        if (const AXError error = countCall.outcome(count >= 0))
            return {error, {}};
        if (range.location > count)
            return {ax_error::illegalArgument, {}};
        const qint64 end = std::min<qint64>(range.location + range.length, count);
        AtspiCall call(clock_, timeout_);
        gchar* raw = atspi_text_get_text(iface.get(), static_cast<gint>(range.location),
                                         static_cast<gint>(end), call.error());
        const AXError error = call.outcome(raw != nullptr);
        const QString text = raw ? QString::fromUtf8(raw) : QString();
        g_free(raw);
        if (error)
            return {error, {}};
        return {ax_error::success, text};
    }
    QString text;
    if (const AXError error = wholeText(text))
        return {error, {}};
    if (range.location > text.size())
        return {ax_error::illegalArgument, {}};
    return {ax_error::success, text.mid(range.location, range.length)};
}

AXError AtspiTextElement::select(TextRange range) {
    if (range.location < 0 || range.length < 0)
        return ax_error::illegalArgument;
    auto iface = adopt(atspi_accessible_get_text_iface(accessible_.get()));
    if (!iface)
        return ax_error::attributeUnsupported;
    qint64 start = range.location;
    qint64 end = range.location + range.length;
    if (!countsUtf16()) {
        QString text;
        if (const AXError error = wholeText(text))
            return error;
        if (end > text.size())
            return ax_error::illegalArgument;
        start = codePointCount(text.left(start));
        end = codePointCount(text.left(end));
    }
    AtspiCall call(clock_, timeout_);
    const gboolean done =
        end > start
            ? atspi_text_set_selection(iface.get(), 0, static_cast<gint>(start),
                                       static_cast<gint>(end), call.error())
            : atspi_text_set_caret_offset(iface.get(), static_cast<gint>(start), call.error());
    if (const AXError error = call.outcome(done))
        return error == ax_error::noValue ? ax_error::illegalArgument : error;
    return ax_error::success;
}

AXError AtspiTextElement::replaceSelection(const QString& text) {
    auto editable = adopt(atspi_accessible_get_editable_text_iface(accessible_.get()));
    if (!editable)
        return ax_error::attributeUnsupported;
    NativeSelection selection;
    if (const AXError error = nativeSelection(selection))
        return error;

    const bool utf16 = countsUtf16();
    if (selection.end > selection.start) {
        AtspiCall call(clock_, timeout_);
        const gboolean deleted = atspi_editable_text_delete_text(editable.get(), selection.start,
                                                                 selection.end, call.error());
        if (const AXError error = call.outcome(deleted))
            return error == ax_error::noValue ? ax_error::illegalArgument : error;
    }

    const QByteArray utf8 = text.toUtf8();
    const gint length = static_cast<gint>(utf16 ? text.size() : utf8.size());
    AtspiCall insertCall(clock_, timeout_);
    const gboolean inserted = atspi_editable_text_insert_text(
        editable.get(), selection.start, utf8.constData(), length, insertCall.error());
    if (const AXError error = insertCall.outcome(inserted))
        return error == ax_error::noValue ? ax_error::illegalArgument : error;

    // Toolkits leave the caret where it was, before the inserted text; put it after, as typing
    // would. A failure here leaves the text inserted, so it is not reported.
    auto iface = adopt(atspi_accessible_get_text_iface(accessible_.get()));
    if (iface) {
        const qint64 insertedLength = utf16 ? text.size() : codePointCount(text);
        AtspiCall caretCall(clock_, timeout_);
        atspi_text_set_caret_offset(
            iface.get(), static_cast<gint>(selection.start + insertedLength), caretCall.error());
    }
    text_.reset();
    return ax_error::success;
}

} // namespace sayloom::linux_desktop
