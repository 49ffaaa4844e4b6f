#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace sayloom::json {

// Strict reads of decoded service responses. Each throws JSONDecodingError when the value is
// there but of another type (a number where a string is required, 1.5 where an integer is);
// a null counts as absent for the optional reads.

// The body as a JSON object.
QJsonObject parseObject(const QByteArray& body);

std::optional<QString> optionalString(const QJsonObject& object, const QString& key);
QString requiredString(const QJsonObject& object, const QString& key);
std::optional<std::int64_t> optionalInteger(const QJsonObject& object, const QString& key);
std::int64_t requiredInteger(const QJsonObject& object, const QString& key);
std::optional<bool> optionalBool(const QJsonObject& object, const QString& key);
std::optional<QJsonObject> optionalObject(const QJsonObject& object, const QString& key);
QJsonObject requiredObject(const QJsonObject& object, const QString& key);

} // namespace sayloom::json
