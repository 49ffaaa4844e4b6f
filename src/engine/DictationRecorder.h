#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace sayloom {

// What the engine needs of the microphone recorder. Main thread only; the callbacks are invoked
// on the main thread.
class DictationRecorder {
public:
    virtual ~DictationRecorder() = default;

    // Starts a recording; success shows as isRecording() being true right after the call.
    virtual void start() = 0;
    virtual bool isRecording() const = 0;
    // Ends the recording and returns its samples (16 kHz mono float); sets lastRecordingRMS().
    virtual std::vector<float> stop() = 0;
    // RMS of the recording most recently returned by stop().
    virtual float lastRecordingRMS() const = 0;

    // The input went away or changed during a recording.
    virtual void setOnAudioInterrupted(std::function<void()> callback) = 0;
    // A ready-to-show notice one minute before the limit.
    virtual void setOnDurationWarning(std::function<void(const QString&)> callback) = 0;
    // A ready-to-show notice when the length limit is reached.
    virtual void setOnDurationLimitReached(std::function<void(const QString&)> callback) = 0;
};

} // namespace sayloom
