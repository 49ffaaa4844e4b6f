#include "AccessibleTree.h"
#include "ClipboardSamples.h"
#include "FieldsApp.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "RealPartRequirement.h"

#include "engine/Cld2LanguageRecognizer.h"
#include "engine/TranscriptPostProcessing.h"
#include "insertion/AXFallbackCache.h"
#include "insertion/AccessibilityInjector.h"
#include "insertion/TextInjector.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/AtspiFrontmostApplication.h"
#include "platform/linux/QtClipboardPasteboard.h"
#include "platform/linux/X11FrontmostApplication.h"
#include "platform/linux/X11KeyPoster.h"
#include "platform/linux/X11SessionTrust.h"
#include "settings/AppSettings.h"
#include "support/QtScheduler.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }
inline void PrintTo(const QByteArray& bytes, std::ostream* os) { *os << bytes.toStdString(); }

namespace sayloom {
inline void PrintTo(const CaretContext& context, std::ostream* os) {
    *os << "before \"" << context.before.toStdString() << "\" after "
        << (context.after ? "\"" + context.after->toStdString() + "\"" : std::string("nothing"));
}
} // namespace sayloom

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

// Before main creates the application: these tests need the X11 clipboard, not the offscreen one
// that the unit tests get; without a display, offscreen still lets them report what is missing.
const bool platformChosen = [] {
    qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    return true;
}();

// The desktop these tests need: an X server with a window manager, and the accessibility bus. In
// CI a missing piece fails the test; elsewhere the test is skipped with the reason.
#define REQUIRE_DESKTOP() REQUIRE_REAL_PART(missingDesktopPart())

QString missingDesktopPart() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no X display (run inside scripts/lib/headless-session.sh)");
    X11Connection connection;
    if (!connection.display())
        return QStringLiteral("the X display cannot be opened");
    if (!X11SessionTrust().isProcessTrusted())
        return QStringLiteral("the X server lacks XTest or XInput 2.2");
    QProcess bus;
    bus.start(QStringLiteral("dbus-send"),
              {QStringLiteral("--session"), QStringLiteral("--print-reply"),
               QStringLiteral("--dest=org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
               QStringLiteral("org.a11y.Bus.GetAddress")});
    if (!bus.waitForFinished(10000) || bus.exitCode() != 0)
        return QStringLiteral("the accessibility bus cannot be reached");
    return {};
}

// Runs a program while our event loop goes on (it may read the clipboard we own).
struct RunResult {
    int exitCode = -1;
    QByteArray output;
};
RunResult run(const QString& program, const QStringList& arguments, const QByteArray& input = {},
              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
              int timeoutMs = 15000) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    RunResult result;
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    return result;
}

// The window that owns the clipboard now, as the X server says (0 for none).
unsigned long clipboardOwner();

// Puts content on the clipboard from another process, as a user's copy would, and returns once
// the X server names the new owner: xclip's first process exits before the one it leaves in the
// background has taken the selection. With `letEventsRun` false this process's event loop does
// not run meanwhile, so that it has not heard of the copy yet when the paste begins.
void copyWithXclip(const QByteArray& data, const QString& target, bool letEventsRun = true) {
    const unsigned long before = clipboardOwner();
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                          QStringLiteral("-t"), target, QStringLiteral("-i")});
    xclip.write(data);
    xclip.closeWriteChannel();
    const auto copied = [&] {
        return xclip.state() == QProcess::NotRunning && clipboardOwner() != before;
    };
    if (letEventsRun) {
        EXPECT_TRUE(QTest::qWaitFor(copied, 5000)) << "xclip did not take the clipboard";
        return;
    }
    xclip.waitForFinished(5000);
    QDeadlineTimer deadline(5000);
    // Polls another process's clipboard without running this process's event loop (the case
    // under test is a copy Qt has not heard of yet), so no event can be waited on.
    while (!copied() && !deadline.hasExpired())
        QThread::msleep(2);
    EXPECT_TRUE(copied()) << "xclip did not take the clipboard";
}

QByteArray pasteWithXclip(const QString& target) {
    return run(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                         QStringLiteral("-t"), target, QStringLiteral("-o")})
        .output;
}

QString fieldFor(FieldsApp::Toolkit toolkit, bool multiLine) {
    if (toolkit == FieldsApp::Toolkit::qt)
        return multiLine ? QStringLiteral("text") : QStringLiteral("line");
    return multiLine ? QStringLiteral("view") : QStringLiteral("entry");
}

struct FieldCase {
    FieldsApp::Toolkit toolkit;
    bool multiLine;
    const char* name;
};

const FieldCase kFields[] = {
    {FieldsApp::Toolkit::qt, false, "QLineEdit"},
    {FieldsApp::Toolkit::qt, true, "QTextEdit"},
    {FieldsApp::Toolkit::gtk, false, "GtkEntry"},
    {FieldsApp::Toolkit::gtk, true, "GtkTextView"},
};

class InsertionIntegrationTest : public ::testing::Test {
protected:
    // Starts the application, focuses the field and waits until its tree answers.
    std::unique_ptr<FieldsApp> startFocused(FieldsApp::Toolkit toolkit, const QString& field,
                                            const QString& text, int caret) {
        auto app = FieldsApp::start(toolkit);
        if (!app) {
            ADD_FAILURE() << "the test application did not start";
            return nullptr;
        }
        // Focus first: a GTK entry selects all its text when it gains focus.
        if (!app->focus(field)) {
            ADD_FAILURE() << "the test window did not become active";
            return nullptr;
        }
        EXPECT_TRUE(app->setText(field, text));
        EXPECT_TRUE(app->setCaret(field, caret));
        const bool exposed =
            QTest::qWaitFor([&] { return injector.caretContext(64).has_value(); }, 10000);
        EXPECT_TRUE(exposed) << "the focused field never showed up on the accessibility bus";
        return app;
    }

    LogCapture logs;
    QtScheduler scheduler;
    X11FrontmostApplication frontmost;
    AtspiAccessibility accessibility{frontmost, scheduler};
    AccessibilityInjector injector{accessibility, frontmost};
};

TEST_F(InsertionIntegrationTest, DirectInsertionAtTheCaretAndOverASelection) {
    REQUIRE_DESKTOP();
    for (const FieldCase& c : kFields) {
        SCOPED_TRACE(c.name);
        const QString field = fieldFor(c.toolkit, c.multiLine);
        // The emoji before the caret is two UTF-16 units but one character: offsets must be
        // converted for GTK and taken as they are for Qt.
        auto app = startFocused(c.toolkit, field, QStringLiteral("H\U0001F600llo world"), 5);
        ASSERT_TRUE(app);

        EXPECT_EQ(injector.insert(QStringLiteral(","), QStringLiteral("test")), std::nullopt);
        EXPECT_EQ(app->waitForText(field, QStringLiteral("H\U0001F600llo, world")),
                  QStringLiteral("H\U0001F600llo, world"));

        // The caret is after the inserted text: a second insertion continues there.
        EXPECT_EQ(injector.insert(QStringLiteral(" dear"), std::nullopt), std::nullopt);
        EXPECT_EQ(app->waitForText(field, QStringLiteral("H\U0001F600llo, dear world")),
                  QStringLiteral("H\U0001F600llo, dear world"));

        ASSERT_TRUE(app->select(field, 12, 17));
        EXPECT_EQ(injector.insert(QStringLiteral("caf\u00e9 \u65E5\u672C"), std::nullopt),
                  std::nullopt);
        EXPECT_EQ(
            app->waitForText(field, QStringLiteral("H\U0001F600llo, dear caf\u00e9 \u65E5\u672C")),
            QStringLiteral("H\U0001F600llo, dear caf\u00e9 \u65E5\u672C"));
    }
}

TEST_F(InsertionIntegrationTest, CaretContextReadsAroundTheCaretInUtf16Units) {
    REQUIRE_DESKTOP();
    for (const FieldCase& c : kFields) {
        SCOPED_TRACE(c.name);
        const QString field = fieldFor(c.toolkit, c.multiLine);
        auto app = startFocused(c.toolkit, field,
                                QStringLiteral("The \U0001F98A quick brown fox jumps"), 18);
        ASSERT_TRUE(app);

        EXPECT_EQ(injector.caretContext(64),
                  (CaretContext{QStringLiteral("The \U0001F98A quick brown "),
                                QStringLiteral("fox jumps")}));
        // Radius 9 takes nine UTF-16 units on each side.
        EXPECT_EQ(injector.caretContext(9),
                  (CaretContext{QStringLiteral("ck brown "), QStringLiteral("fox jumps")}));
        ASSERT_TRUE(app->setCaret(field, 5));
        EXPECT_EQ(injector.caretContext(3),
                  (CaretContext{QStringLiteral(" \U0001F98A"), QStringLiteral(" qu")}));
    }
}

TEST_F(InsertionIntegrationTest, ApplicationOffTheBusHasNothingFocused) {
    REQUIRE_DESKTOP();
    // A GTK application kept off the accessibility bus has nothing focused for us.
    auto hidden = FieldsApp::start(FieldsApp::Toolkit::gtk, false);
    ASSERT_TRUE(hidden);
    ASSERT_TRUE(hidden->focus(QStringLiteral("entry")));
    EXPECT_EQ(injector.insert(QStringLiteral("x"), std::nullopt),
              InjectionError::noFocusedElement());
    EXPECT_EQ(injector.caretContext(64), std::nullopt);
}

TEST_F(InsertionIntegrationTest, PostProcessingFitsATranscriptInsertedMidSentence) {
    REQUIRE_DESKTOP();
    MemoryKeyValueStore store;
    AppSettings settings(store);
    settings.setSpeechLanguageKey(QStringLiteral("en"));
    Cld2LanguageRecognizer recognizer;
    TranscriptPostProcessing processing(injector, settings, recognizer,
                                        [this] { return frontmost.frontmostApplicationID(); });

    for (const FieldCase& c : kFields) {
        SCOPED_TRACE(c.name);
        const QString field = fieldFor(c.toolkit, c.multiLine);
        auto app = startFocused(c.toolkit, field, QStringLiteral("I went to the and left."), 13);
        ASSERT_TRUE(app);

        const QString final = processing.process(QStringLiteral("Store"), false, std::nullopt);
        EXPECT_EQ(final, QStringLiteral(" store"));
        EXPECT_EQ(injector.insert(final, std::nullopt), std::nullopt);
        EXPECT_EQ(app->waitForText(field, QStringLiteral("I went to the store and left.")),
                  QStringLiteral("I went to the store and left."));
    }
    const QString app = QStringLiteral("ai.sayloom.TestGtkFields");
    EXPECT_TRUE(logs.messages(QStringLiteral("engine"), LogLevel::notice)
                    .contains(QStringLiteral("[Casing] changed=true lang=en context=read(13) "
                                             "midSentence=true app=") +
                              app));
}

TEST_F(InsertionIntegrationTest, FrontmostApplicationIsIdentifiedLikeTheDesktopDoes) {
    REQUIRE_DESKTOP();
    auto gtk = FieldsApp::start(FieldsApp::Toolkit::gtk);
    ASSERT_TRUE(gtk);
    ASSERT_TRUE(gtk->focus(QStringLiteral("entry")));
    EXPECT_EQ(frontmost.frontmostApplicationID(), QStringLiteral("ai.sayloom.TestGtkFields"));

    // A window class that a desktop file claims gives that file's id.
    QTemporaryDir data;
    QDir(data.path()).mkpath(QStringLiteral("applications/sub"));
    QFile desktopFile(
        data.filePath(QStringLiteral("applications/sub/org.example.QtFields.desktop")));
    ASSERT_TRUE(desktopFile.open(QIODevice::WriteOnly));
    desktopFile.write("[Desktop Entry]\nType=Application\nName=Fields\nExec=true\n"
                      "StartupWMClass=sayloom-qt-fields\n");
    desktopFile.close();
    auto qt = FieldsApp::start(FieldsApp::Toolkit::qt);
    ASSERT_TRUE(qt);
    ASSERT_TRUE(qt->focus(QStringLiteral("line")));
    EXPECT_EQ(frontmost.frontmostApplication()->processIdentifier, qt->processIdentifier());
    const QString windowClass = *frontmost.frontmostApplicationID();
    EXPECT_EQ(windowClass.toLower(), QStringLiteral("sayloom-qt-fields"));

    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    X11FrontmostApplication withDesktopFile;
    EXPECT_EQ(withDesktopFile.frontmostApplicationID(), QStringLiteral("sub-org.example.QtFields"));
    qunsetenv("XDG_DATA_HOME");

    // Where the X server does not see every window (Wayland), the accessibility bus tells the
    // active window's process; without a systemd scope its name stands for it.
    ASSERT_TRUE(gtk->focus(QStringLiteral("entry")));
    linux_desktop::AtspiFrontmostApplication overTheBus(scheduler);
    std::optional<RunningApplication> active;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            active = overTheBus.frontmostApplication();
            return active && active->processIdentifier == gtk->processIdentifier();
        },
        10'000));
    EXPECT_EQ(active->applicationID, QStringLiteral("sayloom_gtk_fie"))
        << "the kernel's 15 letters";
}

TEST_F(InsertionIntegrationTest, TreeRequestMakesQtApplicationsStartedLaterExposeThemselves) {
    REQUIRE_DESKTOP();
    AccessibleTree::setBusEnabled(false);
    {
        auto app = FieldsApp::start(FieldsApp::Toolkit::qt, false);
        ASSERT_TRUE(app);
        ASSERT_TRUE(app->focus(QStringLiteral("line")));
        // Waiting for something not to happen: an application that would expose itself has
        // registered on the bus well within a second.
        QTest::qWait(1000);
        EXPECT_EQ(injector.caretContext(64), std::nullopt);
        EXPECT_TRUE(injector.requestAccessibilityTree());
        EXPECT_FALSE(injector.requestAccessibilityTree());
    }
    auto relaunched = FieldsApp::start(FieldsApp::Toolkit::qt, false);
    ASSERT_TRUE(relaunched);
    ASSERT_TRUE(relaunched->setText(QStringLiteral("line"), QStringLiteral("exposed")));
    ASSERT_TRUE(relaunched->focus(QStringLiteral("line")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return injector.caretContext(64).has_value(); }, 10000));
    EXPECT_TRUE(injector.requestAccessibilityTree()); // a new process is asked again
}

// MARK: paste and typing

class TextInjectorIntegrationTest : public InsertionIntegrationTest {
protected:
    TextInjector makeInjector(std::optional<QString> applicationID) {
        return TextInjector(TextInjector::Collaborators{injector, cache, pasteboard, keys, trust,
                                                        scheduler,
                                                        [applicationID] { return applicationID; }});
    }
    bool waitForRestore(TextInjector& textInjector) {
        return QTest::qWaitFor([&] { return !textInjector.isClipboardRestorePending(); }, 5000);
    }
    // Counts the injector's reports of a paste that nobody took.
    void countLeftOnClipboard(TextInjector& textInjector) {
        QObject::connect(&textInjector, &TextInjector::leftOnClipboard,
                         [this] { ++leftOnClipboard; });
    }

    int leftOnClipboard = 0;

    MemoryKeyValueStore store;
    AXFallbackCache cache{store};
    QtClipboardPasteboard pasteboard;
    X11KeyPoster keys{scheduler};
    X11SessionTrust trust;
};

TEST_F(TextInjectorIntegrationTest, PasteArrivesAndThePreviousClipboardComesBack) {
    REQUIRE_DESKTOP();
    const QByteArray png = redPng();
    struct Case {
        const char* name;
        QByteArray data;
        QString target;
    };
    const Case cases[] = {{"text", QByteArray("copied before \xF0\x9F\x98\x80"), "UTF8_STRING"},
                          {"image", png, "image/png"}};
    for (const FieldCase& field : {kFields[0], kFields[3]}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(field.name) + " " + c.name);
            const QString name = fieldFor(field.toolkit, field.multiLine);
            auto app = FieldsApp::start(field.toolkit);
            ASSERT_TRUE(app);
            ASSERT_TRUE(app->focus(name));
            copyWithXclip(c.data, c.target);

            TextInjector textInjector = makeInjector(std::nullopt);
            countLeftOnClipboard(textInjector);
            EXPECT_TRUE(textInjector.inject(QStringLiteral("pasted \u00e9\u65E5 \U0001F600")));
            EXPECT_EQ(textInjector.lastRoad(), TextInjector::Road::paste);
            EXPECT_EQ(app->waitForText(name, QStringLiteral("pasted \u00e9\u65E5 \U0001F600")),
                      QStringLiteral("pasted \u00e9\u65E5 \U0001F600"));

            EXPECT_TRUE(textInjector.isClipboardRestorePending());
            ASSERT_TRUE(waitForRestore(textInjector));
            EXPECT_EQ(leftOnClipboard, 0) << "the application's request for the text was seen";
            EXPECT_EQ(pasteWithXclip(c.target), c.data);
        }
    }
}

// A copy that reached the X server just before the paste, which this process's event loop has not
// handled yet: until it does, Qt still has the formats of the clipboard's previous owner (a text
// copy) in mind. The snapshot must hold the copy as it is, and the restore bring it back.
TEST_F(TextInjectorIntegrationTest, ACopyNotYetHeardOfComesBackAfterThePaste) {
    REQUIRE_DESKTOP();
    auto app = FieldsApp::start(FieldsApp::Toolkit::qt);
    ASSERT_TRUE(app);
    ASSERT_TRUE(app->focus(QStringLiteral("line")));
    copyWithXclip("a text first", QStringLiteral("UTF8_STRING"));
    {
        TextInjector first = makeInjector(std::nullopt);
        first.inject(QStringLiteral("one"));
        ASSERT_EQ(app->waitForText(QStringLiteral("line"), QStringLiteral("one")),
                  QStringLiteral("one"));
        ASSERT_TRUE(waitForRestore(first));
    }

    const QByteArray png = redPng();
    copyWithXclip(png, QStringLiteral("image/png"), /*letEventsRun=*/false);
    TextInjector second = makeInjector(std::nullopt);
    EXPECT_TRUE(second.inject(QStringLiteral(" two")));
    EXPECT_EQ(app->waitForText(QStringLiteral("line"), QStringLiteral("one two")),
              QStringLiteral("one two"));
    ASSERT_TRUE(waitForRestore(second));
    EXPECT_EQ(pasteWithXclip(QStringLiteral("image/png")), png);
}

TEST_F(TextInjectorIntegrationTest, OnlyRequestsForTheContentCount) {
    REQUIRE_DESKTOP();
    pasteboard.setString(QStringLiteral("ours"));
    const std::optional<qint64> before = pasteboard.contentRequestCount();
    ASSERT_TRUE(before) << "requests are seen on X11";
    EXPECT_FALSE(pasteWithXclip(QStringLiteral("TARGETS")).isEmpty());
    EXPECT_EQ(pasteboard.contentRequestCount(), before) << "a look at the formats is no paste";
    EXPECT_EQ(pasteWithXclip(QStringLiteral("UTF8_STRING")), QByteArray("ours"));
    EXPECT_EQ(pasteboard.contentRequestCount(), *before + 1);
}

TEST_F(TextInjectorIntegrationTest, APasteIntoAWindowThatTakesNoneStaysOnTheClipboard) {
    REQUIRE_DESKTOP();
    auto app = FieldsApp::start(FieldsApp::Toolkit::qt);
    ASSERT_TRUE(app);
    ASSERT_TRUE(app->focus(QStringLiteral("button")));
    copyWithXclip("before", QStringLiteral("UTF8_STRING"));

    TextInjector textInjector = makeInjector(frontmost.frontmostApplicationID());
    countLeftOnClipboard(textInjector);
    EXPECT_TRUE(textInjector.inject(QStringLiteral("dictated \u00e9")));
    EXPECT_EQ(textInjector.lastRoad(), TextInjector::Road::paste);
    ASSERT_TRUE(waitForRestore(textInjector));
    EXPECT_EQ(leftOnClipboard, 1);
    EXPECT_EQ(pasteWithXclip(QStringLiteral("UTF8_STRING")),
              QStringLiteral("dictated \u00e9").toUtf8());
}

TEST_F(TextInjectorIntegrationTest, AFieldThatIgnoresTheWriteGetsThePasteInstead) {
    REQUIRE_DESKTOP();
    struct Case {
        const char* field;
        TextInjector::Road road;
    };
    const Case cases[] = {
        {"line", TextInjector::Road::direct},
        // Qt reads a password field's text as empty: its length shows that the write took.
        {"secret", TextInjector::Road::direct},
        {"stubborn", TextInjector::Road::paste},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        const QString field = QString::fromLatin1(c.field);
        auto app = startFocused(FieldsApp::Toolkit::qt, field, QStringLiteral("Hello world"), 5);
        ASSERT_TRUE(app);
        copyWithXclip("before", QStringLiteral("UTF8_STRING"));

        TextInjector textInjector = makeInjector(frontmost.frontmostApplicationID());
        countLeftOnClipboard(textInjector);
        EXPECT_TRUE(textInjector.inject(QStringLiteral(",")));
        EXPECT_EQ(textInjector.lastRoad(), c.road);
        // Once, and where the caret was.
        EXPECT_EQ(app->waitForText(field, QStringLiteral("Hello, world")),
                  QStringLiteral("Hello, world"));
        ASSERT_TRUE(waitForRestore(textInjector));
        EXPECT_EQ(app->text(field), QStringLiteral("Hello, world")) << "no second copy pasted";
        EXPECT_EQ(leftOnClipboard, 0);
        EXPECT_EQ(pasteWithXclip(QStringLiteral("UTF8_STRING")), QByteArray("before"));
    }
}

TEST_F(TextInjectorIntegrationTest, ACopyDuringTheRestoreDelayIsKept) {
    REQUIRE_DESKTOP();
    auto app = FieldsApp::start(FieldsApp::Toolkit::qt);
    ASSERT_TRUE(app);
    ASSERT_TRUE(app->focus(QStringLiteral("line")));
    copyWithXclip("before", QStringLiteral("UTF8_STRING"));
    TextInjector textInjector = makeInjector(std::nullopt);
    textInjector.inject(QStringLiteral("dictated"));
    app->waitForText(QStringLiteral("line"), QStringLiteral("dictated"));
    copyWithXclip("the user's copy", QStringLiteral("UTF8_STRING"));

    ASSERT_TRUE(waitForRestore(textInjector));
    EXPECT_EQ(pasteWithXclip(QStringLiteral("UTF8_STRING")), QByteArray("the user's copy"));
}

TEST_F(TextInjectorIntegrationTest, TypedTextArrivesIntact) {
    REQUIRE_DESKTOP();
    // Accents precomposed and combining, CJK, an emoji, and more distinct characters in one
    // chunk than a chunk has keys.
    const QString text = QStringLiteral("Gr\u00FC\u00DFe, cafe\u0301 \u2014 \u65E5\u672C\u8A9E "
                                        "\U0001F600! abcdefghijklmnopqrstuvwxyz ABC 0123456789 "
                                        "\u00BFQu\u00E9? \u0418\u0432\u0430\u043D done.");
    for (const FieldCase& field : {kFields[0], kFields[2]}) {
        SCOPED_TRACE(field.name);
        const QString name = fieldFor(field.toolkit, field.multiLine);
        auto app = FieldsApp::start(field.toolkit);
        ASSERT_TRUE(app);
        ASSERT_TRUE(app->focus(name));
        copyWithXclip("untouched", QStringLiteral("UTF8_STRING"));

        TextInjector textInjector = makeInjector(QStringLiteral("org.alacritty"));
        QStringList posting;
        QObject::connect(&textInjector, &TextInjector::postingKeysChanged,
                         [&](bool on) { posting << (on ? "on" : "off"); });
        EXPECT_TRUE(textInjector.inject(text));
        EXPECT_EQ(textInjector.lastRoad(), TextInjector::Road::type);
        EXPECT_EQ(posting, QStringList({"on", "off"}));
        EXPECT_EQ(app->waitForText(name, text), text);
        EXPECT_EQ(pasteWithXclip(QStringLiteral("UTF8_STRING")), QByteArray("untouched"));
    }
}

// Measures the shortest settle pause that types long texts intact. Run by hand:
//   SAYLOOM_SETTLE_US=2000 insertion_integration_tests --gtest_also_run_disabled_tests
//     --gtest_filter='*MeasureTypingSettle*'
TEST_F(TextInjectorIntegrationTest, DISABLED_MeasureTypingSettle) {
    REQUIRE_DESKTOP();
    const auto settle =
        std::chrono::microseconds(qEnvironmentVariableIntValue("SAYLOOM_SETTLE_US"));
    X11KeyPoster::Tuning tuning;
    tuning.settle = settle;
    if (qEnvironmentVariableIsSet("SAYLOOM_REASSIGN_SETTLE_US"))
        tuning.reassignSettle =
            std::chrono::microseconds(qEnvironmentVariableIntValue("SAYLOOM_REASSIGN_SETTLE_US"));
    tuning.maximumBorrowed = qEnvironmentVariableIntValue("SAYLOOM_MAXIMUM_BORROWED");
    X11KeyPoster measured(scheduler, tuning);
    QString text = qEnvironmentVariable("SAYLOOM_SETTLE_TEXT");
    const bool builtIn = text.isEmpty();
    for (int i = 0; builtIn && i < 12; ++i)
        text +=
            QStringLiteral("\u00E9t\u00E9 %1 \u65E5\u672C\U0001F600 abcXYZ \u0416\u00DF ").arg(i);
    for (const FieldCase& field : {kFields[0], kFields[2]}) {
        const QString name = fieldFor(field.toolkit, field.multiLine);
        auto app = FieldsApp::start(field.toolkit);
        ASSERT_TRUE(app);
        ASSERT_TRUE(app->focus(name));
        int failures = 0;
        for (int round = 0; round < 5; ++round) {
            app->setText(name, QString());
            TextInjector textInjector(TextInjector::Collaborators{
                injector, cache, pasteboard, measured, trust, scheduler,
                [] { return std::optional<QString>(QStringLiteral("kitty")); }});
            textInjector.inject(text);
            const QString typed = app->waitForText(name, text, 3s);
            if (typed != text) {
                ++failures;
                if (qEnvironmentVariableIsSet("SAYLOOM_SETTLE_VERBOSE"))
                    std::printf("  typed: %s\n", typed.toUtf8().constData());
            }
        }
        std::printf("settle %lld us, %s: %d of 5 rounds garbled (%lld units each)\n",
                    static_cast<long long>(settle.count()), field.name, failures,
                    static_cast<long long>(text.size()));
    }
}

// MARK: sayloom insert

struct CommandResult {
    int exitCode = -1;
    QString line;
};

class InsertCommandTest : public InsertionIntegrationTest {
protected:
    CommandResult sayloomInsert(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        const RunResult result =
            run(QString::fromUtf8(SAYLOOM_EXECUTABLE),
                QStringList{QStringLiteral("insert")} + arguments, QByteArray(), environment);
        return {result.exitCode, QString::fromUtf8(result.output).trimmed()};
    }

    QTemporaryDir config;
};

TEST_F(InsertCommandTest, InsertsLikeADictationAndPrintsTheRoad) {
    REQUIRE_DESKTOP();
    struct Case {
        const char* name;
        FieldsApp::Toolkit toolkit;
        bool accessible;
        QString field;
        QStringList arguments;
        QString expectedText;
        QString expectedLine;
    };
    const Case cases[] = {
        {"Qt field, fitted to its neighbour",
         FieldsApp::Toolkit::qt,
         true,
         "line",
         {"--delay", "0.2", "  brave new world  "},
         "Hello brave new world",
         "app=sayloom-qt-fields road=direct result=true"},
        {"GTK field, raw",
         FieldsApp::Toolkit::gtk,
         true,
         "entry",
         {"--raw", "World"},
         "HelloWorld",
         "app=ai.sayloom.TestGtkFields road=direct result=true"},
        {"GTK field off the bus",
         FieldsApp::Toolkit::gtk,
         false,
         "entry",
         {"--raw", "pasted"},
         "Hellopasted",
         "app=ai.sayloom.TestGtkFields road=paste result=true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto app = FieldsApp::start(c.toolkit, c.accessible);
        ASSERT_TRUE(app);
        ASSERT_TRUE(app->focus(c.field));
        ASSERT_TRUE(app->setText(c.field, QStringLiteral("Hello")));
        ASSERT_TRUE(app->setCaret(c.field, 5));
        if (c.accessible) {
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return injector.caretContext(64).has_value(); }, 10000));
        }

        const CommandResult result = sayloomInsert(c.arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.line.compare(c.expectedLine, Qt::CaseInsensitive), 0)
            << result.line.toStdString();
        EXPECT_EQ(app->waitForText(c.field, c.expectedText), c.expectedText);
    }
}

TEST_F(InsertCommandTest, RejectsBadArguments) {
    EXPECT_EQ(sayloomInsert({}).exitCode, 2);
    EXPECT_EQ(
        sayloomInsert({QStringLiteral("--delay"), QStringLiteral("soon"), QStringLiteral("x")})
            .exitCode,
        2);
    EXPECT_EQ(sayloomInsert({QStringLiteral("--loud"), QStringLiteral("x")}).exitCode, 2);
}

} // namespace

// Xlib last: its macros (None, Bool, Status...) would clash with the names above.
#include <X11/Xlib.h>

namespace {

unsigned long clipboardOwner() {
    static X11Connection connection;
    Display* display = connection.display();
    if (!display)
        return 0;
    return XGetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False));
}

} // namespace
