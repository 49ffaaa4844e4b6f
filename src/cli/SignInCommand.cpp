#include "cli/SignInCommand.h"

#include "app/AccountSignIn.h"
#include "app/SingleInstance.h"
#include "auth/AuthState.h"
#include "cli/AccountServices.h"
#include "cli/CommandOutput.h"
#include "cli/HeadlessShell.h"
#include "cli/SignInHost.h"

#include <QTextStream>

namespace sayloom {

namespace {

using namespace std::chrono_literals;

// Long enough for the browser wait and the three exchanges that follow it.
constexpr auto kReplyBound = WebAuthSession::kTimeout + 90s;

int report(const SingleInstance::Reply& reply) {
    if (!reply.ok) {
        printError(reply.message);
        return 1;
    }
    QTextStream(stdout) << "Signed in as " << reply.message << "\n";
    return 0;
}

// No Sayloom runs: this process takes its place for the attempt, so that the browser's
// redirect, handed to `sayloom URL` by the desktop, comes back here.
QCoro::Task<int> signInHere(SingleInstance& instance, SignInProvider provider) {
    AccountServices services;
    const std::unique_ptr<AuthState> account = services.makeAuthState();
    HeadlessShell shell(/*printAlerts=*/true);
    SignInHost host(services, *account, shell);
    host.serve(instance);
    const SingleInstance::Reply reply = co_await host.signIn(provider);
    // The credentials must reach the keychain before the process ends.
    co_await services.auth().flushCredentialWrites();
    co_return report(reply);
}

std::optional<SignInProvider> parse(const QStringList& arguments, QString& problem) {
    if (arguments.size() != 1) {
        problem = arguments.isEmpty() ? QStringLiteral("which provider: google or github?")
                                      : QStringLiteral("one provider only");
        return std::nullopt;
    }
    const std::optional<SignInProvider> provider = signInProviderNamed(arguments.first());
    if (!provider)
        problem = QStringLiteral("unknown provider \"%1\"").arg(arguments.first());
    return provider;
}

int run(const QStringList& arguments) {
    QString problem;
    const std::optional<SignInProvider> provider = parse(arguments, problem);
    if (!provider)
        return 2;
    SingleInstance instance(SingleInstance::defaultDirectory());
    switch (instance.claim()) {
    case SingleInstance::Claim::primary:
        return QCoro::waitFor(signInHere(instance, *provider));
    case SingleInstance::Claim::anotherIsRunning:
        break;
    case SingleInstance::Claim::failed:
        printError(QStringLiteral("cannot sign in: %1").arg(instance.errorString()));
        return 1;
    }
    const auto bound = std::chrono::duration_cast<std::chrono::milliseconds>(kReplyBound);
    const auto reply =
        SingleInstance::send(SingleInstance::defaultDirectory(), QStringLiteral("signin"),
                             {arguments.first()}, static_cast<int>(bound.count()));
    if (!reply) {
        printError(QStringLiteral("the running Sayloom did not answer"));
        return 1;
    }
    return report(*reply);
}

} // namespace

Command signInCommand() {
    return Command{QStringLiteral("signin"),
                   QStringLiteral("google|github"),
                   QStringLiteral("Sign in with Google or GitHub in the browser."),
                   Command::Application::core,
                   checkWith(parse),
                   run};
}

} // namespace sayloom
