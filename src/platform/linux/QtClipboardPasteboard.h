#pragma once

#include "insertion/Pasteboard.h"

#include <QObject>

#include <memory>

class QClipboard;

namespace sayloom::linux_desktop {

// The CLIPBOARD selection through QClipboard. X11 has no change counter, so we keep our own: it
// moves on every change Qt reports (another application taking the selection) and on every write
// of ours. Text goes out as text/plain, which Qt offers as UTF8_STRING and
// text/plain;charset=utf-8 too.
//
// Qt answers the other applications' requests for our content (SelectionRequest events) by
// itself. On X11 a native event filter sees each of them before Qt does, and counts those for
// the CLIPBOARD selection that ask for content rather than for the list of formats (TARGETS) or
// the time of ownership (TIMESTAMP); Qt's clipboard window is the only owner in this process, so
// every such request is for what we put there. Elsewhere (Wayland) the count is unknown.
// Needs a QGuiApplication; main thread only.
class QtClipboardPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    explicit QtClipboardPasteboard(QObject* parent = nullptr);
    ~QtClipboardPasteboard() override;

    qint64 changeCount() const override { return changeCount_; }
    std::optional<QString> string() const override;
    PasteboardContents contents() const override;
    std::optional<qint64> contentRequestCount() const override;
    void clearContents() override;
    void setString(const QString& text) override;
    void setContents(const PasteboardContents& contents) override;

private:
    // Counts one change for a write of ours, whether or not Qt reported it while we wrote.
    template <typename F>
    void write(F&& change);

    class RequestWatch;

    QClipboard* clipboard_;
    qint64 changeCount_ = 0;
    std::unique_ptr<RequestWatch> requests_;
};

} // namespace sayloom::linux_desktop
