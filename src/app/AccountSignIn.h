#pragma once

#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace sayloom {

class AuthState;
class FirebaseAuthManager;

enum class SignInProvider { google, github };

// "google" or "github".
std::optional<SignInProvider> signInProviderNamed(const QString& name);

// A whole sign-in as the user starts it: the provider's browser sign-in, then the account sync
// and the profile load, stopping at the first step that throws (its error is rethrown).
QCoro::Task<void> signInAndLoadAccount(FirebaseAuthManager& auth, AuthState& account,
                                       SignInProvider provider);

// The description a person is shown for a failed sign-in: the error's text, and for a missing or
// wrong deployment value the sentence that names it.
QString signInFailureText(const std::exception_ptr& error);

} // namespace sayloom
