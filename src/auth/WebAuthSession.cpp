#include "auth/WebAuthSession.h"

#include "auth/FirebaseAuthError.h"
#include "support/UrlPolicy.h"
#include "support/WebBrowser.h"

namespace sayloom {

WebAuthSession::WebAuthSession(WebBrowser& browser, Scheduler& scheduler)
    : browser_(browser)
    , scheduler_(scheduler) {}

WebAuthSession::~WebAuthSession() { failPending(); }

QCoro::Task<QUrl> WebAuthSession::authenticate(QUrl url, QString /*callbackScheme*/) {
    failPending();
    const QUuid id = QUuid::createUuid();
    const SharedOutcome<QUrl> outcome;
    pendingContinuation_ = outcome;
    pendingSessionID_ = id;
    if (const auto problem = browser_.open(url)) {
        log_.error("Could not open the browser for sign-in: %{public}s", *problem);
        pendingContinuation_.reset();
        pendingSessionID_.reset();
        expiry_.cancel();
        throw FirebaseAuthError::signInFailed();
    }
    expiry_ = scheduler_.scheduleOnce(kTimeout, [this, id] { expireSession(id); });
    co_return co_await outcome.wait();
}

bool WebAuthSession::handleCallback(const QUrl& url) {
    if (!pendingContinuation_) {
        log_.error("Received callback but no pending auth: %s", redactedForLog(url));
        return false;
    }
    SharedOutcome<QUrl> waiting = *std::exchange(pendingContinuation_, std::nullopt);
    pendingSessionID_.reset();
    expiry_.cancel();
    waiting.resolve(url);
    return true;
}

void WebAuthSession::cancelPending() { failPending(); }

void WebAuthSession::expireSession(const QUuid& id) {
    if (pendingSessionID_ == id && pendingContinuation_)
        failPending();
}

void WebAuthSession::failPending() {
    pendingSessionID_.reset();
    expiry_.cancel();
    // Cleared before the waiter resumes: whatever it does next finds no stale wait.
    if (auto waiting = std::exchange(pendingContinuation_, std::nullopt))
        waiting->reject(std::make_exception_ptr(FirebaseAuthError::signInFailed()));
}

} // namespace sayloom
