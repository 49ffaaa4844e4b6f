#pragma once

namespace sayloom {

// The desktop's wish about animations, as the recording indicator needs it.
class MotionPreference {
public:
    virtual ~MotionPreference() = default;

    // True when the user asked for reduced motion (animations off). Asked each time the indicator
    // appears; must answer without waiting on another process.
    virtual bool reduceMotion() const = 0;
};

} // namespace sayloom
