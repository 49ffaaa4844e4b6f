#include "cli/AccountCommand.h"

#include "auth/AuthState.h"
#include "cli/AccountServices.h"
#include "cli/CommandOutput.h"
#include "support/LocalizedError.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace sayloom {

namespace {

QJsonValue optionalText(const std::optional<QString>& text) {
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QString summary(const AuthState& account) {
    QString who;
    if (account.userName() && account.userEmail())
        who = QStringLiteral("%1 <%2>").arg(*account.userName(), *account.userEmail());
    else
        who = account.userName().value_or(account.userEmail().value_or(QString()));
    QString text = who.isEmpty() ? QStringLiteral("Signed in\n")
                                 : QStringLiteral("Signed in as %1\n").arg(who);
    text +=
        QStringLiteral("Plan: %1\n").arg(account.userPlan().value_or(QStringLiteral("unknown")));
    text += QStringLiteral("Words: %1 of %2 this week\n")
                .arg(account.wordsUsed())
                .arg(account.wordLimit());
    if (account.trialActive())
        text += QStringLiteral("Trial: active, %1 days left\n").arg(account.trialDaysLeft());
    else
        text += QStringLiteral("Trial: none\n");
    return text;
}

QByteArray asJson(const AuthState& account) {
    const QJsonObject object{
        {QStringLiteral("isLoggedIn"), account.isLoggedIn()},
        {QStringLiteral("userEmail"), optionalText(account.userEmail())},
        {QStringLiteral("userName"), optionalText(account.userName())},
        {QStringLiteral("userPicture"), optionalText(account.userPicture())},
        {QStringLiteral("userPlan"), optionalText(account.userPlan())},
        {QStringLiteral("wordsUsed"), static_cast<qint64>(account.wordsUsed())},
        {QStringLiteral("wordLimit"), static_cast<qint64>(account.wordLimit())},
        {QStringLiteral("trialActive"), account.trialActive()},
        {QStringLiteral("trialDaysLeft"), static_cast<qint64>(account.trialDaysLeft())},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QCoro::Task<int> showAccount(AccountServices& services, bool json) {
    FirebaseAuthManager& auth = services.auth();
    co_await auth.waitUntilRestored();
    if (!auth.isLoggedIn()) {
        printError(QStringLiteral("not signed in; open Sayloom and sign in first"));
        co_return 1;
    }
    const std::unique_ptr<AuthState> account = services.makeAuthState();
    try {
        co_await auth.syncAccount();
    } catch (...) {
        printError(QStringLiteral("account sync failed: %1")
                       .arg(localizedDescription(std::current_exception())));
    }
    co_await account->loadUserInfo();
    // A refreshed token must reach the keychain before the process ends.
    co_await auth.flushCredentialWrites();
    // The account state takes the manager's fields on a later turn of the event loop.
    QCoreApplication::sendPostedEvents(account.get());
    if (!auth.isLoggedIn()) {
        printError(QStringLiteral("the session has expired; open Sayloom and sign in again"));
        co_return 1;
    }
    QTextStream out(stdout);
    if (json)
        out << asJson(*account);
    else
        out << summary(*account);
    co_return 0;
}

// Whether to print JSON; nothing for arguments that are no valid use.
std::optional<bool> parse(const QStringList& arguments, QString& problem) {
    bool json = false;
    for (const QString& argument : arguments) {
        if (argument != QLatin1String("--json")) {
            problem = QStringLiteral("unknown option \"%1\"").arg(argument);
            return std::nullopt;
        }
        json = true;
    }
    return json;
}

int run(const QStringList& arguments) {
    QString problem;
    const bool json = parse(arguments, problem).value_or(false);
    if (const auto error = AccountServices::configurationError()) {
        printError(*error);
        return 1;
    }
    AccountServices services;
    return QCoro::waitFor(showAccount(services, json));
}

} // namespace

Command accountCommand() {
    return Command{QStringLiteral("account"),
                   QStringLiteral("[--json]"),
                   QStringLiteral("Show who is signed in, the plan and this week's word usage."),
                   Command::Application::core,
                   checkWith(parse),
                   run};
}

} // namespace sayloom
