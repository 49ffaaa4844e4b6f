#include "auth/SignInConfiguration.h"

#include <gtest/gtest.h>

#include <functional>

using namespace sayloom;

namespace {

SignInConfiguration::Values complete() {
    return {QStringLiteral("123-abc.apps.googleusercontent.com"),
            QStringLiteral("gh"),
            QStringLiteral("x.firebaseapp.com"),
            QStringLiteral("key"),
            QStringLiteral("https://accounts.test"),
            QStringLiteral("https://oauth.test"),
            QStringLiteral("http://127.0.0.1:8080/"),
            QStringLiteral("https://github.test"),
            QUrl(QStringLiteral("https://api.test/v1/auth/github/callback"))};
}

TEST(SignInConfigurationTest, EachMissingOrWrongValueIsNamedAndFailsOnlyItsSignIn) {
    using Values = SignInConfiguration::Values;
    const std::tuple<std::function<void(Values&)>, const char*, const char*> cases[] = {
        {[](Values&) {}, nullptr, nullptr},
        {[](Values& v) { v.googleClientId.clear(); }, "SAYLOOM_GOOGLE_CLIENT_ID", nullptr},
        {[](Values& v) { v.googleClientId = "abc.example.com"; }, "SAYLOOM_GOOGLE_CLIENT_ID",
         nullptr},
        {[](Values& v) { v.firebaseAuthDomain = "a b"; }, "SAYLOOM_FIREBASE_AUTH_DOMAIN", nullptr},
        {[](Values& v) { v.firebaseWebApiKey.clear(); }, "SAYLOOM_FIREBASE_WEB_API_KEY", nullptr},
        {[](Values& v) { v.googleAuthBaseURL = "http://accounts.test"; },
         "SAYLOOM_GOOGLE_AUTH_BASE_URL", nullptr},
        {[](Values& v) { v.identityToolkitBaseURL = "https://idtk.test/v1"; },
         "SAYLOOM_IDENTITY_TOOLKIT_BASE_URL", nullptr},
        {[](Values& v) { v.githubClientId.clear(); }, nullptr, "SAYLOOM_GITHUB_CLIENT_ID"},
        {[](Values& v) { v.githubBaseURL = "github.test"; }, nullptr, "SAYLOOM_GITHUB_BASE_URL"},
    };
    for (const auto& [change, google, github] : cases) {
        Values values = complete();
        change(values);
        const SignInConfiguration configuration(values);
        const auto googleProblem = configuration.googleProblem();
        const auto githubProblem = configuration.githubProblem();
        const QString googleText = googleProblem.value_or(QString());
        const QString githubText = githubProblem.value_or(QString());
        EXPECT_EQ(googleProblem.has_value(), google != nullptr) << googleText.toStdString();
        EXPECT_EQ(githubProblem.has_value(), github != nullptr) << githubText.toStdString();
        EXPECT_TRUE(!google || googleText.contains(QLatin1String(google)))
            << googleText.toStdString();
        EXPECT_TRUE(!github || githubText.contains(QLatin1String(github)))
            << githubText.toStdString();
    }
}

TEST(SignInConfigurationTest, TheRedirectSchemeIsTheReversedClientId) {
    const SignInConfiguration configuration(complete());
    EXPECT_EQ(configuration.reversedGoogleClientId(),
              QStringLiteral("com.googleusercontent.apps.123-abc"));
    EXPECT_TRUE(configuration.reversedGoogleClientId().startsWith(
        QLatin1String(SignInConfiguration::kGoogleClientPrefix)));
    EXPECT_EQ(configuration.googleRedirectURI(),
              QStringLiteral("com.googleusercontent.apps.123-abc:/oauth2callback"));
    EXPECT_EQ(configuration.signInWithIdpEndpoint(),
              QStringLiteral("http://127.0.0.1:8080/v1/accounts:signInWithIdp?key=key"));
}

} // namespace
