#pragma once

#include "insertion/Pasteboard.h"
#include "support/Logger.h"

#include <QObject>
#include <QStringList>

#include <chrono>
#include <list>
#include <map>
#include <memory>

struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace sayloom::linux_desktop {

class WaylandConnection;

// The seat's clipboard through the compositor's data-control protocol (wlroots compositors such
// as sway), which needs no window or keyboard focus. The compositor tells of every new selection,
// ours included, each moving the change count. Every read first lets the compositor's news in (a
// roundtrip): another application may have taken the clipboard a moment ago, and a snapshot
// answered from what we offered before would then restore the wrong content. Reads ask the owner
// for each format through a pipe, dispatching the connection meanwhile, and give up on a format
// whose owner sends nothing for kReadIdleBound; what we offer ourselves is answered from memory.
// Others' requests for our content are written from the event loop, without blocking it; each
// counts as a content request. Main thread only.
class DataControlPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kReadIdleBound{1000};

    explicit DataControlPasteboard(WaylandConnection& connection, QObject* parent = nullptr);
    ~DataControlPasteboard() override;

    // Whether the compositor offers the protocol on this connection (null: no connection).
    static bool isOffered(const WaylandConnection* connection);

    qint64 changeCount() const override;
    std::optional<QString> string() const override;
    PasteboardContents contents() const override;
    // Counts the requests dispatched so far, without asking the compositor for news: a paste's
    // request that came in since the keys went out is counted later.
    std::optional<qint64> contentRequestCount() const override { return contentRequests_; }
    void clearContents() override;
    void setString(const QString& text) override;
    void setContents(const PasteboardContents& contents) override;

private:
    struct Source;
    class Writer;

    // The formats of an offer, as the compositor announced them.
    using Offers = std::map<zwlr_data_control_offer_v1*, QStringList>;

    // Makes a selection change of ours (or a clearing, with null) and waits for the compositor
    // to have made it.
    void select(std::unique_ptr<Source> source);
    std::optional<QByteArray> receive(const QString& format) const;
    const PasteboardContents* ownContents() const;
    void forgetSource(zwlr_data_control_source_v1* handle);
    // Dispatches what the compositor has told us until now.
    void catchUp() const;

    static void dataOffer(void* data, zwlr_data_control_device_v1*,
                          zwlr_data_control_offer_v1* offer);
    static void selection(void* data, zwlr_data_control_device_v1*,
                          zwlr_data_control_offer_v1* offer);
    static void finished(void* data, zwlr_data_control_device_v1*);
    static void offerFormat(void* data, zwlr_data_control_offer_v1* offer, const char* mimeType);
    static void send(void* data, zwlr_data_control_source_v1* source, const char* mimeType,
                     int32_t fd);
    static void cancelled(void* data, zwlr_data_control_source_v1* source);

    WaylandConnection& connection_;
    zwlr_data_control_device_v1* device_ = nullptr;
    Offers offers_;
    zwlr_data_control_offer_v1* selection_ = nullptr;
    // Our sources the compositor has not cancelled yet; the last one is the selection while
    // `owned_` says so.
    std::list<std::unique_ptr<Source>> sources_;
    bool owned_ = false;
    std::list<std::unique_ptr<Writer>> writers_;
    qint64 changeCount_ = 0;
    qint64 contentRequests_ = 0;
    Logger log_{QStringLiteral("pasteboard")};
};

} // namespace sayloom::linux_desktop
