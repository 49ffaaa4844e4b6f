#include "app/GitHubLinker.h"

#include "app/ApplicationShell.h"
#include "auth/AuthState.h"
#include "auth/FirebaseAuthManager.h"
#include "auth/WebAuthSession.h"
#include "support/LocalizedError.h"
#include "support/URLSession.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace sayloom {

GitHubLinker::GitHubLinker(Collaborators collaborators)
    : auth_(collaborators.auth)
    , account_(collaborators.account)
    , session_(collaborators.session)
    , webAuth_(collaborators.webAuth)
    , shell_(collaborators.shell)
    , linkURL_(std::move(collaborators.linkURL)) {}

GitHubLinker::~GitHubLinker() { *alive_ = false; }

QCoro::Task<void> GitHubLinker::handleLinkGitHub(std::optional<QString> githubToken) {
    const bool wasWaiting = webAuth_.hasPending();
    webAuth_.cancelPending();
    if (!wasWaiting) {
        log_.error("Ignoring unsolicited link-github deep link (no pending auth) — CSRF guard");
        co_return;
    }
    if (githubToken)
        co_await linkGitHub(*githubToken);
}

QCoro::Task<void> GitHubLinker::linkGitHub(QString githubToken) {
    const auto alive = alive_;
    const std::uint64_t generation = auth_.authGeneration();
    if (!auth_.isLoggedIn()) {
        log_.info("Not signed in, need Google sign-in first to link GitHub");
        std::exception_ptr failure;
        try {
            co_await auth_.signInWithGoogle();
            co_await auth_.syncAccount();
        } catch (...) {
            failure = std::current_exception();
        }
        if (!*alive)
            co_return;
        if (failure) {
            log_.error("Google sign-in for linking failed: %s", localizedDescription(failure));
            co_return;
        }
        co_await account_.loadUserInfo();
        if (*alive)
            co_await account_.sendTimezone();
        if (!*alive)
            co_return;
    }
    co_await linkSignedIn(std::move(githubToken), generation);
}

QCoro::Task<void> GitHubLinker::linkSignedIn(QString githubToken, std::uint64_t generation) {
    const auto alive = alive_;
    QString idToken;
    std::exception_ptr failure;
    try {
        idToken = co_await auth_.getIdToken();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!*alive)
        co_return;
    if (failure) {
        log_.error("GitHub linking error: %s", localizedDescription(failure));
        co_return;
    }
    if (!linkURL_.isValid()) {
        log_.error("Failed to construct link-github URL");
        co_return;
    }

    URLRequest request;
    request.url = linkURL_;
    request.httpMethod = "POST";
    request.setValue("Bearer " + idToken.toUtf8(), "Authorization");
    request.setValue("application/json", "Content-Type");
    request.httpBody = QJsonDocument(QJsonObject{{QStringLiteral("githubToken"), githubToken}})
                           .toJson(QJsonDocument::Compact);
    request.timeoutInterval = kLinkTimeout;
    URLSessionResult result;
    try {
        result = co_await session_.data(std::move(request));
    } catch (...) {
        failure = std::current_exception();
    }
    if (!*alive)
        co_return;
    if (failure) {
        log_.error("GitHub linking error: %s", localizedDescription(failure));
        co_return;
    }

    const QJsonDocument document = QJsonDocument::fromJson(result.data);
    if (result.response.statusCode != 200 || !document.isObject()) {
        reportRefusal(result.data);
        co_return;
    }
    const QJsonObject answer = document.object();
    const QJsonValue newIdToken = answer.value(QStringLiteral("idToken"));
    const QJsonValue newRefreshToken = answer.value(QStringLiteral("refreshToken"));
    const QJsonValue newUid = answer.value(QStringLiteral("uid"));
    if (newIdToken.isString() && newRefreshToken.isString() && newUid.isString()) {
        // Credentials of another account would leave the signed-in state half one account and
        // half the other: a link that answers with another uid is abandoned.
        const std::optional<QString>& currentUid = auth_.uid();
        const bool sameAccount = !currentUid || *currentUid == newUid.toString();
        if (!sameAccount)
            log_.error("GitHub link uid mismatch — expected %{public}s, got %{public}s",
                       *currentUid, newUid.toString());
        if (generation != auth_.authGeneration()) {
            authLog_.info("Discarding credentials from a sign-in that completed after sign-out");
            log_.info("GitHub link completed after sign-out - tokens discarded");
            co_return;
        }
        if (sameAccount) {
            auth_.storeCredentials(newIdToken.toString(), newRefreshToken.toString(),
                                   newUid.toString());
            log_.info("GitHub linked + tokens updated");
        }
    }
    co_await account_.loadUserInfo();
}

void GitHubLinker::reportRefusal(const QByteArray& body) {
    const QJsonValue error = QJsonDocument::fromJson(body).object().value(QStringLiteral("error"));
    log_.error("GitHub linking failed: %s",
               error.isString() ? error.toString() : QStringLiteral("unknown"));
    shell_.showWarningAlert(
        QStringLiteral("GitHub Linking Failed"),
        QStringLiteral("Could not link your GitHub account. Please try again."));
}

} // namespace sayloom
