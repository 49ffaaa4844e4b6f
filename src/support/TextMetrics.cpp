#include "support/TextMetrics.h"

#include <QTextBoundaryFinder>

namespace sayloom {

qsizetype characterCount(const QString& text) {
    if (text.isEmpty())
        return 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

QString durationText(Duration duration) {
    const auto nanos = duration.count();
    const bool negative = nanos < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(nanos)
                                                  : static_cast<unsigned long long>(nanos);
    const unsigned long long whole = magnitude / 1'000'000'000ULL;
    QString fraction =
        QStringLiteral("%1").arg(magnitude % 1'000'000'000ULL, 9, 10, QLatin1Char('0'));
    while (fraction.size() > 1 && fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    return QStringLiteral("%1%2.%3 seconds")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(whole)
        .arg(fraction);
}

} // namespace sayloom
