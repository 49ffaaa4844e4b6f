#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace sayloom {

// Everything a clipboard holds: each format (a MIME type) with its data, in the order offered.
using PasteboardContents = QList<std::pair<QString, QByteArray>>;

// The desktop's clipboard (the one Ctrl+V pastes from). Main thread only.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Grows by at least one on every change of the content, ours or another application's.
    virtual qint64 changeCount() const = 0;
    // The plain text on the clipboard; nothing when it holds no text.
    virtual std::optional<QString> string() const = 0;
    // Every format the clipboard offers now, with its data.
    virtual PasteboardContents contents() const = 0;
    // How many times other applications have asked for the content we put on the clipboard (a
    // paste, a clipboard manager's copy), counted since this object was made; asking only which
    // formats are offered does not count. Nothing when this desktop does not let us see it.
    virtual std::optional<qint64> contentRequestCount() const = 0;

    // Returns once the desktop has taken in what we just put on the clipboard, so that a paste
    // from now on pastes it (a compositor that hands X clients' clipboards to its Wayland clients
    // copies the offer first); bounded. At once where applications ask us directly.
    virtual void awaitOfferTaken() {}

    virtual void clearContents() = 0;
    // Puts plain text on the clipboard, as the only content.
    virtual void setString(const QString& text) = 0;
    // Puts these formats on the clipboard, as the only content.
    virtual void setContents(const PasteboardContents& contents) = 0;
};

} // namespace sayloom
