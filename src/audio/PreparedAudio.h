#pragma once

#include <QByteArray>

#include <cstdint>

namespace sayloom {

// A recording ready for upload: the complete Ogg Opus stream, and the number of samples it was
// made from (after the trailing silence was cut, before the encoder dropped a partial frame).
struct PreparedAudio {
    QByteArray data;
    std::int64_t sentSampleCount = 0;
};

} // namespace sayloom
