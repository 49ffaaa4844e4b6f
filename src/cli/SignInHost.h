#pragma once

#include "app/AccountSignIn.h"
#include "app/DeepLinkDispatcher.h"
#include "app/GitHubLinker.h"
#include "app/SingleInstance.h"

namespace sayloom {

class AccountServices;
class ApplicationShell;
class AuthState;

// The account side of the process that holds the instance lock: it carries out the links handed
// to Sayloom and the sign-in and sign-out requests of other `sayloom` processes.
class SignInHost {
public:
    SignInHost(AccountServices& services, AuthState& account, ApplicationShell& shell);

    // Answers "open-url URL...", "signin google|github" and "signout" on the instance socket.
    void serve(SingleInstance& instance);

    DeepLinkDispatcher& deepLinks() { return dispatcher_; }

    // A sign-in as the sign-in window runs it. Refused while someone is signed in; the reply's
    // message is the e-mail address (or the user id) signed in, or what went wrong.
    QCoro::Task<SingleInstance::Reply> signIn(SignInProvider provider);
    SingleInstance::Reply signOut();

    // True when there is at least one URL and every one is a link of ours.
    static bool areOwnLinks(const QStringList& urls);

private:
    AccountServices& services_;
    AuthState& account_;
    GitHubLinker linker_;
    DeepLinkDispatcher dispatcher_;
};

} // namespace sayloom
