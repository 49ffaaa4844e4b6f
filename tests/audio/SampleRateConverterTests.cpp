#include "TestSignals.h"

#include "audio/SampleRateConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using sayloom::SampleRateConverter;
using sayloom::testing::sineWave;

namespace {

struct Converted {
    std::vector<float> samples;
    std::size_t largestCapacity = 0;
};

// Feeds `input` through a fresh converter in buffers of `bufferFrames` and flushes at the end.
Converted convertInBuffers(const std::vector<float>& input, int rate, int channels,
                           std::size_t bufferFrames) {
    auto converter = SampleRateConverter::create(rate, channels);
    Converted out;
    const std::size_t frames = input.size() / static_cast<std::size_t>(channels);
    for (std::size_t start = 0; start < frames; start += bufferFrames) {
        const std::size_t n = std::min(bufferFrames, frames - start);
        const auto result =
            converter->convert(input.data() + start * static_cast<std::size_t>(channels), n);
        EXPECT_EQ(result.error, nullptr);
        out.samples.insert(out.samples.end(), result.samples.begin(), result.samples.end());
        out.largestCapacity = std::max(out.largestCapacity, converter->outputCapacity());
    }
    const auto tail = converter->finish();
    out.samples.insert(out.samples.end(), tail.samples.begin(), tail.samples.end());
    return out;
}

double rms(std::span<const float> samples) {
    const double sum = std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0);
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

} // namespace

// With the output sized to the plain (or even rounded-up) share of the input, libsamplerate
// leaves input unconsumed now and then; every input frame must come out as output.
TEST(AudioConversion, EveryInputFrameComesOutAtSixteenKilohertz) {
    struct Case {
        int rate;
        int channels;
        std::size_t bufferFrames;
    };
    for (const Case c : {Case{48000, 2, 1024}, Case{44100, 1, 1024}, Case{48000, 2, 4096},
                         Case{96000, 2, 1000}, Case{8000, 1, 1024}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " channels, "
                                        << c.bufferFrames << "-frame buffers");
        const std::size_t frames = static_cast<std::size_t>(c.rate) * 5;
        const auto input = sineWave(440, c.rate, frames, 0.5f, c.channels);
        const Converted out = convertInBuffers(input, c.rate, c.channels, c.bufferFrames);
        EXPECT_NEAR(static_cast<double>(out.samples.size()), 80'000.0, 1.0);
        EXPECT_NEAR(rms(std::span(out.samples).subspan(1000, 78'000)), 0.5 / std::sqrt(2.0), 0.005);
        // Equal buffers convert in the storage sized by the first one.
        const auto expected = std::max<std::size_t>(
            SampleRateConverter::kMinimumOutputCapacity,
            SampleRateConverter::create(c.rate, 1)->outputCapacityFor(c.bufferFrames));
        EXPECT_EQ(out.largestCapacity, expected);
    }
}

TEST(AudioConversion, FiltersOutWhatCannotBeRepresentedInsteadOfFoldingItBack) {
    const std::size_t frames = 48000;
    const auto speechBand = convertInBuffers(sineWave(3000, 48000, frames, 0.5f), 48000, 1, 1024);
    const auto aboveNyquist =
        convertInBuffers(sineWave(12000, 48000, frames, 0.5f), 48000, 1, 1024);
    EXPECT_NEAR(rms(std::span(speechBand.samples).subspan(1000, 14'000)), 0.3536, 0.01);
    // A 12 kHz tone would fold to 4 kHz without the anti-aliasing filter.
    EXPECT_LT(rms(std::span(aboveNyquist.samples).subspan(1000, 14'000)), 0.005);
}

TEST(AudioConversion, SixteenKilohertzIsOnlyMixedDownSoMonoPassesThroughExactly) {
    const std::vector<float> mono{0.1f, -0.2f, 0.3f, 1.0f};
    const auto converter = SampleRateConverter::create(16000, 1);
    const auto result = converter->convert(mono.data(), mono.size());
    EXPECT_EQ(std::vector<float>(result.samples.begin(), result.samples.end()), mono);
    EXPECT_TRUE(converter->finish().samples.empty());

    const std::vector<float> stereo{0.2f, 0.4f, -1.0f, 1.0f};
    const auto stereoConverter = SampleRateConverter::create(16000, 2);
    const auto mixed = stereoConverter->convert(stereo.data(), 2);
    EXPECT_EQ(std::vector<float>(mixed.samples.begin(), mixed.samples.end()),
              (std::vector<float>{0.3f, 0.0f}));
}

TEST(AudioConversion, RefusesFormatsItCannotConvert) {
    QString reason;
    EXPECT_EQ(SampleRateConverter::create(0, 1, &reason), nullptr);
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(SampleRateConverter::create(48000, 0), nullptr);
    EXPECT_EQ(SampleRateConverter::create(10, 1), nullptr);
}
