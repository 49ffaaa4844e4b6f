#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace sayloom {

// One row of the language vocabulary: what the user speaks, or what a transcript is translated
// into. `code` is what the service receives (an ISO 639 code, or "auto"); `spelling` is present
// only for the English variants.
struct SpeechLanguage {
    QString code;
    QString name;
    QString flag;
    std::optional<QString> spelling;

    // What the pickers store and the lookup matches: the spelling when present, else the code.
    QString key() const { return spelling.value_or(code); }
    // Identity for list views: the code followed directly by the spelling ("enen_uk", "fr").
    QString id() const { return code + spelling.value_or(QString()); }

    friend bool operator==(const SpeechLanguage&, const SpeechLanguage&) = default;
};

size_t qHash(const SpeechLanguage& language, size_t seed = 0) noexcept;

namespace speech_languages {

// The speech picker's rows: "auto", the four English spellings, then every other language by
// name.
const QList<SpeechLanguage>& speechList();
// Languages offered only as translation targets.
const QList<SpeechLanguage>& additionalOutputLanguages();
// The speech list followed by the additional output languages; every key is distinct.
const QList<SpeechLanguage>& lookupTable();
// The output picker's rows: one row per code (a single plain "English" row), no "auto", sorted by
// name.
const QList<SpeechLanguage>& outputList();

// The language a stored key names. A regional key such as "pt_br" that has no row of its own
// resolves to the language before the underscore.
std::optional<SpeechLanguage> lookup(const QString& key);

// The rows of `list` whose name or code contains `query`, ignoring letter case, in list order;
// all of `list` for an empty query.
QList<SpeechLanguage> filter(const QString& query, const QList<SpeechLanguage>& list);

} // namespace speech_languages

} // namespace sayloom
