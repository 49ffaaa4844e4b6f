#pragma once

#include "engine/Transcriber.h"
#include "support/Scheduler.h"

namespace sayloom::testing {

// A canned back-end that makes the engine runnable without the service: after 0.2 s it returns
// "Hello, this is a test transcription (<seconds>s)".
class MockTranscriber final : public Transcriber {
public:
    explicit MockTranscriber(Scheduler& scheduler, CancellationToken cancellation = {})
        : scheduler_(scheduler)
        , cancellation_(std::move(cancellation)) {}

    QCoro::Task<void> prepare() override { co_return; }
    QCoro::Task<TranscribeResult> transcribe(std::vector<float> samples,
                                             std::optional<QString> translationTarget) override;

private:
    Scheduler& scheduler_;
    CancellationToken cancellation_;
};

} // namespace sayloom::testing
