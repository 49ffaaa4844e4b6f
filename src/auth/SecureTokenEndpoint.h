#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace sayloom {

// Where identity tokens are refreshed: the Secure Token service's origin and the Web API key that
// every identity REST call carries.
class SecureTokenEndpoint {
public:
    SecureTokenEndpoint(QString baseURL, QString webApiKey);

    // This build's endpoint: the origin from SAYLOOM_SECURE_TOKEN_BASE_URL and the key from
    // SAYLOOM_FIREBASE_WEB_API_KEY when they are set (self-hosting, tests), else the values
    // configured at build time.
    static SecureTokenEndpoint fromEnvironment();

    // base + "/v1/token?key=" + key, or nothing when that is no usable address: the base is not
    // an https origin (plain http only on a loopback address) or there is no key.
    std::optional<QUrl> tokenURL() const;

    // Why tokenURL() gives nothing, for a message at start-up, or nothing when it gives an
    // address.
    std::optional<QString> configurationError() const;

    const QString& baseURL() const { return baseURL_; }

private:
    QString baseURL_;
    QString webApiKey_;
};

} // namespace sayloom
