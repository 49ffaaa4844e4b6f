#pragma once

#include "engine/EnginePorts.h"
#include "insertion/AXFallbackCaching.h"
#include "insertion/AXInjecting.h"
#include "insertion/AccessibilityTrust.h"
#include "insertion/KeyPoster.h"
#include "insertion/Pasteboard.h"
#include "support/Logger.h"
#include "support/Scheduler.h"

#include <QObject>
#include <QSet>

#include <chrono>
#include <functional>
#include <optional>

namespace sayloom {

// Delivers a finished transcript to the frontmost application by one of three roads: direct
// insertion through the accessibility interface, a paste through the clipboard (whose previous
// content is put back 1.5 seconds after the last paste of a burst), or Unicode key typing for
// terminals and a few applications that handle neither well. Applications where a direct
// insertion failed for good are remembered in the fallback cache and pasted into from then on.
// A direct insertion that left the field as it was is pasted instead. A paste that no application
// asked the clipboard for after its keys went out went nowhere: its text stays on the clipboard
// rather than the previous content, and leftOnClipboard() says so. Typing that the keyboard's
// layout cannot do is a paste with the terminal's shortcut. Main thread only.
class TextInjector final : public QObject, public TranscriptInserter {
    Q_OBJECT
public:
    enum class Road { none, direct, paste, type };

    static constexpr std::chrono::milliseconds kClipboardRestoreDelay{1500};
    // UTF-16 units per typed chunk (one more to keep a surrogate pair whole).
    static constexpr qsizetype kTypingChunkUnits = 20;

    struct Collaborators {
        AXInjecting& axInjector;
        AXFallbackCaching& fallbackCache;
        Pasteboard& pasteboard;
        KeyPoster& keyPoster;
        AccessibilityTrust& trust;
        Scheduler& scheduler;
        // The frontmost application's identifier, or nothing when there is no frontmost
        // application or it has none.
        std::function<std::optional<QString>()> frontmostBundleIDProvider;
    };

    explicit TextInjector(Collaborators collaborators, QObject* parent = nullptr);
    ~TextInjector() override;

    // Applications that get Unicode key typing, never tried with direct insertion: terminal
    // emulators (the Linux ones by application id, desktop-file id or window class, matched
    // without regard to letter case) and a few applications that take neither other road well.
    static const QSet<QString>& unicodeTypingBundleIDs();
    // Applications that are pasted into without trying direct insertion.
    static const QSet<QString>& pasteOnlyBundleIDs();

    // True when the text was empty or inserted directly; otherwise (pasted or typed) whether this
    // session may synthesise input, read just before the keys were posted.
    bool inject(const QString& text) override;

    // The road the last inject took (none for an empty text).
    Road lastRoad() const { return lastRoad_; }
    static const char* roadName(Road road);

    bool isClipboardRestorePending() const { return clipboardRestorePending_; }
    bool isPostingKeys() const { return postingKeys_; }

Q_SIGNALS:
    // True just before the first synthetic key, false once the last one has reached the display
    // server: a key monitor that reads every event already delivered when this turns false has
    // seen all of ours.
    void postingKeysChanged(bool posting);
    // The scheduled clipboard restore has run (whatever it decided).
    void clipboardRestoreFinished();
    // Nobody took the last paste: at the time of the restore its text was left on the clipboard
    // for the user to paste by hand, and the previous content is gone. Also when the paste keys
    // could not be posted at all.
    void leftOnClipboard();
    // The desktop refused to let us press keys (the user did not allow remote control): the
    // text is on the clipboard for the user to paste by hand.
    void keysRefused();

private:
    // What the clipboard held before the first paste of a burst.
    struct SavedClipboard {
        std::optional<QString> text;
        PasteboardContents contents;
    };

    // The shortcut a paste presses: Ctrl+V, or Ctrl+Shift+V in terminals.
    enum class PasteKeys { standard, terminal };

    bool paste(const QString& text, PasteKeys keys = PasteKeys::standard);
    bool type(const QString& text);
    // The keys of a paste or typing run did not go out: the text stays on the clipboard, with
    // nothing put back over it, and the user is told.
    void keysNotPosted();
    // `requestsAtPaste`: the pasteboard's content request count once the text was on it.
    void restoreClipboard(qint64 expectedChangeCount, std::optional<qint64> requestsAtPaste,
                          const QString& injectedText, const SavedClipboard& saved);
    void setPostingKeys(bool posting);

    Collaborators c_;
    Logger log_{QStringLiteral("injector")};
    Road lastRoad_ = Road::none;
    bool postingKeys_ = false;

    std::optional<SavedClipboard> clipboardOriginal_;
    Timer clipboardRestore_;
    bool clipboardRestorePending_ = false;
};

} // namespace sayloom
