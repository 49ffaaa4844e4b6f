#pragma once

#include "cli/Command.h"

namespace sayloom {

// `sayloom prepare INPUT -o OUTPUT.ogg`: reads any audio file libsndfile can read, converts it to
// the recording format (16 kHz mono float) with the capture path's converter, prepares it exactly
// as a dictation is prepared for upload, writes the Ogg Opus stream and prints
// `raw=<samples> sent=<sentSampleCount> bytes=<size>`. Exit status 1 with the reason on stderr
// when the input cannot be read or prepared, or the output cannot be written; 2 for a usage error.
Command prepareCommand();

} // namespace sayloom
