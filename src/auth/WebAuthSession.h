#pragma once

#include "auth/SharedOutcome.h"
#include "support/Logger.h"
#include "support/Scheduler.h"

#include <QUrl>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace sayloom {

class WebBrowser;

// The browser part of a sign-in: opens the provider's page and waits for the redirect that the
// application's URL handling hands back. At most one sign-in waits at a time; a newer one, a
// cancellation or 120 seconds without a callback end the wait with signInFailed. One instance per
// process, main thread only; the browser and scheduler must outlive it.
class WebAuthSession final {
public:
    static constexpr std::chrono::seconds kTimeout{120};

    WebAuthSession(WebBrowser& browser, Scheduler& scheduler);
    // A sign-in still waiting fails with signInFailed.
    ~WebAuthSession();
    WebAuthSession(const WebAuthSession&) = delete;
    WebAuthSession& operator=(const WebAuthSession&) = delete;

    // Opens `url` in the browser and resumes with the callback URL. Throws
    // FirebaseAuthError::signInFailed when superseded, cancelled, timed out, or when the browser
    // cannot be launched (that at once). `callbackScheme` is not used: any callback completes it.
    QCoro::Task<QUrl> authenticate(QUrl url, QString callbackScheme);

    // Completes the waiting sign-in with `url`. With nothing waiting the URL is logged (its
    // query values hidden) and dropped; returns whether a sign-in took it.
    bool handleCallback(const QUrl& url);
    // Fails a waiting sign-in with signInFailed; nothing happens when none waits.
    void cancelPending();
    bool hasPending() const { return pendingContinuation_.has_value(); }

private:
    void expireSession(const QUuid& id);
    // Clears the wait and fails it with signInFailed.
    void failPending();

    Logger log_{QStringLiteral("webAuth")};
    WebBrowser& browser_;
    Scheduler& scheduler_;
    std::optional<SharedOutcome<QUrl>> pendingContinuation_;
    std::optional<QUuid> pendingSessionID_;
    Timer expiry_;
};

} // namespace sayloom
