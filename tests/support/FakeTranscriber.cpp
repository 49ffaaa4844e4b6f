#include "FakeTranscriber.h"

#include "support/LocalizedError.h"

namespace sayloom::testing {

namespace {

class CallAwaiter {
public:
    explicit CallAwaiter(std::shared_ptr<FakeTranscriber::Call> call) : call(std::move(call)) {}
    bool await_ready() const noexcept { return call->finished; }
    void await_suspend(std::coroutine_handle<> handle) { call->waiter = handle; }
    void await_resume() const noexcept {}

private:
    std::shared_ptr<FakeTranscriber::Call> call;
};

} // namespace

FakeTranscriber::~FakeTranscriber() {
    for (std::size_t i = 0; i < calls_.size(); ++i)
        if (!calls_[i]->finished)
            finish(i, {}, std::make_exception_ptr(CancellationError()));
}

QCoro::Task<void> FakeTranscriber::prepare() {
    ++prepareCount_;
    if (prepareError_)
        std::rethrow_exception(prepareError_);
    co_return;
}

QCoro::Task<TranscribeResult>
FakeTranscriber::transcribe(std::vector<float> samples, std::optional<QString> translationTarget) {
    auto call = std::make_shared<Call>();
    call->sampleCount = samples.size();
    call->translationTarget = std::move(translationTarget);
    calls_.push_back(call);
    co_await CallAwaiter(call);
    if (call->error)
        std::rethrow_exception(call->error);
    co_return *call->result;
}

void FakeTranscriber::complete(std::size_t index, TranscribeResult result) {
    finish(index, std::move(result), {});
}

void FakeTranscriber::finish(std::size_t index, std::optional<TranscribeResult> result,
                             std::exception_ptr error) {
    auto call = calls_.at(index);
    if (call->finished)
        return;
    call->finished = true;
    call->result = std::move(result);
    call->error = std::move(error);
    if (call->waiter)
        std::exchange(call->waiter, nullptr).resume();
}

} // namespace sayloom::testing
