#include "support/UrlPolicy.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QUrlQuery>

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

QString normaliseOrigin(const QString& base) {
    QString trimmed = base.trimmed();
    if (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed;
}

std::optional<QString> validateOrigin(const QString& base) {
    const QString normalised = normaliseOrigin(base);
    const QUrl url(normalised, QUrl::StrictMode);
    if (normalised.isEmpty() || !url.isValid() || url.host().isEmpty())
        return QStringLiteral("\"%1\" is not a URL").arg(base);
    if (!url.path().isEmpty() || url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return QStringLiteral("\"%1\" must be an origin only (scheme, host and port)").arg(base);
    if (!isAllowedScheme(url))
        return QStringLiteral("\"%1\" must use https (plain http only on a loopback address)")
            .arg(base);
    return std::nullopt;
}

QString redactedForLog(const QUrl& url) {
    const QString shown =
        url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toString();
    if (!url.hasQuery())
        return shown;
    // An item's name is shown only when it looks like a name: a bare value would leak.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_.-]{1,40}$"));
    const QString hidden = QStringLiteral("<redacted>");
    QStringList items;
    for (const auto& [name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        items << (plainName.match(name).hasMatch() ? name : hidden) + QLatin1Char('=') + hidden;
    return shown + QLatin1Char('?') + items.join(QLatin1Char('&'));
}

} // namespace sayloom
