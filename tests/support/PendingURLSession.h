#pragma once

#include "support/URLError.h"
#include "support/URLSession.h"

#include <coroutine>
#include <memory>
#include <optional>
#include <vector>

namespace sayloom::testing {

// An HTTP seam whose exchanges stay open until the test answers them, one by one and in any
// order: respond(i, ...) or fail(i, ...). Cancelling an exchange's token ends it at once with
// URLError::cancelled, as the real session does, unless the session is told to ignore
// cancellation (to model a response already on its way).
class PendingURLSession final : public URLSessionProtocol {
public:
    QCoro::Task<URLSessionResult> data(URLRequest request,
                                       CancellationToken cancellation = {}) override {
        auto exchange = std::make_shared<Exchange>();
        exchange->request = request;
        exchanges_.push_back(exchange);
        if (cancellation.isCancelled())
            throw URLError(URLError::cancelled);
        CancellationToken::Registration registration = 0;
        if (honourCancellation)
            registration = cancellation.subscribe(
                [exchange] { finish(*exchange, std::nullopt, URLError(URLError::cancelled)); });
        Wait wait(exchange);
        co_await wait;
        cancellation.unsubscribe(registration);
        if (exchange->error)
            throw *exchange->error;
        co_return *exchange->result;
    }

    std::size_t count() const { return exchanges_.size(); }
    const URLRequest& request(std::size_t i) const { return exchanges_.at(i)->request; }
    bool isPending(std::size_t i) const { return !exchanges_.at(i)->finished; }

    void respond(std::size_t i, int status, QByteArray body = {}) {
        Exchange& exchange = *exchanges_.at(i);
        finish(exchange, URLSessionResult{std::move(body), {status, exchange.request.url, {}}},
               std::nullopt);
    }
    void fail(std::size_t i, int urlErrorCode) {
        finish(*exchanges_.at(i), std::nullopt, URLError(urlErrorCode));
    }

    bool honourCancellation = true;

private:
    struct Exchange {
        URLRequest request;
        bool finished = false;
        std::coroutine_handle<> waiter;
        std::optional<URLSessionResult> result;
        std::optional<URLError> error;
    };

    struct Wait {
        explicit Wait(std::shared_ptr<Exchange> e) : exchange(std::move(e)) {}
        std::shared_ptr<Exchange> exchange;
        bool await_ready() const noexcept { return exchange->finished; }
        void await_suspend(std::coroutine_handle<> handle) { exchange->waiter = handle; }
        void await_resume() const noexcept {}
    };

    static void finish(Exchange& exchange, std::optional<URLSessionResult> result,
                       std::optional<URLError> error) {
        if (exchange.finished)
            return;
        exchange.finished = true;
        exchange.result = std::move(result);
        exchange.error = std::move(error);
        if (auto waiter = std::exchange(exchange.waiter, nullptr))
            waiter.resume();
    }

    std::vector<std::shared_ptr<Exchange>> exchanges_;
};

} // namespace sayloom::testing
