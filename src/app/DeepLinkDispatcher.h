#pragma once

#include "app/DeepLinkAction.h"
#include "support/Logger.h"

#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

namespace sayloom {

class ApplicationShell;
class GitHubLinker;
class Scheduler;
class WebAuthSession;
class WebBrowser;

// Carries out the URLs handed to the application: sign-in callbacks to the waiting browser
// sign-in, link-github links to the linker, the upgrade link to the browser, and the plan-changed
// notice to a short refresh of the account. Main thread only; the collaborators must outlive the
// work it starts.
class DeepLinkDispatcher {
public:
    static constexpr int kPlanRefreshAttempts = 6;

    struct Collaborators {
        WebAuthSession& webAuth;
        GitHubLinker& linker;
        ApplicationShell& shell;
        WebBrowser& browser;
        Scheduler& scheduler;
        QUrl upgradeURL;
        // The account's profile load, and the plan it left behind.
        std::function<QCoro::Task<void>()> loadUserInfo;
        std::function<std::optional<QString>()> userPlan;
    };

    explicit DeepLinkDispatcher(Collaborators collaborators);
    ~DeepLinkDispatcher();
    DeepLinkDispatcher(const DeepLinkDispatcher&) = delete;
    DeepLinkDispatcher& operator=(const DeepLinkDispatcher&) = delete;

    // Parses and dispatches each URL, in order. Work that waits runs on its own, so a later URL
    // never waits for an earlier one.
    void open(const QStringList& urls);
    void dispatch(const DeepLinkAction& action);

    // After a purchase: shows the settings and reloads the account until its plan is "pro", at
    // most six times (1, 2, 2, 2, 2 seconds apart).
    QCoro::Task<void> refreshPlanAfterPurchase();

private:
    QCoro::Task<void> handleLinkGitHub(std::optional<QString> token);

    Logger log_{QStringLiteral("app")};
    Collaborators c_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sayloom
