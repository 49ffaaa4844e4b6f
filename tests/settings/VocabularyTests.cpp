#include "settings/HotkeyOption.h"
#include "settings/TonePreset.h"

#include <gtest/gtest.h>

using namespace sayloom;

// The raw values are what the settings store keeps: a changed one would lose the user's choice.
TEST(SettingsVocabularyTest, HotkeyOptionsKeepTheirOrderRawValuesAndNames) {
    const std::tuple<HotkeyOption, const char*, const char*, const char*> rows[] = {
        {HotkeyOption::fn, "fn", "Right Ctrl", "Globe (Fn)"},
        {HotkeyOption::optionKey, "option", "Option", "Option"},
        {HotkeyOption::controlKey, "control", "Control", "Control"},
        {HotkeyOption::controlShift, "controlShift", "Control + Shift", "Control + Shift"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& [option, raw, linuxName, macOSName] = rows[i];
        EXPECT_EQ(allHotkeyOptions().at(i), option) << raw;
        EXPECT_EQ(hotkeyOptionFromRawValue(rawValue(option)), option) << raw;
        EXPECT_EQ(rawValue(option), raw);
        EXPECT_EQ(displayName(option), linuxName);
        EXPECT_EQ(macOSDisplayName(option), macOSName);
    }
    for (const char* unknown : {"", "optionKey", "Fn", "controlshift"})
        EXPECT_EQ(hotkeyOptionFromRawValue(unknown), std::nullopt) << unknown;
}

TEST(SettingsVocabularyTest, TonePresetsKeepTheirOrderRawValuesNamesAndServiceValues) {
    const std::tuple<TonePreset, const char*, const char*, std::optional<QString>> rows[] = {
        {TonePreset::neutral, "neutral", "Off", std::nullopt},
        {TonePreset::formal, "formal", "Formal", "formal"},
        {TonePreset::casual, "casual", "Casual", "casual"},
        {TonePreset::bullets, "bullets", "Bullets", "bullets"},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& [preset, raw, name, sent] = rows[i];
        EXPECT_EQ(allTonePresets().at(i), preset) << raw;
        EXPECT_EQ(tonePresetFromRawValue(rawValue(preset)), preset) << raw;
        EXPECT_EQ(rawValue(preset), raw);
        EXPECT_EQ(displayName(preset), name);
        EXPECT_EQ(serviceValue(preset), sent);
    }
    for (const char* unknown : {"", "Off", "loud"})
        EXPECT_EQ(tonePresetFromRawValue(unknown), std::nullopt) << unknown;
}
