#pragma once

#include "audio/AudioInput.h"
#include "platform/linux/PulseAudioInput.h"

#include <functional>
#include <memory>

namespace sayloom::linux_desktop {

// What the recorder calls whenever it needs the current default microphone: a fresh
// PulseAudioInput for the default source of the user's sound server. Each call connects anew, so a
// source or server that changed since the last recording is picked up.
std::function<std::unique_ptr<AudioInput>()>
pulseAudioInputFactory(PulseAudioInput::Options options = {});

} // namespace sayloom::linux_desktop
