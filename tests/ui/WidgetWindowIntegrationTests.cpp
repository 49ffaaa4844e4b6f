// The windows on a real desktop (scripts/lib/headless-session.sh): where the window manager maps
// them, who has the keyboard focus, and what closing them does. Keys and clicks come through
// xdotool, as a person's would.

#include "RealPartRequirement.h"
#include "UpdateCollaborators.h"

#include "ui/WidgetWindow.h"
#include "ui/WidgetWindowFactory.h"

#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace sayloom;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

// Before main creates the application: these tests need the X server; without one, offscreen
// still lets them report what is missing.
const bool platformChosen = [] {
    qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    return true;
}();

constexpr int kTimeoutMs = 5000;

QString missingDesktopPart() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return QStringLiteral("no X display (run inside scripts/lib/headless-session.sh)");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        return QStringLiteral("xdotool is not installed");
    return {};
}

// Runs xdotool while the event loop goes on; its output, or nothing when it failed.
std::optional<QString> xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Whether the window manager has made `window` the active one (_NET_ACTIVE_WINDOW), which it
// announces just after handing over the keyboard focus.
bool becomesActive(QWidget* window) {
    return QTest::qWaitFor(
        [&] { return xdotool({"getactivewindow"}).value_or("0").toULong() == window->winId(); },
        kTimeoutMs);
}

bool isMapped(const QString& title) {
    return xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}).has_value();
}

class WidgetWindowTest : public ::testing::Test {
public:
    void SetUp() override { REQUIRE_REAL_PART(missingDesktopPart()); }

    static QWidget* top(AppWindow& window) { return static_cast<WidgetWindow&>(window).widget(); }
    static bool presentAndWait(AppWindow& window) {
        window.present();
        return QTest::qWaitForWindowActive(top(window), kTimeoutMs);
    }

    sayloom::testing::UpdateCollaborators updates;
    WidgetWindowFactory factory{
        {[](SignInProvider) -> QCoro::Task<void> { co_return; }, updates.updates, updates.links}};
};

TEST_F(WidgetWindowTest, ItIsCentredAndFocusedAndTakesTheFocusBackFromAnotherProgram) {
    const auto window = factory.makeLoginWindow();
    QWidget* widget = top(*window);
    ASSERT_TRUE(presentAndWait(*window));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (widget->geometry().center() - area.center()).manhattanLength() <= 2; },
        kTimeoutMs));
    EXPECT_TRUE(becomesActive(widget));

    QProcess other;
    other.start(QStringLiteral(KEY_ECHO_APP), {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !widget->isActiveWindow(); }, kTimeoutMs));
    // The user works in the other program's window.
    ASSERT_TRUE(xdotool({"getactivewindow", "mousemove", "--window", "%1", "30", "30", "click", "1",
                         "type", "hi"}));
    // Then a command from another process asks for the window: no input reaches this process.
    QTimer::singleShot(0, widget, [&] { window->bringToFront(); });
    EXPECT_TRUE(QTest::qWaitForWindowActive(widget, kTimeoutMs));
    EXPECT_TRUE(becomesActive(widget));
    other.kill();
    other.waitForFinished();
}

class UserCloseTest : public WidgetWindowTest, public ::testing::WithParamInterface<QString> {};

TEST_P(UserCloseTest, TheUserClosingTheWindowCallsOnClosed) {
    const auto window = factory.makePermissionsWindow(false, true, {}, {});
    int closed = 0;
    window->onClosed = [&] { ++closed; };
    ASSERT_TRUE(presentAndWait(*window));

    ASSERT_TRUE(xdotool({"key", GetParam()}));

    EXPECT_TRUE(QTest::qWaitFor([&] { return !isMapped("Permissions required"); }, kTimeoutMs));
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(window->isVisible());
}

// Alt+F4 closes through the window manager, as its close button does.
INSTANTIATE_TEST_SUITE_P(Keys, UserCloseTest, ::testing::Values("alt+F4", "Escape"),
                         [](const auto& info) { return info.index == 0 ? "AltF4" : "Escape"; });

TEST_F(WidgetWindowTest, CloseHidesTheWindowForGoodWithoutCallingOnClosed) {
    const auto window = factory.makePermissionsWindow(true, false, {}, {});
    int closed = 0;
    window->onClosed = [&] { ++closed; };
    ASSERT_TRUE(presentAndWait(*window));

    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !isMapped("Permissions required"); }, kTimeoutMs));
    window->present();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed, 0);
}

TEST_F(WidgetWindowTest, ReturnPressesTheDefaultButtonWhichMayDestroyTheWindow) {
    std::unique_ptr<AppWindow> window;
    QStringList calls;
    const auto closeFor = [&](const char* action) {
        return [&, action] {
            calls << action;
            window->close();
            window.reset();
        };
    };
    window = factory.makeLimitWindow(std::nullopt, closeFor("upgrade"), closeFor("dismiss"));
    const QPointer<QWidget> widgets = top(*window);
    ASSERT_TRUE(presentAndWait(*window));

    ASSERT_TRUE(xdotool({"key", "Return"}));

    EXPECT_TRUE(QTest::qWaitFor([&] { return widgets.isNull(); }, kTimeoutMs));
    EXPECT_EQ(calls, QStringList{"upgrade"});
    EXPECT_FALSE(isMapped("Upgrade to keep talking"));
}

} // namespace
