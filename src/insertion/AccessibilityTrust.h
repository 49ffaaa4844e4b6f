#pragma once

namespace sayloom {

// Whether this session lets us observe global keys and synthesise input; read fresh on every
// call.
class AccessibilityTrust {
public:
    virtual ~AccessibilityTrust() = default;
    virtual bool isProcessTrusted() = 0;
};

} // namespace sayloom
