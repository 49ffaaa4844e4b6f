#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace sayloom {

// Every address of the Sayloom service, built from the API and website bases.
class Endpoints {
public:
    // The bases must be valid (see validateBase); each address is base + path, character for
    // character.
    Endpoints(QString apiBase, QString websiteBase);

    const QString& apiBaseURL() const { return apiBase_; }
    const QString& websiteBaseURL() const { return websiteBase_; }

    const QUrl& transcribeURL() const { return transcribe_; }
    const QUrl& warmupURL() const { return warmup_; }
    const QUrl& authSyncURL() const { return authSync_; }
    const QUrl& authMeURL() const { return authMe_; }
    const QUrl& authTimezoneURL() const { return authTimezone_; }
    const QUrl& githubCallbackURL() const { return githubCallback_; }
    const QUrl& linkGitHubURL() const { return linkGitHub_; }
    const QUrl& billingCheckoutURL() const { return billingCheckout_; }
    const QUrl& billingPortalURL() const { return billingPortal_; }
    const QUrl& upgradeURL() const { return upgrade_; }
    const QUrl& pricingURL() const { return pricing_; }
    const QUrl& privacyURL() const { return privacy_; }
    const QUrl& termsURL() const { return terms_; }
    const QUrl& helpURL() const { return help_; }
    const QUrl& websiteURL() const { return website_; }
    const QUrl& downloadURL() const { return download_; }

    // The version check for this client: platform and version as query items, percent-encoded.
    QUrl versionCheckURL(const QString& version,
                         const QString& platform = QString::fromLatin1(kPlatform)) const;

    // The platform name the service is told in the version check.
    static constexpr const char* kPlatform = "linux";

    // Turns a literal into a URL, or stops the program with
    // "APIConfig: malformed URL literal: <literal>" when it does not parse.
    static QUrl makeURL(const QString& literal);

    // Why `base` cannot serve as a base (an https origin, or http on a loopback address; no path,
    // query or credentials), or nothing when it can. A trailing "/" is tolerated by normalise().
    static std::optional<QString> validateBase(const QString& base);
    static QString normalise(const QString& base);

private:
    QString apiBase_;
    QString websiteBase_;
    QUrl transcribe_, warmup_, authSync_, authMe_, authTimezone_, githubCallback_, linkGitHub_,
        billingCheckout_, billingPortal_, upgrade_, pricing_, privacy_, terms_, help_, website_,
        download_;
};

} // namespace sayloom
