#include "TestSignals.h"

#include "audio/AudioPreparation.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <opusfile.h>

#include <gtest/gtest.h>

#include <cmath>

using namespace sayloom;
using sayloom::testing::speechLike;

namespace {

std::vector<float> decode(const QByteArray& stream, ogg_int64_t* declaredLength) {
    int error = 0;
    OggOpusFile* file = op_open_memory(reinterpret_cast<const unsigned char*>(stream.constData()),
                                       static_cast<std::size_t>(stream.size()), &error);
    EXPECT_NE(file, nullptr) << "op_open_memory failed with " << error;
    if (!file)
        return {};
    *declaredLength = op_pcm_total(file, -1);
    std::vector<float> out;
    float buffer[5760];
    for (int n; (n = op_read_float(file, buffer, 5760, nullptr)) > 0;)
        out.insert(out.end(), buffer, buffer + n);
    op_free(file);
    return out;
}

// Normalised correlation of the input with the decoded 48 kHz audio taken every third sample,
// starting `lag` samples late.
double correlation(const std::vector<float>& input, const std::vector<float>& decoded,
                   std::size_t lag) {
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t m = 0; 3 * m + lag < decoded.size() && m < input.size(); ++m) {
        const double x = input[m];
        const double y = decoded[3 * m + lag];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    return xy / std::sqrt(xx * yy);
}

} // namespace

TEST(AudioRoundTrip, StreamDecodesToTheInputDelayedByTheEncoderLookahead) {
    const std::vector<float> speech = speechLike(3.0);
    const std::vector<QByteArray> packets = encodeOpusPackets(speech, 16000);
    ASSERT_EQ(packets.size(), 150u);
    ogg_int64_t declared = 0;
    const std::vector<float> decoded = decode(buildOggOpusStream(packets, 16000, 1), &declared);
    EXPECT_EQ(declared, 150 * 960);
    ASSERT_EQ(decoded.size(), 150u * 960);

    // With a pre-skip of 0 the decoded audio lags by the encoder's 104-sample lookahead at
    // 16 kHz, which is 312 samples at 48 kHz.
    std::size_t bestLag = 0;
    double best = -1;
    for (std::size_t lag = 250; lag < 380; ++lag)
        if (const double c = correlation(speech, decoded, lag); c > best)
            best = c, bestLag = lag;
    EXPECT_NEAR(static_cast<double>(bestLag), 312.0, 3.0);
    EXPECT_GT(best, 0.9);
}

TEST(AudioRoundTrip, OgginfoAcceptsThePreparedStream) {
    const QString ogginfo = QStandardPaths::findExecutable(QStringLiteral("ogginfo"));
    if (ogginfo.isEmpty()) {
        if (!qEnvironmentVariableIsEmpty("CI"))
            FAIL() << "ogginfo (package vorbis-tools) is required in CI";
        GTEST_SKIP() << "ogginfo (package vorbis-tools) is not installed";
    }
    QTemporaryFile file(QStringLiteral("sayloom-XXXXXX.ogg"));
    ASSERT_TRUE(file.open());
    file.write(prepareAudio(speechLike(2.0)).data);
    file.close();

    QProcess process;
    process.start(ogginfo, {file.fileName()});
    ASSERT_TRUE(process.waitForFinished(30'000));
    const QString report = QString::fromUtf8(process.readAll());
    EXPECT_EQ(process.exitCode(), 0) << report.toStdString();
    EXPECT_FALSE(report.contains(QStringLiteral("WARNING"), Qt::CaseInsensitive))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Opus"))) << report.toStdString();
}
