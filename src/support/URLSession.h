#pragma once

#include "support/CancellationToken.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace sayloom {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// An HTTP request as our components build it.
struct URLRequest {
    QUrl url;
    QByteArray httpMethod = "GET";
    HeaderList headers;
    QByteArray httpBody;
    // Longest wait for the next byte of the exchange, as a URL session's request time-out.
    std::chrono::milliseconds timeoutInterval{60'000};

    // Sets a header field, replacing any field of the same name (names compare without case).
    void setValue(const QByteArray& value, const QByteArray& field);
    std::optional<QByteArray> value(const QByteArray& field) const;
};

// The response to an exchange: every HTTP status, 4xx and 5xx included.
struct HTTPURLResponse {
    int statusCode = -1;
    QUrl url;
    HeaderList headers;

    // The value of a header field (names compare without case), or nothing.
    std::optional<QString> value(const QByteArray& field) const;
};

struct URLSessionResult {
    QByteArray data;
    HTTPURLResponse response;
};

// The HTTP seam. `data` resolves to the body and response for every HTTP status; only a transport
// failure throws, as a URLError with its code. Cancelling `cancellation` aborts the transfer with
// URLError::cancelled.
class URLSessionProtocol {
public:
    virtual ~URLSessionProtocol() = default;
    virtual QCoro::Task<URLSessionResult> data(URLRequest request,
                                               CancellationToken cancellation = {}) = 0;
};

} // namespace sayloom
