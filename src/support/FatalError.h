#pragma once

#include <QString>

namespace sayloom {

// Stops the program after logging `message` at error level and writing it to stderr. For build
// defects that must surface at start-up, never for conditions a user can cause.
[[noreturn]] void fatalError(const QString& message);

} // namespace sayloom
