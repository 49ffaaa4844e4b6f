#pragma once

#include <QString>

namespace sayloom {

// The applications in which direct insertion is skipped. Safe from any thread.
class AXFallbackCaching {
public:
    virtual ~AXFallbackCaching() = default;
    virtual bool contains(const QString& bundleID) const = 0;
    virtual void add(const QString& bundleID) = 0;
};

} // namespace sayloom
