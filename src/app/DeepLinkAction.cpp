#include "app/DeepLinkAction.h"

#include "auth/SignInConfiguration.h"

#include <QRegularExpression>

namespace sayloom {

namespace {

const QString kScheme = QStringLiteral("sayloom");

// The scheme as written: everything before the first ":", or empty when there is none.
QString schemeOf(const QString& url) {
    const qsizetype colon = url.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : url.left(colon);
}

bool isGoogleRedirectScheme(const QString& scheme) {
    return scheme.startsWith(QLatin1String(SignInConfiguration::kGoogleClientPrefix));
}

// The host as written (user information and port left out), or empty without an authority.
QString hostOf(const QString& url) {
    const qsizetype start = url.indexOf(QLatin1String("://"));
    if (start < 0)
        return {};
    QString authority = url.mid(start + 3);
    const qsizetype end = authority.indexOf(QRegularExpression(QStringLiteral("[/?#]")));
    if (end >= 0)
        authority.truncate(end);
    authority = authority.mid(authority.lastIndexOf(QLatin1Char('@')) + 1);
    const qsizetype port = authority.indexOf(QLatin1Char(':'));
    return QUrl::fromPercentEncoding((port < 0 ? authority : authority.left(port)).toUtf8());
}

bool hasPathComponent(const QUrl& url, const QString& component) {
    return url.path(QUrl::FullyDecoded).split(QLatin1Char('/')).contains(component);
}

// The value of the first query item `name`: nothing when there is no such item, an empty
// optional inside when the item has no "=" (a name without a value).
std::optional<std::optional<QString>> firstQueryItem(const QUrl& url, const QString& name) {
    const QString query = url.query(QUrl::FullyEncoded);
    for (const QString& item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const QString itemName = QUrl::fromPercentEncoding(item.left(equals).toUtf8());
        if (itemName != name)
            continue;
        if (equals < 0)
            return std::optional<QString>();
        return std::optional<QString>(QUrl::fromPercentEncoding(item.mid(equals + 1).toUtf8()));
    }
    return std::nullopt;
}

} // namespace

DeepLinkAction::DeepLinkAction(const QString& text) {
    const QString scheme = schemeOf(text);
    const QUrl url(text);
    if (isGoogleRedirectScheme(scheme)) {
        *this = googleOAuth(url);
        return;
    }
    if (scheme != kScheme)
        return;
    const QString host = hostOf(text);
    if (host == QLatin1String("auth") && hasPathComponent(url, QStringLiteral("github-callback"))) {
        *this = githubOAuthCallback(url);
    } else if (host == QLatin1String("auth") &&
               hasPathComponent(url, QStringLiteral("link-github"))) {
        const auto token = firstQueryItem(url, QStringLiteral("githubToken"));
        *this = githubLink(token ? *token : std::nullopt);
    } else if (host == QLatin1String("upgrade")) {
        *this = openUpgrade();
    } else if (host == QLatin1String("plan-updated")) {
        *this = planUpdated();
    }
}

bool DeepLinkAction::isOwnScheme(const QString& url) {
    const QString scheme = schemeOf(url);
    return QUrl(url).isValid() && (scheme == kScheme || isGoogleRedirectScheme(scheme));
}

QStringList DeepLinkAction::registeredSchemes(const QString& googleClientId) {
    QStringList schemes = {kScheme};
    if (SignInConfiguration::isGoogleClientId(googleClientId)) {
        SignInConfiguration::Values values;
        values.googleClientId = googleClientId;
        schemes << SignInConfiguration(values).reversedGoogleClientId();
    }
    return schemes;
}

} // namespace sayloom
