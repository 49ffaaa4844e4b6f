#include "app/DeepLinkAction.h"

#include <gtest/gtest.h>

using namespace sayloom;

namespace {

using Kind = DeepLinkAction::Kind;

TEST(DeepLinkActionTest, ParsesTheLinksOfOurSchemesAndIgnoresEverythingElse) {
    const QString google =
        QStringLiteral("com.googleusercontent.apps.1-abc:/oauth2callback?code=x&state=y");
    const QString callback = QStringLiteral("sayloom://auth/github-callback?idToken=a&uid=u");
    const std::pair<QString, DeepLinkAction> cases[] = {
        {google, DeepLinkAction::googleOAuth(QUrl(google))},
        {QStringLiteral("com.googleusercontent.apps.anything:other/path"),
         DeepLinkAction::googleOAuth(
             QUrl(QStringLiteral("com.googleusercontent.apps.anything:other/path")))},
        {callback, DeepLinkAction::githubOAuthCallback(QUrl(callback))},
        {QStringLiteral("sayloom://auth/github-callbacks"), DeepLinkAction::ignore()},
        {QStringLiteral("sayloom://auth/link-github/github-callback"),
         DeepLinkAction::githubOAuthCallback(
             QUrl(QStringLiteral("sayloom://auth/link-github/github-callback")))},
        {QStringLiteral("sayloom://auth/link-github"), DeepLinkAction::githubLink(std::nullopt)},
        {QStringLiteral("sayloom://auth/link-github?"), DeepLinkAction::githubLink(std::nullopt)},
        {QStringLiteral("sayloom://auth/link-github?x=1"),
         DeepLinkAction::githubLink(std::nullopt)},
        {QStringLiteral("sayloom://auth/link-github?githubToken"),
         DeepLinkAction::githubLink(std::nullopt)},
        {QStringLiteral("sayloom://auth/link-github?githubToken=&x=1"),
         DeepLinkAction::githubLink(QString(""))},
        {QStringLiteral("sayloom://auth/link-github?githubToken=a%2Bb+c&githubToken=second"),
         DeepLinkAction::githubLink(QStringLiteral("a+b+c"))},
        {QStringLiteral("sayloom://auth/something-else"), DeepLinkAction::ignore()},
        {QStringLiteral("sayloom://upgrade"), DeepLinkAction::openUpgrade()},
        {QStringLiteral("sayloom://upgrade/anything?x=1"), DeepLinkAction::openUpgrade()},
        {QStringLiteral("sayloom://plan-updated"), DeepLinkAction::planUpdated()},
        {QStringLiteral("Sayloom://upgrade"), DeepLinkAction::ignore()},
        {QStringLiteral("sayloom://AUTH/github-callback"), DeepLinkAction::ignore()},
        {QStringLiteral("sayloom:upgrade"), DeepLinkAction::ignore()},
        {QStringLiteral("https://sayloom.ai/upgrade"), DeepLinkAction::ignore()},
        {QStringLiteral(""), DeepLinkAction::ignore()},
    };
    for (const auto& [url, expected] : cases)
        EXPECT_TRUE(DeepLinkAction(url) == expected) << url.toStdString();
}

TEST(DeepLinkActionTest, OnlyOurSchemesAreTakenFromOtherProcesses) {
    const std::pair<const char*, bool> cases[] = {
        {"sayloom://upgrade", true},
        {"com.googleusercontent.apps.1-abc:/oauth2callback", true},
        {"Sayloom://upgrade", false},
        {"https://sayloom.ai", false},
        {"file:///etc/passwd", false},
        {"sayloom", false},
        {"", false},
    };
    for (const auto& [url, own] : cases)
        EXPECT_EQ(DeepLinkAction::isOwnScheme(QString::fromLatin1(url)), own) << url;
}

TEST(DeepLinkActionTest, TheGoogleRedirectSchemeIsRegisteredOnlyForAGoogleClientId) {
    const std::pair<const char*, QStringList> cases[] = {
        {"123-abc.apps.googleusercontent.com", {"sayloom", "com.googleusercontent.apps.123-abc"}},
        {"", {"sayloom"}},
        {"not-a-client-id", {"sayloom"}},
    };
    for (const auto& [clientId, schemes] : cases) {
        const QStringList registered =
            DeepLinkAction::registeredSchemes(QString::fromLatin1(clientId));
        EXPECT_EQ(registered, schemes) << clientId;
        // Every registered scheme's links are taken from other processes.
        for (const QString& scheme : registered)
            EXPECT_TRUE(DeepLinkAction::isOwnScheme(scheme + QStringLiteral(":/x"))) << clientId;
    }
}

} // namespace
