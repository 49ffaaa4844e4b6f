#include "platform/linux/QtClipboardPasteboard.h"

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xproto.h>

// Xlib's macros (None, Bool, Status...) clash with Qt's names: after every Qt header.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace sayloom::linux_desktop {

namespace {

// Lets Qt answer the window system (and take in posted events) until `done`, for at most
// `boundMs`; whether it is done. User input and timers wait: nothing may run that changes the
// clipboard meanwhile.
template <typename Done>
bool runWindowSystemEventsUntil(Done done, int boundMs) {
    const QDeadlineTimer deadline(boundMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers |
                                        QEventLoop::X11ExcludeTimers);
        if (!done())
            QThread::usleep(500);
    }
    return done();
}

// Formats Qt makes up from others when asked (an image converted on the fly); saving them would
// only store a second copy.
bool isSynthesised(const QString& format) {
    return format.startsWith(QLatin1String("application/x-qt-"));
}

} // namespace

// Counts the requests for the content of the CLIPBOARD selection that reach this process, and
// leaves each to Qt.
class QtClipboardPasteboard::RequestWatch final : public QAbstractNativeEventFilter {
public:
    explicit RequestWatch(Display* display)
        : clipboard_(XInternAtom(display, "CLIPBOARD", False))
        , targets_(XInternAtom(display, "TARGETS", False))
        , timestamp_(XInternAtom(display, "TIMESTAMP", False)) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST)
            return false;
        const auto* request = static_cast<const xcb_selection_request_event_t*>(message);
        if (request->selection == clipboard_ && request->target != targets_ &&
            request->target != timestamp_)
            ++count_;
        return false;
    }

    qint64 count() const { return count_; }

private:
    const Atom clipboard_;
    const Atom targets_;
    const Atom timestamp_;
    qint64 count_ = 0;
};

QtClipboardPasteboard::QtClipboardPasteboard(OfferReading offerReading, QObject* parent)
    : QObject(parent)
    , clipboard_(QGuiApplication::clipboard())
    , offerReading_(offerReading) {
    if (Display* display = x11_.display()) {
        int eventBase = 0;
        int errorBase = 0;
        if (XFixesQueryExtension(display, &eventBase, &errorBase)) {
            selectionNotifyEvent_ = eventBase + XFixesSelectionNotify;
            XFixesSelectSelectionInput(
                display, DefaultRootWindow(display), XInternAtom(display, "CLIPBOARD", False),
                XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                    XFixesSelectionClientCloseNotifyMask);
            XSync(display, False);
        }
    }
    connect(clipboard_, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode != QClipboard::Clipboard)
            return;
        ++changeCount_;
        // Qt dropped what it knew of the clipboard: whatever it learns next comes from the owner
        // of now, so every notice sent until now counts as handled.
        noticesHandledByQt_ = noticesHeard();
    });
    noticesHandledByQt_ = noticesHeard();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (Display* display = x11 ? x11->display() : nullptr) {
        requests_ = std::make_unique<RequestWatch>(display);
        QCoreApplication::instance()->installNativeEventFilter(requests_.get());
    }
}

QtClipboardPasteboard::~QtClipboardPasteboard() {
    if (requests_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(requests_.get());
}

template <typename F>
void QtClipboardPasteboard::write(F&& change) {
    const qint64 before = changeCount_;
    change();
    if (changeCount_ == before)
        ++changeCount_;
}

unsigned long QtClipboardPasteboard::noticesHeard() const {
    Display* display = x11_.display();
    if (!display || selectionNotifyEvent_ < 0)
        return noticesHeard_;
    // After the round trip, every notice the server sent before it is in our queue.
    XSync(display, False);
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == selectionNotifyEvent_)
            ++noticesHeard_;
    }
    return noticesHeard_;
}

void QtClipboardPasteboard::catchUpWithServer() const {
    if (noticesHeard() == noticesHandledByQt_)
        return;
    // Qt's copy of the notice is on its way to Qt's own connection; its event loop takes it in.
    if (!runWindowSystemEventsUntil([this] { return noticesHeard() == noticesHandledByQt_; },
                                    kCatchUpBoundMs)) {
        // A notice Qt acts on without a change of its own: waiting again would not help.
        log_.debug("Clipboard: Qt did not report %ld clipboard change(s)",
                   static_cast<long>(noticesHeard_ - noticesHandledByQt_));
        noticesHandledByQt_ = noticesHeard_;
    }
}

qint64 QtClipboardPasteboard::changeCount() const {
    catchUpWithServer();
    return changeCount_;
}

std::optional<QString> QtClipboardPasteboard::string() const {
    catchUpWithServer();
    const QMimeData* data = clipboard_->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

PasteboardContents QtClipboardPasteboard::contents() const {
    catchUpWithServer();
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

std::optional<qint64> QtClipboardPasteboard::contentRequestCount() const {
    if (!requests_)
        return std::nullopt;
    return requests_->count();
}

void QtClipboardPasteboard::awaitOfferTaken() {
    if (offerReading_ != OfferReading::byCompositor || !requests_)
        return;
    if (!runWindowSystemEventsUntil([this] { return requests_->count() != requestsAtOffer_; },
                                    kOfferBoundMs))
        log_.info("Clipboard: the compositor did not copy our offer within %d ms", kOfferBoundMs);
}

void QtClipboardPasteboard::clearContents() {
    write([this] { clipboard_->clear(QClipboard::Clipboard); });
}

void QtClipboardPasteboard::setString(const QString& text) {
    requestsAtOffer_ = requests_ ? requests_->count() : 0;
    write([this, &text] { clipboard_->setText(text, QClipboard::Clipboard); });
}

void QtClipboardPasteboard::setContents(const PasteboardContents& contents) {
    requestsAtOffer_ = requests_ ? requests_->count() : 0;
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : contents)
        data->setData(format, bytes);
    write([this, data] { clipboard_->setMimeData(data, QClipboard::Clipboard); });
}

} // namespace sayloom::linux_desktop
