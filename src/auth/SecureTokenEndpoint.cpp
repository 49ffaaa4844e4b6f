#include "auth/SecureTokenEndpoint.h"

#include "BuildConfig.h"
#include "support/DeploymentValue.h"
#include "support/UrlPolicy.h"

namespace sayloom {

SecureTokenEndpoint::SecureTokenEndpoint(QString baseURL, QString webApiKey)
    : baseURL_(baseURL.trimmed())
    , webApiKey_(std::move(webApiKey)) {
    if (baseURL_.endsWith(QLatin1Char('/')))
        baseURL_.chop(1);
}

SecureTokenEndpoint SecureTokenEndpoint::fromEnvironment() {
    return SecureTokenEndpoint(
        deploymentValue("SAYLOOM_SECURE_TOKEN_BASE_URL", build::kSecureTokenBaseURL),
        deploymentValue("SAYLOOM_FIREBASE_WEB_API_KEY", build::kFirebaseWebApiKey));
}

std::optional<QString> SecureTokenEndpoint::configurationError() const {
    if (webApiKey_.isEmpty())
        return QStringLiteral("This build has no Web API key for the identity service "
                              "(configure it with -DSAYLOOM_FIREBASE_WEB_API_KEY=... or set "
                              "SAYLOOM_FIREBASE_WEB_API_KEY)");
    if (!tokenURL())
        return QStringLiteral("Invalid identity token service address "
                              "(SAYLOOM_SECURE_TOKEN_BASE_URL): \"%1\" must be an https origin "
                              "(plain http only on a loopback address)")
            .arg(baseURL_);
    return std::nullopt;
}

std::optional<QUrl> SecureTokenEndpoint::tokenURL() const {
    const QUrl base(baseURL_, QUrl::StrictMode);
    if (webApiKey_.isEmpty() || !base.isValid() || base.host().isEmpty() ||
        !base.path().isEmpty() || base.hasQuery() || !isAllowedScheme(base))
        return std::nullopt;
    const QUrl url(baseURL_ + QStringLiteral("/v1/token?key=") + webApiKey_, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace sayloom
