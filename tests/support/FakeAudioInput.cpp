#include "FakeAudioInput.h"

#include <algorithm>

namespace sayloom::testing {

FakeAudioInput::FakeAudioInput(AudioInputFormat format, std::optional<QString> name)
    : format_(format)
    , name_(std::move(name)) {}

FakeAudioInput::~FakeAudioInput() {
    if (onDestroyed_)
        onDestroyed_();
}

void FakeAudioInput::setBufferHandler(BufferHandler handler) {
    std::lock_guard lock(handlerMutex_);
    bufferHandler_ = std::move(handler);
}

void FakeAudioInput::setConfigurationChangeHandler(ConfigurationChangeHandler handler) {
    std::lock_guard lock(handlerMutex_);
    changeHandler_ = std::move(handler);
}

bool FakeAudioInput::start(QString& errorDescription) {
    ++startCount_;
    if (!startError_.isEmpty()) {
        errorDescription = startError_;
        return false;
    }
    running_ = true;
    return true;
}

void FakeAudioInput::stop() {
    ++stopCount_;
    running_ = false;
}

bool FakeAudioInput::deliver(std::span<const float> interleaved) {
    return deliver(interleaved, format_);
}

bool FakeAudioInput::deliver(std::span<const float> interleaved, AudioInputFormat format) {
    std::lock_guard lock(handlerMutex_);
    if (!bufferHandler_)
        return false;
    const std::size_t channels = static_cast<std::size_t>(std::max(format.channels, 1));
    bufferHandler_(AudioInputBuffer{interleaved.data(), interleaved.size() / channels,
                                    format.channels, format.sampleRate});
    return true;
}

void FakeAudioInput::announceConfigurationChange() {
    std::lock_guard lock(handlerMutex_);
    if (changeHandler_)
        changeHandler_();
}

bool FakeAudioInput::hasBufferHandler() const {
    std::lock_guard lock(handlerMutex_);
    return static_cast<bool>(bufferHandler_);
}

} // namespace sayloom::testing
