#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace sayloom {

// Where Google and GitHub sign-in go, and as which client: the deployment values of this build,
// each overridable through the environment variable of the same name. A missing or malformed
// value fails only the sign-in that needs it, with a sentence naming the variable.
class SignInConfiguration {
public:
    // The start every reversed Google OAuth client id has: the URL scheme of its redirects.
    static constexpr const char* kGoogleClientPrefix = "com.googleusercontent.apps.";

    struct Values {
        QString googleClientId;         // SAYLOOM_GOOGLE_CLIENT_ID
        QString githubClientId;         // SAYLOOM_GITHUB_CLIENT_ID
        QString firebaseAuthDomain;     // SAYLOOM_FIREBASE_AUTH_DOMAIN
        QString firebaseWebApiKey;      // SAYLOOM_FIREBASE_WEB_API_KEY
        QString googleAuthBaseURL;      // SAYLOOM_GOOGLE_AUTH_BASE_URL
        QString googleTokenBaseURL;     // SAYLOOM_GOOGLE_TOKEN_BASE_URL
        QString identityToolkitBaseURL; // SAYLOOM_IDENTITY_TOOLKIT_BASE_URL
        QString githubBaseURL;          // SAYLOOM_GITHUB_BASE_URL
        // The service's GitHub callback, where GitHub sends the browser back to.
        QUrl githubCallbackURL;
    };

    SignInConfiguration() = default;
    explicit SignInConfiguration(Values values);

    // This build's values with the environment's overrides; `githubCallbackURL` comes from the
    // service's endpoint table.
    static SignInConfiguration fromEnvironment(QUrl githubCallbackURL);

    // Why Google (GitHub) sign-in cannot run with these values, naming the variable to set, or
    // nothing when it can.
    std::optional<QString> googleProblem() const;
    std::optional<QString> githubProblem() const;

    const QString& googleClientId() const { return values_.googleClientId; }
    const QString& githubClientId() const { return values_.githubClientId; }
    const QString& firebaseWebApiKey() const { return values_.firebaseWebApiKey; }
    // The client id's dot-separated labels in reverse order: the redirect's URL scheme.
    QString reversedGoogleClientId() const;
    // The reversed client id followed by ":/oauth2callback".
    QString googleRedirectURI() const;
    // "https://" + the Firebase authentication domain.
    QString firebaseRequestURI() const;

    // The endpoints, as text: callers check them with QUrl and throw invalidConfig when not valid.
    QString googleAuthorizationEndpoint() const;
    QString googleTokenEndpoint() const;
    QString signInWithIdpEndpoint() const;
    QString githubAuthorizationEndpoint() const;
    const QUrl& githubCallbackURL() const { return values_.githubCallbackURL; }

    // True for a client id of Google's form: NUMBER-ID.apps.googleusercontent.com.
    static bool isGoogleClientId(const QString& clientId);

private:
    Values values_;
};

} // namespace sayloom
