#include "audio/AudioRecorder.h"

#include "audio/LevelMailbox.h"
#include "audio/SampleRateConverter.h"

#include <algorithm>
#include <cmath>

namespace sayloom {

namespace {

const char* const kFormatMismatch = "the buffer's format differs from the prepared input format";

} // namespace

AudioRecorder::AudioRecorder(InputFactory inputFactory, QObject* parent)
    : QObject(parent)
    , inputFactory_(std::move(inputFactory))
    , levelMailbox_(new LevelMailbox(this)) {
    connect(levelMailbox_, &LevelMailbox::levelArrived, this, [this](float level, quint32 tag) {
        // A level that arrives after its recording ended must not light up the indicator again.
        if (isRecording_ && static_cast<quint32>(captureGeneration()) == tag)
            setAudioLevel(level);
    });
}

AudioRecorder::~AudioRecorder() {
    // Destroying the input waits for its capture thread to leave our handlers, so nothing runs
    // against this object afterwards.
    teardownEngine();
}

void AudioRecorder::setOnAudioInterrupted(std::function<void()> callback) {
    onAudioInterrupted_ = std::move(callback);
}

void AudioRecorder::setOnDurationWarning(std::function<void(const QString&)> callback) {
    onDurationWarning_ = std::move(callback);
}

void AudioRecorder::setOnDurationLimitReached(std::function<void(const QString&)> callback) {
    onDurationLimitReached_ = std::move(callback);
}

float AudioRecorder::displayLevel(float rms) {
    if (!(rms >= 0.005f)) // also maps a NaN from a broken buffer to silence
        return 0.0f;
    float level = std::log(1.0f + 12.0f * rms) / 2.5649493f; // ln 13: full scale maps to 1
    if (level >= 0.5f)
        level = std::min(level + (level - 0.5f) * 0.6f, 1.0f);
    return level;
}

bool AudioRecorder::prepareEngine() {
    if (input_)
        return true;
    std::unique_ptr<AudioInput> input = inputFactory_ ? inputFactory_() : nullptr;
    if (!input)
        return false;

    const AudioInputFormat format = input->nativeFormat();
    const bool formatUsable = format.sampleRate >= 1 && format.channels >= 1;
    std::unique_ptr<SampleRateConverter> converter;
    if (formatUsable) {
        converter = SampleRateConverter::create(format.sampleRate, format.channels);
        if (!converter) {
            log_.error("Failed to create audio converter");
            return false;
        }
    }
    const std::optional<QString> name = input->inputName();
    log_.info("Preparing audio engine. Input: %s, native format: %ldHz %uch",
              name && !name->isEmpty() ? *name : QStringLiteral("unknown"), format.sampleRate,
              format.channels);
    if (!formatUsable) {
        log_.error("Invalid input format - no audio device?");
        return false;
    }

    const std::uint64_t epoch = ++inputEpoch_;
    input->setBufferHandler([this](const AudioInputBuffer& buffer) { handleTapBuffer(buffer); });
    input->setConfigurationChangeHandler([this, epoch] {
        QMetaObject::invokeMethod(
            this,
            [this, epoch] {
                if (input_ && inputEpoch_ == epoch)
                    handleConfigurationChange();
            },
            Qt::QueuedConnection);
    });
    input_ = std::move(input);
    converter_ = std::move(converter);
    return true;
}

void AudioRecorder::teardownEngine() {
    if (input_) {
        input_->setConfigurationChangeHandler({});
        input_->setBufferHandler({});
        if (input_->isRunning())
            input_->stop();
        input_.reset();
    }
    converter_.reset();
}

void AudioRecorder::start() {
    if (isRecording_)
        return;
    if (!prepareEngine() || !input_) {
        log_.error("Failed to prepare audio engine");
        return;
    }
    {
        std::lock_guard guard(lock_);
        ringBuffer_.reset();
        ++captureGeneration_;
        isCapturing_ = true;
    }
    QString error;
    if (input_->start(error)) {
        setRecording(true);
        log_.info("Recording started");
    } else {
        {
            std::lock_guard guard(lock_);
            isCapturing_ = false;
        }
        log_.error("Failed to start engine: %s", error);
    }
}

std::vector<float> AudioRecorder::stop() {
    if (!isRecording_)
        return {};
    std::vector<float> samples;
    std::int64_t count = 0;
    std::int64_t firstLoud = -1;
    std::int64_t lastLoud = -1;
    {
        std::lock_guard guard(lock_);
        isCapturing_ = false;
        samples = ringBuffer_.snapshot();
        count = ringBuffer_.count();
        firstLoud = ringBuffer_.firstLoudIndex();
        lastLoud = ringBuffer_.lastLoudIndex();
        lastRecordingRMS_ = ringBuffer_.rms();
        ringBuffer_.reset();
    }
    if (input_)
        input_->stop();
    setRecording(false);
    setAudioLevel(0.0f);
    log_.info("Recording stopped. Captured %ld samples (%ss), RMS: %s, loud range: %ld..%ld", count,
              QString::number(static_cast<double>(count) / kSampleRate, 'f', 1),
              QString::number(lastRecordingRMS_, 'f', 4), firstLoud, lastLoud);
    return samples;
}

void AudioRecorder::handleConfigurationChange() {
    if (isRecording_) {
        log_.error("Audio configuration changed mid-recording - interrupting");
        if (onAudioInterrupted_)
            onAudioInterrupted_();
    }
    teardownEngine();
}

void AudioRecorder::handleTapBuffer(const AudioInputBuffer& buffer) {
    std::uint64_t generation = 0;
    {
        std::lock_guard guard(lock_);
        if (!isCapturing_)
            return;
        generation = captureGeneration_;
    }
    convertAndStore(buffer, generation);

    if (!buffer.interleaved || buffer.channels < 1)
        return;
    float sum = 0;
    for (std::size_t f = 0; f < buffer.frames; ++f) {
        const float s = buffer.interleaved[f * static_cast<std::size_t>(buffer.channels)];
        sum += s * s;
    }
    const float rms =
        buffer.frames == 0 ? 0.0f : std::sqrt(sum / static_cast<float>(buffer.frames));
    levelMailbox_->post(displayLevel(rms), static_cast<std::uint32_t>(generation));
}

void AudioRecorder::convertAndStore(const AudioInputBuffer& buffer, std::uint64_t generation) {
    SampleRateConverter* converter = converter_.get();
    if (!converter || !buffer.interleaved || buffer.frames == 0)
        return;
    if (buffer.sampleRate != converter->inputRate() || buffer.channels != converter->channels()) {
        log_.error("Conversion error: %s", kFormatMismatch);
        return;
    }
    if (generation != convertedGeneration_) {
        // The filter still holds the last milliseconds of the previous recording.
        converter->reset();
        convertedGeneration_ = generation;
    }
    const SampleRateConverter::Result converted =
        converter->convert(buffer.interleaved, buffer.frames);
    if (converted.error) {
        log_.error("Conversion error: %s", converted.error);
        return;
    }

    bool limitReached = false;
    bool warningDue = false;
    {
        std::lock_guard guard(lock_);
        // A buffer taken during an earlier recording (stop and start came in between) is dropped.
        if (!isCapturing_ || captureGeneration_ != generation)
            return;
        const std::int64_t before = ringBuffer_.count();
        ringBuffer_.append(converted.samples);
        const std::int64_t after = ringBuffer_.count();
        if (before < kLimitSampleCount && kLimitSampleCount <= after) {
            isCapturing_ = false;
            limitReached = true;
        } else if (before < kWarningSampleCount && kWarningSampleCount <= after) {
            warningDue = true;
        }
    }
    if (limitReached)
        postNotice(true, QStringLiteral("10-minute limit reached \u00B7 Transcribing\u2026"),
                   generation);
    else if (warningDue)
        postNotice(false, QStringLiteral("Recording stops in 1 minute"), generation);
}

void AudioRecorder::postNotice(bool limitReached, QString notice, std::uint64_t generation) {
    QMetaObject::invokeMethod(
        this,
        [this, limitReached, notice = std::move(notice), generation] {
            // A notice that arrives after its recording ended (or a new one began) is stale.
            if (!isCurrentRecording(generation))
                return;
            const auto& callback = limitReached ? onDurationLimitReached_ : onDurationWarning_;
            if (callback)
                callback(notice);
        },
        Qt::QueuedConnection);
}

bool AudioRecorder::isCurrentRecording(std::uint64_t generation) const {
    return isRecording_ && captureGeneration() == generation;
}

std::uint64_t AudioRecorder::captureGeneration() const {
    std::lock_guard guard(lock_);
    return captureGeneration_;
}

void AudioRecorder::setRecording(bool recording) {
    isRecording_ = recording;
    Q_EMIT isRecordingChanged(recording);
}

void AudioRecorder::setAudioLevel(float level) {
    audioLevel_ = level;
    Q_EMIT audioLevelChanged(level);
}

} // namespace sayloom
