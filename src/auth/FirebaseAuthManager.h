#pragma once

#include "auth/CredentialStore.h"
#include "auth/SecureTokenEndpoint.h"
#include "auth/SharedOutcome.h"
#include "auth/SignInConfiguration.h"
#include "auth/SignInUtilities.h"
#include "support/CancellationToken.h"
#include "support/Logger.h"
#include "support/Scheduler.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace sayloom {

class URLSessionProtocol;
class WebAuthSession;

// The signed-in user and their identity token. Hands out a token with more than five minutes of
// life left, refreshing it at the Secure Token service when needed; concurrent callers share one
// refresh. Transient refresh failures keep the user signed in; a refused refresh token signs them
// out locally. Every local sign-out increments `authGeneration`, and work that started before it
// (a refresh, an account sync) stores nothing when it completes afterwards.
//
// At construction the credentials are loaded from the keychain in the background; the signed-in
// state is restored from them (waitUntilRestored()), and getIdToken() waits for that. One instance
// per process, main thread only. The collaborators must outlive it.
class FirebaseAuthManager final : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::seconds kExpiryMargin{300};
    static constexpr std::chrono::seconds kRefreshTimeout{15};
    static constexpr std::chrono::seconds kRefreshTimerInterval{3000};
    static constexpr std::chrono::seconds kAccountSyncTimeout{15};
    static constexpr std::chrono::seconds kDefaultTokenLifetime{3600};
    static constexpr std::chrono::seconds kMinimumTokenLifetime{60};

    struct Collaborators {
        Keychain& keychain;
        // Token refreshes and the account sync go through this session.
        URLSessionProtocol& session;
        Scheduler& scheduler;
        SecureTokenEndpoint secureToken;
        // POST here after each sign-in (the service's account sync).
        QUrl accountSyncURL;
        // The browser half of Google and GitHub sign-in; without it sign-in fails with
        // invalidConfig.
        WebAuthSession* webAuth = nullptr;
        SignInConfiguration signIn = {};
        // Where the PKCE verifier, state and nonce come from.
        SecureRandomSource secureRandom = systemSecureRandom;
    };

    explicit FirebaseAuthManager(Collaborators collaborators, QObject* parent = nullptr);
    ~FirebaseAuthManager() override;

    bool isLoggedIn() const { return isLoggedIn_; }
    const std::optional<QString>& userEmail() const { return userEmail_; }
    const std::optional<QString>& userName() const { return userName_; }
    const std::optional<QString>& userPicture() const { return userPicture_; }
    const std::optional<QString>& uid() const { return uid_; }
    std::uint64_t authGeneration() const { return authGeneration_; }

    // True once the signed-in state has been restored from the keychain.
    bool isRestored() const { return restored_.isSettled(); }
    QCoro::Task<void> waitUntilRestored();

    // An identity token with more than kExpiryMargin of life left. Throws FirebaseAuthError:
    // notLoggedIn (no refresh token stored), refreshTemporarilyFailed (try again later, still
    // signed in) or sessionExpired (the user is now signed out).
    QCoro::Task<QString> getIdToken();
    // For a caller whose token the service refused: the next getIdToken() refreshes.
    void forgetCachedToken();

    // Signs in with Google in the browser (PKCE, state and nonce), trades Google's ID token for
    // the identity service's credentials, stores them and signs the user in. Throws
    // FirebaseAuthError (invalidConfig, randomGenerationFailed, signInFailed, invalidCallback,
    // sessionExpired after a sign-out meanwhile) or a transport error unchanged.
    QCoro::Task<void> signInWithGoogle();
    // Signs in with GitHub in the browser; the service completes the exchange and hands the
    // credentials back in a deep link, which is checked and stored. Throws as signInWithGoogle().
    QCoro::Task<void> signInWithGitHub();
    // Stores credentials the service issued for the signed-in account (after linking an identity)
    // without touching the ones in use: the new refresh token serves from the next refresh on.
    void storeCredentials(const QString& idToken, const QString& refreshToken, const QString& uid);

    // Local sign-out: forgets the user, the token and the stored credentials, stops the refresh
    // timer and cancels a refresh in flight.
    void clearAuthState();

    // Every kRefreshTimerInterval, getIdToken() (which refreshes only a token near its expiry).
    void startRefreshTimer();

    // Tells the service about the signed-in user and takes their e-mail and name from the answer.
    // Throws getIdToken()'s errors, a URLError, syncFailed for a status other than 200, and
    // JSONDecodingError for a body that is not JSON.
    QCoro::Task<void> syncAccount();

    // A token lifetime in seconds from its text: kDefaultTokenLifetime unless it is a whole decimal
    // number (optional sign, ASCII digits), which is then kept within 60 ... 3600.
    static std::chrono::seconds tokenLifetime(const std::optional<QString>& text);

    CredentialStore& credentialStore() { return credentials_; }
    // Resumes once every credential change so far has reached the keychain.
    QCoro::Task<void> flushCredentialWrites() { return credentials_.flush(); }

Q_SIGNALS:
    // Each fires on every assignment, also when the value stays the same.
    void isLoggedInChanged(bool isLoggedIn);
    void userEmailChanged(const std::optional<QString>& email);
    void userNameChanged(const std::optional<QString>& name);
    void userPictureChanged(const std::optional<QString>& picture);
    void uidChanged(const std::optional<QString>& uid);

private:
    struct Refresh {
        std::uint64_t generation = 0;
        CancellationToken cancellation;
        SharedOutcome<QString> outcome;
    };

    // What a completed sign-in stores and shows.
    struct SignedInUser {
        QString idToken;
        QString refreshToken;
        QString uid;
        std::chrono::seconds lifetime;
        std::optional<QString> email;
        std::optional<QString> name;
        std::optional<QString> picture;
    };

    QCoro::Task<void> restore();
    // POSTs a sign-in request; throws signInFailed unless the answer is 200 with a JSON object.
    QCoro::Task<QJsonObject> postForSignIn(QUrl url, QByteArray contentType, QByteArray body);
    // Throws sessionExpired, storing nothing, when a sign-out came after `generation` was read.
    void checkSignInGeneration(std::uint64_t generation) const;
    void completeSignIn(const SignedInUser& user);
    // The configuration problem of a sign-in, logged and thrown as invalidConfig.
    [[noreturn]] void failConfiguration(const QString& problem) const;
    QCoro::Task<void> runRefresh(std::shared_ptr<Refresh> refresh, QString refreshToken);
    QCoro::Task<QString> performRefresh(QString refreshToken, CancellationToken cancellation);

    void setIsLoggedIn(bool value);
    void setUserEmail(std::optional<QString> value);
    void setUserName(std::optional<QString> value);
    void setUid(std::optional<QString> value);
    void setUserPicture(std::optional<QString> value);

    Logger log_{QStringLiteral("auth")};
    URLSessionProtocol& session_;
    Scheduler& scheduler_;
    SecureTokenEndpoint secureToken_;
    QUrl accountSyncURL_;
    WebAuthSession* webAuth_;
    SignInConfiguration signIn_;
    SecureRandomSource secureRandom_;

    bool isLoggedIn_ = false;
    std::optional<QString> userEmail_;
    std::optional<QString> userName_;
    std::optional<QString> userPicture_;
    std::optional<QString> uid_;

    std::optional<QString> cachedIdToken_;
    WallInstant tokenExpiry_ = WallInstant::min();
    Timer refreshTimer_;
    std::shared_ptr<Refresh> refreshTask_;
    std::uint64_t authGeneration_ = 0;
    CredentialStore credentials_;
    SharedOutcome<bool> restored_;
    // Cleared by the destructor, so that coroutines still suspended in a transfer leave the
    // manager alone when they resume.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sayloom
