#include "support/JsonFileKeyValueStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

namespace sayloom {

namespace {

const QString kDateKey = QStringLiteral("date");

// A date as the file holds it: ISO 8601 in UTC, to the millisecond. Empty for a date whose UTC
// year is beyond what ISO 8601 writes (0 to 9999).
QString dateText(const QDateTime& date) { return date.toUTC().toString(Qt::ISODateWithMs); }

std::optional<StoredValue> decode(const QJsonValue& json) {
    switch (json.type()) {
    case QJsonValue::String:
        return StoredValue(json.toString());
    case QJsonValue::Bool:
        return StoredValue(json.toBool());
    case QJsonValue::Double: {
        // Whole numbers written as such parse as exact 64-bit integers; beyond 2^53 a double
        // would no longer hold them.
        const QVariant exact = json.toVariant();
        if (exact.typeId() == QMetaType::LongLong)
            return StoredValue(exact.toLongLong());
        const double number = json.toDouble();
        if (std::isfinite(number) && std::floor(number) == number && std::fabs(number) < 9.0e15)
            return StoredValue(static_cast<qint64>(number));
        return std::nullopt; // fractional numbers are no type we store
    }
    case QJsonValue::Array: {
        QStringList list;
        for (const QJsonValue& element : json.toArray()) {
            if (!element.isString())
                return std::nullopt;
            list << element.toString();
        }
        return StoredValue(list);
    }
    case QJsonValue::Object: {
        const QJsonObject object = json.toObject();
        if (object.size() == 1 && object.value(kDateKey).isString()) {
            const QDateTime date =
                QDateTime::fromString(object.value(kDateKey).toString(), Qt::ISODateWithMs);
            // Only a date that its written form gives back: one that turns into another year
            // in UTC (0001-01-01T00:30+01:00) may have no written form, and the next write
            // would lose it. It reads as nothing from the start instead.
            if (date.isValid() && QDateTime::fromString(dateText(date), Qt::ISODateWithMs) == date)
                return StoredValue(date);
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

QJsonValue encode(const StoredValue& value) {
    struct Visitor {
        QJsonValue operator()(const QString& v) const { return v; }
        QJsonValue operator()(bool v) const { return v; }
        QJsonValue operator()(qint64 v) const { return QJsonValue(v); }
        QJsonValue operator()(const QDateTime& v) const {
            return QJsonObject{{kDateKey, dateText(v)}};
        }
        QJsonValue operator()(const QStringList& v) const { return QJsonArray::fromStringList(v); }
    };
    return std::visit(Visitor{}, value);
}

} // namespace

JsonFileKeyValueStore::JsonFileKeyValueStore(QString path) : path_(std::move(path)) {
    if (load(values_) == LoadResult::unreadable)
        setAsideBeforeWrite_ = true;
}

QString JsonFileKeyValueStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/sayloom/settings.json");
}

std::optional<StoredValue> JsonFileKeyValueStore::value(const QString& key) const {
    const auto it = values_.constFind(key);
    if (it == values_.cend())
        return std::nullopt;
    return *it;
}

void JsonFileKeyValueStore::setValue(const QString& key, const StoredValue& value) {
    update(key, value);
}

void JsonFileKeyValueStore::remove(const QString& key) { update(key, std::nullopt); }

JsonFileKeyValueStore::LoadResult JsonFileKeyValueStore::load(Map& into) const {
    QFile file(path_);
    if (!file.exists())
        return LoadResult::missing;
    if (!file.open(QIODevice::ReadOnly)) {
        log_.error("Cannot read settings file %{public}s: %{public}s", path_, file.errorString());
        return LoadResult::unreadable;
    }
    QString problem;
    std::optional<Map> values = parse(file.readAll(), &problem);
    if (!values) {
        log_.error("Settings file %{public}s is not a JSON object (%{public}s); using defaults",
                   path_, problem);
        return LoadResult::unreadable;
    }
    into = std::move(*values);
    return LoadResult::loaded;
}

std::optional<JsonFileKeyValueStore::Map> JsonFileKeyValueStore::parse(const QByteArray& bytes,
                                                                       QString* problem) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        if (problem)
            *problem = parseError.errorString();
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    Map values;
    for (auto it = object.begin(); it != object.end(); ++it) {
        // A value of a type we do not store is dropped here and so reads as absent.
        if (auto decoded = decode(it.value()))
            values.insert(it.key(), *decoded);
    }
    return values;
}

QByteArray JsonFileKeyValueStore::serialize(const Map& values) {
    QJsonObject object;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        object.insert(it.key(), encode(it.value()));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

void JsonFileKeyValueStore::update(const QString& key, const std::optional<StoredValue>& value) {
    if (value)
        values_.insert(key, *value);
    else
        values_.remove(key);

    const QFileInfo info(path_);
    QDir().mkpath(info.absolutePath());

    if (setAsideBeforeWrite_) {
        const QString aside = path_ + QStringLiteral(".corrupt");
        QFile::remove(aside);
        if (!QFile::rename(path_, aside)) {
            log_.error("Cannot move the unreadable settings file aside; not writing %{public}s",
                       path_);
            return;
        }
        log_.error("Moved the unreadable settings file to %{public}s", aside);
        setAsideBeforeWrite_ = false;
    }

    // Merge into the file as it is now, so that keys another process wrote are kept.
    Map merged;
    if (load(merged) == LoadResult::unreadable) {
        log_.error("Settings file changed into something unreadable; not writing %{public}s",
                   path_);
        return;
    }
    if (value)
        merged.insert(key, *value);
    else
        merged.remove(key);

    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        log_.error("Cannot write settings file %{public}s: %{public}s", path_, file.errorString());
        return;
    }
    file.write(serialize(merged));
    if (!file.commit())
        log_.error("Cannot write settings file %{public}s: %{public}s", path_, file.errorString());
    values_ = merged;
}

} // namespace sayloom
