// Text insertion in a sway session (scripts/lib/sway-session.sh), through the parts Sayloom uses
// there: the injector with the session's adapters, whose keys go through a virtual keyboard of
// our own and whose clipboard is the compositor's, reached through data control. The fields are
// Wayland and X clients; the clipboard is checked from outside with wl-copy and wl-paste.

#include "SwaySession.h"
#include "WaylandInsertion.h"
#include "X11Desktop.h"

#include "platform/linux/VirtualKeyboardKeyPoster.h"

#include <QFile>
#include <QTemporaryDir>

using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

class SwayInsertion : public WaylandInsertion {
protected:
    void SetUp() override {
        requireSessionWithDataControl(
            qEnvironmentVariableIsEmpty("SWAYSOCK") ||
                    qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                ? QStringLiteral("no sway session: run inside scripts/lib/sway-session.sh")
                : QString());
        if (IsSkipped() || HasFailure())
            return;
        ASSERT_NE(dynamic_cast<VirtualKeyboardKeyPoster*>(&session.keyPoster()), nullptr);
    }
};

// A Wayland field off the accessibility bus is pasted into with the virtual keyboard's Ctrl+V
// (GTK takes it as its paste only with a complete keymap), and what the clipboard held before
// comes back, whatever its format.
TEST_F(SwayInsertion, AFieldOffTheBusIsPastedIntoAndTheClipboardComesBack) {
    auto fields = waylandFields(QStringLiteral("entry"), false);
    ASSERT_TRUE(fields);
    expectPastedWithTheClipboardBack(*fields, QStringLiteral("entry"));
}

// Terminals are typed into. Characters the us layout has no key for get keys of their own in
// the virtual keyboard's keymap, for Wayland and X clients alike: a GTK text view with a
// terminal's application id stood in, and xterm on XWayland with its input copied to a file,
// which sway's tree names as the frontmost application.
TEST_F(SwayInsertion, TypedTextLandsWhateverItsCharacters) {
    const QString text = QStringLiteral("ls -la ~/Notes | grep \"A+B\"\ngrüße, café: 5 € 中文");
    expectTerminalViewShows(QStringLiteral("org.gnome.Console"),
                            {{"any character", text, TextInjector::Road::type}});

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString received = folder.filePath(QStringLiteral("received"));
    QProcess xterm;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    xterm.setProcessEnvironment(environment);
    xterm.start(QStringLiteral("xterm"),
                {QStringLiteral("-u8"), QStringLiteral("-T"), QStringLiteral("Sayloom xterm"),
                 QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("stty raw -echo; : > \"$0\"; exec cat >> \"$0\""), received});
    const auto window = X11Desktop::waitForWindow(QStringLiteral("^Sayloom xterm$"));
    REQUIRE_REAL_PART(window ? QString() : QStringLiteral("xterm did not start"));
    // Typed keys go to the terminal once it has the X server's focus (sway's window manager sets
    // it with the active window, after its own focus) and its shell reads them raw.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return QFile::exists(received) && swayFocusedProcess() == xterm.processId() &&
                   X11Desktop::activeWindow() == *window;
        },
        kBoundMs));
    EXPECT_TRUE(injector.inject(text));
    // Off the accessibility bus, only its name as a terminal makes it typed into.
    EXPECT_EQ(injector.lastRoad(), TextInjector::Road::type)
        << session.frontmostApplicationID().value_or(QStringLiteral("unknown")).toStdString();
    // Raw mode: Return arrives as a carriage return.
    QString expected = text;
    expected.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    EXPECT_EQ(waitForFileText(received, expected), expected);
    xterm.kill();
    xterm.waitForFinished(kBoundMs);
}

} // namespace
