#pragma once

#include "support/URLError.h"
#include "support/URLSession.h"

#include <deque>
#include <functional>
#include <variant>
#include <vector>

namespace sayloom::testing {

// An HTTP seam that answers from a queue of canned outcomes (a response or a URLError) and records
// every request. With the queue empty it answers 200 with an empty body.
class FakeURLSession final : public URLSessionProtocol {
public:
    QCoro::Task<URLSessionResult> data(URLRequest request,
                                       CancellationToken cancellation = {}) override {
        requests.push_back(request);
        if (cancellation.isCancelled())
            throw URLError(URLError::cancelled);
        if (outcomes_.empty())
            co_return URLSessionResult{{}, HTTPURLResponse{200, request.url, {}}};
        auto outcome = std::move(outcomes_.front());
        outcomes_.pop_front();
        if (auto* error = std::get_if<URLError>(&outcome))
            throw *error;
        URLSessionResult result = std::get<URLSessionResult>(std::move(outcome));
        result.response.url = request.url;
        co_return result;
    }

    void respond(int status, QByteArray body = {}, HeaderList headers = {}) {
        outcomes_.push_back(
            URLSessionResult{std::move(body), HTTPURLResponse{status, {}, std::move(headers)}});
    }
    void failWith(int urlErrorCode) { outcomes_.push_back(URLError(urlErrorCode)); }

    std::vector<URLRequest> requests;

private:
    std::deque<std::variant<URLSessionResult, URLError>> outcomes_;
};

} // namespace sayloom::testing
