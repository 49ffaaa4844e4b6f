#include "audio/SampleRateConverter.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace sayloom {

std::unique_ptr<SampleRateConverter> SampleRateConverter::create(int inputRate, int channels,
                                                                 QString* error) {
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return std::unique_ptr<SampleRateConverter>();
    };
    if (inputRate < 1 || channels < 1)
        return fail(
            QStringLiteral("invalid input format %1 Hz, %2 channels").arg(inputRate).arg(channels));
    const double ratio = static_cast<double>(kTargetRate) / inputRate;
    if (!src_is_valid_ratio(ratio))
        return fail(
            QStringLiteral("cannot convert %1 Hz to %2 Hz").arg(inputRate).arg(kTargetRate));
    SRC_STATE* state = nullptr;
    if (inputRate != kTargetRate) {
        int status = 0;
        state = src_new(SRC_SINC_FASTEST, 1, &status);
        if (!state)
            return fail(QString::fromUtf8(src_strerror(status)));
    }
    return std::unique_ptr<SampleRateConverter>(
        new SampleRateConverter(inputRate, channels, state));
}

SampleRateConverter::SampleRateConverter(int inputRate, int channels, SRC_STATE* state)
    : inputRate_(inputRate)
    , channels_(channels)
    , ratio_(static_cast<double>(kTargetRate) / inputRate)
    , state_(state) {}

SampleRateConverter::~SampleRateConverter() {
    if (state_)
        src_delete(state_);
}

std::size_t SampleRateConverter::outputCapacityFor(std::size_t frames) const {
    if (!state_)
        return frames;
    return static_cast<std::size_t>(std::ceil(static_cast<double>(frames) * ratio_)) + 1;
}

const float* SampleRateConverter::mixDown(const float* interleaved, std::size_t frames) {
    if (channels_ == 1)
        return interleaved;
    if (mono_.size() < frames)
        mono_.resize(std::max(frames, kMinimumOutputCapacity));
    const float scale = 1.0f / static_cast<float>(channels_);
    for (std::size_t f = 0; f < frames; ++f) {
        const float* frame = interleaved + f * static_cast<std::size_t>(channels_);
        float sum = 0;
        for (int c = 0; c < channels_; ++c)
            sum += frame[c];
        mono_[f] = sum * scale;
    }
    return mono_.data();
}

void SampleRateConverter::reserveOutput(std::size_t frames) {
    if (output_.size() < frames)
        output_.resize(std::max(frames, kMinimumOutputCapacity));
}

SampleRateConverter::Result SampleRateConverter::convert(const float* interleaved,
                                                         std::size_t frames) {
    if (frames == 0)
        return {};
    const float* mono = mixDown(interleaved, frames);
    if (!state_)
        return {{mono, frames}, nullptr};
    return process(mono, frames, false);
}

void SampleRateConverter::reset() {
    if (state_)
        src_reset(state_);
}

SampleRateConverter::Result SampleRateConverter::finish() {
    if (!state_)
        return {};
    // libsamplerate drops the tail when flushed with a null input pointer: hand it a real one.
    static const float silence = 0.0f;
    Result result = process(&silence, 0, true);
    reset();
    return result;
}

SampleRateConverter::Result SampleRateConverter::process(const float* mono, std::size_t frames,
                                                         bool endOfInput) {
    reserveOutput(outputCapacityFor(frames) + (endOfInput ? 4096 : 0));
    std::size_t consumed = 0;
    std::size_t produced = 0;
    for (;;) {
        SRC_DATA data{};
        data.data_in = mono + consumed;
        data.input_frames = static_cast<long>(frames - consumed);
        data.data_out = output_.data() + produced;
        data.output_frames = static_cast<long>(output_.size() - produced);
        data.end_of_input = endOfInput ? 1 : 0;
        data.src_ratio = ratio_;
        if (const int status = src_process(state_, &data); status != 0)
            return {{}, src_strerror(status)};
        consumed += static_cast<std::size_t>(data.input_frames_used);
        produced += static_cast<std::size_t>(data.output_frames_gen);
        if (consumed == frames && (!endOfInput || data.output_frames_gen == 0))
            break;
        if (produced == output_.size()) {
            // The room reserved above is measured to suffice; should it ever not, grow rather
            // than lose the input libsamplerate left unconsumed.
            output_.resize(output_.size() * 2);
            continue;
        }
        if (data.input_frames_used == 0 && data.output_frames_gen == 0)
            break; // no progress possible; never seen, but never spin
    }
    return {{output_.data(), produced}, nullptr};
}

} // namespace sayloom
