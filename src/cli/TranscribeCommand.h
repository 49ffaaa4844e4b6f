#pragma once

#include "cli/Command.h"

namespace sayloom {

// `sayloom transcribe INPUT [--language KEY] [--tone TONE] [--translate-to KEY] [--json]`: reads
// the audio as `sayloom prepare` does and sends it to the service as a dictation would, with the
// signed-in account and the stored settings (the options override them for this run only).
// Prints the transcript, or with --json every field of the result. Exit status 1 with the error's
// description on stderr when it fails; 2 for a usage error (unknown keys and tones included).
Command transcribeCommand();

} // namespace sayloom
