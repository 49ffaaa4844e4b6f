#include "LogCapture.h"

#include "auth/FirebaseAuthError.h"
#include "auth/SignInUtilities.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace sayloom;
using namespace sayloom::testing;

namespace {

QString jwt(const QJsonObject& payload) {
    return QStringLiteral("eyJhbGciOiJSUzI1NiJ9.") +
           QString::fromLatin1(
               QJsonDocument(payload)
                   .toJson(QJsonDocument::Compact)
                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)) +
           QStringLiteral(".c2lnbmF0dXJl");
}

TEST(SignInUtilitiesTest, RandomStringsAreFreshBase64UrlOf32Bytes) {
    const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString value = randomURLSafeString();
        EXPECT_TRUE(alphabet.match(value).hasMatch()) << value.toStdString();
        seen.insert(value);
    }
    EXPECT_EQ(seen.size(), 200);
}

TEST(SignInUtilitiesTest, AFailingRandomSourceIsLoggedAndThrown) {
    LogCapture logs;
    try {
        randomURLSafeString([](std::span<unsigned char>) { return 36; });
        FAIL() << "no error";
    } catch (const FirebaseAuthError& error) {
        EXPECT_EQ(error.code(), FirebaseAuthError::Code::randomGenerationFailed);
    }
    EXPECT_TRUE(logs.contains(QStringLiteral("auth"), LogLevel::error,
                              QStringLiteral("SecRandomCopyBytes failed: 36")));
}

TEST(SignInUtilitiesTest, TheChallengeIsTheS256TransformOfTheVerifier) {
    // The example pair of RFC 7636, appendix B.
    EXPECT_EQ(codeChallenge(QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
              QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
    EXPECT_EQ(codeChallenge(randomURLSafeString()).size(), 43);
}

TEST(SignInUtilitiesTest, ConstantTimeEqualsComparesBytesAndNeverMatchesEmpty) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"abc", "abc", true}, {"abc", "abd", false}, {"abc", "abcd", false},    {"", "", false},
        {"", "a", false},     {"é", "é", true},      {"é", "e\xcc\x81", false},
    };
    for (const auto& [a, b, equal] : cases)
        EXPECT_EQ(constantTimeEquals(QString::fromUtf8(a), QString::fromUtf8(b)), equal)
            << a << " / " << b;
}

TEST(SignInUtilitiesTest, JwtClaimsAreReadFromTheMiddlePieceOnly) {
    const QString token = jwt({{QStringLiteral("nonce"), QStringLiteral("n-1")},
                               {QStringLiteral("count"), 3},
                               {QStringLiteral("name"), QStringLiteral("Zoë ?>")}});
    const QString nonce = QStringLiteral("nonce");
    EXPECT_EQ(jwtClaim(token, nonce), QStringLiteral("n-1"));
    EXPECT_EQ(jwtClaim(token, QStringLiteral("name")), QStringLiteral("Zoë ?>"));
    EXPECT_EQ(jwtClaim(token, QStringLiteral("count")), std::nullopt) << "not a string";
    EXPECT_EQ(jwtClaim(token, QStringLiteral("absent")), std::nullopt);
    const QString payload = token.section(QLatin1Char('.'), 1, 1);
    for (const QString& malformed : {
             QStringLiteral("a.") + payload,                          // two pieces
             QStringLiteral("a.") + payload + QStringLiteral(".b.c"), // four
             QStringLiteral("a..") + payload,                         // empty middle dropped
             QStringLiteral("a.!!!!.b"),                              // not base64
             QStringLiteral("a.") + QStringLiteral("WzFd") + QStringLiteral(".b"), // [1]
             QStringLiteral("a.é.b"),
         })
        EXPECT_EQ(jwtClaim(malformed, nonce), std::nullopt) << malformed.toStdString();
    // "a..b.c" drops the empty piece and reads "b" as the payload.
    EXPECT_EQ(jwtClaim(QStringLiteral("a..") + payload + QStringLiteral(".c"), nonce),
              QStringLiteral("n-1"));
}

TEST(SignInUtilitiesTest, ATokenIsUnexpiredOnlyWithAnExpiryStrictlyAfterNow) {
    const WallInstant now = WallInstant(1'700'000'000s) + 400ms;
    const auto withExp = [](const QJsonValue& exp) { return jwt({{QStringLiteral("exp"), exp}}); };
    const std::tuple<QString, bool, const char*> cases[] = {
        {withExp(1'700'000'001), true, "a second later"},
        {withExp(1'700'000'000), false, "the current second"},
        {withExp(1'699'999'000), false, "in the past"},
        {withExp(1'700'000'000.5), true, "half a second later"},
        {withExp(QStringLiteral("1800000000")), false, "a string"},
        {jwt({}), false, "no exp"},
        {QStringLiteral("x.y"), false, "not a token"},
    };
    for (const auto& [token, unexpired, what] : cases)
        EXPECT_EQ(jwtIsUnexpired(token, now), unexpired) << what;
}

} // namespace
