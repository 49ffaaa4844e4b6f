#pragma once

#include "engine/LanguageRecognizer.h"

namespace sayloom {

// Language recognition with CLD2. Its verdict carries the share of the text in the dominant
// language; that share is the probability, and only when CLD2 calls the verdict reliable (on
// short or mixed texts it does not, and the recogniser then offers no estimate).
class Cld2LanguageRecognizer final : public LanguageRecognizer {
public:
    std::optional<RecognizedLanguage> dominantLanguage(const QString& text) override;
};

} // namespace sayloom
