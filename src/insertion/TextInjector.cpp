#include "insertion/TextInjector.h"

#include "support/TextMetrics.h"

#include <algorithm>

namespace sayloom {

namespace {

// Terminal emulators of the Linux desktop, by every identifier their windows go by: the
// application id, the desktop-file id and the window class, lower-cased.
const QSet<QString>& linuxTerminalIDs() {
    static const QSet<QString> ids = {
        // GNOME Terminal, GNOME Console, Ptyxis
        QStringLiteral("org.gnome.terminal"), QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"), QStringLiteral("org.gnome.console"),
        QStringLiteral("kgx"), QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("app.devsuite.ptyxis"),
        // Konsole, Yakuake
        QStringLiteral("org.kde.konsole"), QStringLiteral("konsole"),
        QStringLiteral("org.kde.yakuake"), QStringLiteral("yakuake"),
        // xterm and rxvt
        QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("debian-xterm"),
        QStringLiteral("debian-uxterm"), QStringLiteral("urxvt"), QStringLiteral("rxvt"),
        QStringLiteral("rxvt-unicode"),
        // Alacritty, kitty, WezTerm, Ghostty
        QStringLiteral("alacritty"), QStringLiteral("kitty"),
        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("wezterm"),
        QStringLiteral("ghostty"),
        // Tilix, Terminator, XFCE Terminal, foot
        QStringLiteral("com.gexperts.tilix"), QStringLiteral("tilix"), QStringLiteral("terminator"),
        QStringLiteral("xfce4-terminal"), QStringLiteral("org.xfce.terminal"),
        QStringLiteral("foot"), QStringLiteral("footclient"),
        QStringLiteral("org.codeberg.dnkl.foot"),
        // MATE, LXDE/LXQt, Enlightenment, suckless, drop-down and other terminals
        QStringLiteral("mate-terminal"), QStringLiteral("lxterminal"), QStringLiteral("qterminal"),
        QStringLiteral("terminology"), QStringLiteral("st"), QStringLiteral("st-256color"),
        QStringLiteral("guake"), QStringLiteral("tilda"), QStringLiteral("sakura"),
        QStringLiteral("cool-retro-term"), QStringLiteral("com.raggesilver.blackbox"),
        QStringLiteral("contour"), QStringLiteral("org.contourterminal.contour"),
        QStringLiteral("deepin-terminal"), QStringLiteral("tabby"), QStringLiteral("hyper"),
        QStringLiteral("dev.warp.warp")};
    return ids;
}

// Identifiers are compared without regard to letter case: window classes come capitalised
// ("XTerm", "Gnome-terminal") while application ids do not.
bool containsID(const QSet<QString>& set, const QString& id) {
    return set.contains(id) || set.contains(id.toLower());
}

} // namespace

TextInjector::TextInjector(Collaborators collaborators, QObject* parent)
    : QObject(parent)
    , c_(std::move(collaborators)) {}

TextInjector::~TextInjector() = default;

const QSet<QString>& TextInjector::unicodeTypingBundleIDs() {
    static const QSet<QString> ids = [] {
        QSet<QString> all = {
            QStringLiteral("com.apple.Terminal"),    QStringLiteral("com.googlecode.iterm2"),
            QStringLiteral("com.mitchellh.ghostty"), QStringLiteral("net.kovidgoyal.kitty"),
            QStringLiteral("org.alacritty"),         QStringLiteral("com.github.wez.wezterm"),
            QStringLiteral("co.zeit.hyper"),         QStringLiteral("org.tabby"),
            QStringLiteral("com.raycast.macos"),     QStringLiteral("com.apple.dt.Xcode"),
            QStringLiteral("net.whatsapp.WhatsApp"), QStringLiteral("com.whatsapp.WhatsApp"),
            QStringLiteral("desktop.WhatsApp")};
        for (const QString& id : linuxTerminalIDs())
            all.insert(id);
        return all;
    }();
    return ids;
}

const QSet<QString>& TextInjector::pasteOnlyBundleIDs() {
    static const QSet<QString> ids = {QStringLiteral("com.apple.MobileSMS"),
                                      QStringLiteral("com.apple.iChat")};
    return ids;
}

const char* TextInjector::roadName(Road road) {
    switch (road) {
    case Road::none:
        return "none";
    case Road::direct:
        return "direct";
    case Road::paste:
        return "paste";
    case Road::type:
        return "type";
    }
    return "none";
}

bool TextInjector::inject(const QString& text) {
    lastRoad_ = Road::none;
    if (text.isEmpty())
        return true;

    const std::optional<QString> bundleID =
        c_.frontmostBundleIDProvider ? c_.frontmostBundleIDProvider() : std::nullopt;
    if (!bundleID)
        return paste(text);
    if (containsID(unicodeTypingBundleIDs(), *bundleID))
        return type(text);
    if (pasteOnlyBundleIDs().contains(*bundleID))
        return paste(text);
    if (c_.fallbackCache.contains(*bundleID)) {
        log_.debug("Bundle in fallback cache, using clipboard path directly");
        return paste(text);
    }

    const std::optional<InjectionError> error = c_.axInjector.insert(text, bundleID);
    if (!error) {
        lastRoad_ = Road::direct;
        log_.info("AX inject ok for %{public}s (%ld chars)", *bundleID, characterCount(text));
        return true;
    }
    // Failures that say something about the application are remembered; those that say
    // something about this moment or this field (nothing focused, a web field, a busy target, no
    // access, a field that ignored the write) are not.
    if (error->errorCase() == InjectionError::Case::axFailure ||
        error->errorCase() == InjectionError::Case::attributeNotSettable)
        c_.fallbackCache.add(*bundleID);
    log_.info("AX inject failed for %{public}s: %{public}s — falling back to clipboard", *bundleID,
              error->description());
    return paste(text);
}

bool TextInjector::paste(const QString& text, PasteKeys keys) {
    lastRoad_ = Road::paste;
    const bool trusted = c_.trust.isProcessTrusted();
    log_.info("Pasting %ld chars via clipboard - accessibility trusted: %{bool}d",
              characterCount(text), trusted);

    // A burst of pastes restores once, to what the clipboard held before its first paste. Every
    // format is kept, not only the text: an image or copied files must survive a dictation.
    if (trusted && !clipboardRestorePending_)
        clipboardOriginal_ = SavedClipboard{c_.pasteboard.string(), c_.pasteboard.contents()};
    clipboardRestore_.cancel();
    clipboardRestorePending_ = trusted;
    const SavedClipboard saved = clipboardOriginal_.value_or(SavedClipboard{});
    if (!trusted)
        clipboardOriginal_.reset();

    c_.pasteboard.clearContents();
    c_.pasteboard.setString(text);
    c_.pasteboard.awaitOfferTaken();
    const qint64 expectedChangeCount = c_.pasteboard.changeCount();

    setPostingKeys(true);
    const bool posted =
        keys == PasteKeys::terminal ? c_.keyPoster.postTerminalPaste() : c_.keyPoster.postPaste();
    setPostingKeys(false);
    // Requests are counted from the moment the keys went out: a clipboard manager copies every
    // change as soon as it is made, and its read must not pass for the target's.
    const std::optional<qint64> requestsAtPaste = c_.pasteboard.contentRequestCount();

    // Without trust nothing can tell whether the keys reached anyone (and a clipboard manager
    // reads every change, so a read proves nothing): the text stays on the clipboard for the user
    // to paste, as the notice then says, and nothing is put back over it.
    if (!trusted)
        return false;
    if (!posted) {
        keysNotPosted();
        return false;
    }
    clipboardRestore_ = c_.scheduler.scheduleOnce(
        kClipboardRestoreDelay, [this, expectedChangeCount, requestsAtPaste, text, saved] {
            restoreClipboard(expectedChangeCount, requestsAtPaste, text, saved);
        });
    return true;
}

void TextInjector::restoreClipboard(qint64 expectedChangeCount,
                                    std::optional<qint64> requestsAtPaste,
                                    const QString& injectedText, const SavedClipboard& saved) {
    // A target that takes the paste asks for the text within milliseconds of the keystroke;
    // without a request by now the paste went nowhere, and putting the old content back would
    // throw the transcript away.
    const std::optional<qint64> requests = c_.pasteboard.contentRequestCount();
    const bool unclaimed = requestsAtPaste && requests && *requests == *requestsAtPaste;
    bool left = false;
    if (c_.pasteboard.changeCount() != expectedChangeCount) {
        log_.info("Clipboard changed externally, skipping restore");
    } else {
        const std::optional<QString> current = c_.pasteboard.string();
        // Compared by canonical equivalence: a clipboard reader may hand the text back in another
        // normalisation form.
        if (!current || current->normalized(QString::NormalizationForm_C) !=
                            injectedText.normalized(QString::NormalizationForm_C)) {
            log_.info("Clipboard content no longer matches injected text, skipping restore");
        } else if (unclaimed) {
            log_.info("No application asked for the pasted text, leaving it on the clipboard");
            left = true;
        } else {
            c_.pasteboard.clearContents();
            if (!saved.contents.isEmpty())
                c_.pasteboard.setContents(saved.contents);
            else if (saved.text)
                c_.pasteboard.setString(*saved.text);
        }
    }
    clipboardRestorePending_ = false;
    clipboardOriginal_.reset();
    // The timer that called us is spent; dropping its handle here is safe.
    clipboardRestore_ = Timer();
    if (left)
        Q_EMIT leftOnClipboard();
    Q_EMIT clipboardRestoreFinished();
}

bool TextInjector::type(const QString& text) {
    lastRoad_ = Road::type;
    const bool trusted = c_.trust.isProcessTrusted();
    log_.info("Typing %ld chars via CGEvent unicode (terminal) - accessibility trusted: %{bool}d",
              characterCount(text), trusted);
    const qsizetype count = text.size();
    if (count == 0)
        return trusted;
    // A keyboard that types through its layout cannot type every character: such a text goes
    // whole by the terminal's paste, never half typed.
    if (trusted && !c_.keyPoster.canType(text)) {
        log_.info("The keyboard layout cannot type every character, pasting instead");
        return paste(text, PasteKeys::terminal);
    }

    setPostingKeys(true);
    c_.keyPoster.beginTyping(text);
    qsizetype start = 0;
    bool typed = true;
    while (true) {
        const qsizetype tentativeEnd = start + kTypingChunkUnits;
        qsizetype end = std::min(tentativeEnd, count);
        if (tentativeEnd < count && text.at(end - 1).isHighSurrogate())
            ++end;
        typed = c_.keyPoster.typeChunk(text.mid(start, end - start)) && typed;
        // The desktop refused the keys: the rest would go nowhere either.
        if (end >= count || c_.keyPoster.wasRefused())
            break;
        c_.keyPoster.pauseBetweenChunks();
        start = end;
    }
    c_.keyPoster.finishTyping();
    setPostingKeys(false);
    if (trusted && !typed && c_.keyPoster.wasRefused()) {
        // Never lose the transcript: it waits on the clipboard for the user.
        c_.pasteboard.clearContents();
        c_.pasteboard.setString(text);
        keysNotPosted();
        return false;
    }
    return trusted;
}

void TextInjector::keysNotPosted() {
    clipboardRestorePending_ = false;
    clipboardOriginal_.reset();
    if (c_.keyPoster.wasRefused()) {
        log_.error("The desktop refused to let Sayloom press keys, leaving the text on the "
                   "clipboard");
        Q_EMIT keysRefused();
    } else {
        log_.error("The paste keys could not be posted, leaving the text on the clipboard");
        Q_EMIT leftOnClipboard();
    }
}

void TextInjector::setPostingKeys(bool posting) {
    postingKeys_ = posting;
    Q_EMIT postingKeysChanged(posting);
}

} // namespace sayloom
