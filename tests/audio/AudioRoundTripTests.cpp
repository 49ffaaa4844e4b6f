#include "OggOpusDecoding.h"
#include "TestSignals.h"

#include "audio/AudioPreparation.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <gtest/gtest.h>

using namespace sayloom;
using namespace sayloom::testing;

TEST(AudioRoundTrip, StreamDecodesToTheInputDelayedByTheEncoderLookahead) {
    const std::vector<float> speech = speechLike(3.0);
    const std::vector<QByteArray> packets = encodeOpusPackets(speech, 16000);
    ASSERT_EQ(packets.size(), 150u);
    const auto decoded = decodeOggOpus(buildOggOpusStream(packets, 16000, 1));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->declaredLength, 150 * 960);
    ASSERT_EQ(decoded->samples.size(), 150u * 960);

    const BestLag best = bestLag(speech, decoded->samples);
    EXPECT_NEAR(static_cast<double>(best.lag), 312.0, 3.0);
    EXPECT_GT(best.correlation, 0.9);
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
