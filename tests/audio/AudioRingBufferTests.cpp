#include "audio/AudioRingBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using sayloom::AudioRingBuffer;

TEST(AudioRingBuffer, GrowsByDoublingToTheTenMinuteCapAndDropsWhatLiesBeyond) {
    AudioRingBuffer buffer;
    std::vector<std::int64_t> capacities{buffer.capacity()};
    const std::vector<float> chunk(1'000'003, 0.25f);
    for (int i = 0; i < 11; ++i) {
        buffer.append(chunk);
        if (buffer.capacity() != capacities.back())
            capacities.push_back(buffer.capacity());
    }
    EXPECT_EQ(capacities,
              (std::vector<std::int64_t>{960'000, 1'920'000, 3'840'000, 7'680'000, 9'600'000}));
    EXPECT_EQ(buffer.count(), 9'600'000);
    EXPECT_EQ(buffer.writeIndex(), 9'600'000);
    EXPECT_EQ(buffer.snapshot().size(), 9'600'000u);
    EXPECT_EQ(buffer.lastLoudIndex(), 9'599'999);

    // A small cap is reached the same way: 2 → 4 → 5, never beyond.
    AudioRingBuffer small(2, 5);
    small.append(std::vector<float>(7, 1.0f));
    EXPECT_EQ(small.count(), 5);
    EXPECT_EQ(small.capacity(), 5);
    small.append(std::vector<float>(1, 1.0f));
    EXPECT_EQ(small.count(), 5);

    AudioRingBuffer unbounded(1, std::nullopt);
    unbounded.append(std::vector<float>(9, 0.0f));
    EXPECT_EQ(unbounded.count(), 9);
    EXPECT_EQ(unbounded.capacity(), 16);
}

TEST(AudioRingBuffer, LoudMeansStrictlyAboveTheThresholdInEitherDirection) {
    AudioRingBuffer buffer;
    buffer.append(std::vector<float>{0.002f, -0.002f, 0.0f});
    EXPECT_EQ(buffer.firstLoudIndex(), -1);
    EXPECT_EQ(buffer.lastLoudIndex(), -1);

    buffer.append(std::vector<float>{-0.0021f, 0.0f, 0.5f, 0.002f});
    EXPECT_EQ(buffer.firstLoudIndex(), 3);
    EXPECT_EQ(buffer.lastLoudIndex(), 5);
}

TEST(AudioRingBuffer, SnapshotAndRmsCoverOnlyTheCurrentRecordingAfterAReset) {
    AudioRingBuffer buffer(4);
    EXPECT_TRUE(buffer.snapshot().empty());
    EXPECT_EQ(buffer.rms(), 0.0f);

    buffer.append(std::vector<float>{0.9f, -0.9f, 0.9f, -0.9f, 0.9f});
    buffer.reset();
    EXPECT_EQ(buffer.count(), 0);
    EXPECT_EQ(buffer.firstLoudIndex(), -1);
    EXPECT_EQ(buffer.capacity(), 8); // storage is kept for the next recording
    EXPECT_TRUE(buffer.snapshot().empty());
    EXPECT_EQ(buffer.rms(), 0.0f);

    buffer.append(std::vector<float>{0.3f, 0.4f});
    EXPECT_EQ(buffer.snapshot(), (std::vector<float>{0.3f, 0.4f}));
    EXPECT_NEAR(buffer.rms(), std::sqrt((0.09 + 0.16) / 2), 1e-7);
    EXPECT_EQ(buffer.firstLoudIndex(), 0);
    EXPECT_EQ(buffer.lastLoudIndex(), 1);
}
