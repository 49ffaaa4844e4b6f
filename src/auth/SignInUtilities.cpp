#include "auth/SignInUtilities.h"

#include "auth/FirebaseAuthError.h"
#include "support/Logger.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <openssl/err.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace sayloom {

namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QStringList jwtPieces(const QString& token) {
    return token.split(QLatin1Char('.'), Qt::SkipEmptyParts);
}

// The payload of a JWT as a JSON object, or nothing.
std::optional<QJsonObject> jwtPayload(const QString& token) {
    const QStringList pieces = jwtPieces(token);
    if (pieces.size() != 3)
        return std::nullopt;
    QString payload = pieces[1];
    payload.replace(QLatin1Char('-'), QLatin1Char('+')).replace(QLatin1Char('_'), QLatin1Char('/'));
    while (payload.size() % 4 != 0)
        payload.append(QLatin1Char('='));
    // Only ASCII can be base64; anything else must not turn into bytes by accident.
    if (std::any_of(payload.cbegin(), payload.cend(), [](QChar c) { return c.unicode() > 127; }))
        return std::nullopt;
    const auto decoded =
        QByteArray::fromBase64Encoding(payload.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*decoded);
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

int systemSecureRandom(std::span<unsigned char> bytes) {
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) == 1)
        return 0;
    const unsigned long error = ERR_get_error();
    return error == 0 ? -1 : static_cast<int>(ERR_GET_REASON(error));
}

QString randomURLSafeString(const SecureRandomSource& source) {
    std::array<unsigned char, 32> bytes{};
    if (const int status = source(bytes); status != 0) {
        Logger(QStringLiteral("auth")).error("SecRandomCopyBytes failed: %d", status);
        throw FirebaseAuthError::randomGenerationFailed();
    }
    const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return QString::fromLatin1(raw.toBase64(kBase64Url));
}

QString codeChallenge(const QString& verifier) {
    const QByteArray digest =
        QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(kBase64Url));
}

bool constantTimeEquals(const QString& a, const QString& b) {
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    if (x.size() != y.size() || x.isEmpty())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < x.size(); ++i)
        difference |= static_cast<unsigned char>(x[i] ^ y[i]);
    return difference == 0;
}

std::optional<QString> jwtClaim(const QString& token, const QString& name) {
    const std::optional<QJsonObject> payload = jwtPayload(token);
    if (!payload)
        return std::nullopt;
    const QJsonValue value = payload->value(name);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

bool jwtIsUnexpired(const QString& token, WallInstant now) {
    const std::optional<QJsonObject> payload = jwtPayload(token);
    if (!payload)
        return false;
    const QJsonValue exp = payload->value(QStringLiteral("exp"));
    if (!exp.isDouble() || !std::isfinite(exp.toDouble()))
        return false;
    const double nowSeconds = std::chrono::duration<double>(now.time_since_epoch()).count();
    return exp.toDouble() > nowSeconds;
}

bool hasJwtShape(const QString& token) { return jwtPieces(token).size() == 3; }

} // namespace sayloom
