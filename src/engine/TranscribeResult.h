#pragma once

#include "engine/UsageStatus.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace sayloom {

// What a transcription back-end returns for one recording.
struct TranscribeResult {
    // The transcript (already translated when a translation was asked for and produced).
    QString text;
    UsageStatus status = UsageStatus::ok;
    // The untranslated transcript when a translation was produced.
    std::optional<QString> originalText;
    // Why a requested translation was not produced; `text` then holds the untranslated transcript.
    std::optional<QString> translationError;
    std::optional<std::int64_t> wordsUsed;
    std::optional<std::int64_t> wordLimit;
    // Correlation identifier and the server's timing report of the call, for the log.
    std::optional<QString> requestID;
    std::optional<QString> serverTiming;

    friend bool operator==(const TranscribeResult&, const TranscribeResult&) = default;
};

} // namespace sayloom
