#include "settings/SpeechLanguage.h"

#include <QHashFunctions>
#include <QStringView>

#include <algorithm>

namespace sayloom {

size_t qHash(const SpeechLanguage& language, size_t seed) noexcept {
    return qHashMulti(seed, language.code, language.name, language.flag,
                      language.spelling.has_value(), language.spelling.value_or(QString()));
}

namespace speech_languages {

namespace {

SpeechLanguage row(QStringView code, QStringView name, QStringView flag) {
    return SpeechLanguage{code.toString(), name.toString(), flag.toString(), std::nullopt};
}

// The English rows share the code "en" and are told apart by their spelling, which is their key.
SpeechLanguage english(QStringView spelling, QStringView name, QStringView flag) {
    return SpeechLanguage{QStringLiteral("en"), name.toString(), flag.toString(),
                          spelling.toString()};
}

// Orders by Unicode scalar values; UTF-16 code-unit order differs from it for characters beyond
// the Basic Multilingual Plane.
bool scalarLess(const QString& a, const QString& b) {
    const QList<uint> left = a.toUcs4();
    const QList<uint> right = b.toUcs4();
    return std::lexicographical_compare(left.cbegin(), left.cend(), right.cbegin(), right.cend());
}

QList<SpeechLanguage> buildOutputList() {
    QList<SpeechLanguage> rows;
    QList<QString> seenCodes;
    auto take = [&](const SpeechLanguage& language) {
        if (seenCodes.contains(language.code))
            return;
        seenCodes.append(language.code);
        if (language.code == u"en")
            rows.append(row(u"en", u"English", u"🇬🇧"));
        else
            rows.append(language);
    };
    for (const SpeechLanguage& language : speechList())
        if (language.code != u"auto")
            take(language);
    for (const SpeechLanguage& language : additionalOutputLanguages())
        take(language);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const SpeechLanguage& a, const SpeechLanguage& b) {
                         return scalarLess(a.name, b.name);
                     });
    return rows;
}

const SpeechLanguage* findByKey(const QList<SpeechLanguage>& list, const QString& key) {
    for (const SpeechLanguage& language : list)
        if (language.key() == key)
            return &language;
    return nullptr;
}

// An exact key of the lookup table, else of the output list (which alone has the plain "en").
const SpeechLanguage* findExact(const QString& key) {
    if (const SpeechLanguage* found = findByKey(lookupTable(), key))
        return found;
    return findByKey(outputList(), key);
}

} // namespace

const QList<SpeechLanguage>& speechList() {
    static const QList<SpeechLanguage> rows{
        row(u"auto", u"Auto-detect", u"🌐"),
        english(u"en_us", u"English (US)", u"🇺🇸"),
        english(u"en_au", u"English (Australian)", u"🇦🇺"),
        english(u"en_ca", u"English (Canadian)", u"🇨🇦"),
        english(u"en_uk", u"English (UK)", u"🇬🇧"),
        row(u"af", u"Afrikaans", u"🇿🇦"),
        row(u"am", u"Amharic", u"🇪🇹"),
        row(u"ar", u"Arabic", u"🇸🇦"),
        row(u"hy", u"Armenian", u"🇦🇲"),
        row(u"as", u"Assamese", u"🇮🇳"),
        row(u"ast", u"Asturian", u"🇪🇸"),
        row(u"az", u"Azerbaijani", u"🇦🇿"),
        row(u"be", u"Belarusian", u"🇧🇾"),
        row(u"bn", u"Bengali", u"🇧🇩"),
        row(u"bs", u"Bosnian", u"🇧🇦"),
        row(u"bg", u"Bulgarian", u"🇧🇬"),
        row(u"my", u"Burmese", u"🇲🇲"),
        row(u"yue", u"Cantonese", u"🇭🇰"),
        row(u"ca", u"Catalan", u"🇪🇸"),
        row(u"ceb", u"Cebuano", u"🇵🇭"),
        row(u"ny", u"Chichewa", u"🇲🇼"),
        row(u"zh", u"Chinese", u"🇨🇳"),
        row(u"hr", u"Croatian", u"🇭🇷"),
        row(u"cs", u"Czech", u"🇨🇿"),
        row(u"da", u"Danish", u"🇩🇰"),
        row(u"nl", u"Dutch", u"🇳🇱"),
        row(u"et", u"Estonian", u"🇪🇪"),
        row(u"fil", u"Filipino", u"🇵🇭"),
        row(u"fi", u"Finnish", u"🇫🇮"),
        row(u"fr", u"French", u"🇫🇷"),
        row(u"ff", u"Fulah", u"🌍"),
        row(u"gl", u"Galician", u"🇪🇸"),
        row(u"lg", u"Ganda", u"🇺🇬"),
        row(u"ka", u"Georgian", u"🇬🇪"),
        row(u"de", u"German", u"🇩🇪"),
        row(u"el", u"Greek", u"🇬🇷"),
        row(u"gu", u"Gujarati", u"🇮🇳"),
        row(u"ha", u"Hausa", u"🇳🇬"),
        row(u"he", u"Hebrew", u"🇮🇱"),
        row(u"hi", u"Hindi", u"🇮🇳"),
        row(u"hu", u"Hungarian", u"🇭🇺"),
        row(u"is", u"Icelandic", u"🇮🇸"),
        row(u"ig", u"Igbo", u"🇳🇬"),
        row(u"id", u"Indonesian", u"🇮🇩"),
        row(u"ga", u"Irish", u"🇮🇪"),
        row(u"it", u"Italian", u"🇮🇹"),
        row(u"ja", u"Japanese", u"🇯🇵"),
        row(u"jv", u"Javanese", u"🇮🇩"),
        row(u"kea", u"Kabuverdianu", u"🇨🇻"),
        row(u"kn", u"Kannada", u"🇮🇳"),
        row(u"kk", u"Kazakh", u"🇰🇿"),
        row(u"km", u"Khmer", u"🇰🇭"),
        row(u"ko", u"Korean", u"🇰🇷"),
        row(u"ku", u"Kurdish", u"🌍"),
        row(u"ky", u"Kyrgyz", u"🇰🇬"),
        row(u"lo", u"Lao", u"🇱🇦"),
        row(u"lv", u"Latvian", u"🇱🇻"),
        row(u"ln", u"Lingala", u"🇨🇩"),
        row(u"lt", u"Lithuanian", u"🇱🇹"),
        row(u"luo", u"Luo", u"🇰🇪"),
        row(u"lb", u"Luxembourgish", u"🇱🇺"),
        row(u"mk", u"Macedonian", u"🇲🇰"),
        row(u"ms", u"Malay", u"🇲🇾"),
        row(u"ml", u"Malayalam", u"🇮🇳"),
        row(u"mt", u"Maltese", u"🇲🇹"),
        row(u"mi", u"Maori", u"🇳🇿"),
        row(u"mr", u"Marathi", u"🇮🇳"),
        row(u"mn", u"Mongolian", u"🇲🇳"),
        row(u"ne", u"Nepali", u"🇳🇵"),
        row(u"nso", u"Northern Sotho", u"🇿🇦"),
        row(u"no", u"Norwegian", u"🇳🇴"),
        row(u"oc", u"Occitan", u"🇫🇷"),
        row(u"or", u"Odia", u"🇮🇳"),
        row(u"ps", u"Pashto", u"🇦🇫"),
        row(u"fa", u"Persian", u"🇮🇷"),
        row(u"pl", u"Polish", u"🇵🇱"),
        row(u"pt", u"Portuguese", u"🇧🇷"),
        row(u"pa", u"Punjabi", u"🇮🇳"),
        row(u"ro", u"Romanian", u"🇷🇴"),
        row(u"ru", u"Russian", u"🇷🇺"),
        row(u"sr", u"Serbian", u"🇷🇸"),
        row(u"sn", u"Shona", u"🇿🇼"),
        row(u"sd", u"Sindhi", u"🇵🇰"),
        row(u"si", u"Sinhala", u"🇱🇰"),
        row(u"sk", u"Slovak", u"🇸🇰"),
        row(u"sl", u"Slovenian", u"🇸🇮"),
        row(u"so", u"Somali", u"🇸🇴"),
        row(u"es", u"Spanish", u"🇲🇽"),
        row(u"sw", u"Swahili", u"🇰🇪"),
        row(u"sv", u"Swedish", u"🇸🇪"),
        row(u"tg", u"Tajik", u"🇹🇯"),
        row(u"ta", u"Tamil", u"🇮🇳"),
        row(u"te", u"Telugu", u"🇮🇳"),
        row(u"th", u"Thai", u"🇹🇭"),
        row(u"tr", u"Turkish", u"🇹🇷"),
        row(u"uk", u"Ukrainian", u"🇺🇦"),
        row(u"umb", u"Umbundu", u"🇦🇴"),
        row(u"ur", u"Urdu", u"🇵🇰"),
        row(u"uz", u"Uzbek", u"🇺🇿"),
        row(u"vi", u"Vietnamese", u"🇻🇳"),
        row(u"cy", u"Welsh", u"🏴"),
        row(u"wo", u"Wolof", u"🇸🇳"),
        row(u"xh", u"Xhosa", u"🇿🇦"),
        row(u"zu", u"Zulu", u"🇿🇦"),
    };
    return rows;
}

const QList<SpeechLanguage>& additionalOutputLanguages() {
    static const QList<SpeechLanguage> rows{
        row(u"ba", u"Bashkir", u"🇷🇺"),        row(u"bo", u"Tibetan", u"🇨🇳"),
        row(u"br", u"Breton", u"🇫🇷"),         row(u"eu", u"Basque", u"🇪🇸"),
        row(u"fo", u"Faroese", u"🇫🇴"),        row(u"haw", u"Hawaiian", u"🇺🇸"),
        row(u"ht", u"Haitian Creole", u"🇭🇹"), row(u"la", u"Latin", u"🏛"),
        row(u"mg", u"Malagasy", u"🇲🇬"),       row(u"nn", u"Nynorsk", u"🇳🇴"),
        row(u"sa", u"Sanskrit", u"🇮🇳"),       row(u"sq", u"Albanian", u"🇦🇱"),
        row(u"su", u"Sundanese", u"🇮🇩"),      row(u"tk", u"Turkmen", u"🇹🇲"),
        row(u"tt", u"Tatar", u"🇷🇺"),          row(u"yi", u"Yiddish", u"🇮🇱"),
        row(u"yo", u"Yoruba", u"🇳🇬"),
    };
    return rows;
}

const QList<SpeechLanguage>& lookupTable() {
    static const QList<SpeechLanguage> rows = speechList() + additionalOutputLanguages();
    return rows;
}

const QList<SpeechLanguage>& outputList() {
    static const QList<SpeechLanguage> rows = buildOutputList();
    return rows;
}

std::optional<SpeechLanguage> lookup(const QString& key) {
    if (const SpeechLanguage* found = findExact(key))
        return *found;
    // A regional key falls back to its language. The prefix is resolved like a whole key, so that
    // "en_nz" finds the plain English row just as "pt_br" finds Portuguese.
    const qsizetype underscore = key.indexOf(u'_');
    if (underscore >= 0)
        if (const SpeechLanguage* found = findExact(key.left(underscore)))
            return *found;
    return std::nullopt;
}

QList<SpeechLanguage> filter(const QString& query, const QList<SpeechLanguage>& list) {
    if (query.isEmpty())
        return list;
    const QString needle = query.toLower();
    QList<SpeechLanguage> matches;
    for (const SpeechLanguage& language : list)
        if (language.name.toLower().contains(needle) || language.code.toLower().contains(needle))
            matches.append(language);
    return matches;
}

} // namespace speech_languages

} // namespace sayloom
