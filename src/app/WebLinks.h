#pragma once

#include "support/Logger.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

namespace sayloom {

class URLSessionProtocol;
class WebBrowser;

// The web pages Sayloom sends the user to. Only links to our own sites (and GitHub's) are ever
// handed to the browser; the billing portal's address, which the service returns, must belong to
// a known payment host. Main thread only; the collaborators must outlive it.
class WebLinks {
public:
    static constexpr std::chrono::seconds kPortalTimeout{15};

    struct Collaborators {
        WebBrowser& browser;
        URLSessionProtocol& session;
        // A valid identity token for the billing portal request.
        std::function<QCoro::Task<QString>()> idToken;
        QUrl pricingURL;
        QUrl privacyURL;
        QUrl termsURL;
        QUrl helpURL;
        QUrl upgradeURL;
        QUrl downloadURL;
        QUrl billingPortalURL;
        // Hosts whose links are trusted, sub-domains included: the website's, the service's and
        // GitHub's.
        QStringList trustedDomains;
        // Hosts the billing portal may lead to, sub-domains included.
        QStringList paymentHosts;
    };

    explicit WebLinks(Collaborators collaborators);
    ~WebLinks();

    // The domains for this build's website and service bases.
    static QStringList defaultTrustedDomains(const QUrl& websiteBase, const QUrl& apiBase);
    static QStringList defaultPaymentHosts(const QUrl& websiteBase);

    // https (or http to a loopback address) to one of `domains` or a sub-domain of one.
    static bool isTrustedLink(const QString& url, const QStringList& domains);
    static bool isTrustedBillingURL(const QUrl& url, const QStringList& paymentHosts);
    // The portal's link from the service's answer; an empty text when the answer has none.
    static QString decodePortalLink(const QByteArray& body);

    // Opens `url` when it is trusted; a refused link is not opened. Returns whether it was.
    bool openTrustedLink(const QString& url);
    void openPricing() { openTrustedLink(c_.pricingURL.toString()); }
    void openPrivacy() { openTrustedLink(c_.privacyURL.toString()); }
    void openTerms() { openTrustedLink(c_.termsURL.toString()); }
    void openHelp() { openTrustedLink(c_.helpURL.toString()); }
    void openUpgrade() { openTrustedLink(c_.upgradeURL.toString()); }
    // An update's address when it is trusted and well-formed, else the download page.
    void openUpdate(const QString& updateUrl);
    // "Manage plan": the billing portal the service names, or the pricing page when that fails.
    QCoro::Task<void> openBillingPortal();

private:
    Logger log_{QStringLiteral("app")};
    Collaborators c_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sayloom
