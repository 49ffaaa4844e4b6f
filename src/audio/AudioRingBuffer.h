#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sayloom {

// The samples of one recording, in capture order. Despite the name it never wraps: samples are
// appended until the cap is reached and later ones are dropped. It also tracks where the first and
// last loud sample lie. Not thread-safe: the recorder guards it with its lock.
class AudioRingBuffer {
public:
    static constexpr std::int64_t kInitialCapacity = 960'000; // 60 s at 16 kHz
    static constexpr std::int64_t kMaxCapacity = 9'600'000;   // 600 s at 16 kHz
    static constexpr float kSilenceThreshold = 0.002f;

    // `maxCapacity` of nothing means unbounded.
    explicit AudioRingBuffer(std::int64_t capacity = kInitialCapacity,
                             std::optional<std::int64_t> maxCapacity = kMaxCapacity,
                             float silenceThreshold = kSilenceThreshold);

    // Stores as many of `samples` as the cap allows; the rest are dropped.
    void append(std::span<const float> samples);
    // Makes room for at least `required` samples (never beyond the cap), doubling as it goes.
    void grow(std::int64_t required);
    std::vector<float> snapshot() const;
    float rms() const;
    // Forgets the samples but keeps the allocated storage.
    void reset();

    std::int64_t count() const { return count_; }
    std::int64_t capacity() const { return capacity_; }
    std::optional<std::int64_t> maxCapacity() const { return maxCapacity_; }
    std::int64_t writeIndex() const { return writeIndex_; }
    // Index of the first and last sample louder than the silence threshold, -1 when none.
    std::int64_t firstLoudIndex() const { return firstLoudIndex_; }
    std::int64_t lastLoudIndex() const { return lastLoudIndex_; }

private:
    std::vector<float> storage_;
    std::int64_t capacity_;
    std::optional<std::int64_t> maxCapacity_;
    float silenceThreshold_;
    std::int64_t writeIndex_ = 0;
    std::int64_t count_ = 0;
    std::int64_t firstLoudIndex_ = -1;
    std::int64_t lastLoudIndex_ = -1;
};

} // namespace sayloom
