#include "AppFakes.h"
#include "LogCapture.h"
#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "auth/FirebaseAuthError.h"
#include "auth/WebAuthSession.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

namespace {

using UrlProbe = TaskProbe<QUrl>;

const QUrl kPage(QStringLiteral("https://accounts.test/o/oauth2/v2/auth?state=s"));
const QUrl kCallback(QStringLiteral("sayloom://auth/github-callback?idToken=secret-Tk1&uid=u"));

bool failedWithSignInFailed(const UrlProbe& probe) {
    const auto error = probe.errorAs<FirebaseAuthError>();
    return probe.done() && error && error->code() == FirebaseAuthError::Code::signInFailed;
}

class WebAuthSessionTest : public ::testing::Test {
public:
    UrlProbe authenticate() {
        return UrlProbe::start(session.authenticate(kPage, QStringLiteral("sayloom")));
    }

    LogCapture logs;
    VirtualScheduler scheduler;
    FakeWebBrowser browser;
    WebAuthSession session{browser, scheduler};
};

TEST_F(WebAuthSessionTest, TheCallbackCompletesTheWaitOpenedInTheBrowser) {
    auto wait = authenticate();
    EXPECT_EQ(browser.opened, QList<QUrl>{kPage});
    EXPECT_TRUE(session.hasPending());
    EXPECT_FALSE(wait.done());

    EXPECT_TRUE(session.handleCallback(kCallback));
    ASSERT_TRUE(wait.done());
    EXPECT_EQ(wait.value(), kCallback);
    EXPECT_FALSE(session.hasPending());
    EXPECT_EQ(scheduler.pendingCount(), 0u) << "the expiry is cancelled";
}

TEST_F(WebAuthSessionTest, EveryOtherEndOfTheWaitIsSignInFailed) {
    struct Case {
        const char* what;
        std::function<void(WebAuthSessionTest&)> end;
    };
    const Case cases[] = {
        {"cancelled", [](WebAuthSessionTest& t) { t.session.cancelPending(); }},
        {"120 s passed", [](WebAuthSessionTest& t) { t.scheduler.advance(120s); }},
        {"superseded",
         [](WebAuthSessionTest& t) {
             TaskProbe<QUrl>::start(t.session.authenticate(kPage, {}));
             t.session.cancelPending();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto wait = authenticate();
        scheduler.advance(119s);
        EXPECT_FALSE(wait.done());
        c.end(*this);
        EXPECT_TRUE(failedWithSignInFailed(wait));
        EXPECT_FALSE(session.hasPending());
    }
}

TEST_F(WebAuthSessionTest, OnlyTheNewestWaitCanCompleteAndAnOldTimerDoesNotEndIt) {
    auto first = authenticate();
    scheduler.advance(100s);
    auto second = authenticate();
    EXPECT_TRUE(failedWithSignInFailed(first));

    scheduler.advance(30s); // the first wait's 120 s are over
    EXPECT_FALSE(second.done());
    session.handleCallback(kCallback);
    EXPECT_EQ(second.value(), kCallback);
}

TEST_F(WebAuthSessionTest, ABrowserThatCannotBeLaunchedFailsAtOnce) {
    browser.launchProblem = QStringLiteral("cannot start firefox");
    auto wait = authenticate();
    EXPECT_TRUE(failedWithSignInFailed(wait));
    EXPECT_FALSE(session.hasPending());
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    EXPECT_TRUE(logs.contains(QStringLiteral("webAuth"), LogLevel::error,
                              QStringLiteral("Could not open the browser for sign-in: cannot "
                                             "start firefox")));
}

TEST_F(WebAuthSessionTest, ACallbackWithNothingWaitingIsLoggedWithoutItsValues) {
    EXPECT_FALSE(session.handleCallback(kCallback));
    EXPECT_EQ(logs.messages(QStringLiteral("webAuth"), LogLevel::error),
              QStringList{QStringLiteral("Received callback but no pending auth: "
                                         "sayloom://auth/github-callback?idToken=<redacted>&uid="
                                         "<redacted>")});
    EXPECT_EQ(logs.countContaining(QStringLiteral("secret-Tk1")), 0);
}

} // namespace
