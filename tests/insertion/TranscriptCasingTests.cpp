#include "engine/TranscriptCasing.h"

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::transcript_casing;

namespace {

std::optional<QString> none() { return std::nullopt; }

TEST(TranscriptCasingTest, LanguageIdentifiersReduceToTheirClass) {
    EXPECT_EQ(baseLanguage(QStringLiteral("zh-Hans")), QStringLiteral("zh"));
    EXPECT_EQ(baseLanguage(QStringLiteral("pt_BR")), QStringLiteral("pt"));
    EXPECT_EQ(baseLanguage(QStringLiteral("EN")), QStringLiteral("en"));
    EXPECT_EQ(baseLanguage(QStringLiteral("-_")), QStringLiteral("-_"));

    const std::vector<std::pair<std::optional<QString>, CasingClass>> cases = {
        {none(), CasingClass::skip},
        {QStringLiteral("auto"), CasingClass::skip},
        {QStringLiteral("AUTO"), CasingClass::skip},
        {QStringLiteral("zh-Hant"), CasingClass::caseless},
        {QStringLiteral("he"), CasingClass::caseless},
        {QStringLiteral("de-AT"), CasingClass::german},
        {QStringLiteral("pt_BR"), CasingClass::cased},
        {QStringLiteral("tr"), CasingClass::cased},
        {QStringLiteral("eo"), CasingClass::skip},
        {QString(), CasingClass::skip},
    };
    for (const auto& [language, expected] : cases) {
        SCOPED_TRACE(language.value_or(QStringLiteral("<nothing>")).toStdString());
        EXPECT_EQ(casingClass(language), expected);
    }
}

TEST(TranscriptCasingTest, MidSentenceLooksAtTheLastCharacterThatIsNotWhitespace) {
    const std::vector<std::pair<QString, bool>> cases = {
        {QString(), false},
        {QStringLiteral("   "), false},
        {QStringLiteral("I went to the"), true},
        {QStringLiteral("I went to the  "), true},
        {QStringLiteral("Hello, "), true},
        {QStringLiteral("Hello. "), false},
        {QStringLiteral("Really?"), false},
        {QStringLiteral("Note:"), false},
        {QStringLiteral("Wait\u2026"), false},
        {QStringLiteral("\u65E5\u672C\u8A9E\u3002"), false},
        {QStringLiteral("\u0915\u094D\u092F\u093E \u0964"), false},
        {QStringLiteral("first line\n"), false},
        // A line break ends the walk even when text before it continues a sentence.
        {QStringLiteral("unfinished\n  "), false},
        {QStringLiteral("unfinished\u2028"), false},
        {QStringLiteral("\u00BF"), false},
        {QStringLiteral("Dijo \u00A1 "), false},
        {QStringLiteral("(see"), true},
        {QStringLiteral("word \U0001F600 "), true},
    };
    for (const auto& [before, expected] : cases) {
        SCOPED_TRACE(before.toStdString());
        EXPECT_EQ(isMidSentence(before), expected);
    }
}

TEST(TranscriptCasingTest, FirstWordIsCutAtApostrophesAndStrippedOfPunctuation) {
    const std::vector<std::pair<QString, std::optional<QString>>> cases = {
        {QStringLiteral("I'm here"), QStringLiteral("I")},
        {QStringLiteral("(Hello, world"), QStringLiteral("Hello")},
        {QStringLiteral("  NASA\u2019s budget"), QStringLiteral("NASA")},
        {QStringLiteral("\u2019tis the season"), std::nullopt},
        {QStringLiteral("\u2014 dash"), std::nullopt},
        {QStringLiteral("   "), std::nullopt},
        {QStringLiteral("e\u0301te\u0301!"), QStringLiteral("e\u0301te\u0301")},
        {QStringLiteral("3rd place"), QStringLiteral("3rd")},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(firstWord(text), expected);
    }
}

struct CasingCase {
    const char* name;
    const char* language;
    std::optional<QString> before;
    QString text;
    QString expected;
};

TEST(TranscriptCasingTest, FirstLetterIsLowerCasedOnlyWhereTheLanguageWantsIt) {
    const std::vector<CasingCase> cases = {
        {"continues a sentence", "en", QStringLiteral("I went to the"),
         QStringLiteral("Store closed."), QStringLiteral("store closed.")},
        {"after a sentence end", "en", QStringLiteral("Hello. "), QStringLiteral("How are you"),
         QStringLiteral("How are you")},
        {"no context", "en", std::nullopt, QStringLiteral("Store"), QStringLiteral("Store")},
        {"start of the field", "en", QString(), QStringLiteral("Store"), QStringLiteral("Store")},
        {"English I", "en", QStringLiteral("and then"), QStringLiteral("I think so"),
         QStringLiteral("I think so")},
        {"English I with apostrophe", "en-GB", QStringLiteral("and then"),
         QStringLiteral("I'm done"), QStringLiteral("I'm done")},
        {"weekday", "en", QStringLiteral("see you on"), QStringLiteral("Monday then"),
         QStringLiteral("Monday then")},
        {"weekday is English only", "fr", QStringLiteral("le"), QStringLiteral("Monday"),
         QStringLiteral("monday")},
        {"acronym", "en", QStringLiteral("then"), QStringLiteral("NASA called"),
         QStringLiteral("NASA called")},
        {"mixed case", "en", QStringLiteral("at"), QStringLiteral("McDonald's"),
         QStringLiteral("McDonald's")},
        {"German function word", "de", QStringLiteral("und dann"), QStringLiteral("Der Hund"),
         QStringLiteral("der Hund")},
        {"German noun keeps its capital", "de", QStringLiteral("und dann"),
         QStringLiteral("Hund bellt"), QStringLiteral("Hund bellt")},
        {"German umlaut function word", "de-CH", QStringLiteral("danke"),
         QStringLiteral("\u00DCber alles"), QStringLiteral("\u00FCber alles")},
        {"Turkish dotless i", "tr", QStringLiteral("gezdik"), QStringLiteral("Istanbul"),
         QStringLiteral("\u0131stanbul")},
        {"Azerbaijani dotless i", "az", QStringLiteral("biz"), QStringLiteral("Ildir"),
         QStringLiteral("\u0131ldir")},
        {"Turkish dotted capital", "tr", QStringLiteral("ve"), QStringLiteral("\u0130yi"),
         QStringLiteral("iyi")},
        {"English I elsewhere", "en", QStringLiteral("visit"), QStringLiteral("Istanbul"),
         QStringLiteral("istanbul")},
        {"accented capital", "fr", QStringLiteral("et"), QStringLiteral("\u00C9t\u00E9"),
         QStringLiteral("\u00E9t\u00E9")},
        {"decomposed accented capital", "fr", QStringLiteral("et"),
         QStringLiteral("E\u0301te\u0301"), QStringLiteral("e\u0301te\u0301")},
        {"Cyrillic", "ru", QStringLiteral("\u0438"),
         QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442"),
         QStringLiteral("\u043F\u0440\u0438\u0432\u0435\u0442")},
        {"caseless language", "ja", QStringLiteral("\u79C1\u306F"), QStringLiteral("Tokyo"),
         QStringLiteral("Tokyo")},
        {"unknown language", "auto", QStringLiteral("and"), QStringLiteral("Store"),
         QStringLiteral("Store")},
        {"starts with punctuation", "en", QStringLiteral("and"), QStringLiteral("(Hello"),
         QStringLiteral("(Hello")},
        {"already lower case", "en", QStringLiteral("and"), QStringLiteral("store"),
         QStringLiteral("store")},
        {"after an opener", "es", QStringLiteral("\u00BF"), QStringLiteral("Donde"),
         QStringLiteral("Donde")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(applyCasing(c.text, c.before, QString::fromLatin1(c.language)), c.expected);
    }
}

struct SpacingCase {
    const char* name;
    std::optional<QString> before;
    QString text;
    std::optional<QString> after;
    QString expected;
};

TEST(TranscriptCasingTest, SpacesAreAddedWhereNeighboursWouldRunTogether) {
    const std::vector<SpacingCase> cases = {
        {"word before", QStringLiteral("I went to the"), QStringLiteral("store"), std::nullopt,
         QStringLiteral(" store")},
        {"space before", QStringLiteral("the "), QStringLiteral("store"), std::nullopt,
         QStringLiteral("store")},
        {"start of the field", QString(), QStringLiteral("store"), QString(),
         QStringLiteral("store")},
        {"no context", std::nullopt, QStringLiteral("store"), std::nullopt,
         QStringLiteral("store")},
        {"opening parenthesis before", QStringLiteral("("), QStringLiteral("note"), std::nullopt,
         QStringLiteral("note")},
        {"currency sign before", QStringLiteral("costs $"), QStringLiteral("5"), std::nullopt,
         QStringLiteral("5")},
        {"text attaches left", QStringLiteral("word"), QStringLiteral(", and more"), std::nullopt,
         QStringLiteral(", and more")},
        {"full-width comma attaches left", QStringLiteral("word"), QStringLiteral("\uFF0Cx"),
         std::nullopt, QStringLiteral("\uFF0Cx")},
        {"CJK on both sides", QStringLiteral("\u65E5\u672C"), QStringLiteral("\u8A9E"),
         QStringLiteral("\u3067\u3059"), QStringLiteral("\u8A9E")},
        {"CJK after latin", QStringLiteral("word"), QStringLiteral("\u65E5\u672C"), std::nullopt,
         QStringLiteral("\u65E5\u672C")},
        {"Hangul before", QStringLiteral("\uD55C\uAD6D"), QStringLiteral("word"), std::nullopt,
         QStringLiteral("word")},
        {"word after", std::nullopt, QStringLiteral("next"), QStringLiteral("word"),
         QStringLiteral("next ")},
        {"full stop after", std::nullopt, QStringLiteral("next"), QStringLiteral(". More"),
         QStringLiteral("next")},
        {"closing parenthesis after", std::nullopt, QStringLiteral("next"), QStringLiteral(")"),
         QStringLiteral("next")},
        {"space after", std::nullopt, QStringLiteral("next"), QStringLiteral(" word"),
         QStringLiteral("next")},
        {"text attaches right", std::nullopt, QStringLiteral("see ("), QStringLiteral("word"),
         QStringLiteral("see (")},
        {"text ends in a space", std::nullopt, QStringLiteral("next "), QStringLiteral("word"),
         QStringLiteral("next ")},
        {"both sides", QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
         QStringLiteral(" b ")},
        {"decomposed letters", QStringLiteral("cafe\u0301"), QStringLiteral("e\u0301t\u00E9"),
         QStringLiteral("x"), QStringLiteral(" e\u0301t\u00E9 ")},
        {"only whitespace", QStringLiteral("a"), QStringLiteral("  "), QStringLiteral("b"),
         QStringLiteral("  ")},
        {"empty text", QStringLiteral("a"), QString(), QStringLiteral("b"), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(applySpacing(c.text, c.before, c.after), c.expected);
    }
}

} // namespace
