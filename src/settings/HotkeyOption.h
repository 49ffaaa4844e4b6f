#pragma once

#include <QString>

#include <array>
#include <optional>

namespace sayloom {

// The keys that can serve as a push-to-talk hotkey. The raw value is what the settings store
// keeps; the order of allHotkeyOptions() is the order in which a free key is chosen when the two
// hotkeys would collide.
enum class HotkeyOption { fn, optionKey, controlKey, controlShift };

const std::array<HotkeyOption, 4>& allHotkeyOptions();

QString rawValue(HotkeyOption option);
// Nothing for a string that names no option.
std::optional<HotkeyOption> hotkeyOptionFromRawValue(const QString& raw);

// The name shown to the user. X11 never sees a hardware Fn key, so the `fn` option is the Right
// Ctrl key here and is named after it.
QString displayName(HotkeyOption option);
// The original names ("Globe (Fn)", "Option", ...), for checks against the given wording.
QString macOSDisplayName(HotkeyOption option);

} // namespace sayloom
