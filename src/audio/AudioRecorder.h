#pragma once

#include "audio/AudioInput.h"
#include "audio/AudioRingBuffer.h"
#include "engine/DictationRecorder.h"
#include "support/Logger.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace sayloom {

class LevelMailbox;
class SampleRateConverter;

// Records the default microphone while the dictation hotkey is held: converts what the device
// delivers to 16 kHz mono float, keeps the samples (at most ten minutes), publishes a display level
// for the recording indicator, warns a minute before the limit, stops storing at the limit, and
// reports a device change during a recording.
//
// Main thread only, apart from the capture path, which runs on the input's capture thread and
// shares the sample store, the capture flag and the capture generation under `lock_`. Every
// callback and property change happens on the main thread, so create the recorder there, once the
// application object exists.
class AudioRecorder : public QObject, public DictationRecorder {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(float audioLevel READ audioLevel NOTIFY audioLevelChanged)

public:
    static constexpr int kSampleRate = 16000;
    static constexpr std::int64_t kWarningSampleCount = 8'640'000; // 540 s
    static constexpr std::int64_t kLimitSampleCount = AudioRingBuffer::kMaxCapacity;

    // Opens the current default input; called on the main thread whenever the recorder needs a
    // (new) device. May return null when there is no way to reach an input at all.
    using InputFactory = std::function<std::unique_ptr<AudioInput>()>;

    explicit AudioRecorder(InputFactory inputFactory, QObject* parent = nullptr);
    ~AudioRecorder() override;

    void start() override;
    std::vector<float> stop() override;
    bool isRecording() const override { return isRecording_; }
    float lastRecordingRMS() const override { return lastRecordingRMS_; }
    float audioLevel() const { return audioLevel_; }

    void setOnAudioInterrupted(std::function<void()> callback) override;
    void setOnDurationWarning(std::function<void(const QString&)> callback) override;
    void setOnDurationLimitReached(std::function<void(const QString&)> callback) override;

    // The level the indicator shows for a buffer of RMS `rms`: 0 below 0.005, then logarithmic
    // (1 at full scale) with the upper half stretched so that normal speech fills the bars.
    static float displayLevel(float rms);

Q_SIGNALS:
    // Emitted on every assignment, as the indicator expects.
    void isRecordingChanged(bool isRecording);
    void audioLevelChanged(float audioLevel);

protected:
    // The capture path, split where the recorder's lock is released: `handleTapBuffer` reads the
    // generation of the recording in progress, `convertAndStore` stores the buffer only if that
    // recording is still the one capturing. Capture thread.
    void handleTapBuffer(const AudioInputBuffer& buffer);
    void convertAndStore(const AudioInputBuffer& buffer, std::uint64_t generation);
    // Main thread: the device or its format changed.
    void handleConfigurationChange();
    std::uint64_t captureGeneration() const;

private:
    bool prepareEngine();
    void teardownEngine();
    void setRecording(bool recording);
    void setAudioLevel(float level);
    // Posts a notice to the main thread; it is shown only if its recording is still in progress.
    void postNotice(bool limitReached, QString notice, std::uint64_t generation);
    bool isCurrentRecording(std::uint64_t generation) const;

    Logger log_{QStringLiteral("recorder")};
    InputFactory inputFactory_;

    // Main thread.
    std::unique_ptr<AudioInput> input_;
    // Counts prepared inputs, so that a late change notice of a replaced input is ignored.
    std::uint64_t inputEpoch_ = 0;
    // Shared with the capture thread of `input_`; replaced only while no input exists.
    std::unique_ptr<SampleRateConverter> converter_;
    // Capture thread: the recording the converter's filter state belongs to.
    std::uint64_t convertedGeneration_ = 0;
    LevelMailbox* levelMailbox_;
    bool isRecording_ = false;
    float audioLevel_ = 0;
    float lastRecordingRMS_ = 0;
    std::function<void()> onAudioInterrupted_;
    std::function<void(const QString&)> onDurationWarning_;
    std::function<void(const QString&)> onDurationLimitReached_;

    // Guarded by lock_.
    mutable std::mutex lock_;
    bool isCapturing_ = false;
    std::uint64_t captureGeneration_ = 0;
    AudioRingBuffer ringBuffer_;
};

} // namespace sayloom
