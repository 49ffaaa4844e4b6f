#pragma once

#include <cstdint>

namespace sayloom {

// Result code of one accessibility call, in the vocabulary the injector's rules are written in:
// 0 is success, the named negative values are the failures the rules tell apart. Adapters map
// what their desktop reports onto these codes.
using AXError = std::int32_t;

namespace ax_error {
inline constexpr AXError success = 0;
inline constexpr AXError failure = -25200;
inline constexpr AXError illegalArgument = -25201;
inline constexpr AXError invalidElement = -25202;
inline constexpr AXError cannotComplete = -25204;
inline constexpr AXError attributeUnsupported = -25205;
inline constexpr AXError notImplemented = -25208;
inline constexpr AXError apiDisabled = -25211;
inline constexpr AXError noValue = -25212;
} // namespace ax_error

} // namespace sayloom
