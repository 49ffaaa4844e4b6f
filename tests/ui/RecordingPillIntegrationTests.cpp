// The recording indicator on a real X server with a window manager
// (scripts/lib/headless-session.sh), checked from outside with the X tools, as a person would: a
// line edit of another process has the focus, and a second process shows the pill over it.

#include "RealPartRequirement.h"

#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr int kTimeoutMs = 5000;

QString missingDesktopPart() {
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no X display (run inside scripts/lib/headless-session.sh)");
    for (const char* tool : {"xdotool", "xwininfo", "xprop"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    return {};
}

// Runs an X tool: its standard output, or nothing when it failed.
std::optional<QString> run(const QString& command) {
    QStringList arguments = command.split(QLatin1Char(' '));
    QProcess process;
    process.start(arguments.takeFirst(), arguments);
    if (!process.waitForFinished(kTimeoutMs) || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// "Name: value" lines of xwininfo for `window`; empty once the window is gone.
QString windowInfo(const QString& window, const QString& name) {
    const QString info = run(QStringLiteral("xwininfo -id ") + window).value_or(QString());
    for (const QString& line : info.split('\n'))
        if (line.trimmed().startsWith(name + QLatin1Char(':')))
            return line.section(QLatin1Char(':'), 1).trimmed();
    return {};
}

bool isViewable(const QString& window) {
    return windowInfo(window, QStringLiteral("Map State")) == QLatin1String("IsViewable");
}

QRect geometry(const QString& window) {
    return QRect(windowInfo(window, QStringLiteral("Absolute upper-left X")).toInt(),
                 windowInfo(window, QStringLiteral("Absolute upper-left Y")).toInt(),
                 windowInfo(window, QStringLiteral("Width")).toInt(),
                 windowInfo(window, QStringLiteral("Height")).toInt());
}

// Centred on the window manager's work area, its bottom edge 30 px above the area's.
QRect expectedPlace(QSize size) {
    const QStringList area =
        run(QStringLiteral("xprop -root -notype _NET_WORKAREA"))->section('=', 1).split(',');
    const QRect work(area.value(0).toInt(), area.value(1).toInt(), area.value(2).toInt(),
                     area.value(3).toInt());
    return QRect(work.x() + (work.width() - size.width()) / 2,
                 work.bottom() + 1 - 30 - size.height(), size.width(), size.height());
}

// PillWindowApp.cpp on the test display; answers are read line by line.
class App {
public:
    explicit App(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(PILL_WINDOW_APP), arguments);
    }
    ~App() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(2000))
            process_.kill();
        process_.waitForFinished(2000);
    }

    QString command(const QString& line) {
        process_.write((line + QLatin1Char('\n')).toUtf8());
        return nextLine(QString());
    }
    // The next line that starts with `prefix` within `timeoutMs`; the lines before it are dropped.
    QString nextLine(const QString& prefix, int timeoutMs = kTimeoutMs) {
        QString found;
        (void)QTest::qWaitFor(
            [&] {
                while (found.isEmpty() && process_.canReadLine()) {
                    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                    found = line.startsWith(prefix) ? line : QString();
                }
                return !found.isEmpty();
            },
            timeoutMs);
        return found;
    }

private:
    QProcess process_;
};

TEST(RecordingPillOnTheDesktop, ShowsOverTheFocusedFieldWithoutTakingFocusOrClicks) {
    REQUIRE_REAL_PART(missingDesktopPart());
    App field({QStringLiteral("--field")});
    const QString fieldWindow = field.nextLine(QStringLiteral("window")).section(' ', 1);
    const auto fieldHasTheFocus = [&] {
        return run(QStringLiteral("xdotool getactivewindow")) == fieldWindow &&
               run(QStringLiteral("xdotool getwindowfocus -f")) == fieldWindow;
    };
    ASSERT_TRUE(QTest::qWaitFor(fieldHasTheFocus, kTimeoutMs));

    App pill({});
    ASSERT_EQ(pill.command(QStringLiteral("record")), QStringLiteral("ok"));
    const QString pillWindow = pill.command(QStringLiteral("show")).section(' ', 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return isViewable(pillWindow); }, kTimeoutMs));
    QTest::qWait(200); // time for a focus change, were there one

    // At the bottom centre; the field keeps the focus.
    QRect place = geometry(pillWindow);
    EXPECT_EQ(place.width(), 140);
    EXPECT_EQ(place, expectedPlace(place.size()));
    EXPECT_TRUE(fieldHasTheFocus());
    EXPECT_EQ(field.nextLine(QStringLiteral("focus out"), 0), QString());

    // A click on the pill reaches the field below.
    const QString centre = QStringLiteral("%1 %2").arg(place.center().x()).arg(place.center().y());
    ASSERT_TRUE(run(QStringLiteral("xdotool mousemove ") + centre + QStringLiteral(" click 1")));
    EXPECT_EQ(field.nextLine(QStringLiteral("press")), QStringLiteral("press ") + centre);

    // A longer notice widens the pill around the same centre.
    ASSERT_EQ(pill.command(QStringLiteral("notice Recording stops in one minute, keep going")),
              QStringLiteral("ok"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return (place = geometry(pillWindow)).width() > 140; }, kTimeoutMs));
    EXPECT_EQ(place, expectedPlace(place.size()));

    // Shown on every workspace.
    ASSERT_TRUE(run(QStringLiteral("xdotool set_desktop 1")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isViewable(fieldWindow); }, kTimeoutMs));
    EXPECT_TRUE(isViewable(pillWindow));
    ASSERT_TRUE(run(QStringLiteral("xdotool set_desktop 0")));

    ASSERT_EQ(pill.command(QStringLiteral("hide")), QStringLiteral("ok"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !isViewable(pillWindow); }, kTimeoutMs));
}

} // namespace
