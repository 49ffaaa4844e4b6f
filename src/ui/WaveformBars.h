#pragma once

#include <vector>

namespace sayloom {

// The heights of the recording pill's level bars, as fractions (0…1) of the tallest bar.
class WaveformBars {
public:
    static constexpr int kBarCount = 24;

    // For display level `level` (0…1, as the recorder publishes it): all 0 below 0.001, so that
    // silence shows no bars; otherwise a hump, 1 at the middle bar and 0.3 at the edges, scaled by
    // the level amplified 3.5 times and capped at 1 (normal speech fills the bars).
    static std::vector<double> heights(float level, int barCount);
};

} // namespace sayloom
