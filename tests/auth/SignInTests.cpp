#include "AppFakes.h"
#include "FakeKeychain.h"
#include "FakeURLSession.h"
#include "LogCapture.h"
#include "TaskProbe.h"
#include "VirtualScheduler.h"

#include "auth/FirebaseAuthError.h"
#include "auth/FirebaseAuthManager.h"
#include "auth/WebAuthSession.h"
#include "support/URLError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }
inline void PrintTo(const QByteArray& bytes, std::ostream* os) { *os << bytes.toStdString(); }

namespace {

using Code = FirebaseAuthError::Code;
using SignInProbe = TaskProbe<void>;

const QString kClientId =
    QStringLiteral("123456789012-abcdefghijklmnopqrstuvwxyz012345.apps.googleusercontent.com");
const QString kRedirect =
    QStringLiteral("com.googleusercontent.apps.123456789012-abcdefghijklmnopqrstuvwxyz012345:/"
                   "oauth2callback");
const QString kCurrent = QString::fromLatin1(CredentialStore::kCredentialsService);
const WallInstant kNow = WallInstant(1'800'000'000s);

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString jwt(const QJsonObject& payload) {
    return QStringLiteral("eyJhbGciOiJSUzI1NiJ9.") +
           QString::fromLatin1(json(payload).toBase64(QByteArray::Base64UrlEncoding |
                                                      QByteArray::OmitTrailingEquals)) +
           QStringLiteral(".c2ln");
}

QByteArray idpAnswer() {
    return json({{QStringLiteral("idToken"), QStringLiteral("fb-id-Q1")},
                 {QStringLiteral("refreshToken"), QStringLiteral("fb-refresh-Q2")},
                 {QStringLiteral("localId"), QStringLiteral("uid-7")},
                 {QStringLiteral("expiresIn"), QStringLiteral("3600")},
                 {QStringLiteral("email"), QStringLiteral("ada@example.com")},
                 {QStringLiteral("displayName"), QStringLiteral("Ada L")},
                 {QStringLiteral("photoUrl"), 5}});
}

std::optional<Code> codeOf(const SignInProbe& probe) {
    const auto error = probe.errorAs<FirebaseAuthError>();
    return error ? std::optional<Code>(error->code()) : std::nullopt;
}

// A signed-out manager with a browser session and a complete sign-in configuration.
class SignInTest : public ::testing::Test {
public:
    SignInTest() {
        scheduler.setWallNow(kNow);
        manager = std::make_unique<FirebaseAuthManager>(FirebaseAuthManager::Collaborators{
            keychain, session, scheduler,
            SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("web-key")),
            QUrl(QStringLiteral("https://api.test/v1/auth/sync")), &webAuth,
            SignInConfiguration(
                {kClientId, QStringLiteral("gh-client"),
                 QStringLiteral("sayloom-test.firebaseapp.com"), QStringLiteral("web-key"),
                 QStringLiteral("https://accounts.test"), QStringLiteral("https://oauth.test/"),
                 QStringLiteral("https://idtk.test"), QStringLiteral("https://github.test"),
                 QUrl(QStringLiteral("https://api.test/v1/auth/github/callback"))})});
    }

    // The query of the page the browser was sent to.
    QUrlQuery openedQuery() const { return QUrlQuery(browser.opened.value(0)); }
    QString opened(const char* item) const {
        return openedQuery().queryItemValue(QLatin1String(item), QUrl::FullyDecoded);
    }
    QUrl googleCallback(const QString& query) const { return QUrl(kRedirect + "?" + query); }
    // Answers the token exchange and signInWithIdp as Google and the identity service would.
    void answerExchanges() {
        session.respond(200, json({{QStringLiteral("id_token"),
                                    jwt({{QStringLiteral("nonce"), opened("nonce")}})}}));
        session.respond(200, idpAnswer());
    }
    bool stored() {
        TaskProbe<void>::start(manager->flushCredentialWrites());
        return keychain.value(kCurrent).has_value();
    }

    LogCapture logs;
    VirtualScheduler scheduler;
    FakeKeychain keychain;
    FakeURLSession session;
    FakeWebBrowser browser;
    WebAuthSession webAuth{browser, scheduler};
    std::unique_ptr<FirebaseAuthManager> manager;
};

TEST_F(SignInTest, GoogleSignInRunsPkceThroughTheBrowserAndStoresTheIdentityServiceCredentials) {
    FirebaseAuthManager& auth = *manager;
    auto signIn = SignInProbe::start(auth.signInWithGoogle());
    ASSERT_EQ(browser.opened.size(), 1);
    const QUrl page = browser.opened[0];
    EXPECT_EQ(page.toString(QUrl::RemoveQuery),
              QStringLiteral("https://accounts.test/o/oauth2/v2/auth"));
    QStringList names;
    for (const auto& item : openedQuery().queryItems())
        names << item.first;
    EXPECT_EQ(names,
              (QStringList{"client_id", "redirect_uri", "response_type", "scope", "code_challenge",
                           "code_challenge_method", "prompt", "state", "nonce"}));
    EXPECT_EQ(opened("client_id"), kClientId);
    EXPECT_EQ(opened("redirect_uri"), kRedirect);
    EXPECT_EQ(opened("scope"), QStringLiteral("openid email profile"));
    EXPECT_EQ(opened("code_challenge_method"), QStringLiteral("S256"));
    EXPECT_EQ(opened("prompt"), QStringLiteral("select_account"));
    EXPECT_NE(opened("state"), opened("nonce"));

    answerExchanges();
    const QString state = opened("state");
    webAuth.handleCallback(googleCallback("code=4/0A+b%2Bc&state=" + state));
    ASSERT_TRUE(signIn.done());
    ASSERT_FALSE(signIn.failed()) << localizedDescription(signIn.error()).toStdString();

    ASSERT_EQ(session.requests.size(), 2u);
    const URLRequest& exchange = session.requests[0];
    EXPECT_EQ(exchange.url, QUrl(QStringLiteral("https://oauth.test/token")));
    EXPECT_EQ(exchange.value("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(exchange.timeoutInterval, 15s);
    // The verifier is the one whose challenge went to the browser.
    const QList<QByteArray> fields = exchange.httpBody.split('&');
    ASSERT_EQ(fields.size(), 5);
    EXPECT_EQ(fields[0], "code=4/0A%2Bb%2Bc") << "the code's '+' survives as a form value";
    EXPECT_EQ(fields[1], "client_id=" + kClientId.toUtf8());
    EXPECT_EQ(fields[2], "redirect_uri=" + kRedirect.toUtf8());
    EXPECT_EQ(fields[3], "grant_type=authorization_code");
    EXPECT_EQ(codeChallenge(QString::fromLatin1(fields[4].mid(14))), opened("code_challenge"));

    const URLRequest& idp = session.requests[1];
    EXPECT_EQ(idp.url,
              QUrl(QStringLiteral("https://idtk.test/v1/accounts:signInWithIdp?key=web-key")));
    const QJsonObject body = QJsonDocument::fromJson(idp.httpBody).object();
    EXPECT_TRUE(body.value(QStringLiteral("postBody"))
                    .toString()
                    .endsWith(QStringLiteral("&providerId=google.com")));
    EXPECT_EQ(body.value(QStringLiteral("requestUri")),
              QStringLiteral("https://sayloom-test.firebaseapp.com"));
    EXPECT_EQ(body.value(QStringLiteral("returnIdpCredential")), true);
    EXPECT_EQ(body.value(QStringLiteral("returnSecureToken")), true);

    EXPECT_TRUE(auth.isLoggedIn());
    EXPECT_EQ(auth.uid(), QStringLiteral("uid-7"));
    EXPECT_EQ(auth.userEmail(), QStringLiteral("ada@example.com"));
    EXPECT_EQ(auth.userName(), QStringLiteral("Ada L"));
    EXPECT_EQ(auth.userPicture(), std::nullopt) << "not a string";
    EXPECT_TRUE(stored());
    EXPECT_EQ(keychain.value(kCurrent),
              QByteArray(R"({"ai.sayloom.app.firebase-id-token":"fb-id-Q1",)"
                         R"("ai.sayloom.app.firebase-refresh-token":"fb-refresh-Q2",)"
                         R"("ai.sayloom.app.firebase-uid":"uid-7"})"));
    // The new token serves at once, and an hour later it is refreshed.
    EXPECT_EQ(TaskProbe<QString>::start(auth.getIdToken()).value(), QStringLiteral("fb-id-Q1"));
    scheduler.advance(3300s);
    TaskProbe<QString>::start(auth.getIdToken());
    EXPECT_EQ(session.requests.size(), 3u);
}

TEST_F(SignInTest, GoogleCallbacksAndAnswersThatDoNotHoldUpAreRefusedAndNothingIsStored) {
    struct Case {
        const char* what;
        // The callback's query; STATE stands for the expected state.
        QString query;
        std::function<void(SignInTest&)> answers;
        Code code;
        const char* logLine;
    };
    const auto none = [](SignInTest&) {};
    const Case cases[] = {
        {"another state", "code=c&state=forged", none, Code::invalidCallback,
         "Google callback state did not match the pending sign-in - rejecting"},
        {"an empty state", "code=c&state=", none, Code::invalidCallback,
         "Google callback state did not match the pending sign-in - rejecting"},
        {"no state", "code=c", none, Code::invalidCallback,
         "Google callback state did not match the pending sign-in - rejecting"},
        {"no code", "error=access_denied&state=STATE", none, Code::invalidCallback, nullptr},
        {"the exchange refused", "code=c&state=STATE",
         [](SignInTest& t) { t.session.respond(400, R"({"error":"invalid_grant"})"); },
         Code::signInFailed, nullptr},
        {"no ID token", "code=c&state=STATE",
         [](SignInTest& t) { t.session.respond(200, R"({"access_token":"a"})"); },
         Code::signInFailed, nullptr},
        {"another nonce", "code=c&state=STATE",
         [](SignInTest& t) {
             t.session.respond(200, json({{"id_token", jwt({{"nonce", "replayed"}})}}));
         },
         Code::signInFailed, "Google ID token nonce did not match the pending sign-in - rejecting"},
        {"an ID token without a nonce", "code=c&state=STATE",
         [](SignInTest& t) {
             t.session.respond(200, json({{"id_token", jwt({})}}));
         },
         Code::signInFailed, "Google ID token nonce did not match the pending sign-in - rejecting"},
        {"signInWithIdp refused", "code=c&state=STATE",
         [](SignInTest& t) {
             t.session.respond(200, json({{"id_token", jwt({{"nonce", t.opened("nonce")}})}}));
             t.session.respond(400, R"({"error":{"message":"INVALID_IDP_RESPONSE"}})");
         },
         Code::signInFailed, nullptr},
        {"signInWithIdp without a user id", "code=c&state=STATE",
         [](SignInTest& t) {
             t.session.respond(200, json({{"id_token", jwt({{"nonce", t.opened("nonce")}})}}));
             t.session.respond(200, R"({"idToken":"i","refreshToken":"r"})");
         },
         Code::signInFailed, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        browser.opened.clear();
        logs.clear();
        auto signIn = SignInProbe::start(manager->signInWithGoogle());
        c.answers(*this);
        QString query = c.query;
        webAuth.handleCallback(googleCallback(query.replace("STATE", opened("state"))));
        ASSERT_TRUE(signIn.done());
        EXPECT_EQ(codeOf(signIn), c.code);
        EXPECT_EQ(logs.messages(QStringLiteral("auth"), LogLevel::error),
                  c.logLine ? QStringList{QString::fromUtf8(c.logLine)} : QStringList{});
        EXPECT_FALSE(manager->isLoggedIn());
        EXPECT_FALSE(stored());
    }
    EXPECT_EQ(session.requests.size(), 8u) << "refused callbacks send nothing";
}

TEST_F(SignInTest, ATransportErrorOfAnExchangeReachesTheCallerUnchanged) {
    auto signIn = SignInProbe::start(manager->signInWithGoogle());
    session.failWith(URLError::notConnectedToInternet);
    webAuth.handleCallback(googleCallback("code=c&state=" + opened("state")));
    const auto error = signIn.errorAs<URLError>();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), URLError::notConnectedToInternet);
}

TEST_F(SignInTest, ASignOutDuringTheBrowserWaitDiscardsWhatTheSignInBringsBack) {
    auto google = SignInProbe::start(manager->signInWithGoogle());
    manager->clearAuthState();
    answerExchanges();
    webAuth.handleCallback(googleCallback("code=c&state=" + opened("state")));
    EXPECT_EQ(codeOf(google), Code::sessionExpired);

    auto github = SignInProbe::start(manager->signInWithGitHub());
    manager->clearAuthState();
    webAuth.handleCallback(QUrl(QStringLiteral("sayloom://auth/github-callback?idToken=") +
                                jwt({{"exp", 1'900'000'000}}) +
                                QStringLiteral("&refreshToken=r&uid=u")));
    EXPECT_EQ(codeOf(github), Code::sessionExpired);

    EXPECT_EQ(logs.countContaining(QStringLiteral(
                  "Discarding credentials from a sign-in that completed after sign-out")),
              2);
    EXPECT_FALSE(manager->isLoggedIn());
    EXPECT_FALSE(stored());
}

TEST_F(SignInTest, GitHubSignInStoresTheCredentialsTheServiceHandsBack) {
    FirebaseAuthManager& auth = *manager;
    auto signIn = SignInProbe::start(auth.signInWithGitHub());
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(
        browser.opened[0].toString(QUrl::FullyEncoded),
        QStringLiteral("https://github.test/login/oauth/authorize?client_id=gh-client&"
                       "redirect_uri=https://api.test/v1/auth/github/callback&scope=user:email"));

    const QString token = jwt({{"exp", 1'800'000'001}});
    webAuth.handleCallback(QUrl(QStringLiteral("sayloom://auth/github-callback?idToken=") + token +
                                QStringLiteral("&refreshToken=gh-refresh&uid=uid-9&email=a%40b.c"
                                               "&name=Grace+Brewster%2BMurray&picture=https%3A%2F%"
                                               "2Fimg.test%2Fa.png")));
    ASSERT_TRUE(signIn.done());
    ASSERT_FALSE(signIn.failed()) << localizedDescription(signIn.error()).toStdString();
    EXPECT_TRUE(auth.isLoggedIn());
    EXPECT_EQ(auth.uid(), QStringLiteral("uid-9"));
    EXPECT_EQ(auth.userEmail(), QStringLiteral("a@b.c"));
    EXPECT_EQ(auth.userName(), QStringLiteral("Grace Brewster Murray"));
    EXPECT_EQ(auth.userPicture(), QStringLiteral("https://img.test/a.png"));
    EXPECT_TRUE(stored());
    EXPECT_TRUE(session.requests.empty()) << "the service did the exchange";
    // The expiry is an hour from now, whatever the token itself says.
    scheduler.advance(3299s);
    EXPECT_EQ(TaskProbe<QString>::start(auth.getIdToken()).value(), token);
}

TEST_F(SignInTest, GitHubCallbacksWithMissingOrUnusableTokensAreRefused) {
    const QString rest = QStringLiteral("&refreshToken=r&uid=u");
    const std::tuple<const char*, QString, const char*> cases[] = {
        {"no idToken", QStringLiteral("refreshToken=r&uid=u"), nullptr},
        {"no uid",
         QStringLiteral("idToken=") + jwt({{"exp", 1'900'000'000}}) +
             QStringLiteral("&refreshToken=r"),
         nullptr},
        {"an empty refresh token",
         QStringLiteral("idToken=") + jwt({{"exp", 1'900'000'000}}) +
             QStringLiteral("&refreshToken=&uid=u"),
         nullptr},
        {"two pieces", QStringLiteral("idToken=a.b") + rest,
         "Invalid token format in GitHub callback — rejecting"},
        {"an empty middle piece", QStringLiteral("idToken=a..b") + rest,
         "Invalid token format in GitHub callback — rejecting"},
        {"expired", QStringLiteral("idToken=") + jwt({{"exp", 1'799'999'000}}) + rest,
         "GitHub callback returned an already-expired id token — rejecting"},
        {"exp is now", QStringLiteral("idToken=") + jwt({{"exp", 1'800'000'000}}) + rest,
         "GitHub callback returned an already-expired id token — rejecting"},
        {"no exp", QStringLiteral("idToken=") + jwt({}) + rest,
         "GitHub callback returned an already-expired id token — rejecting"},
    };
    for (const auto& [what, query, logLine] : cases) {
        SCOPED_TRACE(what);
        logs.clear();
        auto signIn = SignInProbe::start(manager->signInWithGitHub());
        webAuth.handleCallback(QUrl(QStringLiteral("sayloom://auth/github-callback?") + query));
        EXPECT_EQ(codeOf(signIn), Code::invalidCallback);
        EXPECT_EQ(logs.messages(QStringLiteral("auth"), LogLevel::error),
                  logLine ? QStringList{QString::fromUtf8(logLine)} : QStringList{});
    }
    EXPECT_FALSE(manager->isLoggedIn());
    EXPECT_FALSE(stored());
}

TEST_F(SignInTest, AMissingDeploymentValueFailsBeforeTheBrowserOpensAndNamesTheVariable) {
    manager = std::make_unique<FirebaseAuthManager>(FirebaseAuthManager::Collaborators{
        keychain, session, scheduler,
        SecureTokenEndpoint(QStringLiteral("https://token.test"), QStringLiteral("web-key")),
        QUrl(), &webAuth,
        SignInConfiguration({QStringLiteral("not-a-client"), {}, {}, {}, {}, {}, {}, {}, {}})});
    const std::pair<std::function<QCoro::Task<void>()>, const char*> cases[] = {
        {[this] { return manager->signInWithGoogle(); }, "SAYLOOM_GOOGLE_CLIENT_ID"},
        {[this] { return manager->signInWithGitHub(); }, "SAYLOOM_GITHUB_CLIENT_ID"},
    };
    for (const auto& [signIn, variable] : cases) {
        auto probe = SignInProbe::start(signIn());
        const auto error = probe.errorAs<FirebaseAuthError>();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), Code::invalidConfig);
        EXPECT_TRUE(error->detail().contains(QLatin1String(variable)))
            << error->detail().toStdString();
    }
    EXPECT_TRUE(browser.opened.isEmpty());
}

} // namespace
