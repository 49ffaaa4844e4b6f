#pragma once

#include <QString>

#include <optional>

namespace sayloom {

// The application whose window is active.
struct RunningApplication {
    qint64 processIdentifier = 0;
    // The application identifier (an application id, desktop-file id or window class); nothing
    // when the window names none.
    std::optional<QString> applicationID;
};

// Which application is in front now. Main thread only.
class FrontmostApplicationSource {
public:
    virtual ~FrontmostApplicationSource() = default;
    // Nothing when no window is active.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
};

} // namespace sayloom
