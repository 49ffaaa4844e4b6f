#include "platform/linux/SessionRoads.h"

#include "platform/linux/EvdevKeyStream.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace sayloom::linux_desktop {

namespace {

bool isWayland(const SessionEnvironment& environment) {
    return !environment.waylandDisplay.isEmpty() ||
           environment.sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
}

// The desktop as the roads know it, from XDG_CURRENT_DESKTOP ("ubuntu:GNOME" is GNOME).
QString desktopOf(const SessionEnvironment& environment) {
    const QStringList entries =
        environment.currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const char* known : {"GNOME", "KDE", "sway"})
        for (const QString& entry : entries)
            if (entry.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
                return QLatin1String(known);
    if (environment.swaySocket)
        return QStringLiteral("sway");
    return entries.value(0);
}

} // namespace

SessionEnvironment SessionEnvironment::current() {
    SessionEnvironment environment;
    environment.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    environment.sessionType = qEnvironmentVariable("XDG_SESSION_TYPE");
    environment.currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    environment.x11Display = qEnvironmentVariable("DISPLAY");
    const QString swaySocket = qEnvironmentVariable("SWAYSOCK");
    environment.swaySocket = !swaySocket.isEmpty() && QFileInfo::exists(swaySocket);
    // Only a Wayland session's roads depend on the keyboards: an X11 start opens no device.
    environment.keyboardsReadable =
        isWayland(environment) && EvdevKeyStream::someKeyboardReadable();
    return environment;
}

SessionRoads SessionRoads::detect(const SessionEnvironment& environment) {
    SessionRoads roads;
    roads.wayland = isWayland(environment);
    roads.desktop = desktopOf(environment);
    roads.insertionRoads.push_back(InsertionRoad::accessibility);
    if (!roads.wayland) {
        if (!environment.x11Display.isEmpty()) {
            roads.hotkeyRoads.push_back(HotkeyRoad::x11);
            roads.insertionRoads.push_back(InsertionRoad::x11Keys);
        }
        return roads;
    }
    // evdev first: it tells Left from Right Ctrl and sees releases after chords.
    if (environment.keyboardsReadable)
        roads.hotkeyRoads.push_back(HotkeyRoad::evdev);
    if (roads.desktop == QLatin1String("sway")) {
        if (environment.swaySocket)
            roads.hotkeyRoads.push_back(HotkeyRoad::swayBindings);
        roads.insertionRoads.push_back(InsertionRoad::virtualKeyboard);
    } else if (roads.desktop == QLatin1String("KDE")) {
        roads.hotkeyRoads.push_back(HotkeyRoad::globalShortcutsPortal);
        roads.insertionRoads.push_back(InsertionRoad::kdeFakeInput);
    } else if (roads.desktop == QLatin1String("GNOME")) {
        roads.insertionRoads.push_back(InsertionRoad::mutterRemoteDesktop);
    }
    return roads;
}

std::optional<HotkeyRoad> SessionRoads::hotkeyRoad() const {
    if (hotkeyRoads.empty())
        return std::nullopt;
    return hotkeyRoads.front();
}

bool SessionRoads::canPostKeys() const {
    return std::any_of(insertionRoads.cbegin(), insertionRoads.cend(),
                       [](InsertionRoad road) { return road != InsertionRoad::accessibility; });
}

QString name(HotkeyRoad road) {
    switch (road) {
    case HotkeyRoad::x11:
        return QStringLiteral("X11 key events");
    case HotkeyRoad::evdev:
        return QStringLiteral("input devices (evdev)");
    case HotkeyRoad::swayBindings:
        return QStringLiteral("sway key bindings");
    case HotkeyRoad::globalShortcutsPortal:
        return QStringLiteral("global shortcuts portal");
    }
    return {};
}

QString name(InsertionRoad road) {
    switch (road) {
    case InsertionRoad::accessibility:
        return QStringLiteral("accessibility bus");
    case InsertionRoad::x11Keys:
        return QStringLiteral("X11 paste and typing");
    case InsertionRoad::mutterRemoteDesktop:
        return QStringLiteral("GNOME remote desktop");
    case InsertionRoad::virtualKeyboard:
        return QStringLiteral("virtual keyboard");
    case InsertionRoad::kdeFakeInput:
        return QStringLiteral("KDE fake input");
    }
    return {};
}

bool isBuilt(HotkeyRoad road) {
    return road == HotkeyRoad::x11 || road == HotkeyRoad::evdev ||
           road == HotkeyRoad::swayBindings || road == HotkeyRoad::globalShortcutsPortal;
}

bool isBuilt(InsertionRoad road) {
    return road == InsertionRoad::accessibility || road == InsertionRoad::x11Keys ||
           road == InsertionRoad::mutterRemoteDesktop || road == InsertionRoad::virtualKeyboard ||
           road == InsertionRoad::kdeFakeInput;
}

} // namespace sayloom::linux_desktop
