#pragma once

#include "support/LocalizedError.h"

#include <exception>

namespace sayloom {

// What sign-in, token refresh and account sync fail with. Each case has the text a user sees.
class FirebaseAuthError final : public LocalizedError {
public:
    enum class Code {
        notLoggedIn,
        sessionExpired,
        refreshTemporarilyFailed,
        signInFailed,
        invalidCallback,
        invalidConfig,
        syncFailed,
        randomGenerationFailed,
    };

    explicit FirebaseAuthError(Code code) : code_(code) {}

    static FirebaseAuthError notLoggedIn() { return FirebaseAuthError(Code::notLoggedIn); }
    static FirebaseAuthError sessionExpired() { return FirebaseAuthError(Code::sessionExpired); }
    static FirebaseAuthError refreshTemporarilyFailed() {
        return FirebaseAuthError(Code::refreshTemporarilyFailed);
    }
    static FirebaseAuthError signInFailed() { return FirebaseAuthError(Code::signInFailed); }
    static FirebaseAuthError invalidCallback() { return FirebaseAuthError(Code::invalidCallback); }
    static FirebaseAuthError invalidConfig() { return FirebaseAuthError(Code::invalidConfig); }
    static FirebaseAuthError syncFailed() { return FirebaseAuthError(Code::syncFailed); }
    static FirebaseAuthError randomGenerationFailed() {
        return FirebaseAuthError(Code::randomGenerationFailed);
    }

    Code code() const { return code_; }
    QString localizedDescription() const override;

    // True when `error` is a FirebaseAuthError with this code.
    static bool holds(const std::exception_ptr& error, Code code);

    friend bool operator==(const FirebaseAuthError& a, const FirebaseAuthError& b) {
        return a.code_ == b.code_;
    }

private:
    Code code_;
};

} // namespace sayloom
