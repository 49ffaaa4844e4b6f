#pragma once

#include "support/LocalizedError.h"

namespace sayloom {

// A transport failure of the HTTP seam, with the standard URL error codes. HTTP statuses are
// never URL errors: every status is a response.
class URLError final : public LocalizedError {
public:
    enum Code : int {
        unknown = -1,
        cancelled = -999,
        badURL = -1000,
        timedOut = -1001,
        unsupportedURL = -1002,
        cannotFindHost = -1003,
        cannotConnectToHost = -1004,
        networkConnectionLost = -1005,
        dnsLookupFailed = -1006,
        notConnectedToInternet = -1009,
        userAuthenticationRequired = -1013,
        appTransportSecurityRequiresSecureConnection = -1022,
        secureConnectionFailed = -1200,
    };

    // `description` overrides the standard text of the code (used for "unknown" failures,
    // which carry the transport's own wording).
    explicit URLError(int code, QString description = {});

    int code() const { return code_; }
    QString localizedDescription() const override;

    static QString standardDescription(int code);

private:
    int code_;
    QString description_;
};

} // namespace sayloom
