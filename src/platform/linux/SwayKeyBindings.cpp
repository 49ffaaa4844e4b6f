#include "platform/linux/SwayKeyBindings.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <X11/keysym.h>

namespace sayloom::linux_desktop {

namespace {

constexpr bool kPress = false;
constexpr bool kRelease = true;

// The key combinations that make each hotkey, as sway names them.
QStringList combinationsOf(HotkeyOption option) {
    switch (option) {
    case HotkeyOption::fn:
        return {QStringLiteral("Control_R")};
    case HotkeyOption::optionKey:
        return {QStringLiteral("Alt_L"), QStringLiteral("Alt_R")};
    case HotkeyOption::controlKey:
        return {QStringLiteral("Control_L")};
    case HotkeyOption::controlShift:
        // Right Ctrl is the Function key, so only Left Ctrl goes first into the chord (sway
        // tells modifiers apart only by the key that goes down).
        return {QStringLiteral("Control+Shift_L"), QStringLiteral("Control+Shift_R"),
                QStringLiteral("Shift+Control_L")};
    }
    return {};
}

// The modifiers held while a hotkey is, as the prefix of a key combination.
QString modifiersOf(HotkeyOption option) {
    switch (option) {
    case HotkeyOption::fn:
    case HotkeyOption::controlKey:
        return QStringLiteral("Control+");
    case HotkeyOption::optionKey:
        return QStringLiteral("Mod1+");
    case HotkeyOption::controlShift:
        return QStringLiteral("Control+Shift+");
    }
    return {};
}

unsigned long keysymOf(const QString& name) {
    static const std::pair<const char*, unsigned long> names[] = {
        {"Control", XK_Control_L}, {"Control_L", XK_Control_L}, {"Control_R", XK_Control_R},
        {"Shift", XK_Shift_L},     {"Shift_L", XK_Shift_L},     {"Shift_R", XK_Shift_R},
        {"Mod1", XK_Alt_L},        {"Alt_L", XK_Alt_L},         {"Alt_R", XK_Alt_R},
        {"space", XK_space},       {"Return", XK_Return},       {"Escape", XK_Escape},
    };
    for (const auto& [known, keysym] : names)
        if (name == QLatin1String(known))
            return keysym;
    return XK_VoidSymbol;
}

// The keys a combination holds, its modifiers first.
std::vector<unsigned long> keysOf(const QString& combination) {
    std::vector<unsigned long> keys;
    for (const QString& part : combination.split(QLatin1Char('+')))
        keys.push_back(keysymOf(part));
    return keys;
}

bool isModifier(KeyRole role) {
    return role == KeyRole::shift || role == KeyRole::control || role == KeyRole::function ||
           role == KeyRole::option;
}

} // namespace

SwayKeyBindings::SwayKeyBindings(QString marker) : marker_(std::move(marker)) {}

QString SwayKeyBindings::markerOfThisProcess() {
    return QStringLiteral("sayloom-%1").arg(QCoreApplication::applicationPid());
}

std::set<SwayKeyBindings::Binding> SwayKeyBindings::wanted(const KeyInterest& interest) const {
    std::set<Binding> bindings;
    for (const HotkeyOption option : interest.hotkeys) {
        for (const QString& combination : combinationsOf(option)) {
            bindings.emplace(combination, kPress);
            bindings.emplace(combination, kRelease);
        }
    }
    const std::pair<bool, const char*> keys[] = {
        {interest.space, "space"}, {interest.returnKey, "Return"}, {interest.escape, "Escape"}};
    for (const auto& [isWanted, key] : keys) {
        if (!isWanted)
            continue;
        bindings.emplace(QLatin1String(key), kPress);
        for (const HotkeyOption option : interest.hotkeys)
            bindings.emplace(modifiersOf(option) + QLatin1String(key), kPress);
    }
    return bindings;
}

QString SwayKeyBindings::bindCommand(const Binding& binding) const {
    const auto& [combination, release] = binding;
    return QStringLiteral("bindsym %1 %2 nop %3-%4-%2")
        .arg(release ? QStringLiteral("--release") : QStringLiteral("--no-repeat"), combination,
             marker_, release ? QStringLiteral("release") : QStringLiteral("press"));
}

QString SwayKeyBindings::unbindCommand(const Binding& binding) {
    const auto& [combination, release] = binding;
    return QStringLiteral("unbindsym %1 %2")
        .arg(release ? QStringLiteral("--release") : QStringLiteral("--no-repeat"), combination);
}

std::vector<QString> SwayKeyBindings::rebind(const KeyInterest& interest) {
    const std::set<Binding> next = wanted(interest);
    std::vector<QString> commands;
    for (const Binding& binding : bound_)
        if (!next.contains(binding))
            commands.push_back(unbindCommand(binding));
    for (const Binding& binding : next)
        if (!bound_.contains(binding))
            commands.push_back(bindCommand(binding));
    bound_ = next;
    return commands;
}

std::vector<QString> SwayKeyBindings::unbindAll() { return rebind(KeyInterest{}); }

std::vector<QString> SwayKeyBindings::unbindLeftovers() {
    const auto& options = allHotkeyOptions();
    const KeyInterest everything{.hotkeys = {options.begin(), options.end()},
                                 .space = true,
                                 .returnKey = true,
                                 .escape = true};
    std::vector<QString> commands;
    for (const Binding& binding : SwayKeyBindings(QString()).wanted(everything))
        commands.push_back(unbindCommand(binding));
    return commands;
}

std::vector<HeldKeys::Change> SwayKeyBindings::changesFor(const QByteArray& event) {
    const QJsonObject object = QJsonDocument::fromJson(event).object();
    if (object.value(QLatin1String("change")).toString() != QLatin1String("run"))
        return {};
    const QString command = object.value(QLatin1String("binding"))
                                .toObject()
                                .value(QLatin1String("command"))
                                .toString();
    const QString prefix = QStringLiteral("nop %1-").arg(marker_);
    if (!command.startsWith(prefix))
        return {};
    const QString edge = command.mid(prefix.size());
    if (edge.startsWith(QLatin1String("press-")))
        return pressed(edge.mid(6));
    if (edge.startsWith(QLatin1String("release-")))
        return released(edge.mid(8));
    return {};
}

std::vector<HeldKeys::Change> SwayKeyBindings::pressed(const QString& combination) {
    const std::vector<unsigned long> keys = keysOf(combination);
    const unsigned long key = keys.back();
    const KeyRole role = HeldKeys::roleOfKeysym(key);
    if (role == KeyRole::other)
        return {};
    const ModifierFlags before = held_.flags();
    if (!isModifier(role)) {
        // Bound for its press only: down and up at once, so that the next press is not taken
        // for an auto-repeat. Sway will not report the release of a hotkey held meanwhile.
        std::vector<HeldKeys::Change> changes{held_.press(key, role)};
        (void)held_.release(key);
        held_.clear();
        if (before != 0)
            changes.push_back({.flags = ModifierFlags{0}, .keyDown = std::nullopt});
        return changes;
    }
    // The flags the combination raises, whichever keys of it are held already.
    HeldKeys raised;
    for (const unsigned long k : keys)
        (void)raised.press(k, HeldKeys::roleOfKeysym(k));
    if ((before & raised.flags()) == raised.flags()) {
        // Its release was missed. Sway lost every release made during that chord, so all held
        // keys count as released.
        held_.clear();
    } else {
        for (const unsigned long k : keys)
            (void)held_.press(k, HeldKeys::roleOfKeysym(k));
    }
    if (const ModifierFlags after = held_.flags(); after != before)
        return {{.flags = after, .keyDown = std::nullopt}};
    return {};
}

std::vector<HeldKeys::Change> SwayKeyBindings::released(const QString& combination) {
    const ModifierFlags before = held_.flags();
    for (const unsigned long key : keysOf(combination))
        (void)held_.release(key);
    if (const ModifierFlags after = held_.flags(); after != before)
        return {{.flags = after, .keyDown = std::nullopt}};
    return {};
}

} // namespace sayloom::linux_desktop
