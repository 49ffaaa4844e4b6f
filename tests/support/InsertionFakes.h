#pragma once

#include "engine/CaretContext.h"
#include "engine/LanguageRecognizer.h"
#include "insertion/AXInjecting.h"
#include "insertion/AccessibilityElement.h"
#include "insertion/AccessibilityTrust.h"
#include "insertion/FrontmostApplication.h"
#include "insertion/KeyPoster.h"
#include "insertion/Pasteboard.h"

#include <QMap>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace sayloom::testing {

// One element of a fake accessibility tree. Reads answer from `attributes` (a missing attribute
// answers attributeUnsupported); writes answer `writeResult` and are recorded; every call lands
// in `calls` ("read AXRole", "write AXSelectedText", "param AXStringForRange 3+5",
// "timeout 150").
class FakeAccessibilityElement final : public AccessibilityElement {
public:
    void setMessagingTimeout(Duration timeout) override {
        calls << QStringLiteral("timeout %1")
                     .arg(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count());
    }
    AccessibilityRead copyAttributeValue(const QString& attribute) override {
        calls << QStringLiteral("read ") + attribute;
        return attributes.value(attribute, AccessibilityRead{ax_error::attributeUnsupported, {}});
    }
    AXError setAttributeValue(const QString& attribute, const AccessibilityValue& value) override {
        calls << QStringLiteral("write ") + attribute;
        writes.push_back({attribute, value});
        const auto* text = std::get_if<QString>(&value);
        if (field_ && text && attribute == QLatin1String("AXSelectedText") &&
            writeResult == ax_error::success) {
            // A field that ignores the write may still move its caret.
            if (!ignoresWrites)
                field_->replace(selection_.location, selection_.length, *text);
            selection_ = {selection_.location + text->size(), 0};
            publishField();
        }
        const auto* range = std::get_if<TextRange>(&value);
        if (field_ && range && attribute == QLatin1String("AXSelectedTextRange")) {
            selection_ = *range;
            publishField();
            return ax_error::success;
        }
        return writeResult;
    }
    AccessibilityRead
    copyParameterizedAttributeValue(const QString& attribute,
                                    const AccessibilityValue& parameter) override {
        const TextRange range = std::get<TextRange>(parameter);
        calls << QStringLiteral("param %1 %2+%3")
                     .arg(attribute)
                     .arg(range.location)
                     .arg(range.length);
        if (!stringForRange)
            return {ax_error::attributeUnsupported, {}};
        return stringForRange(range);
    }

    // A text field holding `text` with the caret (or selection) at `range`, answering reads
    // the way a well-behaved toolkit does. A successful write of "AXSelectedText" replaces the
    // selection and leaves the caret after it, unless the field `ignoresWrites`; a field that
    // `hidesText` reads empty (as a password field does) but tells its length, unless it does
    // not `tellsLength`. "AXSelectedTextRange" can be written.
    void makeTextField(const QString& text, TextRange range, const QString& role = "AXTextField") {
        attributes[QStringLiteral("AXRole")] = {ax_error::success, role};
        field_ = text;
        selection_ = range;
        publishField();
    }
    // Applies the flags below to what the field's reads answer.
    void publishField() {
        const QString text = *field_;
        attributes[QStringLiteral("AXValue")] = {ax_error::success, hidesText ? QString() : text};
        if (tellsLength)
            attributes[QStringLiteral("AXNumberOfCharacters")] = {ax_error::success,
                                                                  qint64(text.size())};
        else
            attributes.remove(QStringLiteral("AXNumberOfCharacters"));
        attributes[QStringLiteral("AXSelectedTextRange")] = {ax_error::success, selection_};
        stringForRange = [text](TextRange r) -> AccessibilityRead {
            if (r.location < 0 || r.location > text.size())
                return {ax_error::illegalArgument, {}};
            return {ax_error::success, text.mid(r.location, r.length)};
        };
    }
    // The field's text, whatever its reads answer.
    const std::optional<QString>& fieldText() const { return field_; }

    bool ignoresWrites = false;
    bool hidesText = false;
    bool tellsLength = true;
    QMap<QString, AccessibilityRead> attributes;
    std::function<AccessibilityRead(TextRange)> stringForRange;
    AXError writeResult = ax_error::success;
    std::vector<std::pair<QString, AccessibilityValue>> writes;
    QStringList calls;

private:
    std::optional<QString> field_;
    TextRange selection_;
};

// The fake tree's entry points: a system-wide element whose "AXFocusedUIElement" is `focused`
// (unless the test sets that attribute itself), and application elements by process id.
class FakeAccessibilityAccess final : public AccessibilityAccess {
public:
    FakeAccessibilityAccess() { setFocused(focused); }

    std::shared_ptr<AccessibilityElement> systemWideElement() override { return systemWide; }
    std::shared_ptr<AccessibilityElement> applicationElement(qint64 pid) override {
        requestedApplications.push_back(pid);
        auto& element = applications[pid];
        if (!element)
            element = std::make_shared<FakeAccessibilityElement>();
        return element;
    }

    void setFocused(std::shared_ptr<FakeAccessibilityElement> element) {
        focused = element;
        systemWide->attributes[QStringLiteral("AXFocusedUIElement")] = {
            ax_error::success, std::shared_ptr<AccessibilityElement>(element)};
    }
    void setFocusedRead(AXError error, AccessibilityValue value = {}) {
        systemWide->attributes[QStringLiteral("AXFocusedUIElement")] = {error, value};
    }
    // Calls made on elements (the system-wide element and the focused one).
    qsizetype elementCallCount() const {
        const auto isCall = [](const QString& c) {
            return !c.startsWith(QLatin1String("timeout"));
        };
        return std::count_if(systemWide->calls.cbegin(), systemWide->calls.cend(), isCall) +
               std::count_if(focused->calls.cbegin(), focused->calls.cend(), isCall);
    }

    std::shared_ptr<FakeAccessibilityElement> systemWide =
        std::make_shared<FakeAccessibilityElement>();
    std::shared_ptr<FakeAccessibilityElement> focused =
        std::make_shared<FakeAccessibilityElement>();
    QMap<qint64, std::shared_ptr<FakeAccessibilityElement>> applications;
    std::vector<qint64> requestedApplications;
};

class FakeFrontmostApplication final : public FrontmostApplicationSource {
public:
    std::optional<RunningApplication> frontmostApplication() override { return application; }
    std::optional<RunningApplication> application;
};

// A clipboard in memory. `string()` is the "text/plain" format. Every operation lands in `log`
// ("clear", "setString TEXT", "setContents FORMAT,FORMAT"); `userCopies` stands for another
// application taking the clipboard.
class FakePasteboard final : public Pasteboard {
public:
    qint64 changeCount() const override { return changeCount_; }
    std::optional<QString> string() const override {
        for (const auto& [format, data] : contents_)
            if (format == QLatin1String("text/plain"))
                return QString::fromUtf8(data);
        return std::nullopt;
    }
    PasteboardContents contents() const override {
        ++contentReads;
        return contents_;
    }
    std::optional<qint64> contentRequestCount() const override { return contentRequests; }
    // Another application asks for what the clipboard holds (it takes a paste).
    void applicationAsksForContent() {
        if (contentRequests)
            ++*contentRequests;
    }
    void clearContents() override {
        log << QStringLiteral("clear");
        contents_.clear();
        ++changeCount_;
    }
    void setString(const QString& text) override {
        log << QStringLiteral("setString ") + text;
        contents_ = {{QStringLiteral("text/plain"), text.toUtf8()}};
        ++changeCount_;
        if (clipboardManagerCopies)
            applicationAsksForContent();
    }
    void awaitOfferTaken() override { log << QStringLiteral("await offer"); }
    void setContents(const PasteboardContents& contents) override {
        QStringList formats;
        for (const auto& entry : contents)
            formats << entry.first;
        log << QStringLiteral("setContents ") + formats.join(QLatin1Char(','));
        contents_ = contents;
        ++changeCount_;
    }

    // Another application puts something on the clipboard.
    void userCopies(const PasteboardContents& contents) {
        contents_ = contents;
        ++changeCount_;
    }
    // The content changes without the change count moving (a reader that hands the text back
    // in another form).
    void rewriteWithoutChange(const PasteboardContents& contents) { contents_ = contents; }
    const PasteboardContents& held() const { return contents_; }

    QStringList log;
    mutable int contentReads = 0;
    // A clipboard manager that asks for every new text as soon as it is set.
    bool clipboardManagerCopies = false;
    // Nothing for a desktop that does not tell.
    std::optional<qint64> contentRequests = 0;

private:
    PasteboardContents contents_;
    qint64 changeCount_ = 0;
};

// Records the keys it was asked to post: "paste ctrl+v", "paste ctrl+shift+v", "begin TEXT",
// "chunk TEXT", "pause", "finish". `onPaste` stands for the focused application receiving the
// shortcut.
class FakeKeyPoster final : public KeyPoster {
public:
    bool postPaste() override {
        events << QStringLiteral("paste ctrl+v");
        if (onPaste && !refused)
            onPaste();
        return !refused;
    }
    bool postTerminalPaste() override {
        events << QStringLiteral("paste ctrl+shift+v");
        if (onPaste && !refused)
            onPaste();
        return !refused;
    }
    bool canType(const QString& text) override {
        for (const QChar character : untypeable)
            if (text.contains(character))
                return false;
        return true;
    }
    void beginTyping(const QString& text) override { events << QStringLiteral("begin ") + text; }
    bool typeChunk(const QString& chunk) override {
        events << QStringLiteral("chunk ") + chunk;
        if (!refused)
            chunks << chunk;
        return !refused;
    }
    bool wasRefused() const override { return refused; }
    void pauseBetweenChunks() override { events << QStringLiteral("pause"); }
    void finishTyping() override { events << QStringLiteral("finish"); }

    QStringList events;
    QStringList chunks;
    std::function<void()> onPaste;
    // Characters the keyboard's layout has no key for.
    QString untypeable;
    // The desktop refuses every key (the user did not allow remote control).
    bool refused = false;
};

class FakeAccessibilityTrust final : public AccessibilityTrust {
public:
    bool isProcessTrusted() override {
        ++checks;
        return trusted;
    }
    bool trusted = true;
    int checks = 0;
};

// A direct inserter that answers `result` and records what it was asked to insert.
class FakeAXInjector final : public AXInjecting {
public:
    std::optional<InjectionError> insert(const QString& text,
                                         const std::optional<QString>& bundleID) override {
        inserted << text;
        bundleIDs.push_back(bundleID);
        return result;
    }
    std::optional<InjectionError> result;
    QStringList inserted;
    std::vector<std::optional<QString>> bundleIDs;
};

// Answers caretContext from `contexts` in order (the last one repeats), and records the calls.
class FakeCaretContextSource final : public CaretContextSource {
public:
    std::optional<CaretContext> caretContext(qint64 radius) override {
        radii.push_back(radius);
        if (contexts.empty())
            return std::nullopt;
        auto next = contexts.front();
        if (contexts.size() > 1)
            contexts.pop_front();
        return next;
    }
    bool requestAccessibilityTree() override {
        ++treeRequests;
        return treeRequestResult;
    }

    std::deque<std::optional<CaretContext>> contexts;
    bool treeRequestResult = false;
    int treeRequests = 0;
    std::vector<qint64> radii;
};

class FakeLanguageRecognizer final : public LanguageRecognizer {
public:
    std::optional<RecognizedLanguage> dominantLanguage(const QString& text) override {
        seen << text;
        return result;
    }
    std::optional<RecognizedLanguage> result;
    QStringList seen;
};

} // namespace sayloom::testing
