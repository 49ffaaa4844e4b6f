// Text insertion in a GNOME Wayland session (scripts/lib/wayland-session.sh: headless mutter with
// XWayland), through the parts Sayloom uses there: the injector with the session's adapters (keys
// through mutter's remote desktop interface) and the Qt clipboard on XWayland. This process is an
// X client on XWayland, as Sayloom is; the fields are Wayland and X clients, read from outside.

#include "ClipboardSamples.h"
#include "RealPartRequirement.h"
#include "WaylandInsertion.h"
#include "X11Desktop.h"

#include "platform/linux/MutterRemoteDesktopKeyPoster.h"

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

constexpr int kBoundMs = 30'000;

// What `xclip ARGUMENTS` printed, with this process's event loop running meanwhile (it may be the
// clipboard's owner, answering xclip).
QByteArray xclip(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.start(QStringLiteral("xclip"),
                  QStringList{QStringLiteral("-selection"), QStringLiteral("clipboard")} +
                      arguments);
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kBoundMs));
    return process.readAllStandardOutput();
}

class GnomeWaylandInsertion : public WaylandInsertion {
protected:
    void SetUp() override {
        REQUIRE_REAL_PART(qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                                  qEnvironmentVariable("XDG_CURRENT_DESKTOP") !=
                                      QLatin1String("GNOME") ||
                                  qEnvironmentVariableIsEmpty("DISPLAY")
                              ? QStringLiteral("no GNOME Wayland session with XWayland: run inside "
                                               "scripts/lib/wayland-session.sh")
                              : QString());
        REQUIRE_REAL_PART(MutterRemoteDesktopKeyPoster::isServiceAvailable()
                              ? QString()
                              : QStringLiteral("mutter offers no remote desktop on the bus"));
        ASSERT_NE(dynamic_cast<MutterRemoteDesktopKeyPoster*>(&session.keyPoster()), nullptr);
    }
};

// A Wayland field off the accessibility bus is pasted into: mutter hands our X clipboard to the
// Wayland application once it has copied it, the keys come from the remote desktop session, and
// what the clipboard held before comes back, whatever its format, for X and Wayland clients alike.
TEST_F(GnomeWaylandInsertion, AFieldOffTheBusIsPastedIntoAndTheClipboardComesBack) {
    auto fields = waylandFields(QStringLiteral("entry"), false);
    ASSERT_TRUE(fields);
    struct Case {
        const char* name;
        QString format;
        QByteArray before;
        QString dictated;
    };
    const Case cases[] = {
        {"text before", QStringLiteral("UTF8_STRING"), "copied before", "Dictated by voice"},
        {"image before", QStringLiteral("image/png"), redPng(), "Grüße aus Köln"},
    };
    QString expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        xclip({QStringLiteral("-t"), c.format, QStringLiteral("-i")}, c.before);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return xclip({QStringLiteral("-t"), c.format, QStringLiteral("-o")}) == c.before;
            },
            kBoundMs));

        EXPECT_TRUE(injector.inject(c.dictated));
        EXPECT_EQ(injector.lastRoad(), TextInjector::Road::paste);
        expected += c.dictated;
        EXPECT_EQ(fields->waitForText(QStringLiteral("entry"), expected,
                                      std::chrono::milliseconds(kBoundMs)),
                  expected);

        ASSERT_TRUE(waitForRestore());
        EXPECT_EQ(xclip({QStringLiteral("-t"), c.format, QStringLiteral("-o")}), c.before);
    }

    // The user's own paste a moment later, once mutter has taken the restored clipboard in,
    // pastes what came back into the Wayland application.
    xclip({QStringLiteral("-t"), QStringLiteral("UTF8_STRING"), QStringLiteral("-i")}, " again");
    EXPECT_TRUE(injector.inject(QStringLiteral("!")));
    ASSERT_TRUE(waitForRestore());
    pasteboard.awaitOfferTaken();
    ASSERT_TRUE(session.keyPoster().postPaste());
    expected += QStringLiteral("! again");
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), expected, std::chrono::milliseconds(kBoundMs)),
        expected);

    // `sayloom insert` takes the same road on its own. Once it has ended, the text the clipboard
    // held before lives on as mutter's copy: Wayland and X clients paste it.
    xclip({QStringLiteral("-t"), QStringLiteral("UTF8_STRING"), QStringLiteral("-i")},
          "before the command");
    QTemporaryDir config;
    QProcess command;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    command.setProcessEnvironment(environment);
    command.start(
        QStringLiteral(SAYLOOM_EXECUTABLE),
        {QStringLiteral("insert"), QStringLiteral("--raw"), QStringLiteral(" by command")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return command.state() == QProcess::NotRunning; }, kBoundMs));
    const QString printed = QString::fromUtf8(command.readAllStandardOutput());
    // No X window is active while the Wayland window has the focus.
    EXPECT_EQ(printed.trimmed(), QStringLiteral("app=unknown road=paste result=true"));
    EXPECT_EQ(command.exitCode(), 0);
    expected += QStringLiteral(" by command");
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), expected, std::chrono::milliseconds(kBoundMs)),
        expected);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return xclip({QStringLiteral("-t"), QStringLiteral("UTF8_STRING"),
                          QStringLiteral("-o")}) == "before the command";
        },
        kBoundMs));
    ASSERT_TRUE(session.keyPoster().postPaste());
    expected += QStringLiteral("before the command");
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("entry"), expected, std::chrono::milliseconds(kBoundMs)),
        expected);
}

// Terminals are typed into by key codes through the keyboard layout (us in the test session);
// a text with letters the layout has no key for is pasted whole with the terminals' Ctrl+Shift+V.
// Either way the terminal shows the text. xterm runs on XWayland, found as the frontmost
// application through XWayland's active window, with that shortcut bound (it pastes with
// Shift+Insert by default) and its input copied to a file; a Wayland GTK text view, with a
// terminal's application id stood in, takes Ctrl+Shift+V as its paste.
TEST_F(GnomeWaylandInsertion, TerminalsShowTypedTextAndTextTheLayoutCannotType) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString received = folder.filePath(QStringLiteral("received"));
    QProcess xterm;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    xterm.setProcessEnvironment(environment);
    xterm.start(QStringLiteral("xterm"),
                {QStringLiteral("-u8"), QStringLiteral("-T"), QStringLiteral("Sayloom xterm"),
                 QStringLiteral("-xrm"),
                 QStringLiteral("XTerm*VT100.translations: #override Ctrl Shift <Key>V: "
                                "insert-selection(CLIPBOARD)"),
                 QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("stty raw -echo; exec cat > \"$0\""), received});
    const auto window = X11Desktop::waitForWindow(QStringLiteral("^Sayloom xterm$"));
    REQUIRE_REAL_PART(window ? QString() : QStringLiteral("xterm did not start"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return X11Desktop::activeWindow() == *window; }, kBoundMs));

    const std::vector<TerminalCase> cases = layoutTerminalCases();
    // XWayland's active window names it, as a terminal.
    const QString terminal = session.frontmostApplicationID().value_or(QString());
    EXPECT_TRUE(TextInjector::unicodeTypingBundleIDs().contains(terminal))
        << terminal.toStdString();
    QString shown;
    for (const TerminalCase& c : cases) {
        SCOPED_TRACE(std::string("xterm, ") + c.name);
        EXPECT_TRUE(injector.inject(c.text));
        EXPECT_EQ(injector.lastRoad(), c.road);
        shown += c.text;
        EXPECT_EQ(waitForFileText(received, shown), shown);
        ASSERT_TRUE(waitForRestore());
    }
    xterm.kill();
    xterm.waitForFinished(kBoundMs);

    expectTerminalViewShows(QStringLiteral("org.gnome.Console"), cases);
}

} // namespace
