#include "AllocationCounter.h"
#include "FakeAudioInput.h"
#include "LogCapture.h"
#include "TestSignals.h"

#include "audio/AudioRecorder.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace sayloom;
using sayloom::testing::AllocationCounter;
using sayloom::testing::FakeAudioInput;
using sayloom::testing::LogCapture;
using sayloom::testing::sineWave;

namespace {

// Opens the capture path's internals to the tests that need to interleave with it.
class TestableRecorder : public AudioRecorder {
public:
    using AudioRecorder::AudioRecorder;
    using AudioRecorder::captureGeneration;
    using AudioRecorder::convertAndStore;
};

class AudioRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder.setOnDurationWarning([this](const QString& notice) { warnings << notice; });
        recorder.setOnDurationLimitReached([this](const QString& notice) { limits << notice; });
        recorder.setOnAudioInterrupted([this] { ++interruptions; });
    }

    std::unique_ptr<AudioInput> makeInput() {
        if (!inputAvailable)
            return nullptr;
        auto input = std::make_unique<FakeAudioInput>(format, name);
        FakeAudioInput* raw = input.get();
        input->setOnDestroyed([this, raw] {
            if (current == raw)
                current = nullptr;
        });
        input->failStarts(startError);
        current = raw;
        ++inputsCreated;
        return input;
    }

    // Runs what the capture side posted to the main thread.
    static void drain() {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    bool logged(LogLevel level, const QString& message) const {
        return log.contains(QStringLiteral("recorder"), level, message);
    }

    void deliverRepeatedly(const std::vector<float>& buffer, int times) {
        for (int i = 0; i < times; ++i)
            ASSERT_TRUE(current->deliver(buffer));
    }

    LogCapture log;
    AudioInputFormat format{48000, 2};
    std::optional<QString> name = QStringLiteral("Fake Microphone");
    bool inputAvailable = true;
    QString startError;
    FakeAudioInput* current = nullptr;
    int inputsCreated = 0;
    QStringList warnings;
    QStringList limits;
    int interruptions = 0;
    TestableRecorder recorder{[this] { return makeInput(); }};
};

} // namespace

TEST_F(AudioRecorderTest, StartAndStopAreGuardedAndTheInputIsPreparedOnce) {
    QSignalSpy recordingChanges(&recorder, &AudioRecorder::isRecordingChanged);
    EXPECT_TRUE(recorder.stop().empty());

    recorder.start();
    ASSERT_TRUE(recorder.isRecording());
    EXPECT_TRUE(logged(LogLevel::info, "Preparing audio engine. Input: Fake Microphone, native "
                                       "format: 48000Hz 2ch"));
    EXPECT_TRUE(logged(LogLevel::info, "Recording started"));
    recorder.start();
    EXPECT_EQ(current->startCount(), 1);

    EXPECT_TRUE(recorder.stop().empty());
    EXPECT_TRUE(logged(LogLevel::info, "Recording stopped. Captured 0 samples (0.0s), RMS: 0.0000, "
                                       "loud range: -1..-1"));
    EXPECT_EQ(current->stopCount(), 1);
    EXPECT_TRUE(current->hasBufferHandler()); // stays prepared for the next start

    recorder.start();
    deliverRepeatedly(sineWave(1000, 48000, 1024, 0.5f, 2), 160); // 3.4 s
    const std::vector<float> samples = recorder.stop();
    // 160 × 1024 frames at 48 kHz are 54,613 samples at 16 kHz; the converter's filter holds back
    // a handful, and nothing else may go missing.
    EXPECT_LE(samples.size(), 54'614u);
    EXPECT_GE(samples.size(), 54'613u - 40);
    EXPECT_NEAR(recorder.lastRecordingRMS(), 0.5 / std::sqrt(2.0), 0.005);
    EXPECT_EQ(inputsCreated, 1);
    EXPECT_EQ(log.countContaining("Preparing audio engine"), 1);

    const float rms = recorder.lastRecordingRMS();
    EXPECT_TRUE(recorder.stop().empty());
    EXPECT_EQ(recorder.lastRecordingRMS(), rms);
    EXPECT_EQ(recordingChanges.size(), 4); // true, false, true, false
}

TEST_F(AudioRecorderTest, DisplayLevelFollowsTheLogarithmicCurveWithTheUpperHalfStretched) {
    EXPECT_EQ(AudioRecorder::displayLevel(0.0049f), 0.0f);
    EXPECT_NEAR(AudioRecorder::displayLevel(0.005f), 0.0227f, 1e-4);
    EXPECT_NEAR(AudioRecorder::displayLevel(0.1f), 0.3074f, 1e-4);
    EXPECT_NEAR(AudioRecorder::displayLevel(0.3f), 0.6519f, 1e-4);
    EXPECT_NEAR(AudioRecorder::displayLevel(0.5f), 0.9138f, 1e-4);
    EXPECT_EQ(AudioRecorder::displayLevel(1.0f), 1.0f);
    // r = (13^L - 1) / 12 computes to L before the stretch: 0.5 stays, 0.9 becomes 1.14, capped.
    EXPECT_NEAR(AudioRecorder::displayLevel((std::pow(13.0f, 0.5f) - 1) / 12), 0.5f, 1e-4);
    EXPECT_EQ(AudioRecorder::displayLevel((std::pow(13.0f, 0.9f) - 1) / 12), 1.0f);
    EXPECT_EQ(AudioRecorder::displayLevel(std::nanf("")), 0.0f);
}

TEST_F(AudioRecorderTest, LevelFollowsTheFirstChannelOnlyWhileRecording) {
    QSignalSpy levels(&recorder, &AudioRecorder::audioLevelChanged);
    recorder.start();
    std::vector<float> buffer(2 * 1024);
    for (std::size_t f = 0; f < 1024; ++f) {
        buffer[2 * f] = 0.3f;     // the first channel decides the level
        buffer[2 * f + 1] = 0.9f; // the second does not
    }
    ASSERT_TRUE(current->deliver(buffer));
    drain();
    EXPECT_NEAR(recorder.audioLevel(), 0.6519f, 1e-4);

    // A level still on its way when the recording stops must not light the indicator again.
    ASSERT_TRUE(current->deliver(buffer));
    recorder.stop();
    drain();
    EXPECT_EQ(recorder.audioLevel(), 0.0f);
    ASSERT_EQ(levels.size(), 2);
    EXPECT_EQ(levels.last().at(0).toFloat(), 0.0f);
}

TEST_F(AudioRecorderTest, WarningAndLimitFireOnceEachAndTheStoreStopsAtTenMinutes) {
    format = {16000, 1};
    recorder.start();
    const std::vector<float> tenSeconds(160'000, 0.1f);
    deliverRepeatedly(tenSeconds, 53);
    drain();
    EXPECT_TRUE(warnings.isEmpty());
    deliverRepeatedly(tenSeconds, 1); // reaches 540 s exactly
    drain();
    EXPECT_EQ(warnings, QStringList{"Recording stops in 1 minute"});
    deliverRepeatedly(tenSeconds, 8); // reaches 600 s, then more arrives
    drain();
    EXPECT_EQ(warnings.size(), 1);
    EXPECT_EQ(limits,
              QStringList{QStringLiteral("10-minute limit reached \u00B7 Transcribing\u2026")});
    EXPECT_TRUE(recorder.isRecording()); // the engine stops it
    EXPECT_EQ(recorder.stop().size(), 9'600'000u);
}

TEST_F(AudioRecorderTest, OneBufferPastBothThresholdsDeliversOnlyTheLimitAndOnlyWhileRecording) {
    format = {16000, 1};
    const std::vector<float> huge(9'700'000, 0.1f);
    recorder.start();
    ASSERT_TRUE(current->deliver(huge));
    drain();
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_EQ(limits.size(), 1);
    EXPECT_EQ(recorder.stop().size(), 9'600'000u);

    // The notice of a recording that has already ended is not delivered.
    recorder.start();
    ASSERT_TRUE(current->deliver(huge));
    recorder.stop();
    drain();
    EXPECT_EQ(limits.size(), 1);
}

TEST_F(AudioRecorderTest, BufferTakenDuringAnEarlierRecordingIsNotStoredInTheNextOne) {
    format = {16000, 1};
    recorder.start();
    const std::uint64_t earlier = recorder.captureGeneration();
    recorder.stop();
    recorder.start();
    const std::vector<float> stale(320, 0.5f);
    const std::vector<float> fresh(320, 0.25f);
    recorder.convertAndStore({stale.data(), stale.size(), 1, 16000}, earlier);
    recorder.convertAndStore({fresh.data(), fresh.size(), 1, 16000}, recorder.captureGeneration());
    EXPECT_EQ(recorder.stop(), fresh);
}

TEST_F(AudioRecorderTest, NothingOfThePreviousRecordingLeaksIntoTheNext) {
    recorder.start();
    deliverRepeatedly(sineWave(1000, 48000, 1024, 0.8f, 2), 10);
    recorder.stop();
    recorder.start();
    deliverRepeatedly(std::vector<float>(2 * 1024, 0.0f), 10);
    EXPECT_FALSE(recorder.stop().empty());
    EXPECT_EQ(recorder.lastRecordingRMS(), 0.0f);
}

TEST_F(AudioRecorderTest, FailuresToPrepareOrStartLeaveTheRecorderIdleWithTheirLogLines) {
    const QString failedToPrepare = QStringLiteral("Failed to prepare audio engine");
    inputAvailable = false;
    recorder.start();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_TRUE(logged(LogLevel::error, failedToPrepare));

    log.clear();
    inputAvailable = true;
    format = {0, 0};
    name.reset();
    recorder.start();
    EXPECT_EQ(log.messages("recorder"),
              (QStringList{"Preparing audio engine. Input: unknown, native format: 0Hz 0ch",
                           "Invalid input format - no audio device?", failedToPrepare}));
    EXPECT_EQ(current, nullptr); // nothing of a failed preparation is kept

    log.clear();
    format = {10, 1}; // beyond what the resampler converts
    recorder.start();
    EXPECT_EQ(log.messages("recorder"),
              (QStringList{"Failed to create audio converter", failedToPrepare}));

    log.clear();
    format = {44100, 1};
    startError = QStringLiteral("Connection refused");
    recorder.start();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_TRUE(logged(LogLevel::error, "Failed to start engine: Connection refused"));
    ASSERT_NE(current, nullptr); // prepared and kept
    current->failStarts({});
    recorder.start();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(log.countContaining("Preparing audio engine"), 1);

    // A buffer that does not match the prepared format is lost; the recording goes on.
    const std::vector<float> good(4410, 0.5f);
    ASSERT_TRUE(current->deliver(good, {48000, 1}));
    EXPECT_TRUE(logged(LogLevel::error, "Conversion error: the buffer's format differs from the "
                                        "prepared input format"));
    ASSERT_TRUE(current->deliver(good));
    EXPECT_NEAR(static_cast<double>(recorder.stop().size()), 1600.0, 40.0);
}

TEST_F(AudioRecorderTest, DeviceChangeInterruptsOnlyARecordingAndTheNextStartOpensTheNewDevice) {
    recorder.start();
    current->announceConfigurationChange();
    EXPECT_EQ(interruptions, 0); // delivered on the main thread's next turn
    drain();
    EXPECT_EQ(interruptions, 1);
    EXPECT_TRUE(
        logged(LogLevel::error, "Audio configuration changed mid-recording - interrupting"));
    EXPECT_EQ(current, nullptr);
    recorder.stop();

    format = {44100, 1};
    recorder.start();
    EXPECT_TRUE(logged(LogLevel::info, "Preparing audio engine. Input: Fake Microphone, native "
                                       "format: 44100Hz 1ch"));
    recorder.stop();

    current->announceConfigurationChange();
    drain();
    EXPECT_EQ(interruptions, 1);
    EXPECT_EQ(current, nullptr);
    recorder.start();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(inputsCreated, 3);
}

TEST_F(AudioRecorderTest, CaptureThreadConvertsAndStoresWithoutAllocating) {
    if (!AllocationCounter::available())
        GTEST_SKIP() << "allocation counting replaces malloc, which the sanitizers own";
    recorder.start();
    const std::vector<float> buffer = sineWave(440, 48000, 1024, 0.5f, 2);
    std::uint64_t allocations = 0;
    std::uint64_t probe = 0;
    std::atomic<bool> done{false};
    std::thread capture([&] {
        for (int i = 0; i < 20; ++i) // the first buffers size the reusable storage
            current->deliver(buffer);
        {
            AllocationCounter counter;
            for (int i = 0; i < 500; ++i)
                current->deliver(buffer);
            allocations = counter.count();
        }
        AllocationCounter counter; // proves the counter sees this thread's allocations
        void* (*volatile allocate)(std::size_t) = std::malloc;
        std::free(allocate(64));
        probe = counter.count();
        done = true;
    });
    // The main thread keeps taking the levels meanwhile, so every buffer hands one over.
    while (!done)
        QCoreApplication::processEvents();
    capture.join();
    drain();
    EXPECT_EQ(probe, 1u);
    EXPECT_EQ(allocations, 0u);
    EXPECT_GT(recorder.audioLevel(), 0.5f);
    EXPECT_NEAR(static_cast<double>(recorder.stop().size()), 520 * 1024 / 3.0, 40.0);
}
