// What `sayloom doctor` says about the session's roads: the one used, and the step that mends a
// session where none works.

#include "cli/DoctorCommand.h"
#include "platform/linux/SessionRoads.h"

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::linux_desktop;

namespace {

struct Case {
    const char* name;
    SessionEnvironment environment;
    bool hotkeyOk;
    const char* hotkeyDetail;
    bool insertionOk;
    const char* insertionDetail;
};

SessionEnvironment wayland(const char* desktop, bool keyboardsReadable) {
    SessionEnvironment e;
    e.waylandDisplay = QStringLiteral("wayland-0");
    e.sessionType = QStringLiteral("wayland");
    e.currentDesktop = QString::fromLatin1(desktop);
    e.x11Display = QStringLiteral(":0");
    e.keyboardsReadable = keyboardsReadable;
    return e;
}

SessionEnvironment sway(bool keyboardsReadable) {
    SessionEnvironment e = wayland("sway", keyboardsReadable);
    e.swaySocket = true;
    return e;
}

TEST(DoctorRoads, NameTheRoadUsedAndTheInputGroupStepWhereTheKeyboardsCannotBeRead) {
    SessionEnvironment x11;
    x11.sessionType = QStringLiteral("x11");
    x11.x11Display = QStringLiteral(":0");
    const Case cases[] = {
        {"X11", x11, true, "X11 key events", true, "accessibility bus, X11 paste and typing"},
        {"GNOME, keyboards unreadable", wayland("GNOME", false), false,
         "none in this session; add yourself to the input group: sudo usermod -aG input $USER, "
         "then log in again",
         true, "accessibility bus, GNOME remote desktop"},
        {"GNOME, keyboards readable", wayland("GNOME", true), true, "input devices (evdev)", true,
         "accessibility bus, GNOME remote desktop"},
        {"KDE, keyboards readable", wayland("KDE", true), true,
         "input devices (evdev) (offered: input devices (evdev), global shortcuts portal)", true,
         "accessibility bus, KDE fake input"},
        {"KDE, keyboards unreadable", wayland("KDE", false), true, "global shortcuts portal", true,
         "accessibility bus, KDE fake input"},
        {"sway, keyboards unreadable", sway(false), true, "sway key bindings", true,
         "accessibility bus, virtual keyboard"},
        {"sway, keyboards readable", sway(true), true,
         "input devices (evdev) (offered: input devices (evdev), sway key bindings)", true,
         "accessibility bus, virtual keyboard"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<DoctorLine> lines = roadLines(SessionRoads::detect(c.environment));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].part, QStringLiteral("hotkey road"));
        EXPECT_EQ(lines[0].ok, c.hotkeyOk);
        EXPECT_EQ(lines[0].detail, QString::fromUtf8(c.hotkeyDetail));
        EXPECT_EQ(lines[1].ok, c.insertionOk);
        EXPECT_EQ(lines[1].detail, QString::fromUtf8(c.insertionDetail));
    }
}

} // namespace
