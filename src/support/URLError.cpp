#include "support/URLError.h"

namespace sayloom {

URLError::URLError(int code, QString description)
    : code_(code)
    , description_(std::move(description)) {}

QString URLError::localizedDescription() const {
    return description_.isEmpty() ? standardDescription(code_) : description_;
}

QString URLError::standardDescription(int code) {
    switch (code) {
    case cancelled:
        return QStringLiteral("cancelled");
    case badURL:
        return QStringLiteral("bad URL");
    case timedOut:
        return QStringLiteral("The request timed out.");
    case unsupportedURL:
        return QStringLiteral("unsupported URL");
    case cannotFindHost:
        return QStringLiteral("A server with the specified hostname could not be found.");
    case cannotConnectToHost:
        return QStringLiteral("Could not connect to the server.");
    case networkConnectionLost:
        return QStringLiteral("The network connection was lost.");
    case dnsLookupFailed:
        return QStringLiteral("The DNS lookup failed.");
    case notConnectedToInternet:
        return QStringLiteral("The Internet connection appears to be offline.");
    case userAuthenticationRequired:
        return QStringLiteral("User authentication required.");
    case appTransportSecurityRequiresSecureConnection:
        return QStringLiteral("The resource could not be loaded because a secure connection is "
                              "required; plain http is allowed only to loopback addresses.");
    case secureConnectionFailed:
        return QStringLiteral(
            "An SSL error has occurred and a secure connection to the server cannot be made.");
    default:
        return QStringLiteral("An unknown network error occurred (%1).").arg(code);
    }
}

} // namespace sayloom
