// `sayloom prepare` and `sayloom record` end to end: the built executable, real files, and for
// recording the private PulseAudio server of the headless session.

#include "OggOpusDecoding.h"
#include "PulseAudioTest.h"
#include "TestSignals.h"

#include "audio/AudioPreparation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using namespace sayloom;
using namespace sayloom::testing;

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
    qint64 milliseconds = 0;
};

Outcome
runSayloom(const QStringList& arguments,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(SAYLOOM_EXECUTABLE), arguments);
    Outcome outcome;
    if (!process.waitForFinished(30'000)) {
        process.kill();
        process.waitForFinished(5000);
        ADD_FAILURE() << "sayloom " << arguments.join(QLatin1Char(' ')).toStdString()
                      << " did not finish within 30 s";
    }
    outcome.milliseconds = clock.elapsed();
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Rising zero crossings per second.
double pitchOf(const std::vector<float>& samples, int sampleRate) {
    int rising = 0;
    for (std::size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1] < 0 && samples[i] >= 0)
            ++rising;
    return rising / (static_cast<double>(samples.size()) / sampleRate);
}

class PrepareCommandTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return folder.filePath(name); }

    QTemporaryDir folder;
};

// ---- prepare ---------------------------------------------------------------------------------

TEST_F(PrepareCommandTest, SixteenKilohertzMonoIsSentExactlyAsTheRecorderWouldSendIt) {
    const std::vector<float> speech = speechLike(2.0);
    ASSERT_TRUE(
        writeWaveFile(path(QStringLiteral("speech.wav")), speech, 16000, 1, SF_FORMAT_FLOAT));

    const Outcome outcome =
        runSayloom({QStringLiteral("prepare"), path(QStringLiteral("speech.wav")),
                    QStringLiteral("-o"), path(QStringLiteral("speech.ogg"))});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();

    // The converter passes the samples through untouched, so the stream is byte for byte the one
    // prepared from the samples themselves.
    const PreparedAudio expected = prepareAudio(speech);
    const QByteArray written = readAll(path(QStringLiteral("speech.ogg")));
    EXPECT_EQ(outcome.out, QStringLiteral("raw=32000 sent=%1 bytes=%2\n")
                               .arg(expected.sentSampleCount)
                               .arg(written.size()));
    EXPECT_TRUE(written == expected.data);
    const auto decoded = decodeOggOpus(written);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->samples.size(),
              static_cast<std::size_t>(expected.sentSampleCount / 320 * 960));
}

TEST_F(PrepareCommandTest, OtherRatesAndChannelsAreConvertedWithoutShiftingThePitch) {
    // 2.5 s of a 440 Hz tone, 16-bit stereo at 44.1 kHz.
    const std::vector<float> tone = sineWave(440, 44100, 110250, 0.5f, 2);
    ASSERT_TRUE(writeWaveFile(path(QStringLiteral("tone.wav")), tone, 44100, 2, SF_FORMAT_PCM_16));

    const Outcome outcome = runSayloom({QStringLiteral("prepare"), path(QStringLiteral("tone.wav")),
                                        QStringLiteral("-o"), path(QStringLiteral("tone.ogg"))});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    const QRegularExpressionMatch line =
        QRegularExpression(QStringLiteral("^raw=(\\d+) sent=(\\d+) bytes=(\\d+)\\n$"))
            .match(outcome.out);
    ASSERT_TRUE(line.hasMatch()) << outcome.out.toStdString();
    // Every input frame is converted: 2.5 s at 16 kHz, give or take the filter's edge.
    EXPECT_NEAR(line.captured(1).toDouble(), 40000, 2);
    EXPECT_EQ(line.captured(3).toLongLong(), QFileInfo(path(QStringLiteral("tone.ogg"))).size());

    const auto decoded = decodeOggOpus(readAll(path(QStringLiteral("tone.ogg"))));
    ASSERT_TRUE(decoded);
    const std::vector<float> middle(decoded->samples.begin() + 24000,
                                    decoded->samples.end() - 24000);
    EXPECT_NEAR(pitchOf(middle, 48000), 440.0, 2.0);
}

TEST_F(PrepareCommandTest, TooShortForOneOpusFrameFailsWithTheErrorsDescription) {
    const std::vector<float> speech = speechLike(1.0);
    const std::vector<float> shortest(speech.begin() + 4000, speech.begin() + 4000 + 319);
    ASSERT_TRUE(
        writeWaveFile(path(QStringLiteral("short.wav")), shortest, 16000, 1, SF_FORMAT_FLOAT));

    const Outcome outcome =
        runSayloom({QStringLiteral("prepare"), path(QStringLiteral("short.wav")),
                    QStringLiteral("-o"), path(QStringLiteral("short.ogg"))});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(
        outcome.err.contains(QStringLiteral("No Opus frames produced \u2013 audio too short")))
        << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.isEmpty());
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("short.ogg"))));

    // One sample more makes the first frame.
    std::vector<float> frame(speech.begin() + 4000, speech.begin() + 4000 + 320);
    ASSERT_TRUE(writeWaveFile(path(QStringLiteral("frame.wav")), frame, 16000, 1, SF_FORMAT_FLOAT));
    const Outcome enough = runSayloom({QStringLiteral("prepare"), path(QStringLiteral("frame.wav")),
                                       QStringLiteral("-o"), path(QStringLiteral("frame.ogg"))});
    EXPECT_EQ(enough.exitCode, 0) << enough.err.toStdString();
    EXPECT_TRUE(enough.out.startsWith(QStringLiteral("raw=320 sent=320 ")));
}

TEST_F(PrepareCommandTest, UnreadableInputsAndUnwritableOutputsAreSaidPlainly) {
    const QString missing = path(QStringLiteral("missing.wav"));
    Outcome outcome = runSayloom({QStringLiteral("prepare"), missing, QStringLiteral("-o"),
                                  path(QStringLiteral("out.ogg"))});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("cannot read %1").arg(missing)))
        << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("No such file"))) << outcome.err.toStdString();

    QFile text(path(QStringLiteral("notes.wav")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("these are notes, not sound\n");
    text.close();
    outcome = runSayloom({QStringLiteral("prepare"), text.fileName(), QStringLiteral("-o"),
                          path(QStringLiteral("out.ogg"))});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("cannot read %1").arg(text.fileName())))
        << outcome.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("out.ogg"))));

    ASSERT_TRUE(writeWaveFile(path(QStringLiteral("speech.wav")), speechLike(1.0), 16000, 1,
                              SF_FORMAT_FLOAT));
    const QString unwritable = path(QStringLiteral("no-such-folder/out.ogg"));
    outcome = runSayloom({QStringLiteral("prepare"), path(QStringLiteral("speech.wav")),
                          QStringLiteral("-o"), unwritable});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("cannot write %1").arg(unwritable)))
        << outcome.err.toStdString();

    outcome = runSayloom({QStringLiteral("prepare"), path(QStringLiteral("speech.wav"))});
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("usage: sayloom prepare INPUT -o OUTPUT.ogg")));
}

// A compressed file may claim (in its header) or hold (in a few bytes) far more audio than a
// dictation: neither may make `prepare` reserve or decode without bound. What a file claims is
// not believed; what it holds beyond ten minutes is refused.
TEST_F(PrepareCommandTest, LengthClaimsAreNotBelievedAndMoreThanADictationIsRefused) {
    const auto writeFlac = [](const QString& file, sf_count_t frames) {
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = 1;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        SNDFILE* sound = sf_open(QFile::encodeName(file).constData(), SFM_WRITE, &info);
        ASSERT_NE(sound, nullptr);
        const std::vector<float> second = sineWave(440, 8000, 8000, 0.5f);
        for (sf_count_t written = 0; written < frames; written += 8000)
            sf_writef_float(sound, second.data(), std::min<sf_count_t>(8000, frames - written));
        sf_close(sound);
    };

    // One second whose stream header says 2^36 - 1 frames (about 99 days).
    const QString claiming = path(QStringLiteral("claiming.flac"));
    writeFlac(claiming, 8000);
    QByteArray bytes = readAll(claiming);
    ASSERT_TRUE(bytes.startsWith("fLaC"));
    bytes[21] = static_cast<char>(bytes[21] | 0x0F);
    for (int i = 22; i < 26; ++i)
        bytes[i] = static_cast<char>(0xFF);
    QFile patched(claiming);
    ASSERT_TRUE(patched.open(QIODevice::WriteOnly));
    patched.write(bytes);
    patched.close();
    Outcome outcome = runSayloom(
        {QStringLiteral("prepare"), claiming, QStringLiteral("-o"), path(QStringLiteral("a.ogg"))});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.startsWith(QStringLiteral("raw=16000 "))) << outcome.out.toStdString();

    const QString longer = path(QStringLiteral("longer.flac"));
    writeFlac(longer, 601 * 8000);
    outcome = runSayloom(
        {QStringLiteral("prepare"), longer, QStringLiteral("-o"), path(QStringLiteral("b.ogg"))});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("longer than the ten minutes")))
        << outcome.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("b.ogg"))));
}

// ---- record ----------------------------------------------------------------------------------

class RecordCommandTest : public PulseAudioTest {
protected:
    QString path(const QString& name) const { return folder.filePath(name); }

    QString toneFile(double seconds) {
        const QString file = path(QStringLiteral("tone.wav"));
        EXPECT_TRUE(writeWaveFile(
            file, sineWave(440, 44100, static_cast<std::size_t>(seconds * 44100), 0.5f), 44100, 1,
            SF_FORMAT_FLOAT));
        return file;
    }

    QTemporaryDir folder;
};

TEST_F(RecordCommandTest, RecordsTheDefaultMicrophoneForTheGivenSeconds) {
    const std::unique_ptr<QProcess> player = play(QString::fromLatin1(kMicSink), toneFile(4.0));
    const QString output = path(QStringLiteral("heard.wav"));
    const Outcome outcome = runSayloom({QStringLiteral("record"), QStringLiteral("-o"), output,
                                        QStringLiteral("--seconds"), QStringLiteral("1")});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();

    const std::optional<SoundFileContents> wave = readSoundFile(output);
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->sampleRate, 16000);
    EXPECT_EQ(wave->channels, 1);
    EXPECT_GT(wave->samples.size(), 14000u);
    EXPECT_LT(wave->samples.size(), 17000u);
    EXPECT_TRUE(outcome.out.startsWith(QStringLiteral("samples=%1 ").arg(wave->samples.size())))
        << outcome.out.toStdString();
    const QRegularExpressionMatch rms =
        QRegularExpression(QStringLiteral("rms=([0-9.]+)")).match(outcome.out);
    ASSERT_TRUE(rms.hasMatch());
    EXPECT_GT(rms.captured(1).toDouble(), 0.2) << "the tone was playing all along";
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("Recording started")))
        << outcome.err.toStdString();
}

TEST_F(RecordCommandTest, CtrlCEndsTheRecordingAndKeepsIt) {
    const QString output = path(QStringLiteral("interrupted.wav"));
    QProcess process;
    process.start(QStringLiteral(SAYLOOM_EXECUTABLE),
                  {QStringLiteral("record"), QStringLiteral("-o"), output});
    QString err;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            err += QString::fromUtf8(process.readAllStandardError());
            return err.contains(QStringLiteral("press Ctrl+C to stop"));
        },
        10'000))
        << err.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10'000));
    err += QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << err.toStdString();
    const std::optional<SoundFileContents> wave = readSoundFile(output);
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->sampleRate, 16000);
    // The session's microphone is silent, and the command says that is what dictation would get.
    EXPECT_TRUE(err.contains(QStringLiteral("the recording is silent"))) << err.toStdString();
}

TEST_F(RecordCommandTest, AMicrophoneThatGoesAwayEndsTheRecordingWithAnError) {
    const std::optional<int> module = loadNullSink(QStringLiteral("unplugged"));
    ASSERT_TRUE(module);
    ASSERT_TRUE(setDefaultSource(QStringLiteral("unplugged.monitor")));
    const QString output = path(QStringLiteral("unplugged.wav"));
    QProcess process;
    process.start(QStringLiteral(SAYLOOM_EXECUTABLE),
                  {QStringLiteral("record"), QStringLiteral("-o"), output});
    QString err;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            err += QString::fromUtf8(process.readAllStandardError());
            return err.contains(QStringLiteral("press Ctrl+C to stop"));
        },
        10'000))
        << err.toStdString();

    ASSERT_TRUE(unloadModule(*module));
    ASSERT_TRUE(process.waitForFinished(10'000));
    err += QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("the microphone changed or went away")))
        << err.toStdString();
    // What was captured before is kept.
    EXPECT_TRUE(readSoundFile(output).has_value());
}

TEST(RecordCommandWithoutServer, FailsAtOnceWithTheRecorderLogLines) {
    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"),
                       QStringLiteral("unix:%1").arg(folder.filePath(QStringLiteral("no-server"))));
    const QString output = folder.filePath(QStringLiteral("nothing.wav"));
    const Outcome outcome = runSayloom({QStringLiteral("record"), QStringLiteral("-o"), output,
                                        QStringLiteral("--seconds"), QStringLiteral("1")},
                                       environment);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_LT(outcome.milliseconds, 5000);
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("Invalid input format - no audio device?")))
        << outcome.err.toStdString();
    EXPECT_TRUE(outcome.err.contains(QStringLiteral("cannot record")));
    EXPECT_FALSE(QFile::exists(output));

    // A file that cannot be written is said before anything is recorded.
    const QString unwritable = folder.filePath(QStringLiteral("no-such-folder/heard.wav"));
    const Outcome refused =
        runSayloom({QStringLiteral("record"), QStringLiteral("-o"), unwritable});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("cannot write %1").arg(unwritable)))
        << refused.err.toStdString();
    EXPECT_FALSE(refused.err.contains(QStringLiteral("Recording started")));
}

} // namespace
