#include "support/UrlPolicy.h"

#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace sayloom;

inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

TEST(UrlPolicyTest, RecognisesLoopbackHostsOnly) {
    const std::pair<const char*, bool> cases[] = {
        {"localhost", true},
        {"LocalHost", true},
        {"127.0.0.1", true},
        {"127.255.0.9", true},
        {"::1", true},
        {"[::1]", true},
        {"10.0.0.1", false},
        {"192.168.1.20", false},
        {"0.0.0.0", false},
        {"::2", false},
        {"example.com", false},
        {"localhost.example.com", false},
        {"127.0.0.1.nip.io", false},
        {"", false},
    };
    for (const auto& [host, loopback] : cases) {
        SCOPED_TRACE(host);
        EXPECT_EQ(isLoopbackHost(QString::fromLatin1(host)), loopback);
    }
}

TEST(UrlPolicyTest, AllowsHttpsEverywhereAndPlainHttpOnlyToLoopback) {
    const std::pair<const char*, bool> cases[] = {
        {"https://api.sayloom.ai/v1/transcribe", true},
        {"HTTPS://EXAMPLE.COM/", true},
        {"https://10.0.0.1:8443/", true},
        {"http://127.0.0.1:8080/v1", true},
        {"http://localhost/", true},
        {"http://[::1]:9000/", true},
        {"http://api.sayloom.ai/v1", false},
        {"http://10.0.0.1/", false},
        {"ftp://127.0.0.1/", false},
        {"file:///etc/passwd", false},
    };
    for (const auto& [url, allowed] : cases) {
        SCOPED_TRACE(url);
        EXPECT_EQ(isAllowedScheme(QUrl(QString::fromLatin1(url))), allowed);
    }
}

TEST(UrlPolicyTest, EncodesQueryPartsSoThatTheyDecodeBackUnchanged) {
    using Items = QList<QPair<QString, QString>>;
    const std::pair<Items, const char*> cases[] = {
        {{{"q", "hello world"}}, "q=hello%20world"},
        {{{"text", "Grüße"}}, "text=Gr%C3%BC%C3%9Fe"},
        {{{"a", "x&y=z+w#f%"}}, "a=x%26y%3Dz%2Bw%23f%25"},
        {{{"a b", "c"}}, "a%20b=c"},
        {{{"b", "2"}, {"a", "1"}, {"b", "3"}}, "b=2&a=1&b=3"},
        {{{"redirect_uri", "sayloom://auth/callback"}, {"k", ""}},
         "redirect_uri=sayloom://auth/callback&k="},
        {{}, ""},
    };
    for (const auto& [items, expected] : cases) {
        SCOPED_TRACE(expected);
        const QString encoded = encodeQuery(items);
        EXPECT_EQ(encoded, QString::fromUtf8(expected));
        // What a server decodes must be what we meant, in the same order.
        const QUrlQuery decoded(encoded);
        EXPECT_EQ(decoded.queryItems(QUrl::FullyDecoded), items);
    }
}

TEST(UrlPolicyTest, ALoggedUrlKeepsItsShapeButNoneOfItsValues) {
    const std::pair<const char*, const char*> cases[] = {
        {"com.googleusercontent.apps.1-a:/oauth2callback?code=4/0Ab&state=s1",
         "com.googleusercontent.apps.1-a:/oauth2callback?code=<redacted>&state=<redacted>"},
        {"sayloom://auth/link-github?githubToken=gho_1",
         "sayloom://auth/link-github?githubToken=<redacted>"},
        {"sayloom://user:pw@auth/x?a%20b=1&tok3n#frag",
         "sayloom://auth/x?<redacted>=<redacted>&tok3n=<redacted>"},
        {"sayloom://upgrade", "sayloom://upgrade"},
    };
    for (const auto& [url, logged] : cases)
        EXPECT_EQ(redactedForLog(QUrl(QString::fromLatin1(url))), QString::fromLatin1(logged));
}

} // namespace
