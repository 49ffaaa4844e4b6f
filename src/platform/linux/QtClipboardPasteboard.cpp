#include "platform/linux/QtClipboardPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace sayloom::linux_desktop {

namespace {

// Formats Qt makes up from others when asked (an image converted on the fly); saving them would
// only store a second copy.
bool isSynthesised(const QString& format) {
    return format.startsWith(QLatin1String("application/x-qt-"));
}

} // namespace

QtClipboardPasteboard::QtClipboardPasteboard(QObject* parent)
    : QObject(parent)
    , clipboard_(QGuiApplication::clipboard()) {
    connect(clipboard_, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            ++changeCount_;
    });
}

template <typename F>
void QtClipboardPasteboard::write(F&& change) {
    const qint64 before = changeCount_;
    change();
    if (changeCount_ == before)
        ++changeCount_;
}

std::optional<QString> QtClipboardPasteboard::string() const {
    const QMimeData* data = clipboard_->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

PasteboardContents QtClipboardPasteboard::contents() const {
    PasteboardContents contents;
    const QMimeData* data = clipboard_->mimeData(QClipboard::Clipboard);
    if (!data)
        return contents;
    for (const QString& format : data->formats()) {
        if (isSynthesised(format))
            continue;
        contents.append({format, data->data(format)});
    }
    return contents;
}

void QtClipboardPasteboard::clearContents() {
    write([this] { clipboard_->clear(QClipboard::Clipboard); });
}

void QtClipboardPasteboard::setString(const QString& text) {
    write([this, &text] { clipboard_->setText(text, QClipboard::Clipboard); });
}

void QtClipboardPasteboard::setContents(const PasteboardContents& contents) {
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : contents)
        data->setData(format, bytes);
    write([this, data] { clipboard_->setMimeData(data, QClipboard::Clipboard); });
}

} // namespace sayloom::linux_desktop
