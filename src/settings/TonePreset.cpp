#include "settings/TonePreset.h"

namespace sayloom {

const std::array<TonePreset, 4>& allTonePresets() {
    static const std::array<TonePreset, 4> all{TonePreset::neutral, TonePreset::formal,
                                               TonePreset::casual, TonePreset::bullets};
    return all;
}

QString rawValue(TonePreset preset) {
    switch (preset) {
    case TonePreset::neutral:
        return QStringLiteral("neutral");
    case TonePreset::formal:
        return QStringLiteral("formal");
    case TonePreset::casual:
        return QStringLiteral("casual");
    case TonePreset::bullets:
        return QStringLiteral("bullets");
    }
    return QStringLiteral("neutral");
}

std::optional<TonePreset> tonePresetFromRawValue(const QString& raw) {
    for (TonePreset preset : allTonePresets())
        if (rawValue(preset) == raw)
            return preset;
    return std::nullopt;
}

QString displayName(TonePreset preset) {
    switch (preset) {
    case TonePreset::neutral:
        return QStringLiteral("Off");
    case TonePreset::formal:
        return QStringLiteral("Formal");
    case TonePreset::casual:
        return QStringLiteral("Casual");
    case TonePreset::bullets:
        return QStringLiteral("Bullets");
    }
    return QStringLiteral("Off");
}

std::optional<QString> serviceValue(TonePreset preset) {
    if (preset == TonePreset::neutral)
        return std::nullopt;
    return rawValue(preset);
}

} // namespace sayloom
