#pragma once

#include "audio/AudioInput.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <span>

namespace sayloom::testing {

// A microphone under the test's control. Buffers and change notices are delivered on whichever
// thread calls deliver() or announceConfigurationChange(), so a test can play the capture thread
// itself or from a thread of its own.
class FakeAudioInput final : public AudioInput {
public:
    explicit FakeAudioInput(AudioInputFormat format,
                            std::optional<QString> name = QStringLiteral("Fake Microphone"));
    ~FakeAudioInput() override;

    AudioInputFormat nativeFormat() const override { return format_; }
    std::optional<QString> inputName() const override { return name_; }
    void setBufferHandler(BufferHandler handler) override;
    void setConfigurationChangeHandler(ConfigurationChangeHandler handler) override;
    bool start(QString& errorDescription) override;
    void stop() override;
    bool isRunning() const override { return running_; }

    // Makes every later start() fail with `description`; an empty one lets starts succeed again.
    void failStarts(QString description) { startError_ = std::move(description); }
    // Hands interleaved samples in the native format (or the given one) to the buffer handler,
    // whether or not the input is running, as a buffer already in flight would arrive. Returns
    // false when no handler is installed.
    bool deliver(std::span<const float> interleaved);
    bool deliver(std::span<const float> interleaved, AudioInputFormat format);
    void announceConfigurationChange();
    // Called from the destructor, so a test can tell when the recorder dropped this input.
    void setOnDestroyed(std::function<void()> callback) { onDestroyed_ = std::move(callback); }

    int startCount() const { return startCount_; }
    int stopCount() const { return stopCount_; }
    bool hasBufferHandler() const;

private:
    AudioInputFormat format_;
    std::optional<QString> name_;
    QString startError_;
    std::atomic<bool> running_{false};
    int startCount_ = 0;
    int stopCount_ = 0;
    mutable std::mutex handlerMutex_; // held while a handler runs, as the contract requires
    BufferHandler bufferHandler_;
    ConfigurationChangeHandler changeHandler_;
    std::function<void()> onDestroyed_;
};

} // namespace sayloom::testing
