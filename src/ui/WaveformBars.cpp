#include "ui/WaveformBars.h"

#include <algorithm>
#include <cmath>

namespace sayloom {

std::vector<double> WaveformBars::heights(float level, int barCount) {
    std::vector<double> result(static_cast<std::size_t>(std::max(barCount, 0)), 0.0);
    const double value = level;
    // Written so that NaN counts as silence too.
    if (!(value >= 0.001))
        return result;
    const double gain = std::min(value * 3.5, 1.0);
    const double centre = barCount * 0.5;
    for (int i = 0; i < barCount; ++i) {
        const double shape = (1.0 - std::abs(i - centre) / centre) * 0.7 + 0.3;
        result[static_cast<std::size_t>(i)] = shape * gain;
    }
    return result;
}

} // namespace sayloom
