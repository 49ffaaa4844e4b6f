#pragma once

#include <QString>

#include <optional>

namespace sayloom {

// The language a text is most likely written in.
struct RecognizedLanguage {
    // A language identifier such as "en", "de" or "zh-Hant".
    QString identifier;
    // How sure the recogniser is, 0 to 1; nothing when it offers no estimate for this language.
    std::optional<double> probability;
};

// Recognises the language of short texts.
class LanguageRecognizer {
public:
    virtual ~LanguageRecognizer() = default;
    // The dominant language, or nothing when it cannot be determined.
    virtual std::optional<RecognizedLanguage> dominantLanguage(const QString& text) = 0;
};

} // namespace sayloom
