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
    // `detail`: which deployment value is missing or wrong, for the person who can set it.
    static FirebaseAuthError invalidConfig(QString detail = {}) {
        FirebaseAuthError error(Code::invalidConfig);
        error.detail_ = std::move(detail);
        return error;
    }
    static FirebaseAuthError syncFailed() { return FirebaseAuthError(Code::syncFailed); }
    static FirebaseAuthError randomGenerationFailed() {
        return FirebaseAuthError(Code::randomGenerationFailed);
    }

    Code code() const { return code_; }
    QString localizedDescription() const override;
    // More than the description says, where there is more (invalidConfig); else empty.
    const QString& detail() const { return detail_; }

    // True when `error` is a FirebaseAuthError with this code.
    static bool holds(const std::exception_ptr& error, Code code);

    friend bool operator==(const FirebaseAuthError& a, const FirebaseAuthError& b) {
        return a.code_ == b.code_;
    }

private:
    Code code_;
    QString detail_;
};

} // namespace sayloom
