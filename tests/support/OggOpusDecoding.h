#pragma once

#include <QByteArray>

#include <opusfile.h>

#include <cmath>
#include <optional>
#include <vector>

namespace sayloom::testing {

// An Ogg Opus stream decoded with libopusfile (always 48 kHz), and the length its last granule
// position declares.
struct DecodedOpus {
    std::vector<float> samples;
    long long declaredLength = 0;
};

inline std::optional<DecodedOpus> decodeOggOpus(const QByteArray& stream) {
    int error = 0;
    OggOpusFile* file = op_open_memory(reinterpret_cast<const unsigned char*>(stream.constData()),
                                       static_cast<std::size_t>(stream.size()), &error);
    if (!file)
        return std::nullopt;
    DecodedOpus decoded;
    decoded.declaredLength = op_pcm_total(file, -1);
    float buffer[5760];
    for (int n; (n = op_read_float(file, buffer, 5760, nullptr)) > 0;)
        decoded.samples.insert(decoded.samples.end(), buffer, buffer + n);
    op_free(file);
    return decoded;
}

// Normalised correlation of 16 kHz `input` with decoded 48 kHz audio taken every third sample,
// starting `lag` samples late.
inline double correlationAt(const std::vector<float>& input, const std::vector<float>& decoded,
                            std::size_t lag) {
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t m = 0; 3 * m + lag < decoded.size() && m < input.size(); ++m) {
        const double x = input[m];
        const double y = decoded[3 * m + lag];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

// The lag (in 48 kHz samples, searched in [from, to)) at which the decoded audio matches the
// input best, and that correlation. With a pre-skip of 0 the decoded audio lags the input by the
// encoder's 104-sample lookahead at 16 kHz: 312 samples at 48 kHz.
struct BestLag {
    std::size_t lag = 0;
    double correlation = -1;
};

inline BestLag bestLag(const std::vector<float>& input, const std::vector<float>& decoded,
                       std::size_t from = 250, std::size_t to = 380) {
    BestLag best;
    for (std::size_t lag = from; lag < to; ++lag) {
        const double c = correlationAt(input, decoded, lag);
        if (c > best.correlation)
            best = {lag, c};
    }
    return best;
}

} // namespace sayloom::testing
