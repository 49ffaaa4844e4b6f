#include "LogCapture.h"
#include "MemoryKeyValueStore.h"

#include "settings/AppSettings.h"

#include <QMetaProperty>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

using namespace sayloom;
using sayloom::testing::LogCapture;
using sayloom::testing::MemoryKeyValueStore;

namespace {

// "dictation/translation" as raw values, e.g. "fn/controlShift".
QString hotkeys(const AppSettings& s) {
    return rawValue(s.selectedHotkey()) + "/" + rawValue(s.selectedTranslationHotkey());
}

QString storedHotkeys(const MemoryKeyValueStore& store) {
    return store.string("selectedHotkey").value_or("-") + "/" +
           store.string("selectedTranslationHotkey").value_or("-");
}

} // namespace

TEST(AppSettingsTest, EmptyStoreGivesTheDefaultsWithoutWriting) {
    MemoryKeyValueStore store;
    AppSettings s(store);
    EXPECT_EQ(hotkeys(s), "fn/controlShift");
    EXPECT_TRUE(s.autoLaunch());
    EXPECT_EQ(s.speechLanguageKey(), "auto");
    EXPECT_TRUE(s.translationEnabled());
    EXPECT_EQ(s.outputLanguageKey(), "es");
    EXPECT_EQ(s.tonePreset(), TonePreset::neutral);
    EXPECT_FALSE(s.hasCompletedOnboarding());
    EXPECT_TRUE(store.writes().isEmpty());
}

TEST(AppSettingsTest, StoredValuesOfTheWrongTypeOrNamingNoCaseGiveTheDefault) {
    using Check = std::function<bool(const AppSettings&)>;
    const std::tuple<const char*, StoredValue, Check> cases[] = {
        {"autoLaunch", QString("yes"), [](auto& s) { return s.autoLaunch(); }},
        {"translateAfterDictation", QString("false"),
         [](auto& s) { return s.translationEnabled(); }},
        {"hasCompletedOnboarding", qint64(1), [](auto& s) { return !s.hasCompletedOnboarding(); }},
        {"tonePreset", QString("loud"),
         [](auto& s) { return s.tonePreset() == TonePreset::neutral; }},
        {"selectedHotkey", QString("Option"),
         [](auto& s) { return hotkeys(s) == "fn/controlShift"; }},
        {"selectedTranslationHotkey", QStringList{"control"},
         [](auto& s) { return hotkeys(s) == "fn/controlShift"; }},
        {"speechLanguage", false, [](auto& s) { return s.speechLanguageKey() == "auto"; }},
        {"outputLanguage", qint64(7), [](auto& s) { return s.outputLanguageKey() == "es"; }},
    };
    for (const auto& [key, stored, isDefault] : cases) {
        SCOPED_TRACE(key);
        MemoryKeyValueStore store;
        store.setValue(key, stored);
        store.clearWrites();
        AppSettings s(store);
        EXPECT_TRUE(isDefault(s));
        // The stored value stays until the next assignment.
        EXPECT_EQ(store.value(key), stored);
        EXPECT_TRUE(store.writes().isEmpty());
    }
}

// Each assignment writes and signals, also when it repeats the value; what it writes is what the
// next instance reads.
TEST(AppSettingsTest, EveryAssignmentWritesSignalsAndSurvivesReloading) {
    const std::tuple<const char*, const char*, QVariant> cases[] = {
        {"selectedHotkey", "selectedHotkey", QVariant::fromValue(HotkeyOption::controlKey)},
        {"selectedTranslationHotkey", "selectedTranslationHotkey",
         QVariant::fromValue(HotkeyOption::optionKey)},
        {"autoLaunch", "autoLaunch", false},
        {"speechLanguageKey", "speechLanguage", "en_uk"},
        {"translationEnabled", "translateAfterDictation", false},
        {"outputLanguageKey", "outputLanguage", "la"},
        {"tonePreset", "tonePreset", QVariant::fromValue(TonePreset::bullets)},
        {"hasCompletedOnboarding", "hasCompletedOnboarding", true},
    };
    MemoryKeyValueStore store;
    AppSettings s(store);
    const QMetaObject* meta = s.metaObject();
    for (const auto& [name, key, value] : cases) {
        SCOPED_TRACE(name);
        const QMetaProperty property = meta->property(meta->indexOfProperty(name));
        ASSERT_TRUE(property.hasNotifySignal());
        QSignalSpy spy(&s, property.notifySignal());
        store.clearWrites();
        ASSERT_TRUE(property.write(&s, value));
        ASSERT_TRUE(property.write(&s, value));
        EXPECT_EQ(spy.count(), 2);
        EXPECT_EQ(store.writes(), (QStringList{key, key}));

        AppSettings reloaded(store);
        EXPECT_EQ(property.read(&reloaded), value);
    }
    EXPECT_EQ(store.string("tonePreset"), "bullets");
    EXPECT_EQ(store.boolean("translateAfterDictation"), false);
}

TEST(AppSettingsTest, EqualStoredHotkeysAreSeparatedAtLoadAndTheCorrectionIsWritten) {
    // Stored dictation, stored translation, expected pair.
    const std::tuple<QString, QString, QString> cases[] = {
        {"option", "option", "option/fn"},
        {"fn", "fn", "fn/option"},
        {"globe", "fn", "fn/option"}, // the unknown dictation key falls back to fn
    };
    for (const auto& [dictation, translation, expected] : cases) {
        SCOPED_TRACE(expected.toStdString());
        MemoryKeyValueStore store;
        store.setString("selectedHotkey", dictation);
        store.setString("selectedTranslationHotkey", translation);
        store.clearWrites();
        AppSettings s(store);
        EXPECT_EQ(hotkeys(s), expected);
        EXPECT_EQ(store.writes(), QStringList{"selectedTranslationHotkey"});
        EXPECT_EQ(store.string("selectedTranslationHotkey"), expected.section('/', 1));
    }
}

TEST(AppSettingsTest, TheAssignedHotkeyWinsAndTheOtherMovesToTheFirstFreeOption) {
    struct Case {
        QString start;
        bool assignDictation;
        HotkeyOption value;
        QString expected;
        QStringList signalsSeen; // "<side>:<value> with <pair at that moment>"
    };
    const Case cases[] = {
        {"fn/controlShift",
         false,
         HotkeyOption::fn,
         "option/fn",
         {"translation:fn with option/fn", "dictation:option with option/fn"}},
        {"option/fn",
         true,
         HotkeyOption::fn,
         "fn/option",
         {"dictation:fn with fn/option", "translation:option with fn/option"}},
        {"fn/option",
         true,
         HotkeyOption::optionKey,
         "option/fn",
         {"dictation:option with option/fn", "translation:fn with option/fn"}},
        {"fn/controlShift",
         true,
         HotkeyOption::controlKey,
         "control/controlShift",
         {"dictation:control with control/controlShift"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        MemoryKeyValueStore store;
        store.setString("selectedHotkey", c.start.section('/', 0, 0));
        store.setString("selectedTranslationHotkey", c.start.section('/', 1));
        AppSettings s(store);
        QStringList seen;
        QObject::connect(&s, &AppSettings::selectedHotkeyChanged, [&](HotkeyOption v) {
            seen << "dictation:" + rawValue(v) + " with " + hotkeys(s);
        });
        QObject::connect(&s, &AppSettings::selectedTranslationHotkeyChanged, [&](HotkeyOption v) {
            seen << "translation:" + rawValue(v) + " with " + hotkeys(s);
        });
        store.clearWrites();

        if (c.assignDictation)
            s.setSelectedHotkey(c.value);
        else
            s.setSelectedTranslationHotkey(c.value);

        EXPECT_EQ(hotkeys(s), c.expected);
        EXPECT_EQ(seen, c.signalsSeen);
        EXPECT_EQ(store.writes().size(), c.signalsSeen.size());
        EXPECT_EQ(storedHotkeys(store), c.expected);
    }
}

TEST(AppSettingsTest, AnObserverOfTheMovedHotkeyMayTakeItsKeyBack) {
    MemoryKeyValueStore store;
    AppSettings s(store);
    bool reassigned = false;
    QObject::connect(&s, &AppSettings::selectedHotkeyChanged, [&] {
        if (!std::exchange(reassigned, true))
            s.setSelectedHotkey(s.selectedTranslationHotkey());
    });
    s.setSelectedTranslationHotkey(HotkeyOption::fn); // moves dictation to option
    ASSERT_TRUE(reassigned);
    EXPECT_EQ(hotkeys(s), "fn/option");
    EXPECT_EQ(storedHotkeys(store), "fn/option");
}

TEST(AppSettingsTest, TranslationSwitchAndOutputLanguageAssignmentsAreLogged) {
    LogCapture logs;
    MemoryKeyValueStore store;
    AppSettings s(store);
    s.setTranslationEnabled(false);
    s.setTranslationEnabled(false);
    s.setOutputLanguageKey("fr");
    s.setAutoLaunch(false);
    EXPECT_EQ(logs.messages("appSettings", LogLevel::info),
              (QStringList{"translationEnabled -> false", "translationEnabled -> false",
                           "outputLanguageKey -> fr"}));
}

TEST(AppSettingsTest, SpeechLanguageFallsBackToAutoDetectForAKeyThatNamesNothing) {
    MemoryKeyValueStore store;
    AppSettings s(store);
    for (const auto& [key, id] : {std::pair{"en_ca", "enen_ca"},
                                  {"pt_br", "pt"},
                                  {"en", "en"},
                                  {"xx", "auto"},
                                  {"", "auto"}}) {
        s.setSpeechLanguageKey(key);
        EXPECT_EQ(s.speechLanguage().id(), id) << key;
    }
}

TEST(AppSettingsTest, TranslationTargetFollowsTheSwitchAndTheOutputKey) {
    const std::tuple<bool, QString, std::optional<QString>, std::optional<QString>> cases[] = {
        {true, "es", "es", "Spanish"},
        {false, "es", std::nullopt, std::nullopt},
        {true, "auto", std::nullopt, std::nullopt},
        {true, "xx", std::nullopt, std::nullopt},
        {true, "en_uk", "en", "English"},
        {true, "en", "en", "English"},
        {true, "ht", "ht", "Haitian Creole"},
    };
    MemoryKeyValueStore store;
    AppSettings s(store);
    for (const auto& [enabled, key, code, name] : cases) {
        SCOPED_TRACE(key.toStdString() + (enabled ? " on" : " off"));
        s.setTranslationEnabled(enabled);
        s.setOutputLanguageKey(key);
        EXPECT_EQ(s.translationTargetCode(), code);
        EXPECT_EQ(s.translationTargetName(), name);
    }
}
