#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace sayloom {

// The identity service's answers as the manager reads them. Members are read as strings only: a
// member of another type counts as absent.

// A Secure Token refresh: the new tokens and the lifetime as text.
struct RefreshedTokens {
    QString idToken;
    QString refreshToken;
    QString expiresIn;
};
// Nothing unless the body is a JSON object with "id_token", "refresh_token" and "expires_in", the
// two tokens not empty: storing an empty token would lose the credentials we have.
std::optional<RefreshedTokens> decodeTokenRefresh(const QByteArray& body);

// The account sync: who the service says the user is.
struct SyncedUser {
    std::optional<QString> email;
    std::optional<QString> name;
};
// Throws JSONDecodingError when the body is not JSON; nothing when it holds no "user" object.
std::optional<SyncedUser> decodeAccountSync(const QByteArray& body);

// A sign-in endpoint's answer (Google's token endpoint, signInWithIdp) as a JSON object; nothing
// when the body is not one.
std::optional<QJsonObject> decodeSignInAnswer(const QByteArray& body);

// The account a signInWithIdp answer signs in.
struct IdpAccount {
    QString idToken;
    QString refreshToken;
    QString uid;
    std::optional<QString> expiresIn;
    std::optional<QString> email;
    std::optional<QString> displayName;
    std::optional<QString> photoUrl;
};
// Nothing when "idToken", "refreshToken" or "localId" is missing or empty.
std::optional<IdpAccount> idpAccount(const QJsonObject& answer);

} // namespace sayloom
