#include "platform/linux/PortalGlobalShortcuts.h"

#include <algorithm>

namespace sayloom::linux_desktop {

namespace {

// The keys of the shortcuts; Ctrl is one key for the two options it stands for.
constexpr unsigned kCtrl = 1;
constexpr unsigned kAlt = 2;
constexpr unsigned kChordCtrl = 3;
constexpr unsigned kChordShift = 4;

QString triggerOf(HotkeyOption option) {
    switch (option) {
    case HotkeyOption::fn:
        return QStringLiteral("Control_R");
    case HotkeyOption::optionKey:
        return QStringLiteral("Alt_L");
    case HotkeyOption::controlKey:
        return QStringLiteral("Control_L");
    case HotkeyOption::controlShift:
        return QStringLiteral("CTRL+SHIFT+Shift_L");
    }
    return {};
}

void keep(std::vector<HeldKeys::Change>& changes, const HeldKeys::Change& change) {
    if (change.flags || change.keyDown)
        changes.push_back(change);
}

} // namespace

std::vector<PortalGlobalShortcuts::Shortcut> PortalGlobalShortcuts::shortcuts() {
    std::vector<Shortcut> all;
    for (const HotkeyOption option : allHotkeyOptions())
        all.push_back({rawValue(option),
                       QStringLiteral("Hold to dictate (%1)").arg(displayName(option)),
                       triggerOf(option)});
    return all;
}

std::vector<PortalGlobalShortcuts::Key> PortalGlobalShortcuts::keysOf(HotkeyOption option) const {
    switch (option) {
    case HotkeyOption::fn:
    case HotkeyOption::controlKey: {
        const auto wanted = [this](HotkeyOption hotkey) {
            return std::find(hotkeys_.begin(), hotkeys_.end(), hotkey) != hotkeys_.end();
        };
        const bool control = wanted(HotkeyOption::controlKey) && !wanted(HotkeyOption::fn);
        return {{kCtrl, control ? KeyRole::control : KeyRole::function}};
    }
    case HotkeyOption::optionKey:
        return {{kAlt, KeyRole::option}};
    case HotkeyOption::controlShift:
        return {{kChordCtrl, KeyRole::control}, {kChordShift, KeyRole::shift}};
    }
    return {};
}

std::vector<HeldKeys::Change> PortalGlobalShortcuts::activated(const QString& id) {
    const std::optional<HotkeyOption> option = hotkeyOptionFromRawValue(id);
    if (!option)
        return {};
    std::vector<HeldKeys::Change> changes;
    for (const Key& key : keysOf(*option))
        keep(changes, held_.press(key.id, key.role));
    return changes;
}

std::vector<HeldKeys::Change> PortalGlobalShortcuts::deactivated(const QString& id) {
    const std::optional<HotkeyOption> option = hotkeyOptionFromRawValue(id);
    if (!option)
        return {};
    std::vector<HeldKeys::Change> changes;
    for (const Key& key : keysOf(*option))
        keep(changes, held_.release(key.id));
    return changes;
}

std::vector<HeldKeys::Change> PortalGlobalShortcuts::deactivateAll() {
    std::vector<HeldKeys::Change> changes;
    for (const unsigned key : {kCtrl, kAlt, kChordCtrl, kChordShift})
        keep(changes, held_.release(key));
    return changes;
}

} // namespace sayloom::linux_desktop
