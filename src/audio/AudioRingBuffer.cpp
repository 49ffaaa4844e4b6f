#include "audio/AudioRingBuffer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sayloom {

AudioRingBuffer::AudioRingBuffer(std::int64_t capacity, std::optional<std::int64_t> maxCapacity,
                                 float silenceThreshold)
    : storage_(static_cast<std::size_t>(std::max<std::int64_t>(capacity, 0)))
    , capacity_(std::max<std::int64_t>(capacity, 0))
    , maxCapacity_(maxCapacity)
    , silenceThreshold_(silenceThreshold) {}

void AudioRingBuffer::append(std::span<const float> samples) {
    if (samples.empty())
        return;
    const std::int64_t limit = maxCapacity_.value_or(std::numeric_limits<std::int64_t>::max());
    const std::int64_t room = limit - count_;
    if (room < 1)
        return;
    const std::int64_t k = std::min<std::int64_t>(room, static_cast<std::int64_t>(samples.size()));
    if (capacity_ < count_ + k)
        grow(count_ + k);
    for (std::int64_t j = 0; j < k; ++j) {
        const float s = samples[static_cast<std::size_t>(j)];
        storage_[static_cast<std::size_t>(count_)] = s;
        ++writeIndex_;
        ++count_;
        if (std::fabs(s) > silenceThreshold_) {
            const std::int64_t i = writeIndex_ - 1;
            if (firstLoudIndex_ < 0)
                firstLoudIndex_ = i;
            lastLoudIndex_ = i;
        }
    }
}

void AudioRingBuffer::grow(std::int64_t required) {
    const std::int64_t target = maxCapacity_ && *maxCapacity_ < required ? *maxCapacity_ : required;
    std::int64_t c = std::max<std::int64_t>(capacity_, 1);
    while (c < target) {
        if (c > std::numeric_limits<std::int64_t>::max() / 2)
            c = target;
        else if (maxCapacity_ && *maxCapacity_ < 2 * c)
            c = *maxCapacity_;
        else
            c = 2 * c;
    }
    if (c > capacity_) {
        storage_.resize(static_cast<std::size_t>(c), 0.0f);
        capacity_ = c;
    }
}

std::vector<float> AudioRingBuffer::snapshot() const {
    if (count_ < 1)
        return {};
    return std::vector<float>(storage_.begin(), storage_.begin() + count_);
}

float AudioRingBuffer::rms() const {
    if (count_ < 1)
        return 0.0f;
    double sum = 0;
    for (std::int64_t i = 0; i < count_; ++i) {
        const double s = storage_[static_cast<std::size_t>(i)];
        sum += s * s;
    }
    return static_cast<float>(std::sqrt(sum / static_cast<double>(count_)));
}

void AudioRingBuffer::reset() {
    writeIndex_ = 0;
    count_ = 0;
    firstLoudIndex_ = -1;
    lastLoudIndex_ = -1;
}

} // namespace sayloom
