// The tray's menu window on a real desktop (scripts/lib/headless-session.sh): where it maps for
// the pointer's place, that it has the keyboard, and that Escape closes it.

#include "EngineFakes.h"
#include "FakeKeychain.h"
#include "FakeTranscriber.h"
#include "FakeURLSession.h"
#include "MemoryKeyValueStore.h"
#include "RealPartRequirement.h"
#include "VirtualScheduler.h"
#include "X11Desktop.h"

#include "app/AvatarCache.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthManager.h"
#include "engine/SayloomEngine.h"
#include "settings/AppSettings.h"
#include "ui/MenuWindow.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

const bool platformChosen = [] {
    qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    return true;
}();

constexpr int kTimeoutMs = 5000;

// The real engine, settings and account over fakes at their edges, signed out.
struct ObservedState {
    VirtualScheduler scheduler;
    MemoryKeyValueStore store;
    AppSettings settings{store};
    FakeKeychain keychain;
    FakeURLSession session;
    FirebaseAuthManager auth{
        {keychain, session, scheduler,
         SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("k")),
         QUrl(QStringLiteral("https://api.test/v1/auth/sync"))}};
    AuthState account{{auth, store, session, scheduler,
                       QUrl(QStringLiteral("https://api.test/v1/auth/me")),
                       QUrl(QStringLiteral("https://api.test/v1/auth/timezone")), false}};
    FakeTranscriber transcriber;
    FakeHotkeys hotkeys;
    FakeRecorder recorder;
    FakeInserter inserter;
    FakePermissions permissions;
    SayloomEngine engine{{transcriber, settings, scheduler, hotkeys, recorder, inserter,
                          permissions, nullptr, nullptr, nullptr, nullptr, QUrl(), nullptr,
                          nullptr}};
    AvatarCache avatars{session, QDir::tempPath() + QStringLiteral("/sayloom-menu-tests")};
};

TEST(MenuWindowDesktop, OpensBesideThePointerWithinTheScreenAndEscapeClosesIt) {
    REQUIRE_REAL_PART(
        QGuiApplication::platformName() != QLatin1String("xcb")
            ? QStringLiteral("no X display (run inside scripts/lib/headless-session.sh)")
        : QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()
            ? QStringLiteral("xdotool is not installed")
            : QString());
    ObservedState state;
    MenuWindow menu(state.engine, state.settings, state.account, state.avatars, {});
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // A tray in a corner at the bottom, and one at the top.
    for (const QPoint pointer : {screen.bottomRight() - QPoint(10, 10), QPoint(40, 30)}) {
        SCOPED_TRACE(::testing::Message() << pointer.x() << "," << pointer.y());
        ASSERT_TRUE(X11Desktop::xdotool({QStringLiteral("mousemove"), QString::number(pointer.x()),
                                         QString::number(pointer.y())}));

        menu.popUp();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu, kTimeoutMs));
        const auto mapped = X11Desktop::geometry(QString::number(menu.winId()));
        ASSERT_TRUE(mapped);
        EXPECT_TRUE(screen.contains(*mapped));
        EXPECT_TRUE(mapped->adjusted(-2, -2, 2, 2).contains(pointer));
        EXPECT_EQ(QApplication::activePopupWidget(), &menu);

        ASSERT_TRUE(X11Desktop::xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !menu.isVisible(); }, kTimeoutMs));
    }
}

} // namespace
