#pragma once

#include <optional>

namespace sayloom {

// The account's usage status as the service reports it. Only these raw values form a status.
enum class UsageStatus : int {
    ok = 0,   // words are available
    hard = 3, // the weekly limit is reached; further dictations are refused
};

inline std::optional<UsageStatus> usageStatusFromRawValue(long long raw) {
    switch (raw) {
    case 0:
        return UsageStatus::ok;
    case 3:
        return UsageStatus::hard;
    default:
        return std::nullopt;
    }
}

inline int rawValue(UsageStatus status) { return static_cast<int>(status); }

} // namespace sayloom
