#include "app/AccountSignIn.h"

#include "auth/AuthState.h"
#include "auth/FirebaseAuthError.h"
#include "auth/FirebaseAuthManager.h"
#include "support/LocalizedError.h"

namespace sayloom {

std::optional<SignInProvider> signInProviderNamed(const QString& name) {
    if (name == QLatin1String("google"))
        return SignInProvider::google;
    if (name == QLatin1String("github"))
        return SignInProvider::github;
    return std::nullopt;
}

QCoro::Task<void> signInAndLoadAccount(FirebaseAuthManager& auth, AuthState& account,
                                       SignInProvider provider) {
    if (provider == SignInProvider::google)
        co_await auth.signInWithGoogle();
    else
        co_await auth.signInWithGitHub();
    co_await auth.syncAccount();
    co_await account.loadUserInfo();
}

QString signInFailureText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const FirebaseAuthError& failure) {
        if (!failure.detail().isEmpty())
            return failure.localizedDescription() + QLatin1Char(' ') + failure.detail();
        return failure.localizedDescription();
    } catch (...) {
        return localizedDescription(error);
    }
}

} // namespace sayloom
