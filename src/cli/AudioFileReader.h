#pragma once

#include "audio/AudioRecorder.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace sayloom {

// The whole audio file (any format libsndfile reads) in the recording format, 16 kHz mono float,
// converted as the microphone's buffers are. 16 kHz mono input comes out sample for sample.
// Nothing, with `error` saying why, when the file cannot be read or converted, or when it lasts
// longer than `limitSamples` at 16 kHz: a recording's ten minutes unless another limit is given
// (the fuzz target's shorter one keeps each of its inputs quick to decode).
std::optional<std::vector<float>>
readRecordingFormat(const QString& path, QString& error,
                    std::int64_t limitSamples = AudioRecorder::kLimitSampleCount);

} // namespace sayloom
