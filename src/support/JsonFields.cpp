#include "support/JsonFields.h"

#include "support/JSONDecodingError.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <cmath>

namespace sayloom::json {

namespace {

[[noreturn]] void typeMismatch(const QString& key, const char* expected) {
    throw JSONDecodingError(JSONDecodingError::Kind::typeMismatch,
                            QStringLiteral("\"%1\" is not %2").arg(key, QLatin1String(expected)));
}

[[noreturn]] void missing(const QString& key) {
    throw JSONDecodingError(JSONDecodingError::Kind::keyNotFound,
                            QStringLiteral("\"%1\" is missing").arg(key));
}

bool present(const QJsonValue& value) { return !value.isUndefined() && !value.isNull(); }

} // namespace

QJsonObject parseObject(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, error.errorString());
    if (!document.isObject())
        throw JSONDecodingError(JSONDecodingError::Kind::typeMismatch,
                                QStringLiteral("the body is not a JSON object"));
    return document.object();
}

std::optional<QString> optionalString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!present(value))
        return std::nullopt;
    if (!value.isString())
        typeMismatch(key, "a string");
    return value.toString();
}

QString requiredString(const QJsonObject& object, const QString& key) {
    if (auto value = optionalString(object, key))
        return *value;
    missing(key);
}

std::optional<std::int64_t> optionalInteger(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!present(value))
        return std::nullopt;
    if (!value.isDouble())
        typeMismatch(key, "an integer");
    const QVariant exact = value.toVariant();
    if (exact.typeId() == QMetaType::LongLong)
        return exact.toLongLong();
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::floor(number) != number || std::fabs(number) > 9.0e18)
        typeMismatch(key, "an integer");
    return static_cast<std::int64_t>(number);
}

std::int64_t requiredInteger(const QJsonObject& object, const QString& key) {
    if (auto value = optionalInteger(object, key))
        return *value;
    missing(key);
}

std::optional<bool> optionalBool(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!present(value))
        return std::nullopt;
    if (!value.isBool())
        typeMismatch(key, "a Boolean");
    return value.toBool();
}

std::optional<QJsonObject> optionalObject(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!present(value))
        return std::nullopt;
    if (!value.isObject())
        typeMismatch(key, "an object");
    return value.toObject();
}

QJsonObject requiredObject(const QJsonObject& object, const QString& key) {
    if (auto value = optionalObject(object, key))
        return *value;
    missing(key);
}

} // namespace sayloom::json
