#pragma once

#include "cli/Command.h"

namespace sayloom {

// `sayloom record -o OUTPUT.wav [--seconds N]`: records the default microphone through the
// dictation recorder until Ctrl+C (or N seconds, or the recorder's ten-minute limit), shows a live
// level meter when stderr is a terminal, writes what the recorder captured as a 16 kHz mono WAV
// and prints `samples=<n> seconds=<s> rms=<r>`. Exit status 1 when no microphone can be recorded,
// the device changed mid-recording (what was captured is still written) or the file cannot be
// written; 2 for a usage error.
Command recordCommand();

} // namespace sayloom
