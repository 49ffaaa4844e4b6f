#pragma once

#include "support/Scheduler.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <span>

namespace sayloom {

// Fills `bytes` from a cryptographically secure source; returns 0 on success, or the source's
// error status.
using SecureRandomSource = std::function<int(std::span<unsigned char> bytes)>;

// The system's secure random generator (OpenSSL's).
int systemSecureRandom(std::span<unsigned char> bytes);

// 32 secure random bytes as unpadded base64url: 43 characters of A-Z, a-z, 0-9, "-" and "_".
// Throws FirebaseAuthError::randomGenerationFailed (logged with the status) when the source fails.
QString randomURLSafeString(const SecureRandomSource& source = systemSecureRandom);

// The PKCE "S256" challenge of a verifier: SHA-256 of its UTF-8 bytes as unpadded base64url.
QString codeChallenge(const QString& verifier);

// Equality of the UTF-8 bytes, in time that does not depend on where they differ. Two empty
// strings are not equal: an empty expected value never matches.
bool constantTimeEquals(const QString& a, const QString& b);

// The string member `name` of a JWT's payload, read without verifying the signature; nothing
// when the token is not three dot-separated pieces, the payload is not base64url JSON of an
// object, or the member is not a string.
std::optional<QString> jwtClaim(const QString& token, const QString& name);

// True only when the JWT's payload has a numeric "exp" strictly later than `now`.
bool jwtIsUnexpired(const QString& token, WallInstant now);

// True when the token splits at "." into exactly three non-empty pieces.
bool hasJwtShape(const QString& token);

} // namespace sayloom
