#include "support/UrlPolicy.h"

#include <QHostAddress>

namespace sayloom {

bool isLoopbackHost(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QString bare = host;
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']')))
        bare = bare.mid(1, bare.size() - 2);
    const QHostAddress address(bare);
    return !address.isNull() && address.isLoopback();
}

bool isAllowedScheme(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    return scheme == QLatin1String("http") && isLoopbackHost(url.host());
}

QString encodeQuery(const QList<QPair<QString, QString>>& items) {
    // Unreserved characters stay as they are; so do the sub-delimiters a query may carry
    // literally, except the ones that would change how the query splits.
    static const QByteArray keep = "-._~!$'()*,;:@/?";
    QStringList parts;
    for (const auto& [name, value] : items)
        parts << QString::fromLatin1(name.toUtf8().toPercentEncoding(keep) + '=' +
                                     value.toUtf8().toPercentEncoding(keep));
    return parts.join(QLatin1Char('&'));
}

} // namespace sayloom
