#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

struct SRC_STATE_tag;

namespace sayloom {

// Converts interleaved float audio of any rate and channel count to the recording format:
// 16 kHz, mono, float. Channels are mixed down by averaging; the rate is changed with
// libsamplerate's band-limited sinc converter, so nothing above 8 kHz folds back into the speech
// band. 16 kHz input is only mixed down, so 16 kHz mono passes through sample-exact.
//
// One instance serves one continuous stream from one thread. Its output storage is reused from
// call to call and only grows when a larger buffer arrives, so a steady stream of equal buffers
// converts without allocating.
class SampleRateConverter {
public:
    static constexpr int kTargetRate = 16000;
    // The smallest output storage, so that the usual capture buffers never need a larger one.
    static constexpr std::size_t kMinimumOutputCapacity = 1024;

    struct Result {
        // The converted samples; valid until the next call.
        std::span<const float> samples;
        // A description of what went wrong, or null; the samples are then empty.
        const char* error = nullptr;
    };

    // Null with a reason in `error` when the rate or channel count cannot be converted.
    static std::unique_ptr<SampleRateConverter> create(int inputRate, int channels,
                                                       QString* error = nullptr);
    ~SampleRateConverter();
    SampleRateConverter(const SampleRateConverter&) = delete;
    SampleRateConverter& operator=(const SampleRateConverter&) = delete;

    // The output room one call needs for `frames` input frames. libsamplerate sometimes produces
    // one frame more than frames × 16000 ÷ rate rounded up, and stops consuming input when the
    // room runs out, so a floored (or even just rounded-up) size would lose input.
    std::size_t outputCapacityFor(std::size_t frames) const;

    // Converts the next `frames` frames of the stream. Every input frame is consumed.
    Result convert(const float* interleaved, std::size_t frames);
    // Forgets the stream so far, so that nothing of it comes out with the next one.
    void reset();
    // Ends the stream: returns what the filter still holds. Only for a stream that really ends,
    // such as a file; the converter starts a fresh stream afterwards.
    Result finish();

    int inputRate() const { return inputRate_; }
    int channels() const { return channels_; }
    std::size_t outputCapacity() const { return output_.size(); }

private:
    SampleRateConverter(int inputRate, int channels, SRC_STATE_tag* state);
    const float* mixDown(const float* interleaved, std::size_t frames);
    void reserveOutput(std::size_t frames);
    Result process(const float* mono, std::size_t frames, bool endOfInput);

    int inputRate_;
    int channels_;
    double ratio_;
    SRC_STATE_tag* state_; // null when no rate change is needed
    std::vector<float> mono_;
    std::vector<float> output_;
};

} // namespace sayloom
