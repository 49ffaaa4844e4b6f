#pragma once

#include "support/URLSession.h"

#include <QNetworkAccessManager>

#include <memory>

namespace sayloom {

// The HTTP seam over QNetworkAccessManager. Every HTTP status comes back as a response (Qt
// reports 401, 404 and 5xx as errors; the status and body are taken from the reply all the same);
// transport failures throw URLError with the standard code. Plain http is refused except to
// loopback addresses. Main thread only.
class QtURLSession final : public URLSessionProtocol {
public:
    QtURLSession();
    explicit QtURLSession(QNetworkAccessManager& manager);
    ~QtURLSession() override;

    QCoro::Task<URLSessionResult> data(URLRequest request,
                                       CancellationToken cancellation = {}) override;

private:
    std::unique_ptr<QNetworkAccessManager> owned_;
    QNetworkAccessManager* manager_;
};

} // namespace sayloom
