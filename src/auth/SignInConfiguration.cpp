#include "auth/SignInConfiguration.h"

#include "BuildConfig.h"
#include "support/DeploymentValue.h"
#include "support/UrlPolicy.h"

#include <QRegularExpression>

#include <algorithm>

namespace sayloom {

namespace {

QString missing(const char* what, const char* variable) {
    return QStringLiteral("%1 is not configured in this build: set %2 (at build time with "
                          "-D%2=..., or in the environment)")
        .arg(QLatin1String(what), QLatin1String(variable));
}

std::optional<QString> originProblem(const QString& base, const char* what, const char* variable) {
    if (const auto problem = validateOrigin(base))
        return QStringLiteral("Invalid %1 (%2): %3")
            .arg(QLatin1String(what), QLatin1String(variable), *problem);
    return std::nullopt;
}

bool isHostName(const QString& text) {
    static const QRegularExpression host(QStringLiteral(
        "^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
    return text.size() <= 253 && host.match(text).hasMatch();
}

} // namespace

SignInConfiguration::SignInConfiguration(Values values) : values_(std::move(values)) {
    for (QString* base : {&values_.googleAuthBaseURL, &values_.googleTokenBaseURL,
                          &values_.identityToolkitBaseURL, &values_.githubBaseURL})
        *base = normaliseOrigin(*base);
    values_.googleClientId = values_.googleClientId.trimmed();
    values_.githubClientId = values_.githubClientId.trimmed();
    values_.firebaseAuthDomain = values_.firebaseAuthDomain.trimmed();
}

SignInConfiguration SignInConfiguration::fromEnvironment(QUrl githubCallbackURL) {
    return SignInConfiguration(Values{
        deploymentValue("SAYLOOM_GOOGLE_CLIENT_ID", build::kGoogleClientId),
        deploymentValue("SAYLOOM_GITHUB_CLIENT_ID", build::kGithubClientId),
        deploymentValue("SAYLOOM_FIREBASE_AUTH_DOMAIN", build::kFirebaseAuthDomain),
        deploymentValue("SAYLOOM_FIREBASE_WEB_API_KEY", build::kFirebaseWebApiKey),
        deploymentValue("SAYLOOM_GOOGLE_AUTH_BASE_URL", build::kGoogleAuthBaseURL),
        deploymentValue("SAYLOOM_GOOGLE_TOKEN_BASE_URL", build::kGoogleTokenBaseURL),
        deploymentValue("SAYLOOM_IDENTITY_TOOLKIT_BASE_URL", build::kIdentityToolkitBaseURL),
        deploymentValue("SAYLOOM_GITHUB_BASE_URL", build::kGithubBaseURL),
        std::move(githubCallbackURL),
    });
}

bool SignInConfiguration::isGoogleClientId(const QString& clientId) {
    static const QRegularExpression form(
        QStringLiteral("^[0-9]+-[A-Za-z0-9_]+\\.apps\\.googleusercontent\\.com$"));
    return form.match(clientId).hasMatch();
}

std::optional<QString> SignInConfiguration::googleProblem() const {
    if (values_.googleClientId.isEmpty())
        return missing("Google sign-in", "SAYLOOM_GOOGLE_CLIENT_ID");
    if (!isGoogleClientId(values_.googleClientId))
        return QStringLiteral("SAYLOOM_GOOGLE_CLIENT_ID \"%1\" is not a Google OAuth client id "
                              "(NUMBER-ID.apps.googleusercontent.com)")
            .arg(values_.googleClientId);
    if (values_.firebaseAuthDomain.isEmpty())
        return missing("The identity service's authentication domain",
                       "SAYLOOM_FIREBASE_AUTH_DOMAIN");
    if (!isHostName(values_.firebaseAuthDomain))
        return QStringLiteral("SAYLOOM_FIREBASE_AUTH_DOMAIN \"%1\" is not a host name")
            .arg(values_.firebaseAuthDomain);
    if (values_.firebaseWebApiKey.isEmpty())
        return missing("The identity service's Web API key", "SAYLOOM_FIREBASE_WEB_API_KEY");
    if (auto problem = originProblem(values_.googleAuthBaseURL, "Google authorization address",
                                     "SAYLOOM_GOOGLE_AUTH_BASE_URL"))
        return problem;
    if (auto problem = originProblem(values_.googleTokenBaseURL, "Google token address",
                                     "SAYLOOM_GOOGLE_TOKEN_BASE_URL"))
        return problem;
    return originProblem(values_.identityToolkitBaseURL, "identity toolkit address",
                         "SAYLOOM_IDENTITY_TOOLKIT_BASE_URL");
}

std::optional<QString> SignInConfiguration::githubProblem() const {
    if (values_.githubClientId.isEmpty())
        return missing("GitHub sign-in", "SAYLOOM_GITHUB_CLIENT_ID");
    return originProblem(values_.githubBaseURL, "GitHub address", "SAYLOOM_GITHUB_BASE_URL");
}

QString SignInConfiguration::reversedGoogleClientId() const {
    QStringList labels = values_.googleClientId.split(QLatin1Char('.'));
    std::reverse(labels.begin(), labels.end());
    return labels.join(QLatin1Char('.'));
}

QString SignInConfiguration::googleRedirectURI() const {
    return reversedGoogleClientId() + QStringLiteral(":/oauth2callback");
}

QString SignInConfiguration::firebaseRequestURI() const {
    return QStringLiteral("https://") + values_.firebaseAuthDomain;
}

QString SignInConfiguration::googleAuthorizationEndpoint() const {
    return values_.googleAuthBaseURL + QStringLiteral("/o/oauth2/v2/auth");
}

QString SignInConfiguration::googleTokenEndpoint() const {
    return values_.googleTokenBaseURL + QStringLiteral("/token");
}

QString SignInConfiguration::signInWithIdpEndpoint() const {
    return values_.identityToolkitBaseURL + QStringLiteral("/v1/accounts:signInWithIdp?key=") +
           values_.firebaseWebApiKey;
}

QString SignInConfiguration::githubAuthorizationEndpoint() const {
    return values_.githubBaseURL + QStringLiteral("/login/oauth/authorize");
}

} // namespace sayloom
