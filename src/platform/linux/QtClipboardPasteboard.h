#pragma once

#include "insertion/Pasteboard.h"
#include "platform/linux/X11Connection.h"
#include "support/Logger.h"

#include <QObject>

#include <memory>

class QClipboard;

namespace sayloom::linux_desktop {

// The CLIPBOARD selection through QClipboard. X11 has no change counter, so we keep our own: it
// moves on every change Qt reports (another application taking the selection) and on every write
// of ours. Text goes out as text/plain, which Qt offers as UTF8_STRING and
// text/plain;charset=utf-8 too. Needs a QGuiApplication; main thread only.
//
// Qt hears that another application took the clipboard only when its event loop handles the X
// server's notice, and until then answers from what it learnt before: the formats of the previous
// owner. A snapshot taken in that moment would hold the wrong formats, and its restore would lose
// what the user had just copied. So every read first checks, on a connection of our own that gets
// the same notices, that Qt has handled all of them, and otherwise lets Qt take them in (for at
// most kCatchUpBoundMs; window-system and posted events only, no input, timers or sockets).
//
// Qt answers the other applications' requests for our content (SelectionRequest events) by
// itself. On X11 a native event filter sees each of them before Qt does, and counts those for
// the CLIPBOARD selection that ask for content rather than for the list of formats (TARGETS) or
// the time of ownership (TIMESTAMP); Qt's clipboard window is the only owner in this process, so
// every such request is for what we put there. Elsewhere (Wayland) the count is unknown.
//
// Under XWayland in a GNOME session our clipboard reaches Wayland applications through the
// compositor, which first reads the list of formats and then copies the content for its clipboard
// manager, once per change: until then a paste gets the previous content. With OfferReading
// byCompositor, awaitOfferTaken() lets Qt answer those reads (window-system and posted events
// only) until the copy was asked for, for at most kOfferBoundMs.
class QtClipboardPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    static constexpr int kCatchUpBoundMs = 250;
    static constexpr int kOfferBoundMs = 300;

    // Who reads a new offer of ours first: the applications that paste it, or the compositor.
    enum class OfferReading { byApplications, byCompositor };

    explicit QtClipboardPasteboard(OfferReading offerReading = OfferReading::byApplications,
                                   QObject* parent = nullptr);
    ~QtClipboardPasteboard() override;

    qint64 changeCount() const override;
    std::optional<QString> string() const override;
    PasteboardContents contents() const override;
    std::optional<qint64> contentRequestCount() const override;
    void awaitOfferTaken() override;
    void clearContents() override;
    void setString(const QString& text) override;
    void setContents(const PasteboardContents& contents) override;

private:
    // Counts one change for a write of ours, whether or not Qt reported it while we wrote.
    template <typename F>
    void write(F&& change);
    // Lets Qt handle the clipboard notices the X server has sent that it has not handled yet.
    void catchUpWithServer() const;
    // How many clipboard notices our connection has had so far.
    unsigned long noticesHeard() const;

    class RequestWatch;

    QClipboard* clipboard_;
    qint64 changeCount_ = 0;
    X11Connection x11_;
    // The XFixes event number of a selection notice; -1 when the server has no XFixes (nothing
    // can be compared then, and Qt is taken at its word).
    int selectionNotifyEvent_ = -1;
    mutable unsigned long noticesHeard_ = 0;
    // noticesHeard() when Qt last reported a change: notices up to there Qt has taken in.
    mutable unsigned long noticesHandledByQt_ = 0;
    Logger log_{QStringLiteral("pasteboard")};
    std::unique_ptr<RequestWatch> requests_;
    OfferReading offerReading_;
    // The content requests counted when our last offer was made.
    qint64 requestsAtOffer_ = 0;
};

} // namespace sayloom::linux_desktop
