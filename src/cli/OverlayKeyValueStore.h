#pragma once

#include "support/KeyValueStore.h"

#include <QMap>
#include <QSet>

namespace sayloom {

// Reads through to another store; writes stay in memory. For a command whose options change the
// settings for one run without touching the user's stored choices.
class OverlayKeyValueStore final : public KeyValueStore {
public:
    explicit OverlayKeyValueStore(const KeyValueStore& base) : base_(base) {}

    std::optional<StoredValue> value(const QString& key) const override {
        if (removed_.contains(key))
            return std::nullopt;
        const auto it = overrides_.constFind(key);
        return it != overrides_.cend() ? std::optional<StoredValue>(*it) : base_.value(key);
    }
    void setValue(const QString& key, const StoredValue& value) override {
        removed_.remove(key);
        overrides_.insert(key, value);
    }
    void remove(const QString& key) override {
        overrides_.remove(key);
        removed_.insert(key);
    }

private:
    const KeyValueStore& base_;
    QMap<QString, StoredValue> overrides_;
    QSet<QString> removed_;
};

} // namespace sayloom
