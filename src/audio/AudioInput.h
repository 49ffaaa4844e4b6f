#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

namespace sayloom {

// The format a microphone delivers natively. A rate or channel count of 0 means there is no
// usable device.
struct AudioInputFormat {
    int sampleRate = 0;
    int channels = 0;
};

// One buffer of captured audio: `frames` frames of `channels` interleaved 32-bit floats at
// `sampleRate`. The memory belongs to the input and is valid only during the handler call.
struct AudioInputBuffer {
    const float* interleaved = nullptr;
    std::size_t frames = 0;
    int channels = 0;
    int sampleRate = 0;
};

// What the recorder needs of a microphone: the default input device, opened in its native format.
// An input object stands for the device it was created for; when the device goes away or its
// format changes, the input reports a configuration change and the recorder replaces it.
//
// Threads: every member function is called on the main thread. The buffer handler runs on the
// input's own capture thread, about every 1024 frames while the input is running; the
// configuration-change handler may run on any thread. Replacing a handler (or clearing it with an
// empty function) and destroying the input both wait for a handler call in progress to return, and
// no call follows.
class AudioInput {
public:
    using BufferHandler = std::function<void(const AudioInputBuffer&)>;
    using ConfigurationChangeHandler = std::function<void()>;

    virtual ~AudioInput() = default;

    virtual AudioInputFormat nativeFormat() const = 0;
    // A display name of the device, when it has one.
    virtual std::optional<QString> inputName() const = 0;

    virtual void setBufferHandler(BufferHandler handler) = 0;
    virtual void setConfigurationChangeHandler(ConfigurationChangeHandler handler) = 0;

    // Starts delivering buffers. On failure returns false and sets `errorDescription` to a
    // readable reason.
    virtual bool start(QString& errorDescription) = 0;
    // Stops delivering buffers; the input stays open for the next start.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

} // namespace sayloom
