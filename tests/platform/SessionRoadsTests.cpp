#include "platform/linux/SessionRoads.h"

#include "VirtualScheduler.h"
#include "insertion/AccessibilityTrust.h"
#include "platform/linux/EvdevKeyMonitor.h"
#include "platform/linux/KdeFakeInputKeyPoster.h"
#include "platform/linux/MutterRemoteDesktopKeyPoster.h"
#include "platform/linux/PortalGlobalShortcutsKeyMonitor.h"
#include "platform/linux/SessionAdapters.h"
#include "platform/linux/SwayBindingsKeyMonitor.h"
#include "platform/linux/VirtualKeyboardKeyPoster.h"
#include "platform/linux/X11KeyPoster.h"
#include "platform/linux/XInput2KeyMonitor.h"

#include <gtest/gtest.h>

using namespace sayloom::linux_desktop;

namespace {

TEST(SessionRoadsTest, TheSessionDecidesTheRoadsInTheirOrderOfPreference) {
    using H = HotkeyRoad;
    using I = InsertionRoad;
    struct Case {
        const char* what;
        SessionEnvironment environment;
        bool wayland;
        QString desktop;
        std::vector<H> hotkeys;
        std::vector<I> insertion;
    };
    const Case cases[] = {
        {"X11 GNOME",
         {{}, "x11", "GNOME", ":0"},
         false,
         "GNOME",
         {H::x11},
         {I::accessibility, I::x11Keys}},
        {"X11 without a display", {{}, "tty", {}, {}}, false, {}, {}, {I::accessibility}},
        {"Ubuntu's GNOME on Wayland",
         {"wayland-0", "wayland", "ubuntu:GNOME", ":0"},
         true,
         "GNOME",
         {},
         {I::accessibility, I::mutterRemoteDesktop}},
        {"GNOME, in the input group",
         {"wayland-0", "wayland", "GNOME", ":0", false, true},
         true,
         "GNOME",
         {H::evdev},
         {I::accessibility, I::mutterRemoteDesktop}},
        {"Wayland told only by the session type",
         {{}, "wayland", "KDE", {}},
         true,
         "KDE",
         {H::globalShortcutsPortal},
         {I::accessibility, I::kdeFakeInput}},
        {"sway, in the input group",
         {"wayland-1", {}, "sway", {}, true, true},
         true,
         "sway",
         {H::evdev, H::swayBindings},
         {I::accessibility, I::virtualKeyboard}},
        {"sway's socket, no desktop named",
         {"wayland-1", {}, {}, {}, true, false},
         true,
         "sway",
         {H::swayBindings},
         {I::accessibility, I::virtualKeyboard}},
        {"another Wayland desktop",
         {"wayland-1", {}, "river", {}, false, false},
         true,
         "river",
         {},
         {I::accessibility}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SessionRoads roads = SessionRoads::detect(c.environment);
        EXPECT_EQ(roads.wayland, c.wayland);
        EXPECT_EQ(roads.desktop, c.desktop);
        EXPECT_EQ(roads.hotkeyRoads, c.hotkeys);
        EXPECT_EQ(roads.insertionRoads, c.insertion);
        EXPECT_EQ(roads.canPostKeys(), c.insertion.size() > 1);
    }
}

// XWayland's server offers XInput 2.2 and XTest, but it sees and reaches only X clients: a
// Wayland session's hotkey comes from the input devices when it offers them, else from sway's key
// bindings in sway and the desktop portal's global shortcuts in KDE, and neither the X11 hotkey nor
// the X11 key poster may report itself usable there. Whether the devices can really be read, or
// sway answers, is the road's own trust, not what the environment claims. GNOME's keys go through
// its compositor, usable only while the compositor offers that on the bus (not on the tests' bus);
// sway's through a virtual keyboard and KDE's through fake input, each usable only while a
// compositor offers it (none runs here).
TEST(SessionAdaptersTest, AWaylandSessionGetsTheEvdevMonitorOnlyWhereItsKeyboardsAreOffered) {
    sayloom::testing::VirtualScheduler scheduler;
    enum class Monitor { x11, evdev, sway, portal };
    enum class Poster { x11, remoteDesktop, virtualKeyboard, fakeInput };
    struct Case {
        SessionEnvironment session;
        Monitor monitor;
        Poster poster;
    };
    const Case cases[] = {
        {{"wayland-0", "wayland", "GNOME", ":0"}, Monitor::x11, Poster::remoteDesktop},
        {{"wayland-0", "wayland", "GNOME", ":0", false, true},
         Monitor::evdev,
         Poster::remoteDesktop},
        {{"wayland-1", "wayland", "sway", ":1", true}, Monitor::sway, Poster::virtualKeyboard},
        {{"wayland-1", "wayland", "sway", ":1", true, true},
         Monitor::evdev,
         Poster::virtualKeyboard},
        {{"wayland-1", "wayland", "sway", ":1", false}, Monitor::x11, Poster::virtualKeyboard},
        {{"wayland-0", "wayland", "KDE", ":0"}, Monitor::portal, Poster::fakeInput},
        {{"wayland-0", "wayland", "KDE", ":0", false, true}, Monitor::evdev, Poster::fakeInput},
        {{{}, "x11", "GNOME", ":0", false, true}, Monitor::x11, Poster::x11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.session.currentDesktop.toStdString() + " " +
                     c.session.sessionType.toStdString() +
                     (c.session.keyboardsReadable ? ", keyboards readable" : "") +
                     (c.session.swaySocket ? ", sway's socket" : ""));
        const SessionRoads roads = SessionRoads::detect(c.session);
        const SessionAdapters adapters(roads, scheduler);
        EXPECT_EQ(dynamic_cast<EvdevKeyMonitor*>(&adapters.keyMonitor()) != nullptr,
                  c.monitor == Monitor::evdev);
        EXPECT_EQ(dynamic_cast<SwayBindingsKeyMonitor*>(&adapters.keyMonitor()) != nullptr,
                  c.monitor == Monitor::sway);
        EXPECT_EQ(dynamic_cast<PortalGlobalShortcutsKeyMonitor*>(&adapters.keyMonitor()) != nullptr,
                  c.monitor == Monitor::portal);
        EXPECT_EQ(dynamic_cast<XInput2KeyMonitor*>(&adapters.keyMonitor()) != nullptr,
                  c.monitor == Monitor::x11);
        EXPECT_EQ(dynamic_cast<MutterRemoteDesktopKeyPoster*>(&adapters.keyPoster()) != nullptr,
                  c.poster == Poster::remoteDesktop);
        EXPECT_EQ(dynamic_cast<VirtualKeyboardKeyPoster*>(&adapters.keyPoster()) != nullptr,
                  c.poster == Poster::virtualKeyboard);
        EXPECT_EQ(dynamic_cast<KdeFakeInputKeyPoster*>(&adapters.keyPoster()) != nullptr,
                  c.poster == Poster::fakeInput);
        EXPECT_EQ(dynamic_cast<X11KeyPoster*>(&adapters.keyPoster()) != nullptr,
                  c.poster == Poster::x11);
        if (roads.wayland) {
            EXPECT_FALSE(adapters.keyPostingTrust().isProcessTrusted());
            if (c.monitor == Monitor::x11) {
                EXPECT_FALSE(adapters.hotkeyTrust().isProcessTrusted());
            }
        }
    }
}

} // namespace
