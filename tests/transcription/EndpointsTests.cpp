#include "transcription/APIConfig.h"
#include "transcription/Endpoints.h"

#include <gtest/gtest.h>

using namespace sayloom;

namespace {

const QString kApi = QStringLiteral("https://api.example.test");
const QString kWeb = QStringLiteral("https://www.example.test:8443");

TEST(EndpointsTest, EachAddressIsItsBaseFollowedByItsPath) {
    const Endpoints e(kApi, kWeb);
    const std::vector<std::pair<const QUrl*, QString>> table = {
        {&e.transcribeURL(), kApi + "/v1/transcribe"},
        {&e.warmupURL(), kApi + "/v1/warmup"},
        {&e.authSyncURL(), kApi + "/v1/auth/sync"},
        {&e.authMeURL(), kApi + "/v1/auth/me"},
        {&e.authTimezoneURL(), kApi + "/v1/auth/timezone"},
        {&e.billingCheckoutURL(), kApi + "/v1/billing/checkout"},
        {&e.billingPortalURL(), kApi + "/v1/billing/portal"},
        {&e.upgradeURL(), kWeb + "/upgrade"},
        {&e.pricingURL(), kWeb + "/pricing"},
        {&e.privacyURL(), kWeb + "/privacy"},
        {&e.termsURL(), kWeb + "/terms"},
        {&e.helpURL(), kWeb + "/help"},
        {&e.websiteURL(), kWeb},
        {&e.downloadURL(), kWeb},
    };
    for (const auto& [url, expected] : table)
        EXPECT_EQ(url->toString(QUrl::FullyEncoded), expected);
    EXPECT_EQ(e.websiteURL(), e.downloadURL());
}

TEST(EndpointsTest, TheVersionCheckCarriesPlatformAndEncodedVersion) {
    const Endpoints e(kApi, kWeb);
    EXPECT_EQ(e.versionCheckURL(QStringLiteral("1.4.2"), QStringLiteral("macos"))
                  .toString(QUrl::FullyEncoded),
              kApi + "/v1/app/version-check?platform=macos&version=1.4.2");
    EXPECT_EQ(e.versionCheckURL(QStringLiteral("1.4.2 beta")).toString(QUrl::FullyEncoded),
              kApi + "/v1/app/version-check?platform=linux&version=1.4.2%20beta");
    EXPECT_EQ(e.versionCheckURL(QStringLiteral("2.0&x=1")).query(QUrl::FullyEncoded),
              QStringLiteral("platform=linux&version=2.0%26x%3D1"));
}

TEST(EndpointsTest, BasesMustBeHttpsOriginsOrLoopbackHttp) {
    const std::vector<std::pair<QString, bool>> cases = {
        {QStringLiteral("https://api.sayloom.ai"), true},
        {QStringLiteral("https://api.sayloom.ai/"), true}, // a trailing slash is dropped
        {QStringLiteral("http://127.0.0.1:8080"), true},
        {QStringLiteral("http://localhost:9000"), true},
        {QStringLiteral("http://[::1]:9000"), true},
        {QStringLiteral("http://api.sayloom.ai"), false},
        {QStringLiteral("http://192.168.1.2"), false},
        {QStringLiteral("https://api.sayloom.ai/v2"), false},
        {QStringLiteral("https://user:pw@api.sayloom.ai"), false},
        {QStringLiteral("https://api.sayloom.ai?x=1"), false},
        {QStringLiteral("ftp://api.sayloom.ai"), false},
        {QStringLiteral("api.sayloom.ai"), false},
        {QString(), false},
    };
    for (const auto& [base, valid] : cases)
        EXPECT_EQ(!Endpoints::validateBase(base).has_value(), valid) << base.toStdString();
    EXPECT_EQ(Endpoints(QStringLiteral("https://a.test/"), kWeb).transcribeURL().toString(),
              QStringLiteral("https://a.test/v1/transcribe"));
}

TEST(EndpointsDeathTest, AMalformedLiteralStopsTheProgramWithItsMessage) {
    EXPECT_DEATH(Endpoints::makeURL(QStringLiteral("https://exa mple.test/x")),
                 "APIConfig: malformed URL literal: https://exa mple.test/x");
    EXPECT_DEATH(Endpoints::makeURL(QString()), "APIConfig: malformed URL literal: ");
}

TEST(APIConfigTest, TheEnvironmentOverridesTheBuildBasesAndIsValidatedFirst) {
    qputenv("SAYLOOM_API_BASE_URL", "http://example.com");
    auto error = APIConfig::configurationError();
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains(QStringLiteral("SAYLOOM_API_BASE_URL")));
    qputenv("SAYLOOM_API_BASE_URL", "http://127.0.0.1:4321");
    qputenv("SAYLOOM_WEBSITE_BASE_URL", "https://web.test");
    EXPECT_EQ(APIConfig::configurationError(), std::nullopt);
    EXPECT_EQ(APIConfig::endpoints().transcribeURL().toString(),
              QStringLiteral("http://127.0.0.1:4321/v1/transcribe"));
    EXPECT_EQ(APIConfig::endpoints().helpURL().toString(), QStringLiteral("https://web.test/help"));
    qunsetenv("SAYLOOM_API_BASE_URL");
    qunsetenv("SAYLOOM_WEBSITE_BASE_URL");
}

} // namespace
