#include "platform/linux/PulseAudioInputFactory.h"

namespace sayloom::linux_desktop {

std::function<std::unique_ptr<AudioInput>()>
pulseAudioInputFactory(PulseAudioInput::Options options) {
    return [options = std::move(options)]() -> std::unique_ptr<AudioInput> {
        return PulseAudioInput::open(options);
    };
}

} // namespace sayloom::linux_desktop
