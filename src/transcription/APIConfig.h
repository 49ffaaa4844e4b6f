#pragma once

#include "transcription/Endpoints.h"

#include <optional>

namespace sayloom::APIConfig {

// The service addresses of this process: the bases configured at build time, overridden by
// SAYLOOM_API_BASE_URL and SAYLOOM_WEBSITE_BASE_URL. Built on first use and kept.
const Endpoints& endpoints();

// Why the configured bases cannot be used (checked at start-up, before endpoints() is touched),
// or nothing when they can.
std::optional<QString> configurationError();

// Reads every address once, so that a malformed one stops the program at start-up.
void touchAll();

} // namespace sayloom::APIConfig
