#pragma once

#include <QString>

#include <optional>

namespace sayloom::transcript_casing {

// How a language treats the first letter of a continued sentence.
enum class CasingClass {
    // Unknown or undetermined language: leave the text alone.
    skip,
    // Scripts without letter case.
    caseless,
    // Nouns keep their capital; only function words are lower-cased.
    german,
    // The first letter is lower-cased unless the word must keep its capital.
    cased,
};

// The language part of an identifier, lower-cased: "zh-Hans" gives "zh", "pt_BR" gives "pt".
QString baseLanguage(const QString& identifier);

CasingClass casingClass(const std::optional<QString>& language);

// Whether the text before the caret ends inside a sentence: its last character that is not
// white space is no sentence end, no sentence opener and no line break.
bool isMidSentence(const QString& before);

// The first word of a transcript, cut before an apostrophe and stripped of surrounding
// punctuation: "I'm" gives "I", "(Hello," gives "Hello".
std::optional<QString> firstWord(const QString& text);

// Lower-cases the first letter of `text` when it continues a sentence in `before`, in a language
// where that is right.
QString applyCasing(const QString& text, const std::optional<QString>& before,
                    const std::optional<QString>& language);

// Adds a space before and after `text` where its neighbours would otherwise run into it.
QString applySpacing(const QString& text, const std::optional<QString>& before,
                     const std::optional<QString>& after);

} // namespace sayloom::transcript_casing
