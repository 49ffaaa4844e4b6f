#include "settings/SpeechLanguage.h"

#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

using namespace sayloom;
namespace languages = sayloom::speech_languages;

namespace {

QStringList keysOf(const QList<SpeechLanguage>& list) {
    QStringList keys;
    for (const SpeechLanguage& language : list)
        keys << language.key();
    return keys;
}

} // namespace

TEST(SettingsLanguagesTest, TablesHaveTheirSizesOrderAndDistinctRows) {
    const QList<SpeechLanguage>& table = languages::lookupTable();
    EXPECT_EQ(languages::speechList().size(), 104);
    EXPECT_EQ(table, languages::speechList() + languages::additionalOutputLanguages());
    const QStringList keys = keysOf(table);
    EXPECT_EQ(QSet<QString>(keys.cbegin(), keys.cend()).size(), 121);
    // Equality and hashing cover every field: the English rows share their code.
    EXPECT_EQ(QSet<SpeechLanguage>(table.cbegin(), table.cend()).size(), 121);
    EXPECT_EQ(keys.mid(0, 6), (QStringList{"auto", "en_us", "en_au", "en_ca", "en_uk", "af"}));
    EXPECT_EQ(table.at(4), (SpeechLanguage{"en", "English (UK)", QStringLiteral("🇬🇧"), "en_uk"}));
    EXPECT_EQ(keys.mid(103, 3), (QStringList{"zu", "ba", "bo"}));
}

TEST(SettingsLanguagesTest, FlagsKeepTheirExactCodePoints) {
    const std::pair<const char*, QList<uint>> cases[] = {
        {"auto", {0x1F310}}, {"es", {0x1F1F2, 0x1F1FD}}, {"cy", {0x1F3F4}}, {"la", {0x1F3DB}}};
    for (const auto& [key, flag] : cases)
        EXPECT_EQ(languages::lookup(key).value().flag.toUcs4(), flag) << key;
}

TEST(SettingsLanguagesTest, OutputListHasOneRowPerCodeSortedByName) {
    const QList<SpeechLanguage>& output = languages::outputList();
    ASSERT_EQ(output.size(), 117);
    QSet<QString> codes;
    QStringList names;
    for (const SpeechLanguage& language : output) {
        EXPECT_FALSE(language.spelling) << language.name.toStdString();
        codes.insert(language.code);
        names << language.name;
    }
    EXPECT_EQ(codes.size(), 117);
    EXPECT_FALSE(codes.contains("auto"));
    EXPECT_TRUE(codes.contains("la") && codes.contains("sq"));
    EXPECT_TRUE(
        std::is_sorted(names.cbegin(), names.cend(),
                       [](const QString& a, const QString& b) { return a.toUcs4() < b.toUcs4(); }));
    EXPECT_EQ(names.first(), "Afrikaans");
    EXPECT_EQ(names.last(), "Zulu");
    const qsizetype english = names.indexOf("English");
    ASSERT_GT(english, 0);
    EXPECT_EQ(names.mid(english - 1, 3), (QStringList{"Dutch", "English", "Estonian"}));
    EXPECT_EQ(output.at(english),
              (SpeechLanguage{"en", "English", QStringLiteral("🇬🇧"), std::nullopt}));
}

TEST(SettingsLanguagesTest, LookupMatchesKeysExactlyThenByLanguagePrefix) {
    const std::pair<QString, QString> cases[] = {
        {"en_uk", "English (UK)"},
        {"pt_br", "Portuguese"},
        {"en", "English"},
        {"en_nz", "English"},
        {"auto", "Auto-detect"},
        {"la", "Latin"},
        {"xx", ""},
        {"EN_UK", ""},
        {"", ""},
    };
    for (const auto& [key, name] : cases) {
        const auto found = languages::lookup(key);
        EXPECT_EQ(found ? found->name : QString(), name) << key.toStdString();
    }
}

TEST(SettingsLanguagesTest, FilterMatchesNameOrCodeIgnoringCaseInListOrder) {
    const QList<SpeechLanguage>& speech = languages::speechList();
    EXPECT_EQ(languages::filter("", speech), speech);
    // A substring match: "Bengali" contains "eng" too.
    EXPECT_EQ(keysOf(languages::filter("ENG", speech)),
              (QStringList{"en_us", "en_au", "en_ca", "en_uk", "bn"}));
    EXPECT_EQ(keysOf(languages::filter("zh", speech)), QStringList{"zh"});
    EXPECT_EQ(keysOf(languages::filter("YUE", speech)), QStringList{"yue"});
    EXPECT_TRUE(languages::filter("qqq", speech).isEmpty());
}
