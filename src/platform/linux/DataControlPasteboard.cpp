#include "platform/linux/DataControlPasteboard.h"

#include "platform/linux/WaylandConnection.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QSocketNotifier>

#include <wayland-client.h>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

#include <algorithm>
#include <array>
#include <cerrno>

namespace sayloom::linux_desktop {

namespace {

// Plain text as applications offer it, the best first.
const std::array<QString, 5> kTextFormats{
    QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("UTF8_STRING"),
    QStringLiteral("text/plain"), QStringLiteral("TEXT"), QStringLiteral("STRING")};

// X's STRING is Latin-1; every other text format here is UTF-8.
QString decodeText(const QString& format, const QByteArray& bytes) {
    return format == QLatin1String("STRING") ? QString::fromLatin1(bytes)
                                             : QString::fromUtf8(bytes);
}

// What our plain text is offered as: UTF-8 under every name applications ask for it by (STRING
// means Latin-1, which we do not offer).
const std::array<QString, 4> kOfferedTextFormats{
    QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain"),
    QStringLiteral("UTF8_STRING"), QStringLiteral("TEXT")};

// write(2) to a pipe, without the SIGPIPE that a reader who went away would raise: the signal is
// held back for the call and a pending one taken away, so that only EPIPE tells.
ssize_t writeToPipe(int fd, const char* data, size_t size) {
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pendingBefore;
    sigpending(&pendingBefore);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t written = ::write(fd, data, size);
    const int error = errno;
    if (written < 0 && error == EPIPE && !sigismember(&pendingBefore, SIGPIPE)) {
        const timespec none{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &none) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

// Writes as much of `data` from `offset` as the pipe takes now; -1 when the reader went away.
qsizetype writeSome(int fd, const QByteArray& data, qsizetype offset) {
    while (offset < data.size()) {
        const ssize_t written =
            writeToPipe(fd, data.constData() + offset, static_cast<size_t>(data.size() - offset));
        if (written > 0) {
            offset += written;
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            return written < 0 && errno == EAGAIN ? offset : -1;
        }
    }
    return offset;
}

} // namespace

struct DataControlPasteboard::Source {
    zwlr_data_control_source_v1* handle = nullptr;
    PasteboardContents contents;

    ~Source() {
        if (handle)
            zwlr_data_control_source_v1_destroy(handle);
    }
};

// Finishes writing one format into a pipe a reader asked for it through, as the pipe takes it.
class DataControlPasteboard::Writer final : public QObject {
public:
    Writer(int fd, QByteArray data, qsizetype offset, QObject* parent)
        : QObject(parent)
        , fd_(fd)
        , data_(std::move(data))
        , offset_(offset)
        , notifier_(fd, QSocketNotifier::Write, this) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] {
            offset_ = writeSome(fd_, data_, offset_);
            if (offset_ < 0 || offset_ == data_.size()) {
                notifier_.setEnabled(false);
                deleteLater();
            }
        });
    }
    ~Writer() override { ::close(fd_); }

private:
    int fd_;
    QByteArray data_;
    qsizetype offset_;
    QSocketNotifier notifier_;
};

DataControlPasteboard::DataControlPasteboard(WaylandConnection& connection, QObject* parent)
    : QObject(parent)
    , connection_(connection) {
    if (!isOffered(&connection_)) {
        log_.error("The compositor offers no clipboard access");
        return;
    }
    static const zwlr_data_control_device_v1_listener listener{
        &DataControlPasteboard::dataOffer, &DataControlPasteboard::selection,
        &DataControlPasteboard::finished, nullptr};
    device_ = zwlr_data_control_manager_v1_get_data_device(connection_.dataControlManager(),
                                                           connection_.seat());
    zwlr_data_control_device_v1_add_listener(device_, &listener, this);
    // The compositor tells the current selection at once.
    connection_.roundtrip();
}

DataControlPasteboard::~DataControlPasteboard() {
    for (const auto& [offer, formats] : offers_)
        zwlr_data_control_offer_v1_destroy(offer);
    sources_.clear();
    if (device_)
        zwlr_data_control_device_v1_destroy(device_);
    connection_.flush();
}

bool DataControlPasteboard::isOffered(const WaylandConnection* connection) {
    return connection && connection->seat() && connection->dataControlManager() &&
           !connection->isBroken();
}

void DataControlPasteboard::dataOffer(void* data, zwlr_data_control_device_v1*,
                                      zwlr_data_control_offer_v1* offer) {
    static const zwlr_data_control_offer_v1_listener listener{&DataControlPasteboard::offerFormat};
    static_cast<DataControlPasteboard*>(data)->offers_[offer];
    zwlr_data_control_offer_v1_add_listener(offer, &listener, data);
}

void DataControlPasteboard::offerFormat(void* data, zwlr_data_control_offer_v1* offer,
                                        const char* mimeType) {
    auto* self = static_cast<DataControlPasteboard*>(data);
    const auto found = self->offers_.find(offer);
    if (found != self->offers_.end())
        found->second.append(QString::fromUtf8(mimeType));
}

void DataControlPasteboard::selection(void* data, zwlr_data_control_device_v1*,
                                      zwlr_data_control_offer_v1* offer) {
    auto* self = static_cast<DataControlPasteboard*>(data);
    // Offers announced before, other than this one, are gone.
    for (auto it = self->offers_.begin(); it != self->offers_.end();) {
        if (it->first == offer) {
            ++it;
            continue;
        }
        zwlr_data_control_offer_v1_destroy(it->first);
        it = self->offers_.erase(it);
    }
    self->selection_ = offer;
    ++self->changeCount_;
}

void DataControlPasteboard::finished(void* data, zwlr_data_control_device_v1* device) {
    auto* self = static_cast<DataControlPasteboard*>(data);
    self->log_.error("The compositor ended our clipboard access");
    zwlr_data_control_device_v1_destroy(device);
    self->device_ = nullptr;
}

void DataControlPasteboard::send(void* data, zwlr_data_control_source_v1* handle,
                                 const char* mimeType, int32_t fd) {
    auto* self = static_cast<DataControlPasteboard*>(data);
    ++self->contentRequests_;
    const auto source = std::ranges::find_if(
        self->sources_, [handle](const auto& candidate) { return candidate->handle == handle; });
    QByteArray content;
    if (source != self->sources_.end()) {
        const QString format = QString::fromUtf8(mimeType);
        for (const auto& [offered, bytes] : (*source)->contents)
            if (offered == format)
                content = bytes;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const qsizetype written = writeSome(fd, content, 0);
    if (written >= 0 && written < content.size())
        new Writer(fd, content, written, self);
    else
        ::close(fd);
}

void DataControlPasteboard::cancelled(void* data, zwlr_data_control_source_v1* handle) {
    static_cast<DataControlPasteboard*>(data)->forgetSource(handle);
}

void DataControlPasteboard::forgetSource(zwlr_data_control_source_v1* handle) {
    if (!sources_.empty() && sources_.back()->handle == handle)
        owned_ = false;
    std::erase_if(sources_, [handle](const auto& source) { return source->handle == handle; });
}

void DataControlPasteboard::catchUp() const { connection_.roundtrip(); }

qint64 DataControlPasteboard::changeCount() const {
    catchUp();
    return changeCount_;
}

const PasteboardContents* DataControlPasteboard::ownContents() const {
    return owned_ && !sources_.empty() ? &sources_.back()->contents : nullptr;
}

std::optional<QByteArray> DataControlPasteboard::receive(const QString& format) const {
    int fds[2];
    if (!selection_ || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return std::nullopt;
    zwlr_data_control_offer_v1_receive(selection_, format.toUtf8().constData(), fds[1]);
    ::close(fds[1]);
    QByteArray data;
    bool complete = false;
    while (connection_.waitUntilReady(fds[0], false, kReadIdleBound)) {
        char buffer[65536];
        const ssize_t count = ::read(fds[0], buffer, sizeof buffer);
        if (count > 0) {
            data.append(buffer, count);
        } else if (count == 0) {
            complete = true;
            break;
        } else if (errno != EAGAIN && errno != EINTR) {
            break;
        }
    }
    ::close(fds[0]);
    if (!complete) {
        log_.error("The clipboard's owner did not hand over %{public}s", format);
        return std::nullopt;
    }
    return data;
}

std::optional<QString> DataControlPasteboard::string() const {
    catchUp();
    if (const PasteboardContents* own = ownContents()) {
        for (const QString& format : kTextFormats)
            for (const auto& [offered, bytes] : *own)
                if (offered == format)
                    return decodeText(format, bytes);
        return std::nullopt;
    }
    const auto offer = offers_.find(selection_);
    if (!selection_ || offer == offers_.end())
        return std::nullopt;
    for (const QString& format : kTextFormats) {
        if (!offer->second.contains(format))
            continue;
        if (const auto bytes = receive(format))
            return decodeText(format, *bytes);
        return std::nullopt;
    }
    return std::nullopt;
}

PasteboardContents DataControlPasteboard::contents() const {
    catchUp();
    if (const PasteboardContents* own = ownContents())
        return *own;
    // A selection that changes while it is read is read again, from the start.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto offer = offers_.find(selection_);
        if (!selection_ || offer == offers_.end())
            return {};
        const zwlr_data_control_offer_v1* reading = selection_;
        const QStringList formats = offer->second;
        PasteboardContents contents;
        for (const QString& format : formats) {
            if (selection_ != reading)
                break;
            if (auto bytes = receive(format))
                contents.append({format, std::move(*bytes)});
        }
        if (selection_ == reading)
            return contents;
    }
    return {};
}

void DataControlPasteboard::select(std::unique_ptr<Source> source) {
    if (!device_)
        return;
    const qint64 before = changeCount_;
    if (source) {
        static const zwlr_data_control_source_v1_listener listener{
            &DataControlPasteboard::send, &DataControlPasteboard::cancelled};
        source->handle =
            zwlr_data_control_manager_v1_create_data_source(connection_.dataControlManager());
        zwlr_data_control_source_v1_add_listener(source->handle, &listener, this);
        for (const auto& [format, bytes] : source->contents)
            zwlr_data_control_source_v1_offer(source->handle, format.toUtf8().constData());
        zwlr_data_control_device_v1_set_selection(device_, source->handle);
        sources_.push_back(std::move(source));
        owned_ = true;
    } else {
        zwlr_data_control_device_v1_set_selection(device_, nullptr);
        owned_ = false;
    }
    // The compositor tells us of our own selection too; a change of ours counts once at least.
    connection_.roundtrip();
    if (changeCount_ == before)
        ++changeCount_;
}

void DataControlPasteboard::clearContents() { select(nullptr); }

void DataControlPasteboard::setString(const QString& text) {
    auto source = std::make_unique<Source>();
    const QByteArray utf8 = text.toUtf8();
    for (const QString& format : kOfferedTextFormats)
        source->contents.append({format, utf8});
    select(std::move(source));
}

void DataControlPasteboard::setContents(const PasteboardContents& contents) {
    auto source = std::make_unique<Source>();
    source->contents = contents;
    select(std::move(source));
}

} // namespace sayloom::linux_desktop
