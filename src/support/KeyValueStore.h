#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace sayloom {

// One stored value, with its type kept: a read that asks for another type gets nothing.
using StoredValue = std::variant<QString, bool, qint64, QDateTime, QStringList>;

// The user-defaults store: typed values under string keys. Main thread only.
class KeyValueStore {
public:
    virtual ~KeyValueStore() = default;

    virtual std::optional<StoredValue> value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const StoredValue& value) = 0;
    virtual void remove(const QString& key) = 0;

    // Typed reads: nothing when the key is absent or holds another type.
    std::optional<QString> string(const QString& key) const { return as<QString>(key); }
    std::optional<bool> boolean(const QString& key) const { return as<bool>(key); }
    std::optional<qint64> integer(const QString& key) const { return as<qint64>(key); }
    std::optional<QDateTime> date(const QString& key) const { return as<QDateTime>(key); }
    std::optional<QStringList> stringArray(const QString& key) const {
        return as<QStringList>(key);
    }

    void setString(const QString& key, const QString& v) { setValue(key, v); }
    void setBoolean(const QString& key, bool v) { setValue(key, v); }
    void setInteger(const QString& key, qint64 v) { setValue(key, v); }
    void setDate(const QString& key, const QDateTime& v) { setValue(key, v); }
    void setStringArray(const QString& key, const QStringList& v) { setValue(key, v); }

private:
    template <typename T>
    std::optional<T> as(const QString& key) const {
        const auto stored = value(key);
        if (!stored)
            return std::nullopt;
        if (const T* typed = std::get_if<T>(&*stored))
            return *typed;
        return std::nullopt;
    }
};

} // namespace sayloom
