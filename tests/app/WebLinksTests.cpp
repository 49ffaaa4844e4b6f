#include "AppFakes.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "TaskProbe.h"

#include "app/WebLinks.h"
#include "auth/FirebaseAuthError.h"

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

const QUrl kPricing(QStringLiteral("https://sayloom.ai/pricing"));

TEST(WebLinksTest, OnlyOurSitesAndGitHubAreTrusted) {
    const QStringList domains = {QStringLiteral("sayloom.ai"), QStringLiteral("127.0.0.1"),
                                 QStringLiteral("github.com")};
    const std::pair<const char*, bool> cases[] = {
        {"https://sayloom.ai/privacy", true},
        {"https://www.sayloom.ai/terms", true},
        {"https://SAYLOOM.AI/x", true},
        {"https://gist.github.com/a", true},
        {"http://127.0.0.1:8080/help", true}, // a loopback base, as tests use
        {"http://sayloom.ai/privacy", false}, // plain http
        {"https://sayloom.ai.evil.example/", false},
        {"https://evilgithub.com/", false},
        {"https://github.com.evil.example/", false},
        {"ftp://sayloom.ai/", false},
        {"not a url", false},
        {"", false},
    };
    for (const auto& [url, trusted] : cases)
        EXPECT_EQ(WebLinks::isTrustedLink(QString::fromLatin1(url), domains), trusted) << url;
    const QStringList payment =
        WebLinks::defaultPaymentHosts(QUrl(QStringLiteral("https://sayloom.ai")));
    EXPECT_TRUE(WebLinks::isTrustedBillingURL(
        QUrl(QStringLiteral("https://billing.stripe.com/p/1")), payment));
    EXPECT_FALSE(WebLinks::isTrustedBillingURL(
        QUrl(QStringLiteral("http://billing.stripe.com/p/1")), payment));
    EXPECT_FALSE(WebLinks::isTrustedBillingURL(
        QUrl(QStringLiteral("https://stripe.com.evil.example/")), payment));
}

TEST(WebLinksTest, TheBillingPortalOpensOnlyAKnownPaymentHostAndElseThePricingPage) {
    struct Case {
        const char* what;
        std::function<void(FakeURLSession&)> answer;
        bool tokenFails;
        QUrl opened;
        const char* logLine;
    };
    const Case cases[] = {
        {"portal",
         [](FakeURLSession& s) { s.respond(200, R"({"url":"https://billing.stripe.com/p/s1"})"); },
         false, QUrl(QStringLiteral("https://billing.stripe.com/p/s1")), nullptr},
        {"unlisted host",
         [](FakeURLSession& s) { s.respond(200, R"({"url":"https://pay.evil.example/"})"); }, false,
         kPricing, "Untrusted billing portal URL: https://pay.evil.example/"},
        {"transport error", [](FakeURLSession& s) { s.failWith(-1009); }, false, kPricing,
         "Portal failed: The Internet connection appears to be offline."},
        {"no token", [](FakeURLSession&) {}, true, kPricing,
         "Portal failed: Please sign in to use Sayloom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture logs;
        FakeWebBrowser browser;
        FakeURLSession session;
        c.answer(session);
        const bool tokenFails = c.tokenFails;
        WebLinks links({browser,
                        session,
                        [tokenFails]() -> QCoro::Task<QString> {
                            if (tokenFails)
                                throw FirebaseAuthError::notLoggedIn();
                            co_return QStringLiteral("id-1");
                        },
                        kPricing,
                        {},
                        {},
                        {},
                        {},
                        {},
                        QUrl(QStringLiteral("https://api.sayloom.ai/v1/billing/portal")),
                        {QStringLiteral("sayloom.ai")},
                        WebLinks::defaultPaymentHosts(QUrl(QStringLiteral("https://sayloom.ai")))});
        TaskProbe<void>::start(links.openBillingPortal());
        EXPECT_EQ(browser.opened, QList<QUrl>{c.opened});
        EXPECT_EQ(logs.messages(QStringLiteral("app")),
                  c.logLine ? QStringList{QString::fromUtf8(c.logLine)} : QStringList{});
        if (!tokenFails) {
            ASSERT_EQ(session.requests.size(), 1u);
            EXPECT_EQ(session.requests[0].value("Authorization"), "Bearer id-1");
        }
    }
}

} // namespace
