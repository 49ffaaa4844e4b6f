#pragma once

#include <QString>

#include <array>
#include <optional>

namespace sayloom {

// The writing tone the service applies to a transcript. The raw value is what the settings store
// keeps.
enum class TonePreset { neutral, formal, casual, bullets };

const std::array<TonePreset, 4>& allTonePresets();

QString rawValue(TonePreset preset);
// Nothing for a string that names no preset.
std::optional<TonePreset> tonePresetFromRawValue(const QString& raw);
QString displayName(TonePreset preset);
// The tone sent with a transcription request; nothing for `neutral`, whose tone is not sent.
std::optional<QString> serviceValue(TonePreset preset);

} // namespace sayloom
