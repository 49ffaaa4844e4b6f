#include "cli/SignOutCommand.h"

#include "app/SingleInstance.h"
#include "auth/AuthState.h"
#include "cli/AccountServices.h"
#include "cli/CommandOutput.h"

#include <QTextStream>

namespace sayloom {

namespace {

QCoro::Task<int> signOut(AccountServices& services) {
    FirebaseAuthManager& auth = services.auth();
    co_await auth.waitUntilRestored();
    if (!auth.isLoggedIn()) {
        printError(QStringLiteral("not signed in"));
        co_return 1;
    }
    services.makeAuthState()->signOut();
    // The deletions must reach the keychain before the process ends.
    co_await auth.flushCredentialWrites();
    QTextStream(stdout) << "Signed out.\n";
    co_return 0;
}

std::optional<QString> check(const QStringList& arguments) {
    if (arguments.isEmpty())
        return std::nullopt;
    return QStringLiteral("unexpected argument \"%1\"").arg(arguments.first());
}

int run(const QStringList&) {
    // A running Sayloom holds the credentials in memory and would write them back: it signs out
    // itself. Only when none runs is the sign-out done here.
    if (const auto reply =
            SingleInstance::send(SingleInstance::defaultDirectory(), QStringLiteral("signout"))) {
        if (reply->ok) {
            QTextStream(stdout) << "Signed out.\n";
            return 0;
        }
        printError(reply->message);
        return 1;
    }
    AccountServices services;
    return QCoro::waitFor(signOut(services));
}

} // namespace

Command signOutCommand() {
    return Command{QStringLiteral("signout"),
                   QString(),
                   QStringLiteral("Sign out of Sayloom on this computer."),
                   Command::Application::core,
                   check,
                   run};
}

} // namespace sayloom
