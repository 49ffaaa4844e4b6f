#include "settings/HotkeyOption.h"

#include "support/PlatformText.h"

namespace sayloom {

const std::array<HotkeyOption, 4>& allHotkeyOptions() {
    static const std::array<HotkeyOption, 4> all{HotkeyOption::fn, HotkeyOption::optionKey,
                                                 HotkeyOption::controlKey,
                                                 HotkeyOption::controlShift};
    return all;
}

QString rawValue(HotkeyOption option) {
    switch (option) {
    case HotkeyOption::fn:
        return QStringLiteral("fn");
    case HotkeyOption::optionKey:
        return QStringLiteral("option");
    case HotkeyOption::controlKey:
        return QStringLiteral("control");
    case HotkeyOption::controlShift:
        return QStringLiteral("controlShift");
    }
    return QStringLiteral("fn");
}

std::optional<HotkeyOption> hotkeyOptionFromRawValue(const QString& raw) {
    for (HotkeyOption option : allHotkeyOptions())
        if (rawValue(option) == raw)
            return option;
    return std::nullopt;
}

namespace {

QString nameWithFn(HotkeyOption option, const QString& fnName) {
    switch (option) {
    case HotkeyOption::fn:
        return fnName;
    case HotkeyOption::optionKey:
        return QStringLiteral("Option");
    case HotkeyOption::controlKey:
        return QStringLiteral("Control");
    case HotkeyOption::controlShift:
        return QStringLiteral("Control + Shift");
    }
    return fnName;
}

} // namespace

QString displayName(HotkeyOption option) {
    return nameWithFn(option, platformText(PlatformTextKey::fnHotkeyName));
}

QString macOSDisplayName(HotkeyOption option) {
    return nameWithFn(option, macOSText(PlatformTextKey::fnHotkeyName));
}

} // namespace sayloom
