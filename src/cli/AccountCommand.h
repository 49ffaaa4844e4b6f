#pragma once

#include "cli/Command.h"

namespace sayloom {

// `sayloom account [--json]`: restores the signed-in state, syncs the account, loads the profile
// and prints who is signed in, the plan, the words used of the weekly limit and the trial (with
// --json, the account fields as one JSON object). Exit status 1 when nobody is signed in.
Command accountCommand();

} // namespace sayloom
