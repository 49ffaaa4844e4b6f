// Text insertion in a sway session (scripts/lib/sway-session.sh), through the parts Sayloom uses
// there: the injector with the session's adapters, whose keys go through a virtual keyboard of
// our own and whose clipboard is the compositor's, reached through data control. The fields are
// Wayland and X clients; the clipboard is checked from outside with wl-copy and wl-paste.

#include "ClipboardSamples.h"
#include "RealPartRequirement.h"
#include "SwaySession.h"
#include "WaylandClipboard.h"
#include "WaylandInsertion.h"

#include "platform/linux/DataControlPasteboard.h"
#include "platform/linux/VirtualKeyboardKeyPoster.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace sayloom;
using namespace sayloom::linux_desktop;
using namespace sayloom::testing;

namespace {

class SwayInsertion : public WaylandInsertion {
protected:
    void SetUp() override {
        REQUIRE_REAL_PART(qEnvironmentVariableIsEmpty("SWAYSOCK") ||
                                  qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                              ? QStringLiteral("no sway session: run inside "
                                               "scripts/lib/sway-session.sh")
                              : QString());
        REQUIRE_REAL_PART(QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty()
                              ? QStringLiteral("wl-copy (package wl-clipboard) is missing")
                              : QString());
        ASSERT_NE(dynamic_cast<VirtualKeyboardKeyPoster*>(&session.keyPoster()), nullptr);
        ASSERT_NE(dynamic_cast<DataControlPasteboard*>(&pasteboard), nullptr);
        ASSERT_TRUE(session.keyPostingTrust().isProcessTrusted());
    }
};

// A Wayland field off the accessibility bus is pasted into with the virtual keyboard's Ctrl+V
// (GTK takes it as its paste only with a complete keymap), and what the clipboard held before
// comes back, whatever its format.
TEST_F(SwayInsertion, AFieldOffTheBusIsPastedIntoAndTheClipboardComesBack) {
    auto fields = waylandFields(QStringLiteral("entry"), false);
    ASSERT_TRUE(fields);
    struct Case {
        const char* name;
        QString format;
        QByteArray before;
        QString dictated;
    };
    const Case cases[] = {
        {"text before", QStringLiteral("text/plain;charset=utf-8"), "copied before",
         "Dictated by voice"},
        {"image before", QStringLiteral("image/png"), redPng(), " Grüße aus Köln"},
    };
    QString expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wlCopy(c.format, c.before);
        ASSERT_TRUE(QTest::qWaitFor([&] { return wlPaste(c.format) == c.before; }, kBoundMs));

        EXPECT_TRUE(injector.inject(c.dictated));
        EXPECT_EQ(injector.lastRoad(), TextInjector::Road::paste);
        expected += c.dictated;
        EXPECT_EQ(fields->waitForText(QStringLiteral("entry"), expected,
                                      std::chrono::milliseconds(kBoundMs)),
                  expected);
        ASSERT_TRUE(waitForRestore());
        EXPECT_EQ(wlPaste(c.format), c.before);
    }
}

// Terminals are typed into. Characters the us layout has no key for get keys of their own in
// the virtual keyboard's keymap, for Wayland and X clients alike: a GTK text view with a
// terminal's application id stood in, and xterm on XWayland with its input copied to a file,
// which sway's tree names as the frontmost application.
TEST_F(SwayInsertion, TypedTextLandsWhateverItsCharacters) {
    const QString text = QStringLiteral("ls -la ~/Notes | grep \"A+B\"\ngrüße, café: 5 € 中文");
    standIn = QStringLiteral("org.gnome.Console");

    auto fields = waylandFields(QStringLiteral("view"), true);
    ASSERT_TRUE(fields);
    EXPECT_TRUE(injector.inject(text));
    EXPECT_EQ(injector.lastRoad(), TextInjector::Road::type);
    EXPECT_EQ(
        fields->waitForText(QStringLiteral("view"), text, std::chrono::milliseconds(kBoundMs)),
        text);
    fields.reset();
    standIn.reset();

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString received = folder.filePath(QStringLiteral("received"));
    QProcess xterm;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    xterm.setProcessEnvironment(environment);
    xterm.start(QStringLiteral("xterm"),
                {QStringLiteral("-u8"), QStringLiteral("-e"), QStringLiteral("sh"),
                 QStringLiteral("-c"),
                 QStringLiteral("stty raw -echo; : > \"$0\"; exec cat >> \"$0\""), received});
    REQUIRE_REAL_PART(xterm.waitForStarted(kBoundMs) ? QString()
                                                     : QStringLiteral("xterm did not start"));
    // Typed keys go to the terminal once it has the keyboard and its shell reads them raw.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFile::exists(received) && swayFocusedProcess() == xterm.processId(); },
        kBoundMs));
    EXPECT_TRUE(injector.inject(text));
    // Off the accessibility bus, only its name as a terminal makes it typed into.
    EXPECT_EQ(injector.lastRoad(), TextInjector::Road::type)
        << session.frontmostApplicationID().value_or(QStringLiteral("unknown")).toStdString();
    // Raw mode: Return arrives as a carriage return.
    QString expected = text;
    expected.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    QString last;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            QFile file(received);
            last = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
            return last == expected;
        },
        kBoundMs))
        << last.toStdString();
    xterm.kill();
    xterm.waitForFinished(kBoundMs);
}

} // namespace
