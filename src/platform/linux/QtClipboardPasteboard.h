#pragma once

#include "insertion/Pasteboard.h"

#include <QObject>

class QClipboard;

namespace sayloom::linux_desktop {

// The CLIPBOARD selection through QClipboard. X11 has no change counter, so we keep our own: it
// moves on every change Qt reports (another application taking the selection) and on every write
// of ours. Text goes out as text/plain, which Qt offers as UTF8_STRING and
// text/plain;charset=utf-8 too. Needs a QGuiApplication; main thread only.
class QtClipboardPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    explicit QtClipboardPasteboard(QObject* parent = nullptr);

    qint64 changeCount() const override { return changeCount_; }
    std::optional<QString> string() const override;
    PasteboardContents contents() const override;
    void clearContents() override;
    void setString(const QString& text) override;
    void setContents(const PasteboardContents& contents) override;

private:
    // Counts one change for a write of ours, whether or not Qt reported it while we wrote.
    template <typename F>
    void write(F&& change);

    QClipboard* clipboard_;
    qint64 changeCount_ = 0;
};

} // namespace sayloom::linux_desktop
