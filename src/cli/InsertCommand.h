#pragma once

#include "cli/Command.h"

namespace sayloom {

// `sayloom insert [--delay SECONDS] [--raw] TEXT`: after the delay (time to focus a field),
// inserts TEXT into the focused field of the frontmost application the way a dictation's text
// is inserted, casing and spacing included unless --raw, and prints the application, the road
// taken and the injector's result. It stays until a pending clipboard restore has run. Exit
// status 1 when the injector's result was false.
Command insertCommand();

} // namespace sayloom
