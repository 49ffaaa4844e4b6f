#include "insertion/AXFallbackCache.h"

namespace sayloom {

AXFallbackCache::AXFallbackCache(KeyValueStore& defaults) : defaults_(defaults) {
    // A missing key or a value of another kind (an array with a non-string in it does not read
    // as a string array) starts the cache empty.
    if (const auto stored = defaults_.stringArray(QString::fromLatin1(kStoreKey)))
        cachedSet_ = QSet<QString>(stored->cbegin(), stored->cend());
}

bool AXFallbackCache::contains(const QString& bundleID) const {
    const std::lock_guard guard(lock_);
    return cachedSet_.contains(bundleID);
}

void AXFallbackCache::add(const QString& bundleID) {
    const std::lock_guard guard(lock_);
    if (cachedSet_.contains(bundleID))
        return;
    if (cachedSet_.size() >= kMaximumEntries) {
        log_.error("AX fallback cache exceeded %ld entries — refusing to grow further",
                   kMaximumEntries);
        return;
    }
    cachedSet_.insert(bundleID);
    defaults_.setStringArray(QString::fromLatin1(kStoreKey),
                             QStringList(cachedSet_.cbegin(), cachedSet_.cend()));
    log_.info("Cached AX fallback for bundle %{public}s", bundleID);
}

} // namespace sayloom
