#include "ui/WaveformBars.h"

#include <gtest/gtest.h>

#include <limits>

using namespace sayloom;

namespace {

TEST(WaveformBars, HumpScaledByTheLevel) {
    const struct {
        float level;
        double middle, edge; // the middle bar and the first
    } cases[] = {
        {0.0f, 0, 0},
        {0.0009f, 0, 0},
        {0.001f, 0.0035, 0.3 * 0.0035},
        {0.2f, 0.7, 0.21},
        {1.0f / 3.5f, 1.0, 0.3},
        {3.0f, 1.0, 0.3},
        {-0.5f, 0, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.level);
        const std::vector<double> heights = WaveformBars::heights(c.level, 24);
        ASSERT_EQ(heights.size(), 24u);
        EXPECT_NEAR(heights[12], c.middle, 1e-6);
        EXPECT_NEAR(heights[0], c.edge, 1e-6);
        for (int k = 1; k < 12; ++k) {
            EXPECT_DOUBLE_EQ(heights[12 - k], heights[12 + k]) << "symmetric around the centre";
            EXPECT_LE(heights[12 - k], heights[12 - k + 1]) << "rising towards the centre";
        }
        EXPECT_LE(heights[12], 1.0);
    }
    EXPECT_TRUE(WaveformBars::heights(0.5f, 0).empty());
}

} // namespace
