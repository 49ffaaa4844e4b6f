#pragma once

#include <QString>

namespace sayloom {

// A deployment value: the environment variable `variable` when it is set and not empty (for
// self-hosting and tests), else the value this build was configured with.
QString deploymentValue(const char* variable, const char* buildValue);

} // namespace sayloom
