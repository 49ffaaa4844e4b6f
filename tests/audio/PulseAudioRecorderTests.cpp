// The recorder on the real microphone path: a private PulseAudio server, a null sink whose
// monitor is the default source, and known audio played into it with paplay.

#include "AllocationCounter.h"
#include "LogCapture.h"
#include "PulseAudioTest.h"
#include "TestSignals.h"

#include "audio/AudioRecorder.h"
#include "platform/linux/PulseAudioInput.h"
#include "platform/linux/PulseAudioInputFactory.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

using namespace sayloom;
using namespace sayloom::testing;
using linux_desktop::PulseAudioInput;
using linux_desktop::pulseAudioInputFactory;

namespace {

constexpr double kToneFrequency = 440.0;
constexpr float kToneAmplitude = 0.5f;

// What a recording holds of a tone: where it is loud and for how long, and in its interior (away
// from the edges, where the resampler's filter rings at the abrupt on- and offset) how loud, at
// what pitch, and how long its longest and shortest cycle are. A piece lost from or repeated in
// the middle of the tone leaves one cycle of the wrong length.
struct ToneAnalysis {
    std::int64_t first = -1;
    std::int64_t last = -1;
    double seconds = 0;
    double rms = 0;
    double frequency = 0;
    double shortestCycle = 0;
    double longestCycle = 0;
};

ToneAnalysis analyseTone(const std::vector<float>& samples) {
    constexpr std::int64_t kEdge = AudioRecorder::kSampleRate / 20; // 50 ms
    ToneAnalysis tone;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) > 0.002f) {
            if (tone.first < 0)
                tone.first = static_cast<std::int64_t>(i);
            tone.last = static_cast<std::int64_t>(i);
        }
    }
    if (tone.first < 0)
        return tone;
    tone.seconds = static_cast<double>(tone.last - tone.first + 1) / AudioRecorder::kSampleRate;
    const std::int64_t from = tone.first + kEdge;
    const std::int64_t to = tone.last - kEdge;
    if (to - from < kEdge)
        return tone;

    double sum = 0;
    int rising = 0;
    double firstCrossing = 0;
    double lastCrossing = 0;
    tone.shortestCycle = 1e9;
    for (auto i = from; i <= to; ++i) {
        const double s = samples[static_cast<std::size_t>(i)];
        const double previous = samples[static_cast<std::size_t>(i - 1)];
        sum += s * s;
        if (!(previous < 0 && s >= 0))
            continue;
        // Where the waveform crosses zero between the two samples.
        const double crossing = static_cast<double>(i - 1) + previous / (previous - s);
        if (rising++ == 0) {
            firstCrossing = crossing;
        } else {
            tone.longestCycle = std::max(tone.longestCycle, crossing - lastCrossing);
            tone.shortestCycle = std::min(tone.shortestCycle, crossing - lastCrossing);
        }
        lastCrossing = crossing;
    }
    tone.rms = std::sqrt(sum / static_cast<double>(to - from + 1));
    if (rising > 1)
        tone.frequency = (rising - 1) * AudioRecorder::kSampleRate / (lastCrossing - firstCrossing);
    return tone;
}

std::ostream& operator<<(std::ostream& out, const ToneAnalysis& tone) {
    return out << "tone at " << tone.first << ".." << tone.last << " (" << tone.seconds
               << " s), RMS " << tone.rms << ", " << tone.frequency << " Hz, cycles of "
               << tone.shortestCycle << ".." << tone.longestCycle << " samples";
}

class PulseAudioRecorderTest : public PulseAudioTest {
protected:
    void SetUp() override {
        PulseAudioTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(folder.isValid());
    }

    void TearDown() override {
        recorder.reset(); // closes the stream before the test's sinks go
        PulseAudioTest::TearDown();
    }

    void makeRecorder(AudioRecorder::InputFactory factory = pulseAudioInputFactory()) {
        recorder = std::make_unique<AudioRecorder>(std::move(factory));
        recorder->setOnAudioInterrupted([this] { ++interruptions; });
        QObject::connect(recorder.get(), &AudioRecorder::audioLevelChanged, [this](float level) {
            peakLevel = std::max(peakLevel, level);
            ++levelUpdates;
        });
    }

    // A 440 Hz tone at half of full scale, written at the rate of the sink it is played into so
    // that the server does not resample it on the way.
    QString toneFile(double seconds, int sampleRate) {
        const QString path =
            folder.filePath(QStringLiteral("tone-%1-%2.wav").arg(seconds).arg(sampleRate));
        const auto frames = static_cast<std::size_t>(seconds * sampleRate);
        EXPECT_TRUE(writeWaveFile(path,
                                  sineWave(kToneFrequency, sampleRate, frames, kToneAmplitude),
                                  sampleRate, 1, SF_FORMAT_FLOAT));
        return path;
    }

    // Plays `file` into `sink` during a recording and returns the recording once the end of the
    // tone has reached the recorder (its level fell back to silence after the tone).
    std::vector<float> recordWhilePlaying(const QString& sink, const QString& file,
                                          double* recordedVersusElapsed = nullptr) {
        recorder->start();
        EXPECT_TRUE(recorder->isRecording());
        if (!recorder->isRecording())
            return {};
        QElapsedTimer clock;
        clock.start();
        peakLevel = 0;
        const std::unique_ptr<QProcess> player = play(sink, file);
        EXPECT_TRUE(waitUntilPlayed(*player));
        EXPECT_TRUE(QTest::qWaitFor(
            [this] { return peakLevel > 0 && recorder->audioLevel() == 0.0f; }, 5000));
        const double elapsed = static_cast<double>(clock.elapsed()) / 1000.0;
        std::vector<float> samples = recorder->stop();
        if (recordedVersusElapsed)
            *recordedVersusElapsed =
                static_cast<double>(samples.size()) / AudioRecorder::kSampleRate - elapsed;
        return samples;
    }

    LogCapture logs;
    QTemporaryDir folder;
    std::unique_ptr<AudioRecorder> recorder;
    int interruptions = 0;
    float peakLevel = 0;
    // One per buffer the recorder took while recording.
    int levelUpdates = 0;
};

// ---- Recording known audio -----------------------------------------------------------------

struct SinkFormat {
    const char* sink;
    // Arguments of module-null-sink; null for the session's own "mic" sink.
    const char* arguments;
    int rate;
    int channels;
};

void PrintTo(const SinkFormat& format, std::ostream* out) {
    *out << format.sink << " (" << format.rate << " Hz, " << format.channels << " ch)";
}

class PulseAudioToneTest : public PulseAudioRecorderTest,
                           public ::testing::WithParamInterface<SinkFormat> {};

TEST_P(PulseAudioToneTest, RecordsAToneWithItsDurationLevelAndPitch) {
    const SinkFormat format = GetParam();
    if (format.arguments) {
        ASSERT_TRUE(
            loadNullSink(QString::fromLatin1(format.sink), QString::fromLatin1(format.arguments)));
        ASSERT_TRUE(setDefaultSource(QStringLiteral("%1.monitor").arg(format.sink)));
    }
    makeRecorder();
    double drift = 0;
    const std::vector<float> samples =
        recordWhilePlaying(QString::fromLatin1(format.sink), toneFile(1.0, format.rate), &drift);

    EXPECT_EQ(logs.countContaining(
                  QStringLiteral("native format: %1Hz %2ch").arg(format.rate).arg(format.channels)),
              1)
        << logs.messages().join(QLatin1Char('\n')).toStdString();
    // Every buffer the server sent arrived: the recording is as long as the time it ran, less
    // the little still on its way when it stopped.
    EXPECT_LT(drift, 0.05);
    EXPECT_GT(drift, -0.3);

    const ToneAnalysis tone = analyseTone(samples);
    ASSERT_GE(tone.first, 0) << "the tone never arrived";
    SCOPED_TRACE(::testing::PrintToString(tone));
    // The server itself may cut a few milliseconds off the start of a stream; a lost buffer is
    // 21 to 64 ms.
    EXPECT_NEAR(tone.seconds, 1.0, 0.015);
    EXPECT_NEAR(tone.rms, kToneAmplitude / std::sqrt(2.0), 0.01);
    // A wrong rate moves the pitch; a lost or repeated piece breaks a cycle.
    EXPECT_NEAR(tone.frequency, kToneFrequency, 0.5);
    const double period = AudioRecorder::kSampleRate / kToneFrequency;
    EXPECT_NEAR(tone.shortestCycle, period, 0.1);
    EXPECT_NEAR(tone.longestCycle, period, 0.1);
    EXPECT_NEAR(peakLevel, AudioRecorder::displayLevel(kToneAmplitude / std::sqrt(2.0f)), 0.03);
    EXPECT_EQ(interruptions, 0);
}

INSTANTIATE_TEST_SUITE_P(
    SourceFormats, PulseAudioToneTest,
    ::testing::Values(SinkFormat{"mic", nullptr, 44100, 2},
                      SinkFormat{"mono48k", "rate=48000 channels=1 format=float32le", 48000, 1},
                      SinkFormat{"mono16k", "rate=16000 channels=1", 16000, 1}),
    [](const ::testing::TestParamInfo<SinkFormat>& info) { return std::string(info.param.sink); });

TEST_F(PulseAudioRecorderTest, ASecondRecordingReusesTheInputAndHearsOnlyItsOwnAudio) {
    makeRecorder();
    const QString tone = toneFile(0.3, 44100);
    const std::vector<float> first = recordWhilePlaying(QString::fromLatin1(kMicSink), tone);
    ASSERT_GE(analyseTone(first).first, 0);

    // Nothing is played now: nothing of the first recording may turn up in the second.
    recorder->start();
    ASSERT_TRUE(recorder->isRecording());
    const int updatesBefore = levelUpdates;
    ASSERT_TRUE(QTest::qWaitFor([&] { return levelUpdates >= updatesBefore + 10; }, 5000));
    const std::vector<float> quiet = recorder->stop();
    EXPECT_FALSE(quiet.empty());
    EXPECT_LT(recorder->lastRecordingRMS(), 0.002f);

    const std::vector<float> third = recordWhilePlaying(QString::fromLatin1(kMicSink), tone);
    EXPECT_NEAR(analyseTone(third).seconds, 0.3, 0.02);
    EXPECT_EQ(logs.countContaining(QStringLiteral("Preparing audio engine")), 1);
}

// ---- Device changes --------------------------------------------------------------------------

TEST_F(PulseAudioRecorderTest, UnloadingTheSourceMidRecordingInterruptsIt) {
    const std::optional<int> module = loadNullSink(QStringLiteral("unplugged"));
    ASSERT_TRUE(module);
    ASSERT_TRUE(setDefaultSource(QStringLiteral("unplugged.monitor")));
    makeRecorder();
    recorder->start();
    ASSERT_TRUE(recorder->isRecording());

    ASSERT_TRUE(unloadModule(*module));
    ASSERT_TRUE(QTest::qWaitFor([this] { return interruptions > 0; }, 5000));
    EXPECT_EQ(interruptions, 1);
    EXPECT_TRUE(
        logs.contains(QStringLiteral("recorder"), LogLevel::error,
                      QStringLiteral("Audio configuration changed mid-recording - interrupting")));
    recorder->stop();

    // The server fell back to the remaining source: the next recording opens that one.
    recorder->start();
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(logs.countContaining(QStringLiteral("Preparing audio engine")), 2);
    recorder->stop();
}

TEST_F(PulseAudioRecorderTest, ANewDefaultSourceBetweenRecordingsIsUsedByTheNextOne) {
    makeRecorder();
    recorder->start();
    ASSERT_TRUE(recorder->isRecording());
    recorder->stop();
    ASSERT_TRUE(loadNullSink(QStringLiteral("headset"),
                             QStringLiteral("sink_properties=device.description=Headset")));
    ASSERT_TRUE(setDefaultSource(QStringLiteral("headset.monitor")));

    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return logs.countContaining(QStringLiteral("Audio input changed")) > 0; }, 5000));
    QCoreApplication::processEvents(); // the notice reaches the recorder through its event queue
    EXPECT_EQ(interruptions, 0);

    const std::vector<float> samples =
        recordWhilePlaying(QStringLiteral("headset"), toneFile(0.3, 44100));
    EXPECT_EQ(logs.countContaining(QStringLiteral("Input: Monitor of Headset")), 1)
        << logs.messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_NEAR(analyseTone(samples).seconds, 0.3, 0.02);
}

TEST_F(PulseAudioRecorderTest, NoSourceAtAllFailsToStartWithTheRecorderLogLines) {
    const std::optional<QString> modules =
        pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules")});
    ASSERT_TRUE(modules);
    QString micModule;
    for (const QString& line : modules->split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral("sink_name=mic")))
            micModule = line.section(QLatin1Char('\t'), 0, 0);
    ASSERT_FALSE(micModule.isEmpty());
    ASSERT_TRUE(pactl({QStringLiteral("unload-module"), micModule}));

    makeRecorder();
    recorder->start();
    const bool recording = recorder->isRecording();
    recorder.reset();
    // Put the session's microphone back before anything can fail.
    ASSERT_TRUE(pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                       QStringLiteral("sink_name=mic")}));
    ASSERT_TRUE(setDefaultSource(QString::fromLatin1(kMicSource)));

    EXPECT_FALSE(recording);
    EXPECT_EQ(logs.countContaining(QStringLiteral("no default audio source")), 1);
    EXPECT_TRUE(logs.contains(QStringLiteral("recorder"), LogLevel::error,
                              QStringLiteral("Invalid input format - no audio device?")));
    EXPECT_TRUE(logs.contains(QStringLiteral("recorder"), LogLevel::error,
                              QStringLiteral("Failed to prepare audio engine")));
}

// ---- The input's own contract ----------------------------------------------------------------

TEST_F(PulseAudioRecorderTest, InputDeliversWholeNativeBuffersAndClearingTheHandlerWaitsForIt) {
    const std::unique_ptr<PulseAudioInput> input = PulseAudioInput::open();
    ASSERT_TRUE(input->failureReason().isEmpty()) << input->failureReason().toStdString();
    EXPECT_EQ(input->sourceName(), QString::fromLatin1(kMicSource));
    EXPECT_EQ(input->inputName(), QStringLiteral("Monitor of Null Output"));
    const AudioInputFormat format = input->nativeFormat();

    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
    std::atomic<bool> wellFormed{true};
    const std::thread::id mainThread = std::this_thread::get_id();
    input->setBufferHandler([&](const AudioInputBuffer& buffer) {
        inside = true;
        ++calls;
        if (buffer.frames != 1024 || buffer.channels != format.channels ||
            buffer.sampleRate != format.sampleRate || !buffer.interleaved ||
            std::this_thread::get_id() == mainThread)
            wellFormed = false;
        // Long enough that clearing the handler is likely to meet a call in progress (this sleeps
        // on the capture thread, inside the handler under test, not to wait for anything).
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        inside = false;
    });
    QString error;
    ASSERT_TRUE(input->start(error)) << error.toStdString();
    EXPECT_TRUE(input->isRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls >= 5 && inside; }, 5000));

    input->setBufferHandler({});
    EXPECT_FALSE(inside);
    const int delivered = calls;
    input->stop();
    EXPECT_FALSE(input->isRunning());
    EXPECT_EQ(calls, delivered);
    EXPECT_TRUE(wellFormed);
}

TEST_F(PulseAudioRecorderTest, CaptureThreadAllocatesNothingOnceRecording) {
    if (!AllocationCounter::available()) {
        GTEST_SKIP() << "allocation counting is unavailable under the sanitizers";
    }
    // Counts what the capture thread allocates between its 20th and 80th buffer: the server's
    // messages, our staging, the recorder's conversion, store and level hand-over.
    struct Probe {
        std::atomic<int> buffers{0};
        std::atomic<long long> allocations{-1};
        AllocationCounter* counter = nullptr; // capture thread only
    };
    auto probe = std::make_shared<Probe>();

    // Passes everything through to the real input, wrapping the recorder's buffer handler.
    class ProbedInput final : public AudioInput {
    public:
        ProbedInput(std::unique_ptr<AudioInput> inner, std::shared_ptr<Probe> probe)
            : inner_(std::move(inner))
            , probe_(std::move(probe)) {}
        AudioInputFormat nativeFormat() const override { return inner_->nativeFormat(); }
        std::optional<QString> inputName() const override { return inner_->inputName(); }
        void setConfigurationChangeHandler(ConfigurationChangeHandler handler) override {
            inner_->setConfigurationChangeHandler(std::move(handler));
        }
        bool start(QString& error) override { return inner_->start(error); }
        void stop() override { inner_->stop(); }
        bool isRunning() const override { return inner_->isRunning(); }
        void setBufferHandler(BufferHandler handler) override {
            if (!handler)
                return inner_->setBufferHandler({});
            inner_->setBufferHandler(
                [probe = probe_, handler = std::move(handler)](const AudioInputBuffer& buffer) {
                    const int n = ++probe->buffers;
                    if (n == 20) {
                        probe->counter = new AllocationCounter;
                    } else if (n == 80) {
                        probe->allocations = static_cast<long long>(probe->counter->count());
                        delete probe->counter;
                        probe->counter = nullptr;
                    }
                    handler(buffer);
                });
        }

    private:
        std::unique_ptr<AudioInput> inner_;
        std::shared_ptr<Probe> probe_;
    };

    makeRecorder([probe]() -> std::unique_ptr<AudioInput> {
        return std::make_unique<ProbedInput>(PulseAudioInput::open(), probe);
    });
    const std::unique_ptr<QProcess> player =
        play(QString::fromLatin1(kMicSink), toneFile(3.0, 44100));
    recorder->start();
    ASSERT_TRUE(recorder->isRecording());
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe->allocations >= 0; }, 10'000));
    recorder->stop();
    EXPECT_EQ(probe->allocations, 0);
    EXPECT_GT(peakLevel, 0.5f) << "the tone was playing while counting";
}

// ---- Without a server ------------------------------------------------------------------------

TEST(PulseAudioWithoutServer, NoServerFailsToStartAtOnce) {
    LogCapture logs;
    QTemporaryDir folder;
    PulseAudioInput::Options options;
    options.server = QStringLiteral("unix:%1").arg(folder.filePath(QStringLiteral("no-server")));
    AudioRecorder recorder(pulseAudioInputFactory(options));
    QElapsedTimer clock;
    clock.start();
    recorder.start();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(logs.countContaining(QStringLiteral("cannot connect to the sound server")), 1)
        << logs.messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(logs.contains(QStringLiteral("recorder"), LogLevel::info,
                              QStringLiteral("Preparing audio engine. Input: unknown, native "
                                             "format: 0Hz 0ch")));
    EXPECT_TRUE(logs.contains(QStringLiteral("recorder"), LogLevel::error,
                              QStringLiteral("Invalid input format - no audio device?")));
    EXPECT_TRUE(logs.contains(QStringLiteral("recorder"), LogLevel::error,
                              QStringLiteral("Failed to prepare audio engine")));
}

TEST(PulseAudioWithoutServer, AServerThatNeverAnswersIsGivenUpAfterTheTimeOut) {
    LogCapture logs;
    QTemporaryDir folder;
    // Accepts connections (the kernel's backlog does) and never says a word.
    QLocalServer silent;
    const QString path = folder.filePath(QStringLiteral("silent"));
    ASSERT_TRUE(silent.listen(path));
    PulseAudioInput::Options options;
    options.server = QStringLiteral("unix:%1").arg(path);
    options.timeout = std::chrono::milliseconds(300);
    AudioRecorder recorder(pulseAudioInputFactory(options));
    QElapsedTimer clock;
    clock.start();
    recorder.start();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(logs.countContaining(QStringLiteral("did not answer within 300 ms")), 1)
        << logs.messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(logs.contains(QStringLiteral("recorder"), LogLevel::error,
                              QStringLiteral("Failed to prepare audio engine")));
}

} // namespace
