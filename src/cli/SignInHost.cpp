#include "cli/SignInHost.h"

#include "auth/AuthState.h"
#include "cli/AccountServices.h"
#include "transcription/APIConfig.h"

namespace sayloom {

namespace {

QString signedInName(const FirebaseAuthManager& auth) {
    if (auth.userEmail() && !auth.userEmail()->isEmpty())
        return *auth.userEmail();
    return auth.uid().value_or(QString());
}

} // namespace

SignInHost::SignInHost(AccountServices& services, AuthState& account, ApplicationShell& shell)
    : services_(services)
    , account_(account)
    , linker_({services.auth(), account, services.session(), services.webAuth(), shell,
               APIConfig::endpoints().linkGitHubURL()})
    , dispatcher_({services.webAuth(), linker_, shell, services.browser(), services.scheduler(),
                   APIConfig::endpoints().upgradeURL(), [this] { return account_.loadUserInfo(); },
                   [this] { return account_.userPlan(); }}) {}

bool SignInHost::areOwnLinks(const QStringList& urls) {
    return !urls.isEmpty() && std::all_of(urls.cbegin(), urls.cend(), [](const QString& url) {
        return DeepLinkAction::isOwnScheme(url);
    });
}

void SignInHost::serve(SingleInstance& instance) {
    instance.addCommand(QStringLiteral("open-url"), &SignInHost::areOwnLinks,
                        [this](QStringList urls) -> QCoro::Task<SingleInstance::Reply> {
                            dispatcher_.open(urls);
                            co_return SingleInstance::Reply{true, QString()};
                        });
    instance.addCommand(
        QStringLiteral("signin"),
        [](const QStringList& arguments) {
            return arguments.size() == 1 && signInProviderNamed(arguments.first());
        },
        [this](QStringList arguments) { return signIn(*signInProviderNamed(arguments.first())); });
    instance.addCommand(
        QStringLiteral("signout"), [](const QStringList& arguments) { return arguments.isEmpty(); },
        [this](QStringList) -> QCoro::Task<SingleInstance::Reply> { co_return signOut(); });
}

QCoro::Task<SingleInstance::Reply> SignInHost::signIn(SignInProvider provider) {
    FirebaseAuthManager& auth = services_.auth();
    co_await auth.waitUntilRestored();
    if (auth.isLoggedIn())
        co_return SingleInstance::Reply{
            false, QStringLiteral("already signed in as %1; sign out first (sayloom signout)")
                       .arg(signedInName(auth))};
    try {
        co_await signInAndLoadAccount(auth, account_, provider);
    } catch (...) {
        co_return SingleInstance::Reply{false, signInFailureText(std::current_exception())};
    }
    co_return SingleInstance::Reply{true, signedInName(auth)};
}

SingleInstance::Reply SignInHost::signOut() {
    if (!services_.auth().isLoggedIn())
        return {false, QStringLiteral("not signed in")};
    account_.signOut();
    return {true, QStringLiteral("signed out")};
}

} // namespace sayloom
