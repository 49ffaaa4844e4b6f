#pragma once

#include "cli/Command.h"

namespace sayloom {

// `sayloom signout`: signs out locally, forgetting the stored credentials and the cached account
// fields. Exit status 1 when nobody is signed in.
Command signOutCommand();

} // namespace sayloom
