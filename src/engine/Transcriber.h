#pragma once

#include "engine/TranscribeResult.h"

#include <qcoro/qcorotask.h>

#include <optional>
#include <vector>

namespace sayloom {

// A transcription back-end. Both operations are called on the main thread and deliver their
// outcome there.
class Transcriber {
public:
    virtual ~Transcriber() = default;

    // Gets ready for a transcription that is about to come (the cloud back-end caches a fresh
    // identity token). Called at every key press; its outcome is ignored.
    virtual QCoro::Task<void> prepare() = 0;

    // Transcribes 16 kHz mono float samples (untrimmed). `translationTarget` is the display name
    // of the language to translate into, or nothing for a plain transcript. Throws
    // TranscriberError (hardLimitReached when the weekly limit refuses the request), URLError, or
    // any other error.
    virtual QCoro::Task<TranscribeResult> transcribe(std::vector<float> samples,
                                                     std::optional<QString> translationTarget) = 0;
};

} // namespace sayloom
