#pragma once

#include "support/Logger.h"

#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <memory>
#include <optional>

namespace sayloom {

class ApplicationShell;
class AuthState;
class FirebaseAuthManager;
class URLSessionProtocol;
class WebAuthSession;

// Links a GitHub identity to the signed-in account when the service, after a GitHub sign-in in
// the browser, finds that identity belongs with an existing account and sends a link-github link.
// Such a link is acted on only while a browser sign-in started here is waiting: a link that
// arrives unasked (a page trying to link its own GitHub account to ours) changes nothing. Main
// thread only; the collaborators must outlive it.
class GitHubLinker {
public:
    static constexpr std::chrono::seconds kLinkTimeout{15};

    struct Collaborators {
        FirebaseAuthManager& auth;
        AuthState& account;
        URLSessionProtocol& session;
        WebAuthSession& webAuth;
        ApplicationShell& shell;
        // POST the GitHub token here (the service's link-github path).
        QUrl linkURL;
    };

    explicit GitHubLinker(Collaborators collaborators);
    ~GitHubLinker();
    GitHubLinker(const GitHubLinker&) = delete;
    GitHubLinker& operator=(const GitHubLinker&) = delete;

    // The link-github link: ends the waiting browser sign-in in every case, and links with the
    // token only when one was waiting. Resumes once the linking is over.
    QCoro::Task<void> handleLinkGitHub(std::optional<QString> githubToken);

    // Signs in with Google first when nobody is signed in, then asks the service to link the
    // GitHub identity and stores the credentials it returns. Outcomes are logged; a refusal is
    // shown as an alert. Never throws.
    QCoro::Task<void> linkGitHub(QString githubToken);

private:
    QCoro::Task<void> linkSignedIn(QString githubToken, std::uint64_t generation);
    void reportRefusal(const QByteArray& body);

    Logger log_{QStringLiteral("app")};
    Logger authLog_{QStringLiteral("auth")};
    FirebaseAuthManager& auth_;
    AuthState& account_;
    URLSessionProtocol& session_;
    WebAuthSession& webAuth_;
    ApplicationShell& shell_;
    QUrl linkURL_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sayloom
