#pragma once

#include "engine/CaretContext.h"
#include "engine/EnginePorts.h"
#include "engine/LanguageRecognizer.h"
#include "support/Logger.h"

#include <functional>
#include <optional>

namespace sayloom {

class AppSettings;

// Fits an accepted transcript to where it lands: lower-cases its first letter when it continues
// a sentence (in a language where that is right) and adds the spaces its neighbours need. It
// reads the text around the caret, and changes nothing but the first character and the two
// possible spaces. Main thread only.
class TranscriptPostProcessing final : public TranscriptPostProcessor {
public:
    static constexpr qint64 kContextRadius = 64;
    // Below this probability a recognised language is not trusted for casing.
    static constexpr double kMinimumLanguageProbability = 0.65;

    TranscriptPostProcessing(CaretContextSource& context, const AppSettings& settings,
                             LanguageRecognizer& recognizer,
                             std::function<std::optional<QString>()> frontmostBundleIDProvider);

    QString process(const QString& text, bool translationRequested,
                    const std::optional<QString>& translationError) override;

    // The language whose rules decide the casing: the translation target for a translated
    // text, else the speech language, recognised from the text when it is "auto"; "auto" when
    // that gives nothing.
    QString languageForCasing(const QString& text, bool translated);
    // The base code of the text's language, or nothing when it is too short or the recogniser is
    // not sure enough.
    std::optional<QString> detectLanguage(const QString& text);

private:
    CaretContextSource& context_;
    const AppSettings& settings_;
    LanguageRecognizer& recognizer_;
    std::function<std::optional<QString>()> frontmostBundleIDProvider_;
    Logger log_{QStringLiteral("engine")};
};

} // namespace sayloom
