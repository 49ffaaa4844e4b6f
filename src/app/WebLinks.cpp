#include "app/WebLinks.h"

#include "support/LocalizedError.h"
#include "support/URLSession.h"
#include "support/UrlPolicy.h"
#include "support/WebBrowser.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace sayloom {

namespace {

bool hostWithin(const QString& host, const QStringList& domains) {
    const QString lower = host.toLower();
    for (const QString& domain : domains) {
        const QString d = domain.toLower();
        if (!d.isEmpty() && (lower == d || lower.endsWith(QLatin1Char('.') + d)))
            return true;
    }
    return false;
}

} // namespace

WebLinks::WebLinks(Collaborators collaborators) : c_(std::move(collaborators)) {}

WebLinks::~WebLinks() { *alive_ = false; }

QStringList WebLinks::defaultTrustedDomains(const QUrl& websiteBase, const QUrl& apiBase) {
    QStringList domains = {websiteBase.host().toLower(), apiBase.host().toLower(),
                           QStringLiteral("github.com")};
    domains.removeAll(QString());
    domains.removeDuplicates();
    return domains;
}

QStringList WebLinks::defaultPaymentHosts(const QUrl& websiteBase) {
    return {QStringLiteral("stripe.com"), websiteBase.host().toLower(),
            QStringLiteral("apps.apple.com"), QStringLiteral("play.google.com")};
}

bool WebLinks::isTrustedLink(const QString& url, const QStringList& domains) {
    const QUrl parsed(url, QUrl::StrictMode);
    return parsed.isValid() && !parsed.host().isEmpty() && isAllowedScheme(parsed) &&
           hostWithin(parsed.host(), domains);
}

bool WebLinks::isTrustedBillingURL(const QUrl& url, const QStringList& paymentHosts) {
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty() &&
           hostWithin(url.host(), paymentHosts);
}

bool WebLinks::openTrustedLink(const QString& url) {
    if (!isTrustedLink(url, c_.trustedDomains))
        return false;
    if (const auto problem = c_.browser.open(QUrl(url)))
        log_.error("Could not open %{public}s: %{public}s", redactedForLog(QUrl(url)), *problem);
    return true;
}

void WebLinks::openUpdate(const QString& updateUrl) {
    if (!openTrustedLink(updateUrl))
        openTrustedLink(c_.downloadURL.toString());
}

QString WebLinks::decodePortalLink(const QByteArray& body) {
    const QJsonValue url = QJsonDocument::fromJson(body).object().value(QStringLiteral("url"));
    return url.isString() ? url.toString() : QString();
}

QCoro::Task<void> WebLinks::openBillingPortal() {
    const auto alive = alive_;
    std::optional<QString> portal;
    try {
        const QString token = co_await c_.idToken();
        URLRequest request;
        request.url = c_.billingPortalURL;
        request.httpMethod = "POST";
        request.setValue("application/json", "Content-Type");
        request.setValue("Bearer " + token.toUtf8(), "Authorization");
        request.timeoutInterval = kPortalTimeout;
        const URLSessionResult result = co_await c_.session.data(std::move(request));
        portal = decodePortalLink(result.data);
    } catch (...) {
        if (*alive)
            log_.error("Portal failed: %s", localizedDescription(std::current_exception()));
    }
    if (!*alive)
        co_return;
    if (portal) {
        const QUrl url(*portal, QUrl::StrictMode);
        if (isTrustedBillingURL(url, c_.paymentHosts)) {
            if (const auto problem = c_.browser.open(url))
                log_.error("Could not open the billing portal: %{public}s", *problem);
            co_return;
        }
        log_.error("Untrusted billing portal URL: %s", *portal);
    }
    openPricing();
}

} // namespace sayloom
