#pragma once

#include "engine/Transcriber.h"

#include <coroutine>
#include <exception>
#include <memory>
#include <vector>

namespace sayloom::testing {

// A transcriber whose calls stay pending until the test completes or fails them, so that a test
// can act while a transcription is in flight. Calls still pending when the fake goes away fail
// with a CancellationError.
class FakeTranscriber final : public Transcriber {
public:
    struct Call {
        std::size_t sampleCount = 0;
        std::optional<QString> translationTarget;
        bool finished = false;
        std::optional<TranscribeResult> result;
        std::exception_ptr error;
        std::coroutine_handle<> waiter;
    };

    ~FakeTranscriber() override;

    QCoro::Task<void> prepare() override;
    QCoro::Task<TranscribeResult> transcribe(std::vector<float> samples,
                                             std::optional<QString> translationTarget) override;

    void complete(std::size_t index, TranscribeResult result);
    template <typename E>
    void fail(std::size_t index, E error) {
        finish(index, {}, std::make_exception_ptr(std::move(error)));
    }
    // Makes prepare() throw this error from now on.
    template <typename E>
    void failPrepare(E error) {
        prepareError_ = std::make_exception_ptr(std::move(error));
    }

    std::size_t callCount() const { return calls_.size(); }
    const Call& call(std::size_t index) const { return *calls_.at(index); }
    int prepareCount() const { return prepareCount_; }

private:
    void finish(std::size_t index, std::optional<TranscribeResult> result,
                std::exception_ptr error);

    std::vector<std::shared_ptr<Call>> calls_;
    int prepareCount_ = 0;
    std::exception_ptr prepareError_;
};

} // namespace sayloom::testing
