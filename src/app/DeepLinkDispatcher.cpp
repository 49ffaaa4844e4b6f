#include "app/DeepLinkDispatcher.h"

#include "app/ApplicationShell.h"
#include "app/GitHubLinker.h"
#include "auth/WebAuthSession.h"
#include "support/Scheduler.h"
#include "support/WebBrowser.h"

using namespace std::chrono_literals;

namespace sayloom {

DeepLinkDispatcher::DeepLinkDispatcher(Collaborators collaborators)
    : c_(std::move(collaborators)) {}

DeepLinkDispatcher::~DeepLinkDispatcher() { *alive_ = false; }

void DeepLinkDispatcher::open(const QStringList& urls) {
    for (const QString& url : urls)
        dispatch(DeepLinkAction(url));
}

void DeepLinkDispatcher::dispatch(const DeepLinkAction& action) {
    switch (action.kind()) {
    case DeepLinkAction::Kind::googleOAuth:
    case DeepLinkAction::Kind::githubOAuthCallback:
        c_.webAuth.handleCallback(action.url());
        c_.shell.bringToFront();
        return;
    case DeepLinkAction::Kind::githubLink:
        handleLinkGitHub(action.token());
        return;
    case DeepLinkAction::Kind::openUpgrade:
        if (const auto problem = c_.browser.open(c_.upgradeURL))
            log_.error("Could not open the upgrade page: %{public}s", *problem);
        return;
    case DeepLinkAction::Kind::planUpdated:
        refreshPlanAfterPurchase();
        return;
    case DeepLinkAction::Kind::ignore:
        return;
    }
}

QCoro::Task<void> DeepLinkDispatcher::handleLinkGitHub(std::optional<QString> token) {
    const auto alive = alive_;
    co_await c_.linker.handleLinkGitHub(std::move(token));
    if (*alive)
        c_.shell.bringToFront();
}

QCoro::Task<void> DeepLinkDispatcher::refreshPlanAfterPurchase() {
    const auto alive = alive_;
    c_.shell.bringToFront();
    c_.shell.showSettingsWindow();
    for (int attempt = 0; attempt < kPlanRefreshAttempts; ++attempt) {
        co_await c_.loadUserInfo();
        if (!*alive || c_.userPlan() == QStringLiteral("pro"))
            co_return;
        // The scheduler outlives the dispatcher's work; a cancelled sleep goes on the same way.
        co_await c_.scheduler.sleep(attempt == 0 ? 1s : 2s);
        if (!*alive)
            co_return;
    }
}

} // namespace sayloom
