#include "audio/AudioPreparation.h"
#include "audio/OggWriter.h"
#include "engine/TranscriberError.h"

#include <gtest/gtest.h>

#include <functional>

using namespace sayloom;

namespace {

// The message a transcriptionFailed error carries, or a note that something else happened.
QString failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const TranscriberError& error) {
        if (error.kind() == TranscriberError::Kind::transcriptionFailed)
            return error.payload();
        return QStringLiteral("<another TranscriberError>");
    }
    return QStringLiteral("<no error>");
}

std::vector<float> loudThenQuiet(std::size_t loud, std::size_t quiet) {
    std::vector<float> samples(loud, 0.5f);
    samples.resize(loud + quiet, 0.001f);
    return samples;
}

} // namespace

TEST(AudioPreparation, TrimKeepsAFifthOfASecondAfterTheLastLoudSample) {
    EXPECT_TRUE(trimTrailingSilence({}, 3200, 0.002f).empty());
    EXPECT_TRUE(trimTrailingSilence(std::vector<float>(5000, 0.002f), 3200, 0.002f).empty());
    for (const std::size_t quiet : {0u, 1u, 3200u}) {
        const auto samples = loudThenQuiet(100, quiet);
        EXPECT_EQ(trimTrailingSilence(samples, 3200, 0.002f).size(), samples.size()) << quiet;
    }
    EXPECT_EQ(trimTrailingSilence(loudThenQuiet(100, 10'000), 3200, 0.002f).size(), 3300u);

    // Leading silence stays; only the end is cut.
    std::vector<float> samples(4000, 0.0f);
    samples.push_back(-0.0021f);
    samples.resize(20'000, 0.0f);
    EXPECT_EQ(trimTrailingSilence(samples, 3200, 0.002f).size(), 4001u + 3200u);
}

TEST(AudioPreparation, NormalisationOnlyEverAmplifiesAndAtMostThirtyfold) {
    auto peakAt = [](float peak) { return std::vector<float>{peak / 2, -peak, peak / 4}; };
    EXPECT_EQ(normalizePeak(peakAt(0.95f), 0.9f), peakAt(0.95f));
    EXPECT_EQ(normalizePeak(peakAt(0.00005f), 0.9f), peakAt(0.00005f));
    EXPECT_TRUE(normalizePeak({}, 0.9f).empty());
    const auto half = normalizePeak(peakAt(0.5f), 0.9f);
    EXPECT_FLOAT_EQ(half[1], -0.9f);
    EXPECT_FLOAT_EQ(half[0], 0.45f);
    const auto quiet = normalizePeak(peakAt(0.01f), 0.9f);
    EXPECT_FLOAT_EQ(quiet[1], -0.3f); // 30-fold, not 90-fold
}

TEST(AudioPreparation, OnlyWholeTwentyMillisecondFramesAreEncoded) {
    const QString tooShort = QStringLiteral("No Opus frames produced \u2013 audio too short");
    EXPECT_EQ(failureOf([] { prepareAudio(std::vector<float>(319, 0.5f)); }), tooShort);
    // A recording without a loud sample is trimmed to nothing.
    EXPECT_EQ(failureOf([] { prepareAudio(std::vector<float>(16'000, 0.001f)); }), tooShort);

    const PreparedAudio one = prepareAudio(std::vector<float>(320, 0.5f));
    EXPECT_EQ(one.sentSampleCount, 320);
    const PreparedAudio stillOne = prepareAudio(std::vector<float>(639, 0.5f));
    EXPECT_EQ(stillOne.sentSampleCount, 639);
    for (const PreparedAudio& prepared : {one, stillOne}) {
        // Head, tags and one audio page, the last carrying granule position 960.
        EXPECT_EQ(prepared.data.count("OggS"), 3);
        EXPECT_EQ(prepared.data.at(47 + 51 + 5), char(OggWriter::kLastPage));
        EXPECT_EQ(static_cast<std::uint8_t>(prepared.data.at(47 + 51 + 6)), 960 % 256);
    }
}

TEST(AudioPreparation, EncoderFailuresSurfaceAsTranscriptionFailures) {
    // libopus takes 8, 12, 16, 24 and 48 kHz only.
    EXPECT_EQ(failureOf([] { encodeOpusPackets(std::vector<float>(882, 0.1f), 44100); }),
              QStringLiteral("Failed to create Opus AudioConverter: -1"));
}
