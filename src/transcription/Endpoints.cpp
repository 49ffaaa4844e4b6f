#include "transcription/Endpoints.h"

#include "support/FatalError.h"
#include "support/UrlPolicy.h"

namespace sayloom {

Endpoints::Endpoints(QString apiBase, QString websiteBase)
    : apiBase_(normalise(apiBase))
    , websiteBase_(normalise(websiteBase))
    , transcribe_(makeURL(apiBase_ + QStringLiteral("/v1/transcribe")))
    , warmup_(makeURL(apiBase_ + QStringLiteral("/v1/warmup")))
    , authSync_(makeURL(apiBase_ + QStringLiteral("/v1/auth/sync")))
    , authMe_(makeURL(apiBase_ + QStringLiteral("/v1/auth/me")))
    , authTimezone_(makeURL(apiBase_ + QStringLiteral("/v1/auth/timezone")))
    , githubCallback_(makeURL(apiBase_ + QStringLiteral("/v1/auth/github/callback")))
    , linkGitHub_(makeURL(apiBase_ + QStringLiteral("/v1/auth/link-github")))
    , billingCheckout_(makeURL(apiBase_ + QStringLiteral("/v1/billing/checkout")))
    , billingPortal_(makeURL(apiBase_ + QStringLiteral("/v1/billing/portal")))
    , upgrade_(makeURL(websiteBase_ + QStringLiteral("/upgrade")))
    , pricing_(makeURL(websiteBase_ + QStringLiteral("/pricing")))
    , privacy_(makeURL(websiteBase_ + QStringLiteral("/privacy")))
    , terms_(makeURL(websiteBase_ + QStringLiteral("/terms")))
    , help_(makeURL(websiteBase_ + QStringLiteral("/help")))
    , website_(makeURL(websiteBase_))
    , download_(makeURL(websiteBase_)) {}

QUrl Endpoints::versionCheckURL(const QString& version, const QString& platform) const {
    const QString path = apiBase_ + QStringLiteral("/v1/app/version-check");
    QUrl url(path, QUrl::StrictMode);
    if (!url.isValid())
        fatalError(QStringLiteral("APIConfig: malformed version-check URL base"));
    url.setQuery(
        encodeQuery({{QStringLiteral("platform"), platform}, {QStringLiteral("version"), version}}),
        QUrl::StrictMode);
    if (url.isValid())
        return url;
    return makeURL(path + QStringLiteral("?platform=") + platform + QStringLiteral("&version=") +
                   version);
}

QUrl Endpoints::makeURL(const QString& literal) {
    const QUrl url(literal, QUrl::StrictMode);
    if (literal.isEmpty() || !url.isValid() || url.scheme().isEmpty())
        fatalError(QStringLiteral("APIConfig: malformed URL literal: ") + literal);
    return url;
}

QString Endpoints::normalise(const QString& base) { return normaliseOrigin(base); }

std::optional<QString> Endpoints::validateBase(const QString& base) { return validateOrigin(base); }

} // namespace sayloom
