#include "auth/IdentityAnswers.h"

#include "support/JSONDecodingError.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace sayloom {

namespace {

std::optional<QString> stringMember(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

std::optional<RefreshedTokens> decodeTokenRefresh(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto idToken = stringMember(object, QStringLiteral("id_token"));
    const auto refreshToken = stringMember(object, QStringLiteral("refresh_token"));
    const auto expiresIn = stringMember(object, QStringLiteral("expires_in"));
    if (!idToken || !refreshToken || !expiresIn || idToken->isEmpty() || refreshToken->isEmpty())
        return std::nullopt;
    return RefreshedTokens{*idToken, *refreshToken, *expiresIn};
}

std::optional<SyncedUser> decodeAccountSync(const QByteArray& body) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, parseError.errorString());
    const QJsonValue user = document.object().value(QStringLiteral("user"));
    if (!document.isObject() || !user.isObject())
        return std::nullopt;
    return SyncedUser{stringMember(user.toObject(), QStringLiteral("email")),
                      stringMember(user.toObject(), QStringLiteral("name"))};
}

std::optional<QJsonObject> decodeSignInAnswer(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<IdpAccount> idpAccount(const QJsonObject& answer) {
    const auto idToken = stringMember(answer, QStringLiteral("idToken"));
    const auto refreshToken = stringMember(answer, QStringLiteral("refreshToken"));
    const auto uid = stringMember(answer, QStringLiteral("localId"));
    if (!idToken || !refreshToken || !uid || idToken->isEmpty() || refreshToken->isEmpty() ||
        uid->isEmpty())
        return std::nullopt;
    return IdpAccount{*idToken,
                      *refreshToken,
                      *uid,
                      stringMember(answer, QStringLiteral("expiresIn")),
                      stringMember(answer, QStringLiteral("email")),
                      stringMember(answer, QStringLiteral("displayName")),
                      stringMember(answer, QStringLiteral("photoUrl"))};
}

} // namespace sayloom
