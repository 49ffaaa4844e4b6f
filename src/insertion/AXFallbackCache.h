#pragma once

#include "insertion/AXFallbackCaching.h"
#include "support/KeyValueStore.h"
#include "support/Logger.h"

#include <QSet>

#include <mutex>

namespace sayloom {

// Remembers, across launches, the applications in which a direct insertion failed in a way that
// will not get better, so that they are pasted into at once. At most 200 entries, never removed.
// The store is read only at construction; after that the set in memory is authoritative and every
// successful add writes it through.
class AXFallbackCache final : public AXFallbackCaching {
public:
    static constexpr const char* kStoreKey = "com.sayloom.ax-fallback-bundles";
    static constexpr qsizetype kMaximumEntries = 200;

    explicit AXFallbackCache(KeyValueStore& defaults);

    bool contains(const QString& bundleID) const override;
    void add(const QString& bundleID) override;

private:
    KeyValueStore& defaults_;
    // Guards cachedSet_ and the write-back, held around both together.
    mutable std::mutex lock_;
    QSet<QString> cachedSet_;
    Logger log_{QStringLiteral("ax-injector")};
};

} // namespace sayloom
