#include "engine/TranscriptCasing.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace sayloom::transcript_casing {

namespace {

// User-perceived characters (grapheme clusters), the unit every rule here is written in.
QStringList characters(const QString& text) {
    QStringList result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        result << text.mid(start, end - start);
        start = end;
    }
    return result;
}

QString firstCharacter(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const qsizetype end = finder.toNextBoundary();
    return end <= 0 ? QString() : text.left(end);
}

QString lastCharacter(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toEnd();
    const qsizetype start = finder.toPreviousBoundary();
    return start < 0 ? QString() : text.mid(start);
}

char32_t firstScalar(const QString& character) {
    if (character.isEmpty())
        return 0;
    if (character.size() > 1 && character.at(0).isHighSurrogate() &&
        character.at(1).isLowSurrogate())
        return QChar::surrogateToUcs4(character.at(0), character.at(1));
    return character.at(0).unicode();
}

QSet<QString> setOf(std::initializer_list<const char16_t*> members) {
    QSet<QString> set;
    for (const char16_t* member : members)
        set.insert(QString::fromUtf16(member));
    return set;
}

const QSet<QString>& sentenceEnds() {
    static const QSet<QString> set = setOf(
        {u".", u"!", u"?", u":", u";", u"\n", u"\r", u"\u3002", u"\uFF01", u"\uFF1F", u"\uFF0E",
         u"\u0964", u"\u0965", u"\u061F", u"\u06D4", u"\u055E", u"\u0589", u"\u037E", u"\u2026"});
    return set;
}

const QSet<QString>& sentenceOpeners() {
    static const QSet<QString> set = setOf({u"\u00BF", u"\u00A1"});
    return set;
}

const QSet<QString>& attachLeftPunctuation() {
    static const QSet<QString> set =
        setOf({u",",      u".",      u"!",      u"?",      u";",      u":",      u")",
               u"]",      u"}",      u"%",      u"\u2026", u"\uFF0C", u"\u3002", u"\uFF01",
               u"\uFF1F", u"\uFF1B", u"\uFF1A", u"\u3001", u"\uFF09", u"\u0964", u"\u061F"});
    return set;
}

const QSet<QString>& attachRightPunctuation() {
    static const QSet<QString> set =
        setOf({u"(", u"[", u"{", u"\u00BF", u"\u00A1", u"@", u"#", u"$", u"/", u"-", u"\u2014",
               u"\u2013", u"\uFF08", u"\u3010", u"\u300C", u"\u300E"});
    return set;
}

const QSet<QString>& caselessLanguages() {
    static const QSet<QString> set = {
        QStringLiteral("zh"), QStringLiteral("ja"), QStringLiteral("ko"), QStringLiteral("th"),
        QStringLiteral("ar"), QStringLiteral("he"), QStringLiteral("hi"), QStringLiteral("bn"),
        QStringLiteral("ta"), QStringLiteral("te"), QStringLiteral("kn"), QStringLiteral("ml"),
        QStringLiteral("mr"), QStringLiteral("gu"), QStringLiteral("pa"), QStringLiteral("ur"),
        QStringLiteral("fa"), QStringLiteral("my"), QStringLiteral("km"), QStringLiteral("lo"),
        QStringLiteral("ka"), QStringLiteral("am")};
    return set;
}

const QSet<QString>& casedLanguages() {
    static const QSet<QString> set = [] {
        QSet<QString> s;
        for (const char* code :
             {"en", "es", "fr", "pt", "it", "nl", "id", "ms", "vi", "pl", "ru", "uk", "cs", "sk",
              "sl", "hr", "sr", "bg", "ro", "hu", "el", "tr", "az", "sv", "da", "no", "nb", "nn",
              "fi", "et", "lv", "lt", "ca", "gl", "tl", "sw", "af", "is", "mk", "sq", "be", "kk"})
            s.insert(QString::fromLatin1(code));
        return s;
    }();
    return set;
}

const QSet<QString>& germanFunctionWords() {
    static const QSet<QString> set = [] {
        QSet<QString> s;
        for (const char16_t* word :
             {u"aber",  u"als",  u"auch",  u"auf",   u"aus",  u"bei", u"damit", u"dann", u"das",
              u"dass",  u"dem",  u"den",   u"der",   u"des",  u"die", u"doch",  u"dort", u"durch",
              u"ein",   u"eine", u"einen", u"einer", u"er",   u"es",  u"für",   u"hier", u"ich",
              u"ihm",   u"ihn",  u"ihr",   u"im",    u"in",   u"ist", u"man",   u"mit",  u"nach",
              u"nicht", u"noch", u"nur",   u"oder",  u"ohne", u"sie", u"sind",  u"so",   u"über",
              u"um",    u"und",  u"van",   u"von",   u"vor",  u"war", u"weil",  u"wenn", u"wie",
              u"wir",   u"wird", u"zu",    u"zum",   u"zur"})
            s.insert(QString::fromUtf16(word));
        return s;
    }();
    return set;
}

const QSet<QString>& englishWeekdays() {
    static const QSet<QString> set = {QStringLiteral("monday"),    QStringLiteral("tuesday"),
                                      QStringLiteral("wednesday"), QStringLiteral("thursday"),
                                      QStringLiteral("friday"),    QStringLiteral("saturday"),
                                      QStringLiteral("sunday")};
    return set;
}

bool isLineBreak(const QString& character) {
    switch (firstScalar(character)) {
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

bool isWhitespace(const QString& character) {
    return !character.isEmpty() && u_isUWhiteSpace(static_cast<UChar32>(firstScalar(character)));
}

bool isWideScript(const QString& character) {
    const char32_t s = firstScalar(character);
    return (s >= 0x1100 && s <= 0x11FF) || (s >= 0x3000 && s <= 0x303F) ||
           (s >= 0x3040 && s <= 0x30FF) || (s >= 0x3400 && s <= 0x4DBF) ||
           (s >= 0x4E00 && s <= 0x9FFF) || (s >= 0xAC00 && s <= 0xD7AF) ||
           (s >= 0xF900 && s <= 0xFAFF) || (s >= 0xFF00 && s <= 0xFFEF) ||
           (s >= 0x0E00 && s <= 0x0E7F) || (s >= 0x20000 && s <= 0x3FFFF);
}

// Full Unicode case mappings through ICU; `locale` empty for the locale-independent mapping.
QString lowercased(const QString& text, const char* locale = "") {
    icu::UnicodeString u(reinterpret_cast<const UChar*>(text.utf16()),
                         static_cast<int32_t>(text.size()));
    u.toLower(icu::Locale(locale));
    return QString(reinterpret_cast<const QChar*>(u.getBuffer()), u.length());
}

QString uppercased(const QString& text) {
    icu::UnicodeString u(reinterpret_cast<const UChar*>(text.utf16()),
                         static_cast<int32_t>(text.size()));
    u.toUpper(icu::Locale(""));
    return QString(reinterpret_cast<const QChar*>(u.getBuffer()), u.length());
}

// An upper-case character: a single upper-case scalar, or a cluster that upper-casing leaves
// alone and lower-casing changes.
bool isUppercase(const QString& character) {
    if (character.isEmpty())
        return false;
    const char32_t scalar = firstScalar(character);
    const bool single = character.size() == QChar::requiresSurrogates(scalar) + 1;
    if (single && u_isUUppercase(static_cast<UChar32>(scalar)))
        return true;
    return uppercased(character) == character && lowercased(character) != character;
}

bool isAlphanumericScalar(char32_t scalar) {
    return (U_GET_GC_MASK(static_cast<UChar32>(scalar)) &
            (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

QString trimmedOfWhitespace(const QString& text) {
    const QList<uint> scalars = text.toUcs4();
    qsizetype first = 0;
    qsizetype last = scalars.size();
    while (first < last && u_isUWhiteSpace(static_cast<UChar32>(scalars[first])))
        ++first;
    while (last > first && u_isUWhiteSpace(static_cast<UChar32>(scalars[last - 1])))
        --last;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(scalars.constData()) + first,
                             last - first);
}

} // namespace

QString baseLanguage(const QString& identifier) {
    const QString lower = identifier.toLower();
    static const QRegularExpression separators(QStringLiteral("[-_]"));
    const QStringList pieces = lower.split(separators, Qt::SkipEmptyParts);
    return pieces.isEmpty() ? lower : pieces.first();
}

CasingClass casingClass(const std::optional<QString>& language) {
    if (!language || language->compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
        return CasingClass::skip;
    const QString base = baseLanguage(*language);
    if (caselessLanguages().contains(base))
        return CasingClass::caseless;
    if (base == QLatin1String("de"))
        return CasingClass::german;
    if (casedLanguages().contains(base))
        return CasingClass::cased;
    return CasingClass::skip;
}

bool isMidSentence(const QString& before) {
    const QStringList all = characters(before);
    for (auto it = all.crbegin(); it != all.crend(); ++it) {
        if (isLineBreak(*it))
            return false;
        if (isWhitespace(*it))
            continue;
        if (sentenceOpeners().contains(*it))
            return false;
        return !sentenceEnds().contains(*it);
    }
    return false;
}

std::optional<QString> firstWord(const QString& text) {
    const QStringList pieces = trimmedOfWhitespace(text).split(QChar(u' '), Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    QString word = pieces.first();
    const qsizetype mark = word.indexOf(QRegularExpression(QStringLiteral("['\u2019]")));
    if (mark >= 0)
        word.truncate(mark);

    const QList<uint> scalars = word.toUcs4();
    qsizetype first = 0;
    qsizetype last = scalars.size();
    while (first < last && !isAlphanumericScalar(scalars[first]))
        ++first;
    while (last > first && !isAlphanumericScalar(scalars[last - 1]))
        --last;
    if (first == last)
        return std::nullopt;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(scalars.constData()) + first,
                             last - first);
}

QString applyCasing(const QString& text, const std::optional<QString>& before,
                    const std::optional<QString>& language) {
    const CasingClass kind = casingClass(language);
    if (kind == CasingClass::skip || kind == CasingClass::caseless)
        return text;
    if (!before || !isMidSentence(*before))
        return text;
    const QString first = firstCharacter(text);
    if (first.isEmpty() || !isUppercase(first))
        return text;
    const std::optional<QString> word = firstWord(text);
    if (!word)
        return text;
    const QString base = baseLanguage(*language);
    const bool english = base == QLatin1String("en");

    bool lowerIt = false;
    if (kind == CasingClass::german) {
        lowerIt = germanFunctionWords().contains(lowercased(*word));
    } else {
        lowerIt = true;
        if (english && *word == QLatin1String("I"))
            lowerIt = false;
        const QStringList letters = characters(*word);
        for (qsizetype i = 1; lowerIt && i < letters.size(); ++i) {
            if (isUppercase(letters[i]))
                lowerIt = false; // acronyms and mixed case: NASA, McDonald
        }
        if (english && englishWeekdays().contains(lowercased(*word)))
            lowerIt = false;
    }
    if (!lowerIt)
        return text;

    const bool localeSensitive = base == QLatin1String("tr") || base == QLatin1String("az");
    const QString lowered = localeSensitive
                                ? lowercased(first, base == QLatin1String("tr") ? "tr" : "az")
                                : lowercased(first);
    return lowered + text.mid(first.size());
}

QString applySpacing(const QString& text, const std::optional<QString>& before,
                     const std::optional<QString>& after) {
    if (trimmedOfWhitespace(text).isEmpty())
        return text;
    const QString textFirst = firstCharacter(text);
    const QString textLast = lastCharacter(text);

    bool leading = false;
    if (before && !before->isEmpty()) {
        const QString previous = lastCharacter(*before);
        leading = !isWhitespace(previous) && !isWideScript(previous) && !isWideScript(textFirst) &&
                  !attachRightPunctuation().contains(previous) &&
                  !attachLeftPunctuation().contains(textFirst) && !isWhitespace(textFirst);
    }

    bool trailing = false;
    if (after && !after->isEmpty()) {
        const QString next = firstCharacter(*after);
        trailing = !isWhitespace(next) && !isWhitespace(textLast) && !isWideScript(next) &&
                   !isWideScript(textLast) && !attachLeftPunctuation().contains(next) &&
                   !attachRightPunctuation().contains(textLast);
    }

    QString result = text;
    if (leading)
        result.prepend(QChar(u' '));
    if (trailing)
        result.append(QChar(u' '));
    return result;
}

} // namespace sayloom::transcript_casing
