#include "AppFakes.h"
#include "FakeKeychain.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "MemoryKeyValueStore.h"
#include "PendingURLSession.h"
#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "app/DeepLinkDispatcher.h"
#include "app/GitHubLinker.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthManager.h"
#include "auth/WebAuthSession.h"
#include "support/URLError.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

const QString kCurrent = QString::fromLatin1(CredentialStore::kCredentialsService);
const QString kSignedIn = QStringLiteral(R"({"ai.sayloom.app.firebase-refresh-token":"r1",)"
                                         R"("ai.sayloom.app.firebase-uid":"uid-1"})");
const QUrl kLinkURL(QStringLiteral("https://api.test/v1/auth/link-github"));
const QUrl kUpgradeURL(QStringLiteral("https://sayloom.test/upgrade"));
const QString kUnsolicited =
    QStringLiteral("Ignoring unsolicited link-github deep link (no pending auth) — CSRF guard");
const QString kAlert = QStringLiteral(
    "alert: GitHub Linking Failed | Could not link your GitHub account. Please try again.");

// The dispatcher with the real account parts over fakes: a keychain (signed in as uid-1 unless
// cleared), the identity service answering refreshes, the service's profile on `api` and the
// link requests on `linkSession`, left open until the test answers them.
class DeepLinkTest : public ::testing::Test {
public:
    DeepLinkTest() { keychain.put(kCurrent, kSignedIn.toUtf8()); }
    ~DeepLinkTest() override {
        dispatcher.reset();
        linker.reset();
        account.reset();
        QCoreApplication::sendPostedEvents();
    }

    void start() {
        dispatcher.reset();
        linker.reset();
        account.reset();
        auth = std::make_unique<FirebaseAuthManager>(FirebaseAuthManager::Collaborators{
            keychain, identity, scheduler,
            SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("k")),
            QUrl(QStringLiteral("https://api.test/v1/auth/sync")), &webAuth});
        account = std::make_unique<AuthState>(AuthState::Collaborators{
            *auth, defaults, api, scheduler, QUrl(QStringLiteral("https://api.test/v1/auth/me")),
            QUrl(QStringLiteral("https://api.test/v1/auth/timezone")), false});
        linker = std::make_unique<GitHubLinker>(
            GitHubLinker::Collaborators{*auth, *account, linkSession, webAuth, shell, kLinkURL});
        dispatcher = std::make_unique<DeepLinkDispatcher>(DeepLinkDispatcher::Collaborators{
            webAuth, *linker, shell, browser, scheduler, kUpgradeURL,
            [this]() -> QCoro::Task<void> {
                loads << scheduler.monotonicNow();
                co_return;
            },
            [this] { return plan; }});
        identity.respond(200, R"({"id_token":"id-1","refresh_token":"r2","expires_in":"3600"})");
    }

    // A browser sign-in that waits for its callback, as GitHub sign-in does.
    TaskProbe<QUrl> waitInBrowser() {
        return TaskProbe<QUrl>::start(webAuth.authenticate(QUrl("https://github.test/"), {}));
    }
    int profileLoads() const {
        return static_cast<int>(
            std::count_if(api.requests.cbegin(), api.requests.cend(),
                          [](const URLRequest& r) { return r.url.path() == "/v1/auth/me"; }));
    }
    QString storedBlob() {
        TaskProbe<void>::start(auth->flushCredentialWrites());
        return QString::fromUtf8(keychain.value(kCurrent).value_or(QByteArray()));
    }

    LogCapture logs;
    VirtualScheduler scheduler;
    FakeKeychain keychain;
    FakeURLSession identity;
    FakeURLSession api;
    PendingURLSession linkSession;
    MemoryKeyValueStore defaults;
    FakeWebBrowser browser;
    FakeApplicationShell shell;
    WebAuthSession webAuth{browser, scheduler};
    std::unique_ptr<FirebaseAuthManager> auth;
    std::unique_ptr<AuthState> account;
    std::unique_ptr<GitHubLinker> linker;
    std::unique_ptr<DeepLinkDispatcher> dispatcher;
    std::optional<QString> plan;
    QList<MonotonicInstant> loads;
};

TEST_F(DeepLinkTest, CallbacksCompleteTheWaitingSignInAndLinksAreHandledInOrder) {
    start();
    const QString google = QStringLiteral("com.googleusercontent.apps.1-a:/oauth2callback?code=c");
    auto wait = waitInBrowser();
    dispatcher->open({google, QStringLiteral("sayloom://upgrade"),
                      QStringLiteral("https://elsewhere.test/"),
                      QStringLiteral("sayloom://auth/github-callback?uid=u")});
    EXPECT_EQ(wait.value(), QUrl(google));
    EXPECT_EQ(browser.opened.last(), kUpgradeURL) << "the upgrade page opens without activation";
    EXPECT_EQ(shell.calls, (QStringList{"front", "front"}));
    EXPECT_EQ(logs.countContaining(QStringLiteral("Received callback but no pending auth: "
                                                  "sayloom://auth/github-callback?uid=<redacted>")),
              1);
}

TEST_F(DeepLinkTest, ALinkGitHubLinkActsOnlyWhileABrowserSignInWaits) {
    start();
    dispatcher->open({QStringLiteral("sayloom://auth/link-github?githubToken=gh-1")});
    EXPECT_EQ(logs.messages(QStringLiteral("app"), LogLevel::error), QStringList{kUnsolicited});
    EXPECT_EQ(shell.calls, QStringList{"front"}) << "refused, and still brought to the front";
    EXPECT_EQ(linkSession.count(), 0u);

    auto wait = waitInBrowser();
    dispatcher->open({QStringLiteral("sayloom://auth/link-github")});
    EXPECT_TRUE(wait.failed()) << "the waiting sign-in ends";
    EXPECT_EQ(linkSession.count(), 0u) << "without a token nothing else happens";

    auto linked = waitInBrowser();
    dispatcher->open({QStringLiteral("sayloom://auth/link-github?githubToken=gh-2")});
    EXPECT_TRUE(linked.failed());
    ASSERT_EQ(linkSession.count(), 1u);
    const URLRequest& request = linkSession.request(0);
    EXPECT_EQ(request.url, kLinkURL);
    EXPECT_EQ(request.value("Authorization"), "Bearer id-1");
    EXPECT_EQ(request.httpBody, R"({"githubToken":"gh-2"})");
    EXPECT_EQ(request.timeoutInterval, 15s);
    EXPECT_EQ(shell.calls.size(), 2) << "front only once the linking is over";
    linkSession.respond(0, 500);
    EXPECT_EQ(shell.calls.last(), "front");
}

TEST_F(DeepLinkTest, EachAnswerToALinkRequestIsHandledAsItDeserves) {
    struct Case {
        const char* what;
        std::function<void(DeepLinkTest&)> answer;
        QStringList appLog;
        bool stored;
        bool alert;
        int profileLoads;
    };
    const Case cases[] = {
        {"linked",
         [](DeepLinkTest& t) {
             t.linkSession.respond(0, 200, R"({"idToken":"i2","refreshToken":"r3","uid":"uid-1"})");
         },
         {"GitHub linked + tokens updated"},
         true,
         false,
         1},
        {"no uid",
         [](DeepLinkTest& t) {
             t.linkSession.respond(0, 200, R"({"idToken":"i2","refreshToken":"r3"})");
         },
         {},
         false,
         false,
         1},
        {"another account",
         [](DeepLinkTest& t) {
             t.linkSession.respond(0, 200, R"({"idToken":"i2","refreshToken":"r3","uid":"uid-2"})");
         },
         {"GitHub link uid mismatch — expected uid-1, got uid-2"},
         false,
         false,
         1},
        {"signed out meanwhile",
         [](DeepLinkTest& t) {
             t.account->signOut();
             t.linkSession.respond(0, 200, R"({"idToken":"i2","refreshToken":"r3","uid":"uid-1"})");
         },
         {"GitHub link completed after sign-out - tokens discarded"},
         false,
         false,
         0},
        {"refused with a reason",
         [](DeepLinkTest& t) { t.linkSession.respond(0, 409, R"({"error":"already linked"})"); },
         {"GitHub linking failed: already linked"},
         false,
         true,
         0},
        {"refused without one",
         [](DeepLinkTest& t) { t.linkSession.respond(0, 502, "<html>"); },
         {"GitHub linking failed: unknown"},
         false,
         true,
         0},
        {"200 that is not JSON",
         [](DeepLinkTest& t) { t.linkSession.respond(0, 200, "ok"); },
         {"GitHub linking failed: unknown"},
         false,
         true,
         0},
        {"no connection",
         [](DeepLinkTest& t) { t.linkSession.fail(0, URLError::notConnectedToInternet); },
         {"GitHub linking error: The Internet connection appears to be offline."},
         false,
         false,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        linkSession = PendingURLSession();
        api.requests.clear();
        keychain.items.clear();
        keychain.put(kCurrent, kSignedIn.toUtf8());
        shell.calls.clear();
        start();
        QCoreApplication::sendPostedEvents();
        logs.clear();
        auto link = TaskProbe<void>::start(linker->linkGitHub(QStringLiteral("gh")));
        c.answer(*this);
        ASSERT_TRUE(link.done());
        QStringList appLog = logs.messages(QStringLiteral("app"));
        EXPECT_EQ(appLog, c.appLog);
        EXPECT_EQ(storedBlob().contains(QLatin1String("r3")), c.stored);
        EXPECT_EQ(shell.calls.contains(kAlert), c.alert);
        EXPECT_EQ(profileLoads(), c.profileLoads);
    }
}

TEST_F(DeepLinkTest, LinkingWhileSignedOutSignsInWithGoogleFirstAndStopsWhenThatFails) {
    keychain.items.clear();
    start();
    auto link = TaskProbe<void>::start(linker->linkGitHub(QStringLiteral("gh")));
    ASSERT_TRUE(link.done());
    EXPECT_EQ(logs.messages(QStringLiteral("app")),
              (QStringList{"Not signed in, need Google sign-in first to link GitHub",
                           "Google sign-in for linking failed: Authentication configuration "
                           "error."}));
    EXPECT_EQ(linkSession.count(), 0u);
}

TEST_F(DeepLinkTest, APlanChangeReloadsTheAccountUntilItIsProAtMostSixTimes) {
    start();
    plan = QStringLiteral("pro");
    dispatcher->open({QStringLiteral("sayloom://plan-updated")});
    EXPECT_EQ(loads.size(), 1);
    EXPECT_EQ(shell.calls, (QStringList{"front", "settings"}));
    EXPECT_EQ(scheduler.pendingCount(), 0u) << "no wait after a pro plan";

    loads.clear();
    plan = QStringLiteral("free");
    const MonotonicInstant begin = scheduler.monotonicNow();
    dispatcher->open({QStringLiteral("sayloom://plan-updated")});
    scheduler.advance(60s);
    QList<Duration> after;
    for (const MonotonicInstant load : loads)
        after << load - begin;
    EXPECT_EQ(after, (QList<Duration>{0s, 1s, 3s, 5s, 7s, 9s}));
}

} // namespace
