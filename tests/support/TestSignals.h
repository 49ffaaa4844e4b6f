#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <vector>

namespace sayloom::testing {

// A sine tone, interleaved over `channels` identical channels.
inline std::vector<float> sineWave(double frequency, int sampleRate, std::size_t frames,
                                   float amplitude, int channels = 1) {
    std::vector<float> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < frames; ++f) {
        const float s =
            amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * frequency *
                                                    static_cast<double>(f) / sampleRate));
        for (int c = 0; c < channels; ++c)
            out[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = s;
    }
    return out;
}

// 16 kHz mono that looks like speech to a codec: a gliding pitch with formant-shaped harmonics in
// syllable-long bursts, and quiet pauses.
inline std::vector<float> speechLike(double seconds, unsigned seed = 7) {
    constexpr int rate = 16000;
    std::vector<float> out(static_cast<std::size_t>(seconds * rate));
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    double phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double syllable = std::sin(std::numbers::pi * std::fmod(t, 0.25) / 0.25);
        const bool pause = std::fmod(t, 3.0) > 2.6;
        const double f0 = 140 + 40 * std::sin(2 * std::numbers::pi * 0.7 * t);
        phase += 2 * std::numbers::pi * f0 / rate;
        double voiced = 0;
        for (int h = 1; h * f0 < 7000; ++h) {
            const double f = h * f0;
            const double formants = std::exp(-std::pow((f - 700) / 300, 2)) +
                                    0.6 * std::exp(-std::pow((f - 1800) / 400, 2)) +
                                    0.3 * std::exp(-std::pow((f - 2800) / 500, 2));
            voiced += (0.3 / h + 0.5 * formants) * std::sin(h * phase);
        }
        out[i] =
            pause ? 0.001f * noise(random)
                  : static_cast<float>(0.1 * syllable * syllable * voiced) + 0.003f * noise(random);
    }
    return out;
}

} // namespace sayloom::testing
