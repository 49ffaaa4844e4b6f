#pragma once

#include "cli/Command.h"

namespace sayloom {

// `sayloom doctor`: one line per part that dictation needs, saying whether it works and, when it
// does not, what the user can do. Exit status 0 when dictation can work, 1 otherwise.
Command doctorCommand();

} // namespace sayloom
