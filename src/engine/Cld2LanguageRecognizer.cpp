#include "engine/Cld2LanguageRecognizer.h"

// CLD2's public header uses these without including them.
#include <cstdio>
#include <vector>

#include <cld2/public/compact_lang_det.h>

namespace sayloom {

namespace {

// CLD2 still uses a few withdrawn ISO 639 codes; the rest of the program knows the current ones.
QString currentCode(const char* cld2Code) {
    const QString code = QString::fromLatin1(cld2Code);
    if (code == QLatin1String("iw"))
        return QStringLiteral("he");
    if (code == QLatin1String("in"))
        return QStringLiteral("id");
    if (code == QLatin1String("jw"))
        return QStringLiteral("jv");
    return code;
}

} // namespace

std::optional<RecognizedLanguage> Cld2LanguageRecognizer::dominantLanguage(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    CLD2::Language languages[3];
    int percents[3] = {0, 0, 0};
    int textBytes = 0;
    bool reliable = false;
    const CLD2::Language dominant =
        CLD2::ExtDetectLanguageSummary(utf8.constData(), static_cast<int>(utf8.size()), true,
                                       languages, percents, &textBytes, &reliable);
    if (dominant == CLD2::UNKNOWN_LANGUAGE)
        return std::nullopt;

    RecognizedLanguage result{currentCode(CLD2::LanguageCode(dominant)), std::nullopt};
    if (reliable) {
        for (int i = 0; i < 3; ++i) {
            if (languages[i] == dominant) {
                result.probability = percents[i] / 100.0;
                break;
            }
        }
    }
    return result;
}

} // namespace sayloom
