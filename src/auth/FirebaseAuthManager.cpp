#include "auth/FirebaseAuthManager.h"

#include "auth/FirebaseAuthError.h"
#include "auth/IdentityAnswers.h"
#include "auth/WebAuthSession.h"
#include "support/LocalizedError.h"
#include "support/URLSession.h"
#include "support/UrlPolicy.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrlQuery>

#include <algorithm>

namespace sayloom {

namespace {

const QString kIdTokenKey = QString::fromLatin1(CredentialStore::kIdTokenService);
const QString kRefreshTokenKey = QString::fromLatin1(CredentialStore::kRefreshTokenService);
const QString kUidKey = QString::fromLatin1(CredentialStore::kUidService);

// Longest stretch of a refused refresh's response body that goes into the log.
constexpr qsizetype kLoggedBodyLimit = 2000;

// The identity service's client SDK wants its default app configured once per process. This
// client talks to the REST endpoints directly, so there is nothing to configure.
void configureIdentityPlatform() {}

constexpr std::chrono::seconds kSignInTimeout{15};
// The identity service's name for Google as an identity provider.
constexpr const char* kGoogleProviderId = "google.com";

// A token or code as a form value: what may stand in a URL query, except the three characters
// that would split the form ("&", "=", "+").
QByteArray formEncoded(const QString& value) {
    return QUrl::toPercentEncoding(value, "!$'()*,/:;?@");
}

// What may stand in a URL query as it is ("&", "=" and "+" included).
QByteArray queryEncoded(const QString& value) {
    return QUrl::toPercentEncoding(value, "!$&'()*+,/:;=?@");
}

// The first query item `name` of a callback, fully decoded; nothing when it is absent or empty.
std::optional<QString> callbackValue(const QUrlQuery& query, const QString& name) {
    if (!query.hasQueryItem(name))
        return std::nullopt;
    QString value = query.queryItemValue(name, QUrl::FullyDecoded);
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

// A refused refresh's body as the log shows it: UTF-8 text ("empty" when it is not), with every
// token it might echo blanked out and its length bounded.
QString loggableBody(const QByteArray& body, const QStringList& secrets) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        return QStringLiteral("empty");
    for (const QString& secret : secrets)
        if (!secret.isEmpty())
            text.replace(secret, QStringLiteral("<redacted>"));
    static const QRegularExpression tokenMember(QStringLiteral(
        R"__(("(?:id_token|refresh_token|access_token|idToken|refreshToken)"\s*:\s*)"(?:[^"\\]|\\.)*")__"));
    text.replace(tokenMember, QStringLiteral(R"(\1"<redacted>")"));
    if (text.size() > kLoggedBodyLimit)
        text = text.left(kLoggedBodyLimit) + QStringLiteral("…");
    return text;
}

std::optional<QString> stringMember(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

FirebaseAuthManager::FirebaseAuthManager(Collaborators collaborators, QObject* parent)
    : QObject(parent)
    , session_(collaborators.session)
    , scheduler_(collaborators.scheduler)
    , secureToken_(std::move(collaborators.secureToken))
    , accountSyncURL_(std::move(collaborators.accountSyncURL))
    , webAuth_(collaborators.webAuth)
    , signIn_(std::move(collaborators.signIn))
    , secureRandom_(std::move(collaborators.secureRandom))
    , credentials_(collaborators.keychain) {
    configureIdentityPlatform();
    restore();
}

FirebaseAuthManager::~FirebaseAuthManager() {
    *alive_ = false;
    if (refreshTask_)
        refreshTask_->cancellation.cancel();
}

QCoro::Task<void> FirebaseAuthManager::waitUntilRestored() {
    const SharedOutcome<bool> restored = restored_;
    co_await restored.wait();
}

QCoro::Task<void> FirebaseAuthManager::restore() {
    const auto alive = alive_;
    const std::uint64_t generation = authGeneration_;
    const CredentialMap credentials = co_await credentials_.load();
    if (!*alive)
        co_return;
    // A sign-in or sign-out while the keychain was being read has decided already.
    if (generation == authGeneration_ && !isLoggedIn_ && credentials.contains(kUidKey) &&
        credentials.contains(kRefreshTokenKey)) {
        setUid(credentials.value(kUidKey));
        setIsLoggedIn(true);
        if (credentials.contains(kIdTokenKey)) {
            // Its expiry is not stored: the first getIdToken() refreshes it.
            cachedIdToken_ = credentials.value(kIdTokenKey);
            tokenExpiry_ = scheduler_.wallNow();
        }
    }
    restored_.resolve(true);
}

QCoro::Task<QString> FirebaseAuthManager::getIdToken() {
    if (!restored_.isSettled())
        co_await waitUntilRestored();
    if (cachedIdToken_ && tokenExpiry_ > scheduler_.wallNow() + kExpiryMargin)
        co_return QString(*cachedIdToken_); // a copy: `co_return` would move from the member
    if (refreshTask_) {
        const SharedOutcome<QString> outcome = refreshTask_->outcome;
        co_return co_await outcome.wait();
    }
    const CredentialMap& credentials = credentials_.credentials();
    const auto stored = credentials.constFind(kRefreshTokenKey);
    if (stored == credentials.cend())
        throw FirebaseAuthError::notLoggedIn();

    auto refresh = std::make_shared<Refresh>();
    refresh->generation = authGeneration_;
    refreshTask_ = refresh;
    runRefresh(refresh, *stored);
    const SharedOutcome<QString> outcome = refresh->outcome;
    co_return co_await outcome.wait();
}

void FirebaseAuthManager::forgetCachedToken() {
    cachedIdToken_.reset();
    tokenExpiry_ = WallInstant::min();
}

QCoro::Task<void> FirebaseAuthManager::runRefresh(std::shared_ptr<Refresh> refresh,
                                                  QString refreshToken) {
    const auto alive = alive_;
    QString token;
    std::exception_ptr failure;
    try {
        token = co_await performRefresh(refreshToken, refresh->cancellation);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!*alive) {
        refresh->outcome.reject(std::make_exception_ptr(FirebaseAuthError::sessionExpired()));
        co_return;
    }
    // A sign-out has detached this refresh already, and a new one may have taken its place.
    if (refreshTask_ == refresh)
        refreshTask_.reset();
    if (!failure) {
        refresh->outcome.resolve(token);
        co_return;
    }
    if (FirebaseAuthError::holds(failure, FirebaseAuthError::Code::refreshTemporarilyFailed)) {
        log_.error("Token refresh temporarily failed; keeping credentials for retry.");
        refresh->outcome.reject(failure);
        co_return;
    }
    // A build that cannot reach the token service says so (logged already); the user's refresh
    // token is not at fault and stays.
    if (FirebaseAuthError::holds(failure, FirebaseAuthError::Code::invalidConfig)) {
        refresh->outcome.reject(failure);
        co_return;
    }
    // When a sign-out came first, it has cleared everything already; clearing again could wipe a
    // sign-in that followed it.
    if (authGeneration_ == refresh->generation) {
        log_.error("Token refresh failed permanently: %s. Clearing auth state.",
                   localizedDescription(failure));
        clearAuthState();
    }
    refresh->outcome.reject(std::make_exception_ptr(FirebaseAuthError::sessionExpired()));
}

QCoro::Task<QString> FirebaseAuthManager::performRefresh(QString refreshToken,
                                                         CancellationToken cancellation) {
    const auto alive = alive_;
    const std::uint64_t generation = authGeneration_;
    const std::optional<QUrl> url = secureToken_.tokenURL();
    if (!url)
        failConfiguration(secureToken_.configurationError().value_or(QString()));

    URLRequest request;
    request.url = *url;
    request.httpMethod = "POST";
    request.setValue("application/x-www-form-urlencoded", "Content-Type");
    request.httpBody =
        QByteArray("grant_type=refresh_token&refresh_token=") + formEncoded(refreshToken);
    request.timeoutInterval = kRefreshTimeout;

    URLSessionResult result;
    std::exception_ptr transportError;
    try {
        result = co_await session_.data(std::move(request), cancellation);
    } catch (...) {
        transportError = std::current_exception();
    }
    if (!*alive)
        throw CancellationError();
    if (transportError) {
        // A sign-out cancels the transfer: that is no network trouble.
        if (authGeneration_ != generation) {
            log_.info("Discarding a token refresh that completed after sign-out");
            throw FirebaseAuthError::sessionExpired();
        }
        log_.error("Token refresh: network error (%s). Treating as transient.",
                   localizedDescription(transportError));
        throw FirebaseAuthError::refreshTemporarilyFailed();
    }

    const int status = result.response.statusCode;
    if (status < 100) {
        log_.error("Token refresh: no HTTP response. Treating as transient.");
        throw FirebaseAuthError::refreshTemporarilyFailed();
    }
    if (status != 200) {
        const QStringList secrets = {refreshToken, QString::fromLatin1(formEncoded(refreshToken)),
                                     cachedIdToken_.value_or(QString())};
        log_.error("Token refresh failed: HTTP %ld - %s", status,
                   loggableBody(result.data, secrets));
        if (status >= 500 || status == 429)
            throw FirebaseAuthError::refreshTemporarilyFailed();
        throw FirebaseAuthError::sessionExpired();
    }

    const std::optional<RefreshedTokens> tokens = decodeTokenRefresh(result.data);
    if (!tokens) {
        log_.error("Token refresh: invalid JSON response. Treating as transient.");
        throw FirebaseAuthError::refreshTemporarilyFailed();
    }

    if (authGeneration_ != generation) {
        log_.info("Discarding a token refresh that completed after sign-out");
        throw FirebaseAuthError::sessionExpired();
    }

    cachedIdToken_ = tokens->idToken;
    tokenExpiry_ = scheduler_.wallNow() + tokenLifetime(tokens->expiresIn);
    credentials_.setCredential(kIdTokenKey, tokens->idToken);
    credentials_.setCredential(kRefreshTokenKey, tokens->refreshToken);
    co_return tokens->idToken;
}

std::chrono::seconds FirebaseAuthManager::tokenLifetime(const std::optional<QString>& text) {
    if (!text || text->isEmpty())
        return kDefaultTokenLifetime;
    qsizetype i = 0;
    if (text->at(0) == QLatin1Char('+') || text->at(0) == QLatin1Char('-'))
        ++i;
    if (i == text->size())
        return kDefaultTokenLifetime;
    for (qsizetype j = i; j < text->size(); ++j) {
        const char16_t c = text->at(j).unicode();
        if (c < u'0' || c > u'9')
            return kDefaultTokenLifetime;
    }
    bool ok = false;
    const qlonglong seconds = text->toLongLong(&ok);
    if (!ok)
        return kDefaultTokenLifetime;
    return std::clamp(std::chrono::seconds(seconds), kMinimumTokenLifetime, kDefaultTokenLifetime);
}

void FirebaseAuthManager::clearAuthState() {
    ++authGeneration_;
    const std::shared_ptr<Refresh> inFlight = std::exchange(refreshTask_, nullptr);
    uid_.reset();
    userEmail_.reset();
    userName_.reset();
    userPicture_.reset();
    isLoggedIn_ = false;
    cachedIdToken_.reset();
    tokenExpiry_ = WallInstant::min();
    refreshTimer_.cancel();
    credentials_.removeCredential(kIdTokenKey);
    credentials_.removeCredential(kRefreshTokenKey);
    credentials_.removeCredential(kUidKey);

    // Observers hear of the sign-out only now, and the refresh in flight is cancelled only now:
    // whatever runs in response finds nothing of the old session left to reuse.
    Q_EMIT uidChanged(uid_);
    Q_EMIT userEmailChanged(userEmail_);
    Q_EMIT userNameChanged(userName_);
    Q_EMIT userPictureChanged(userPicture_);
    Q_EMIT isLoggedInChanged(isLoggedIn_);
    if (inFlight)
        inFlight->cancellation.cancel();
}

void FirebaseAuthManager::startRefreshTimer() {
    refreshTimer_ = scheduler_.scheduleRepeating(kRefreshTimerInterval, [this] {
        // The tick's task may outlive the manager: it keeps its own logger.
        [](FirebaseAuthManager* self, Logger log) -> QCoro::Task<void> {
            try {
                co_await self->getIdToken();
                log.info("Token refreshed");
            } catch (...) {
            }
        }(this, log_);
    });
}

QCoro::Task<void> FirebaseAuthManager::syncAccount() {
    const auto alive = alive_;
    const QString token = co_await getIdToken();
    const std::uint64_t generation = authGeneration_;

    URLRequest request;
    request.url = accountSyncURL_;
    request.httpMethod = "POST";
    request.setValue("Bearer " + token.toUtf8(), "Authorization");
    request.setValue("application/json", "Content-Type");
    request.timeoutInterval = kAccountSyncTimeout;
    const URLSessionResult result = co_await session_.data(std::move(request));
    if (!*alive)
        co_return;
    if (result.response.statusCode != 200)
        throw FirebaseAuthError::syncFailed();

    const std::optional<SyncedUser> user = decodeAccountSync(result.data);
    // An answer for an account that has signed out meanwhile must not bring its name back.
    if (generation != authGeneration_ || !user)
        co_return;
    setUserEmail(user->email);
    setUserName(user->name);
}

void FirebaseAuthManager::setIsLoggedIn(bool value) {
    isLoggedIn_ = value;
    Q_EMIT isLoggedInChanged(value);
}

void FirebaseAuthManager::setUserEmail(std::optional<QString> value) {
    userEmail_ = std::move(value);
    Q_EMIT userEmailChanged(userEmail_);
}

void FirebaseAuthManager::setUserName(std::optional<QString> value) {
    userName_ = std::move(value);
    Q_EMIT userNameChanged(userName_);
}

void FirebaseAuthManager::setUid(std::optional<QString> value) {
    uid_ = std::move(value);
    Q_EMIT uidChanged(uid_);
}

void FirebaseAuthManager::setUserPicture(std::optional<QString> value) {
    userPicture_ = std::move(value);
    Q_EMIT userPictureChanged(userPicture_);
}

// MARK: sign-in

void FirebaseAuthManager::failConfiguration(const QString& problem) const {
    log_.error("%{public}s", problem);
    throw FirebaseAuthError::invalidConfig(problem);
}

QCoro::Task<void> FirebaseAuthManager::signInWithGoogle() {
    const auto alive = alive_;
    const std::uint64_t generation = authGeneration_;
    const QString verifier = randomURLSafeString(secureRandom_);
    const QString challenge = codeChallenge(verifier);
    const QString state = randomURLSafeString(secureRandom_);
    const QString nonce = randomURLSafeString(secureRandom_);

    if (const auto problem = signIn_.googleProblem())
        failConfiguration(*problem);
    if (!webAuth_)
        failConfiguration(QStringLiteral("Sign-in needs a browser session"));
    const QString redirectURI = signIn_.googleRedirectURI();
    QUrl authorization(signIn_.googleAuthorizationEndpoint(), QUrl::StrictMode);
    if (!authorization.isValid())
        throw FirebaseAuthError::invalidConfig();
    authorization.setQuery(encodeQuery({
                               {QStringLiteral("client_id"), signIn_.googleClientId()},
                               {QStringLiteral("redirect_uri"), redirectURI},
                               {QStringLiteral("response_type"), QStringLiteral("code")},
                               {QStringLiteral("scope"), QStringLiteral("openid email profile")},
                               {QStringLiteral("code_challenge"), challenge},
                               {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
                               {QStringLiteral("prompt"), QStringLiteral("select_account")},
                               {QStringLiteral("state"), state},
                               {QStringLiteral("nonce"), nonce},
                           }),
                           QUrl::StrictMode);
    if (!authorization.isValid())
        throw FirebaseAuthError::invalidConfig();

    const QUrl callback =
        co_await webAuth_->authenticate(authorization, signIn_.reversedGoogleClientId());
    if (!*alive)
        throw FirebaseAuthError::sessionExpired();

    const QUrlQuery query(callback);
    const QString receivedState = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    if (!constantTimeEquals(receivedState, state)) {
        log_.error("Google callback state did not match the pending sign-in - rejecting");
        throw FirebaseAuthError::invalidCallback();
    }
    const std::optional<QString> code = callbackValue(query, QStringLiteral("code"));
    if (!code)
        throw FirebaseAuthError::invalidCallback();

    const QUrl tokenURL(signIn_.googleTokenEndpoint(), QUrl::StrictMode);
    if (!tokenURL.isValid())
        throw FirebaseAuthError::invalidConfig();
    const QByteArray exchange =
        "code=" + formEncoded(*code) + "&client_id=" + signIn_.googleClientId().toUtf8() +
        "&redirect_uri=" + redirectURI.toUtf8() +
        "&grant_type=authorization_code&code_verifier=" + formEncoded(verifier);
    const QJsonObject tokens =
        co_await postForSignIn(tokenURL, "application/x-www-form-urlencoded", exchange);
    if (!*alive)
        throw FirebaseAuthError::sessionExpired();
    const std::optional<QString> googleIdToken = stringMember(tokens, QStringLiteral("id_token"));
    if (!googleIdToken)
        throw FirebaseAuthError::signInFailed();
    const QString tokenNonce =
        jwtClaim(*googleIdToken, QStringLiteral("nonce")).value_or(QString());
    if (!constantTimeEquals(tokenNonce, nonce)) {
        log_.error("Google ID token nonce did not match the pending sign-in - rejecting");
        throw FirebaseAuthError::signInFailed();
    }

    const QUrl idpURL(signIn_.signInWithIdpEndpoint(), QUrl::StrictMode);
    if (!idpURL.isValid())
        throw FirebaseAuthError::invalidConfig();
    const QJsonObject idpRequest{
        {QStringLiteral("postBody"), QStringLiteral("id_token=") + *googleIdToken +
                                         QStringLiteral("&providerId=") +
                                         QLatin1String(kGoogleProviderId)},
        {QStringLiteral("requestUri"), signIn_.firebaseRequestURI()},
        {QStringLiteral("returnIdpCredential"), true},
        {QStringLiteral("returnSecureToken"), true},
    };
    const QJsonObject account = co_await postForSignIn(
        idpURL, "application/json", QJsonDocument(idpRequest).toJson(QJsonDocument::Compact));
    if (!*alive)
        throw FirebaseAuthError::sessionExpired();
    const std::optional<IdpAccount> signedIn = idpAccount(account);
    if (!signedIn)
        throw FirebaseAuthError::signInFailed();

    checkSignInGeneration(generation);
    completeSignIn(SignedInUser{signedIn->idToken, signedIn->refreshToken, signedIn->uid,
                                tokenLifetime(signedIn->expiresIn), signedIn->email,
                                signedIn->displayName, signedIn->photoUrl});
}

QCoro::Task<void> FirebaseAuthManager::signInWithGitHub() {
    const auto alive = alive_;
    const std::uint64_t generation = authGeneration_;
    if (const auto problem = signIn_.githubProblem())
        failConfiguration(*problem);
    if (!webAuth_)
        failConfiguration(QStringLiteral("Sign-in needs a browser session"));
    const QByteArray redirectURI = queryEncoded(signIn_.githubCallbackURL().toString());
    const QUrl authorization(signIn_.githubAuthorizationEndpoint() + QStringLiteral("?client_id=") +
                                 signIn_.githubClientId() + QStringLiteral("&redirect_uri=") +
                                 QString::fromLatin1(redirectURI) +
                                 QStringLiteral("&scope=user:email"),
                             QUrl::StrictMode);
    if (!authorization.isValid() || !signIn_.githubCallbackURL().isValid())
        throw FirebaseAuthError::invalidConfig();

    const QUrl callback = co_await webAuth_->authenticate(authorization, QStringLiteral("sayloom"));
    if (!*alive)
        throw FirebaseAuthError::sessionExpired();

    // An empty value counts as missing: storing an empty token or user id would leave a
    // signed-in state that cannot work.
    const QUrlQuery query(callback);
    const auto idToken = callbackValue(query, QStringLiteral("idToken"));
    const auto refreshToken = callbackValue(query, QStringLiteral("refreshToken"));
    const auto uid = callbackValue(query, QStringLiteral("uid"));
    if (!idToken || !refreshToken || !uid)
        throw FirebaseAuthError::invalidCallback();
    if (!hasJwtShape(*idToken)) {
        log_.error("Invalid token format in GitHub callback — rejecting");
        throw FirebaseAuthError::invalidCallback();
    }
    if (!jwtIsUnexpired(*idToken, scheduler_.wallNow())) {
        log_.error("GitHub callback returned an already-expired id token — rejecting");
        throw FirebaseAuthError::invalidCallback();
    }

    const auto optionalValue = [&query](const QString& name) -> std::optional<QString> {
        if (!query.hasQueryItem(name))
            return std::nullopt;
        return query.queryItemValue(name, QUrl::FullyDecoded);
    };
    std::optional<QString> name = optionalValue(QStringLiteral("name"));
    if (name)
        name->replace(QLatin1Char('+'), QLatin1Char(' '));

    checkSignInGeneration(generation);
    completeSignIn(SignedInUser{*idToken, *refreshToken, *uid, kDefaultTokenLifetime,
                                optionalValue(QStringLiteral("email")), std::move(name),
                                optionalValue(QStringLiteral("picture"))});
}

QCoro::Task<QJsonObject> FirebaseAuthManager::postForSignIn(QUrl url, QByteArray contentType,
                                                            QByteArray body) {
    URLRequest request;
    request.url = std::move(url);
    request.httpMethod = "POST";
    request.setValue(contentType, "Content-Type");
    request.httpBody = std::move(body);
    request.timeoutInterval = kSignInTimeout;
    const URLSessionResult result = co_await session_.data(std::move(request));
    if (result.response.statusCode != 200)
        throw FirebaseAuthError::signInFailed();
    std::optional<QJsonObject> answer = decodeSignInAnswer(result.data);
    if (!answer)
        throw FirebaseAuthError::signInFailed();
    co_return std::move(*answer);
}

void FirebaseAuthManager::checkSignInGeneration(std::uint64_t generation) const {
    if (generation == authGeneration_)
        return;
    log_.info("Discarding credentials from a sign-in that completed after sign-out");
    throw FirebaseAuthError::sessionExpired();
}

void FirebaseAuthManager::completeSignIn(const SignedInUser& user) {
    credentials_.setCredential(kIdTokenKey, user.idToken);
    credentials_.setCredential(kRefreshTokenKey, user.refreshToken);
    credentials_.setCredential(kUidKey, user.uid);
    cachedIdToken_ = user.idToken;
    tokenExpiry_ = scheduler_.wallNow() + user.lifetime;
    setUid(user.uid);
    setUserEmail(user.email);
    setUserName(user.name);
    setUserPicture(user.picture);
    setIsLoggedIn(true);
    startRefreshTimer();
}

void FirebaseAuthManager::storeCredentials(const QString& idToken, const QString& refreshToken,
                                           const QString& uid) {
    credentials_.setCredential(kIdTokenKey, idToken);
    credentials_.setCredential(kRefreshTokenKey, refreshToken);
    credentials_.setCredential(kUidKey, uid);
}

} // namespace sayloom
