#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace sayloom {

// The whole audio file (any format libsndfile reads) in the recording format, 16 kHz mono float,
// converted as the microphone's buffers are. 16 kHz mono input comes out sample for sample.
// Nothing, with `error` saying why, when the file cannot be read or converted, or when it lasts
// longer than a recording may (AudioRecorder::kLimitSampleCount, ten minutes).
std::optional<std::vector<float>> readRecordingFormat(const QString& path, QString& error);

} // namespace sayloom
