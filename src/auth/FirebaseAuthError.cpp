#include "auth/FirebaseAuthError.h"

namespace sayloom {

QString FirebaseAuthError::localizedDescription() const {
    switch (code_) {
    case Code::notLoggedIn:
        return QStringLiteral("Please sign in to use Sayloom");
    case Code::sessionExpired:
        return QStringLiteral("Session expired. Please sign in again.");
    case Code::refreshTemporarilyFailed:
        return QStringLiteral("Could not refresh session right now. Please try again in a moment.");
    case Code::signInFailed:
        return QStringLiteral("Sign-in failed. Please try again.");
    case Code::invalidCallback:
        return QStringLiteral("Authentication callback failed.");
    case Code::invalidConfig:
        return QStringLiteral("Authentication configuration error.");
    case Code::syncFailed:
        return QStringLiteral("Failed to sync account. Check your connection.");
    case Code::randomGenerationFailed:
        return QStringLiteral("Failed to generate secure random bytes. Please try again.");
    }
    return {};
}

bool FirebaseAuthError::holds(const std::exception_ptr& error, Code code) {
    try {
        std::rethrow_exception(error);
    } catch (const FirebaseAuthError& e) {
        return e.code() == code;
    } catch (...) {
        return false;
    }
}

} // namespace sayloom
