#pragma once

#include "auth/FirebaseAuthManager.h"
#include "auth/WebAuthSession.h"
#include "platform/linux/DesktopBrowser.h"
#include "platform/linux/DesktopKeychain.h"
#include "support/JsonFileKeyValueStore.h"
#include "support/QtScheduler.h"
#include "support/QtURLSession.h"

#include <memory>
#include <optional>

namespace sayloom {

class AuthState;

// The real parts behind the account: the desktop's keychain, the HTTP session, the clock, the
// user-defaults store, the browser for sign-in, and the authentication manager built on them,
// with the service addresses and sign-in configuration of this build.
class AccountServices {
public:
    AccountServices();

    // Why this build or environment cannot refresh identity tokens, or nothing. The commands check
    // it first: a refresh that cannot even be sent would sign the user out.
    static std::optional<QString> configurationError();

    FirebaseAuthManager& auth() { return auth_; }
    KeyValueStore& defaults() { return defaults_; }
    URLSessionProtocol& session() { return session_; }
    Scheduler& scheduler() { return scheduler_; }
    WebBrowser& browser() { return browser_; }
    WebAuthSession& webAuth() { return webAuth_; }
    // "secret-service" or "file" once the keychain has been used.
    QString keychainKind() const { return keychain_.kind(); }
    // An account state on these parts that leaves the service calls to the command.
    std::unique_ptr<AuthState> makeAuthState();

private:
    linux_desktop::DesktopKeychain keychain_;
    QtURLSession session_;
    QtScheduler scheduler_;
    JsonFileKeyValueStore defaults_;
    linux_desktop::DesktopBrowser browser_;
    WebAuthSession webAuth_;
    FirebaseAuthManager auth_;
};

} // namespace sayloom
