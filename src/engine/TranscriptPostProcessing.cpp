#include "engine/TranscriptPostProcessing.h"

#include "engine/TranscriptCasing.h"
#include "settings/AppSettings.h"
#include "support/TextMetrics.h"

namespace sayloom {

TranscriptPostProcessing::TranscriptPostProcessing(
    CaretContextSource& context, const AppSettings& settings, LanguageRecognizer& recognizer,
    std::function<std::optional<QString>()> frontmostBundleIDProvider)
    : context_(context)
    , settings_(settings)
    , recognizer_(recognizer)
    , frontmostBundleIDProvider_(std::move(frontmostBundleIDProvider)) {}

QString TranscriptPostProcessing::process(const QString& text, bool translationRequested,
                                          const std::optional<QString>& translationError) {
    using namespace transcript_casing;

    std::optional<CaretContext> context = context_.caretContext(kContextRadius);
    // An application that keeps its tree to itself may expose it when asked; ask once and read
    // again at once.
    if (!context && context_.requestAccessibilityTree())
        context = context_.caretContext(kContextRadius);

    const bool translated = translationRequested && !translationError;
    const QString language = languageForCasing(text, translated);
    const std::optional<QString> before =
        context ? std::optional<QString>(context->before) : std::nullopt;
    const std::optional<QString> after = context ? context->after : std::nullopt;
    const QString cased = applyCasing(text, before, language);
    const QString final = applySpacing(cased, before, after);

    const QString contextText =
        context ? QStringLiteral("read(%1)").arg(characterCount(context->before))
                : QStringLiteral("nil");
    const QString midSentence = context ? (isMidSentence(context->before) ? QStringLiteral("true")
                                                                          : QStringLiteral("false"))
                                        : QStringLiteral("n/a");
    const std::optional<QString> app =
        frontmostBundleIDProvider_ ? frontmostBundleIDProvider_() : std::nullopt;
    log_.notice("[Casing] changed=%{bool,public}d lang=%{public}s context=%{public}s "
                "midSentence=%{public}s app=%{public}s",
                final != text, language, contextText, midSentence,
                app.value_or(QStringLiteral("unknown")));
    return final;
}

QString TranscriptPostProcessing::languageForCasing(const QString& text, bool translated) {
    const QString speechCode = settings_.speechLanguage().code;
    const std::optional<QString> spoken =
        speechCode == QLatin1String("auto") ? detectLanguage(text) : std::optional(speechCode);
    if (translated) {
        if (const auto target = settings_.translationTargetCode())
            return *target;
    }
    return spoken.value_or(QStringLiteral("auto"));
}

std::optional<QString> TranscriptPostProcessing::detectLanguage(const QString& text) {
    const QString trimmed = text.trimmed();
    if (characterCount(trimmed) < 8)
        return std::nullopt;
    const std::optional<RecognizedLanguage> dominant = recognizer_.dominantLanguage(trimmed);
    if (!dominant || dominant->identifier.isEmpty() || dominant->identifier == QLatin1String("un"))
        return std::nullopt;
    if (!dominant->probability || *dominant->probability < kMinimumLanguageProbability)
        return std::nullopt;
    return transcript_casing::baseLanguage(dominant->identifier);
}

} // namespace sayloom
