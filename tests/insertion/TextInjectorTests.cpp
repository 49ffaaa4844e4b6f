#include "InsertionFakes.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "VirtualScheduler.h"

#include "insertion/AXFallbackCache.h"
#include "insertion/TextInjector.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

namespace {

const QString kCategory = QStringLiteral("injector");

PasteboardContents textContents(const QString& text) {
    return {{QStringLiteral("text/plain"), text.toUtf8()}};
}

class TextInjectorTest : public ::testing::Test {
protected:
    TextInjectorTest() {
        QObject::connect(&injector, &TextInjector::postingKeysChanged, [this](bool posting) {
            keys.events << (posting ? QStringLiteral("posting") : QStringLiteral("posted"));
        });
        QObject::connect(&injector, &TextInjector::leftOnClipboard, [this] { ++leftOnClipboard; });
        QObject::connect(&injector, &TextInjector::keysRefused, [this] { ++refused; });
        // Unless a test says otherwise, the focused application takes every paste.
        keys.onPaste = [this] { targetAsksForContent(); };
    }

    // The focused application asks for the clipboard a moment after the shortcut reached it,
    // once the keys have gone out.
    void targetAsksForContent() {
        reads.push_back(
            scheduler.scheduleOnce(20ms, [this] { pasteboard.applicationAsksForContent(); }));
    }

    LogCapture logs;
    VirtualScheduler scheduler;
    MemoryKeyValueStore store;
    AXFallbackCache cache{store};
    FakeAXInjector ax;
    FakePasteboard pasteboard;
    FakeKeyPoster keys;
    FakeAccessibilityTrust trust;
    std::optional<QString> frontmost = QStringLiteral("org.example.Editor");
    int providerCalls = 0;
    int leftOnClipboard = 0;
    int refused = 0;
    TextInjector injector{
        TextInjector::Collaborators{ax, cache, pasteboard, keys, trust, scheduler, [this] {
                                        ++providerCalls;
                                        return frontmost;
                                    }}};
    std::vector<Timer> reads;
};

TEST_F(TextInjectorTest, EmptyTextTouchesNothing) {
    EXPECT_TRUE(injector.inject(QString()));
    EXPECT_EQ(providerCalls, 0);
    EXPECT_TRUE(ax.inserted.isEmpty());
    EXPECT_TRUE(pasteboard.log.isEmpty());
    EXPECT_EQ(pasteboard.contentReads, 0);
    EXPECT_TRUE(keys.events.isEmpty());
    EXPECT_EQ(injector.lastRoad(), TextInjector::Road::none);
}

struct RoadCase {
    const char* name;
    std::optional<QString> frontmost;
    std::optional<InjectionError> axResult;
    TextInjector::Road road;
    bool directTried;
    bool cached;
};

TEST_F(TextInjectorTest, ChoosesTheRoadByApplicationAndDirectOutcome) {
    const std::vector<RoadCase> cases = {
        {"no frontmost application", std::nullopt, std::nullopt, TextInjector::Road::paste, false,
         false},
        {"typing application", QStringLiteral("com.apple.dt.Xcode"), std::nullopt,
         TextInjector::Road::type, false, false},
        {"Linux terminal by application id", QStringLiteral("org.gnome.Terminal"), std::nullopt,
         TextInjector::Road::type, false, false},
        {"Linux terminal by window class", QStringLiteral("XTerm"), std::nullopt,
         TextInjector::Road::type, false, false},
        {"paste-only application", QStringLiteral("com.apple.MobileSMS"),
         InjectionError::attributeNotSettable(), TextInjector::Road::paste, false, false},
        {"direct success", QStringLiteral("org.example.A"), std::nullopt,
         TextInjector::Road::direct, true, false},
        {"not settable is cached", QStringLiteral("org.example.B"),
         InjectionError::attributeNotSettable(), TextInjector::Road::paste, true, true},
        {"accessibility failure is cached", QStringLiteral("org.example.C"),
         InjectionError::axFailure(-25200), TextInjector::Road::paste, true, true},
        {"web field is not cached", QStringLiteral("org.example.D"),
         InjectionError::notTextElement(), TextInjector::Road::paste, true, false},
        {"nothing focused is not cached", QStringLiteral("org.example.E"),
         InjectionError::noFocusedElement(), TextInjector::Road::paste, true, false},
        {"busy target is not cached", QStringLiteral("org.example.F"),
         InjectionError::temporarilyUnavailable(), TextInjector::Road::paste, true, false},
        {"no access is not cached", QStringLiteral("org.example.G"),
         InjectionError::accessibilityNotGranted(), TextInjector::Road::paste, true, false},
        {"ignored write is not cached", QStringLiteral("org.example.H"),
         InjectionError::writeIgnored(), TextInjector::Road::paste, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        frontmost = c.frontmost;
        ax.result = c.axResult;
        ax.inserted.clear();

        injector.inject(QStringLiteral("hello"));

        EXPECT_EQ(injector.lastRoad(), c.road);
        EXPECT_EQ(!ax.inserted.isEmpty(), c.directTried);
        if (c.frontmost) {
            EXPECT_EQ(cache.contains(*c.frontmost), c.cached);
        }
        scheduler.advance(2s);
    }
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::info,
        QStringLiteral("AX inject failed for org.example.B: attributeNotSettable — falling back to "
                       "clipboard")));
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::info,
        QStringLiteral(
            "AX inject failed for org.example.C: axFailure(-25200) — falling back to clipboard")));
    EXPECT_TRUE(logs.contains(kCategory, LogLevel::info,
                              QStringLiteral("AX inject ok for org.example.A (5 chars)")));
}

TEST_F(TextInjectorTest, CachedApplicationIsPastedIntoStraightAway) {
    ax.result = InjectionError::attributeNotSettable();
    injector.inject(QStringLiteral("first"));
    ASSERT_EQ(ax.inserted.size(), 1);
    scheduler.advance(2s);

    injector.inject(QStringLiteral("second"));
    EXPECT_EQ(ax.inserted.size(), 1);
    EXPECT_EQ(injector.lastRoad(), TextInjector::Road::paste);
    EXPECT_TRUE(
        logs.contains(kCategory, LogLevel::debug,
                      QStringLiteral("Bundle in fallback cache, using clipboard path directly")));
}

TEST_F(TextInjectorTest, DirectSuccessIsTrueEvenWhenInputCannotBeSynthesised) {
    trust.trusted = false;
    EXPECT_TRUE(injector.inject(QStringLiteral("hello")));
    EXPECT_TRUE(pasteboard.log.isEmpty());
    EXPECT_TRUE(keys.events.isEmpty());
}

TEST_F(TextInjectorTest, PastePutsTheTextOnTheClipboardPostsTheShortcutAndReportsTrust) {
    frontmost.reset();
    pasteboard.userCopies(textContents(QStringLiteral("before")));
    for (const bool trusted : {true, false}) {
        trust.trusted = trusted;
        EXPECT_EQ(injector.inject(QStringLiteral("dictated")), trusted);
        EXPECT_EQ(pasteboard.string(), QStringLiteral("dictated"));
    }
    EXPECT_EQ(keys.events, QStringList({"posting", "paste ctrl+v", "posted", "posting",
                                        "paste ctrl+v", "posted"}));
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::info,
        QStringLiteral("Pasting 8 chars via clipboard - accessibility trusted: false")));
}

// Without trust the keys may have gone nowhere, and a clipboard manager's read of every change
// would pass for the paste: the transcript stays on the clipboard, as the notice then says.
TEST_F(TextInjectorTest, AnUntrustedPasteLeavesTheTextOnTheClipboardThoughItWasRead) {
    frontmost.reset();
    pasteboard.userCopies(textContents(QStringLiteral("before")));
    injector.inject(QStringLiteral("trusted"));
    EXPECT_TRUE(injector.isClipboardRestorePending());

    trust.trusted = false;
    keys.onPaste = [this] { pasteboard.applicationAsksForContent(); };
    EXPECT_FALSE(injector.inject(QStringLiteral("dictated")));
    EXPECT_FALSE(injector.isClipboardRestorePending());
    scheduler.advance(5s);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("dictated"));
}

TEST_F(TextInjectorTest, BurstOfPastesRestoresOnceToTheContentBeforeTheFirst) {
    frontmost.reset();
    pasteboard.userCopies(textContents(QStringLiteral("T")));

    injector.inject(QStringLiteral("one"));
    scheduler.advance(1s);
    injector.inject(QStringLiteral("two"));
    EXPECT_TRUE(injector.isClipboardRestorePending());

    scheduler.advance(1499ms);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("two"));
    pasteboard.log.clear();
    scheduler.advance(1ms);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("T"));
    EXPECT_EQ(pasteboard.log, QStringList({"clear", "setContents text/plain"}));
    EXPECT_FALSE(injector.isClipboardRestorePending());

    // The next paste starts a new burst and saves afresh.
    pasteboard.userCopies(textContents(QStringLiteral("U")));
    injector.inject(QStringLiteral("three"));
    scheduler.advance(1500ms);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("U"));
}

TEST_F(TextInjectorTest, EveryFormatOnTheClipboardComesBack) {
    frontmost.reset();
    const QByteArray png("\x89PNG\r\n\x1a\n-image-bytes", 20);
    const PasteboardContents image = {{QStringLiteral("image/png"), png}};
    const PasteboardContents rich = {{QStringLiteral("text/html"), "<b>bold</b>"},
                                     {QStringLiteral("text/plain"), "bold"}};
    for (const auto& original : {image, rich}) {
        pasteboard.userCopies(original);
        injector.inject(QStringLiteral("dictated"));
        scheduler.advance(1500ms);
        EXPECT_EQ(pasteboard.held(), original);
    }

    // An empty clipboard stays empty.
    pasteboard.userCopies({});
    injector.inject(QStringLiteral("dictated"));
    pasteboard.log.clear();
    scheduler.advance(1500ms);
    EXPECT_EQ(pasteboard.log, QStringList({"clear"}));
    EXPECT_TRUE(pasteboard.held().isEmpty());
}

TEST_F(TextInjectorTest, RestoreLeavesAClipboardThatChangedAfterThePaste) {
    frontmost.reset();
    pasteboard.userCopies(textContents(QStringLiteral("T")));
    injector.inject(QStringLiteral("dictated"));
    scheduler.advance(700ms);
    const PasteboardContents userCopy = {{QStringLiteral("image/png"), "user-image"}};
    pasteboard.userCopies(userCopy);

    scheduler.advance(800ms);
    EXPECT_EQ(pasteboard.held(), userCopy);
    EXPECT_TRUE(logs.contains(kCategory, LogLevel::info,
                              QStringLiteral("Clipboard changed externally, skipping restore")));
    EXPECT_FALSE(injector.isClipboardRestorePending());
}

TEST_F(TextInjectorTest, RestoreComparesTheTextByCanonicalEquivalence) {
    frontmost.reset();
    struct Case {
        const char* name;
        QString injected;
        QString onClipboard;
        bool restored;
    };
    // Same change count, but the clipboard answers with another text.
    const std::vector<Case> cases = {
        {"decomposed form of the same text", QStringLiteral("caf\u00e9"),
         QStringLiteral("cafe\u0301"), true},
        {"different text", QStringLiteral("dictated"), QStringLiteral("dictate"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pasteboard.userCopies(textContents(QStringLiteral("T")));
        injector.inject(c.injected);
        pasteboard.rewriteWithoutChange(textContents(c.onClipboard));
        scheduler.advance(1500ms);
        EXPECT_EQ(pasteboard.string(), c.restored ? QStringLiteral("T") : c.onClipboard);
    }
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::info,
        QStringLiteral("Clipboard content no longer matches injected text, skipping restore")));
}

TEST_F(TextInjectorTest, APasteNobodyAskedForStaysOnTheClipboard) {
    frontmost.reset();
    struct Case {
        const char* name;
        // Which pastes of the burst the target takes.
        QList<bool> taken;
        std::optional<qint64> requests;
        bool userCopiesMeanwhile;
        QString afterRestore;
        int left;
    };
    const std::vector<Case> cases = {
        {"taken", {true}, 0, false, "before", 0},
        {"nobody asked", {false}, 0, false, "dictated 1", 1},
        // The first paste arrived; the last one is the one that went nowhere.
        {"last of a burst not taken", {true, false}, 0, false, "dictated 2", 1},
        {"desktop that does not tell", {false}, std::nullopt, false, "before", 0},
        {"user copied since", {false}, 0, true, "user's copy", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pasteboard.contentRequests = c.requests;
        leftOnClipboard = 0;
        pasteboard.userCopies(textContents(QStringLiteral("before")));
        for (qsizetype i = 0; i < c.taken.size(); ++i) {
            keys.onPaste = [this, taken = c.taken[i]] {
                if (taken)
                    targetAsksForContent();
            };
            EXPECT_TRUE(injector.inject(QStringLiteral("dictated %1").arg(i + 1)));
            scheduler.advance(500ms);
        }
        if (c.userCopiesMeanwhile)
            pasteboard.userCopies(textContents(QStringLiteral("user's copy")));
        scheduler.advance(1s);
        EXPECT_FALSE(injector.isClipboardRestorePending());
        EXPECT_EQ(pasteboard.string(), c.afterRestore);
        EXPECT_EQ(leftOnClipboard, c.left);
    }
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::info,
        QStringLiteral("No application asked for the pasted text, leaving it on the clipboard")));
}

// A clipboard manager asks for every new text as soon as it is set, before the paste keys go
// out: its read must not pass for the target's, or a paste that went nowhere would be put back
// over and the transcript lost.
TEST_F(TextInjectorTest, AClipboardManagersReadBeforeTheKeysIsNoPaste) {
    frontmost.reset();
    struct Case {
        const char* name;
        bool managerCopies;
        bool taken;
        QString afterRestore;
        int left;
    };
    const Case cases[] = {
        {"manager copies, target takes", true, true, "before", 0},
        {"manager copies, nobody takes", true, false, "dictated", 1},
        {"no manager, target takes", false, true, "before", 0},
        {"no manager, nobody takes", false, false, "dictated", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        leftOnClipboard = 0;
        pasteboard.clipboardManagerCopies = c.managerCopies;
        pasteboard.userCopies(textContents(QStringLiteral("before")));
        pasteboard.log.clear();
        keys.onPaste = [this, taken = c.taken] {
            // The desktop has taken the offer in before the keys.
            EXPECT_EQ(pasteboard.log.value(pasteboard.log.size() - 1),
                      QStringLiteral("await offer"));
            if (taken)
                targetAsksForContent();
        };
        EXPECT_TRUE(injector.inject(QStringLiteral("dictated")));
        scheduler.advance(1500ms);
        EXPECT_EQ(pasteboard.string(), c.afterRestore);
        EXPECT_EQ(leftOnClipboard, c.left);
    }
}

TEST_F(TextInjectorTest, PendingRestoreEndsWithTheInjector) {
    frontmost.reset();
    keys.onPaste = {};
    {
        TextInjector shortLived{TextInjector::Collaborators{
            ax, cache, pasteboard, keys, trust, scheduler, [] { return std::nullopt; }}};
        shortLived.inject(QStringLiteral("dictated"));
        EXPECT_EQ(scheduler.pendingCount(), 1u);
    }
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

// MARK: typing

TEST_F(TextInjectorTest, TypesInChunksOfTwentyUnitsWithoutSplittingASurrogatePair) {
    frontmost = QStringLiteral("org.alacritty");
    const QString emoji = QStringLiteral("\U0001F600");
    struct Case {
        const char* name;
        QString text;
        QList<qsizetype> chunkSizes;
    };
    const std::vector<Case> cases = {
        {"41 letters", QString(41, QLatin1Char('a')), {20, 20, 1}},
        {"exactly 20", QString(20, QLatin1Char('a')), {20}},
        {"emoji across the boundary",
         QString(19, QLatin1Char('a')) + emoji + QString(10, 'b'),
         {21, 10}},
        {"emoji ending the text at the boundary", QString(19, QLatin1Char('a')) + emoji, {21}},
        {"emoji just before the boundary", QString(18, QLatin1Char('a')) + emoji + "cc", {20, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        keys.events.clear();
        keys.chunks.clear();
        EXPECT_TRUE(injector.inject(c.text));

        QList<qsizetype> sizes;
        QStringList expectedEvents = {QStringLiteral("posting"), QStringLiteral("begin ") + c.text};
        for (qsizetype i = 0; i < keys.chunks.size(); ++i) {
            sizes << keys.chunks[i].size();
            expectedEvents << QStringLiteral("chunk ") + keys.chunks[i];
            expectedEvents << (i + 1 < keys.chunks.size() ? QStringLiteral("pause")
                                                          : QStringLiteral("finish"));
        }
        expectedEvents << QStringLiteral("posted");
        EXPECT_EQ(sizes, c.chunkSizes);
        EXPECT_EQ(keys.chunks.join(QString()), c.text);
        EXPECT_EQ(keys.events, expectedEvents);
    }
}

// A keyboard that types through its layout has no key for some characters: such a text is
// pasted whole with the terminal's shortcut, and the clipboard comes back as after any paste.
TEST_F(TextInjectorTest, ATextTheLayoutCannotTypeIsPastedWithTheTerminalsShortcut) {
    frontmost = QStringLiteral("org.gnome.Console");
    keys.untypeable = QStringLiteral("éü");
    struct Case {
        const char* name;
        QString text;
        TextInjector::Road road;
        QStringList events;
    };
    const Case cases[] = {
        {"typeable",
         QStringLiteral("ls -la"),
         TextInjector::Road::type,
         {"posting", "begin ls -la", "chunk ls -la", "finish", "posted"}},
        {"one character without a key",
         QStringLiteral("echo grün"),
         TextInjector::Road::paste,
         {"posting", "paste ctrl+shift+v", "posted"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.events.clear();
        keys.chunks.clear();
        pasteboard.userCopies(textContents(QStringLiteral("before")));
        EXPECT_TRUE(injector.inject(c.text));
        EXPECT_EQ(injector.lastRoad(), c.road);
        EXPECT_EQ(keys.events, c.events);
        if (c.road == TextInjector::Road::paste) {
            EXPECT_EQ(pasteboard.string(), c.text);
        }
        scheduler.advance(1500ms);
        EXPECT_EQ(pasteboard.string(), QStringLiteral("before"));
    }
}

// The user did not let the desktop take keys from Sayloom: whatever the road, the transcript
// waits on the clipboard, nothing is put back over it, and the refusal is reported.
TEST_F(TextInjectorTest, RefusedKeysLeaveTheTranscriptOnTheClipboardAndSaySo) {
    keys.refused = true;
    const QString longText = QString(50, QLatin1Char('a'));
    struct Case {
        const char* name;
        std::optional<QString> frontmostApplication;
        QString text;
        QStringList events;
    };
    const Case cases[] = {
        {"paste", std::nullopt, QStringLiteral("dictated"), {"posting", "paste ctrl+v", "posted"}},
        // The first refused chunk ends the run.
        {"typing",
         QStringLiteral("kitty"),
         longText,
         {"posting", "begin " + longText, "chunk " + longText.left(20), "finish", "posted"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        frontmost = c.frontmostApplication;
        keys.events.clear();
        refused = 0;
        pasteboard.userCopies(textContents(QStringLiteral("before")));
        EXPECT_FALSE(injector.inject(c.text));
        EXPECT_EQ(keys.events, c.events);
        EXPECT_FALSE(injector.isClipboardRestorePending());
        scheduler.advance(5s);
        EXPECT_EQ(pasteboard.string(), c.text);
        EXPECT_EQ(refused, 1);
        EXPECT_EQ(leftOnClipboard, 0);
    }
}

TEST_F(TextInjectorTest, TypingWhileUntrustedPostsAnywayAndLeavesTheClipboardAlone) {
    frontmost = QStringLiteral("kitty");
    trust.trusted = false;
    pasteboard.userCopies(textContents(QStringLiteral("T")));

    EXPECT_FALSE(injector.inject(QStringLiteral("ls -la")));
    EXPECT_EQ(keys.chunks, QStringList({"ls -la"}));
    EXPECT_TRUE(pasteboard.log.isEmpty());
    EXPECT_EQ(pasteboard.contentReads, 0);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    EXPECT_TRUE(logs.contains(
        kCategory, LogLevel::info,
        QStringLiteral(
            "Typing 6 chars via CGEvent unicode (terminal) - accessibility trusted: false")));
}

} // namespace
