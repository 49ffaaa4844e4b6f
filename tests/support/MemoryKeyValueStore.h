#pragma once

#include "support/KeyValueStore.h"

#include <QMap>

namespace sayloom::testing {

// The user-defaults store in memory, with a record of every write for assertions.
class MemoryKeyValueStore final : public KeyValueStore {
public:
    std::optional<StoredValue> value(const QString& key) const override {
        const auto it = values_.constFind(key);
        if (it == values_.cend())
            return std::nullopt;
        return *it;
    }
    void setValue(const QString& key, const StoredValue& value) override {
        values_.insert(key, value);
        writes_.append(key);
    }
    void remove(const QString& key) override {
        values_.remove(key);
        writes_.append(key);
    }

    // Keys written (set or removed), in order, one entry per write.
    const QStringList& writes() const { return writes_; }
    void clearWrites() { writes_.clear(); }

private:
    QMap<QString, StoredValue> values_;
    QStringList writes_;
};

} // namespace sayloom::testing
