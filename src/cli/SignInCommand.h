#pragma once

#include "cli/Command.h"

namespace sayloom {

// `sayloom signin google|github`: signs in through the browser, in the running Sayloom when there
// is one.
Command signInCommand();

} // namespace sayloom
