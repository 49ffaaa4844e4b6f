#include "LoopbackHttpServer.h"
#include "TaskProbe.h"

#include "support/QtURLSession.h"
#include "support/URLError.h"

#include <QElapsedTimer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

using namespace std::chrono_literals;
using namespace sayloom;
using sayloom::testing::LoopbackHttpServer;
using sayloom::testing::TaskProbe;

inline void PrintTo(const QByteArray& bytes, std::ostream* os) { *os << bytes.toStdString(); }
inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace {

// Upper bound for any single exchange with the loopback server; exchanges end far sooner.
constexpr int kBoundMs = 10'000;

using Probe = TaskProbe<URLSessionResult>;
using Responder = LoopbackHttpServer::Responder;
using Request = LoopbackHttpServer::Request;

// Counts the requests that reach the network layer at all.
class CountingNetworkAccessManager final : public QNetworkAccessManager {
public:
    int created = 0;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* data) override {
        ++created;
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

int urlErrorCode(const Probe& probe) {
    const auto error = probe.errorAs<URLError>();
    return error ? error->code() : 0;
}

class HttpSeamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isListening()); }

    // Starts the exchange and runs the event loop until it ends (or the bound passes).
    Probe run(URLRequest request, CancellationToken token = {}) {
        auto probe = Probe::start(session.data(std::move(request), std::move(token)));
        EXPECT_TRUE(QTest::qWaitFor([&] { return probe.done(); }, kBoundMs));
        return probe;
    }

    URLRequest get(const QString& path) {
        URLRequest request;
        request.url = server.url(path);
        return request;
    }

    LoopbackHttpServer server;
    QtURLSession session;
};

TEST_F(HttpSeamTest, ReturnsStatusHeadersAndBodyOfASuccessfulExchange) {
    server.setHandler([](const Request&, Responder& responder) {
        responder.respond(200, R"({"ok":true})",
                          {{"Content-Type", "application/json"}, {"X-Request-Id", "r-17"}});
    });
    const URLRequest request = get("/v1/status?verbose=1");
    const Probe probe = run(request);

    ASSERT_FALSE(probe.failed()) << localizedDescription(probe.error()).toStdString();
    EXPECT_EQ(probe.value().response.statusCode, 200);
    EXPECT_EQ(probe.value().data, R"({"ok":true})");
    EXPECT_EQ(probe.value().response.value("x-request-id"), "r-17");
    EXPECT_EQ(probe.value().response.value("CONTENT-TYPE"), "application/json");
    EXPECT_EQ(probe.value().response.url, request.url);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0].method, "GET");
    EXPECT_EQ(server.requests()[0].target, "/v1/status?verbose=1");
}

TEST_F(HttpSeamTest, DeliversMethodHeadersAndBinaryBodyIntactOverOneConnection) {
    server.setHandler([](const Request&, Responder& responder) { responder.respond(204); });
    QByteArray body;
    for (int i = 0; i < 256; ++i)
        body.append(static_cast<char>(i)); // NULs, CR and LF included
    body = body.repeated(400);

    URLRequest post = get("/v1/transcribe?lang=de&hint=a%20b");
    post.httpMethod = "POST";
    post.httpBody = body;
    post.setValue("Bearer token-1", "Authorization");
    post.setValue("audio/ogg", "Content-Type");
    post.setValue("42", "X-Sample-Count");
    const Probe posted = run(post);
    ASSERT_FALSE(posted.failed()) << localizedDescription(posted.error()).toStdString();
    EXPECT_EQ(posted.value().response.statusCode, 204);

    URLRequest del = get("/v1/session/7");
    del.httpMethod = "DELETE";
    const Probe deleted = run(del);
    ASSERT_FALSE(deleted.failed()) << localizedDescription(deleted.error()).toStdString();

    ASSERT_EQ(server.requests().size(), 2);
    const Request& received = server.requests()[0];
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.target, "/v1/transcribe?lang=de&hint=a%20b");
    EXPECT_EQ(received.header("authorization"), "Bearer token-1");
    EXPECT_EQ(received.header("Content-Type"), "audio/ogg");
    EXPECT_EQ(received.header("x-sample-count"), "42");
    EXPECT_EQ(received.body.size(), body.size());
    EXPECT_TRUE(received.body == body);
    EXPECT_EQ(server.requests()[1].method, "DELETE");
    EXPECT_TRUE(server.requests()[1].body.isEmpty());
    EXPECT_EQ(server.requests()[1].connection, received.connection) << "the connection is reused";
}

// Qt reports these statuses as reply errors; the seam must still hand back status and body.
TEST_F(HttpSeamTest, ErrorStatusesComeBackAsResponsesWithTheirBody) {
    struct Case {
        int status;
        LoopbackHttpServer::HeaderList headers;
        QByteArray body;
    };
    const Case cases[] = {
        {401, {{"WWW-Authenticate", R"(Bearer realm="api")"}}, R"({"error":"token expired"})"},
        {401, {}, "unauthorized"},
        {403, {}, "forbidden"},
        {404, {}, "no such route"},
        {407, {{"Proxy-Authenticate", R"(Basic realm="p")"}}, "proxy says no"},
        {429, {{"Retry-After", "3"}}, R"({"error":"slow down"})"},
        {500, {}, "boom"},
        {503, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        server.setHandler([&c](const Request&, Responder& responder) {
            responder.respond(c.status, c.body, c.headers);
        });
        const Probe probe = run(get("/v1/thing"));
        ASSERT_FALSE(probe.failed()) << localizedDescription(probe.error()).toStdString();
        EXPECT_EQ(probe.value().response.statusCode, c.status);
        EXPECT_EQ(probe.value().data, c.body);
        for (const auto& [name, value] : c.headers)
            EXPECT_EQ(probe.value().response.value(name), QString::fromUtf8(value));
    }
}

TEST_F(HttpSeamTest, RefusedConnectionIsCannotConnectToHost) {
    quint16 closedPort = 0;
    {
        QTcpServer placeholder;
        ASSERT_TRUE(placeholder.listen(QHostAddress::LocalHost, 0));
        closedPort = placeholder.serverPort();
    }
    URLRequest request;
    request.url = QUrl(QStringLiteral("http://127.0.0.1:%1/v1/status").arg(closedPort));
    EXPECT_EQ(urlErrorCode(run(request)), URLError::cannotConnectToHost);
}

TEST_F(HttpSeamTest, SilenceLongerThanTheTimeoutIntervalIsTimedOut) {
    struct Case {
        const char* name;
        std::function<void(Responder&)> answer;
    };
    const Case cases[] = {
        {"no answer at all", [](Responder& r) { r.neverAnswer(); }},
        {"headers and part of the body",
         [](Responder& r) { r.writeRaw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setHandler([&c](const Request&, Responder& responder) { c.answer(responder); });
        URLRequest request = get("/v1/slow");
        request.timeoutInterval = 300ms;
        QElapsedTimer elapsed;
        elapsed.start();
        const Probe probe = run(request);
        EXPECT_EQ(urlErrorCode(probe), URLError::timedOut);
        EXPECT_GE(elapsed.elapsed(), 250);
        EXPECT_LT(elapsed.elapsed(), 5000);
    }
}

TEST_F(HttpSeamTest, DroppedConnectionIsNetworkConnectionLost) {
    struct Case {
        const char* name;
        std::function<void(Responder&)> answer;
    };
    const Case cases[] = {
        {"before any answer", [](Responder& r) { r.dropConnection(); }},
        {"in the middle of the body",
         [](Responder& r) {
             r.writeRaw("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial");
             r.dropConnection();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.setHandler([&c](const Request&, Responder& responder) { c.answer(responder); });
        EXPECT_EQ(urlErrorCode(run(get("/v1/flaky"))), URLError::networkConnectionLost);
    }
}

// The server takes the whole request in and closes the connection without an answer. Whether
// the service acted on it is unknown, so the request must not go out a second time behind the
// caller's back: one request arrives and the caller hears of the lost connection.
TEST_F(HttpSeamTest, RequestCutOffAfterItArrivedIsNotSentAgain) {
    struct Case {
        const char* name;
        QByteArray method;
        QByteArray body;
        // A first exchange leaves a kept-alive connection that the dropped request reuses.
        bool reuse;
    };
    const Case cases[] = {
        {"POST on a new connection", "POST", QByteArray(4096, 'a'), false},
        {"POST on a reused connection", "POST", QByteArray(4096, 'a'), true},
        {"POST without a body", "POST", {}, true},
        {"GET on a new connection", "GET", {}, false},
        {"GET on a reused connection", "GET", {}, true},
    };
    server.setHandler([](const Request& request, Responder& responder) {
        if (request.path() == "/v1/drop")
            responder.dropConnection();
        else
            responder.respond(200, "ok");
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QtURLSession fresh; // a session of its own: no connection left over from other cases
        auto exchange = [&](URLRequest request) {
            auto probe = Probe::start(fresh.data(std::move(request)));
            EXPECT_TRUE(QTest::qWaitFor([&] { return probe.done(); }, kBoundMs));
            return probe;
        };
        if (c.reuse) {
            ASSERT_FALSE(exchange(get("/v1/warm")).failed());
        }
        const qsizetype before = server.requests().size();

        URLRequest request = get("/v1/drop");
        request.httpMethod = c.method;
        request.httpBody = c.body;
        request.setValue("application/octet-stream", "Content-Type");
        const Probe probe = exchange(request);

        EXPECT_EQ(urlErrorCode(probe), URLError::networkConnectionLost);
        ASSERT_EQ(server.requests().size(), before + 1) << "sent once";
        EXPECT_EQ(server.requests().last().body, c.body);
        if (c.reuse) {
            EXPECT_EQ(server.requests().last().connection, server.requests()[before - 1].connection)
                << "the kept-alive connection carried it";
        }
    }
}

TEST_F(HttpSeamTest, CancellingAbortsTheTransferPromptly) {
    std::optional<Responder> held;
    server.setHandler([&](const Request&, Responder& responder) { held = responder; });
    CancellationToken token;
    const Probe probe = Probe::start(session.data(get("/v1/long"), token));
    ASSERT_TRUE(server.waitForRequests(1, kBoundMs));
    EXPECT_FALSE(probe.done());

    QElapsedTimer elapsed;
    elapsed.start();
    token.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe.done(); }, kBoundMs));
    EXPECT_LT(elapsed.elapsed(), 1000);
    EXPECT_EQ(urlErrorCode(probe), URLError::cancelled);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !held->isConnected(); }, kBoundMs))
        << "the server sees the connection go";

    // A token that is already cancelled never starts an exchange.
    const Probe late = Probe::start(session.data(get("/v1/late"), token));
    ASSERT_TRUE(late.done());
    EXPECT_EQ(urlErrorCode(late), URLError::cancelled);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(HttpSeamTest, RedirectsAreFollowedOnlyWhereThePolicyAllows) {
    server.setHandler([&](const Request& request, Responder& responder) {
        if (request.path() == "/moved")
            responder.respond(302, {}, {{"Location", server.url("/here").toEncoded()}});
        else if (request.path() == "/away")
            responder.respond(302, {}, {{"Location", "http://api.sayloom.ai/here"}});
        else
            responder.respond(200, "arrived");
    });
    const Probe followed = run(get("/moved"));
    ASSERT_FALSE(followed.failed());
    EXPECT_EQ(followed.value().data, QByteArray("arrived"));

    const Probe refused = run(get("/away"));
    EXPECT_EQ(urlErrorCode(refused), URLError::appTransportSecurityRequiresSecureConnection);
    EXPECT_EQ(server.requests().size(), 3) << "the plain-http target is never contacted";
}

// A redirect that keeps the method sends the body once more, to the new place; that second
// request still goes out only once.
TEST_F(HttpSeamTest, RedirectThatKeepsTheMethodSendsTheBodyToTheNewPlaceOnce) {
    struct Case {
        int status;
        bool targetDrops;
    };
    const Case cases[] = {{307, false}, {308, false}, {307, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.status << (c.targetDrops ? ", target drops" : ""));
        server.setHandler([&](const Request& request, Responder& responder) {
            if (request.path() == "/v1/old")
                responder.respond(c.status, {}, {{"Location", server.url("/v1/new").toEncoded()}});
            else if (c.targetDrops)
                responder.dropConnection();
            else
                responder.respond(200, "took " + QByteArray::number(request.body.size()));
        });
        const qsizetype before = server.requests().size();
        URLRequest post = get("/v1/old");
        post.httpMethod = "POST";
        post.httpBody = QByteArray(5000, 'x');
        post.setValue("application/octet-stream", "Content-Type");
        const Probe probe = run(post);

        if (c.targetDrops) {
            EXPECT_EQ(urlErrorCode(probe), URLError::networkConnectionLost);
        } else {
            ASSERT_FALSE(probe.failed()) << localizedDescription(probe.error()).toStdString();
            EXPECT_EQ(probe.value().data, "took 5000");
        }
        ASSERT_EQ(server.requests().size(), before + 2);
        EXPECT_EQ(server.requests()[before + 1].path(), "/v1/new");
        EXPECT_EQ(server.requests()[before + 1].method, "POST");
        EXPECT_EQ(server.requests()[before + 1].body, post.httpBody);
    }
}

TEST(HttpSeamPolicyTest, PlainHttpToOtherThanLoopbackIsRefusedWithoutAnyConnection) {
    CountingNetworkAccessManager manager;
    QtURLSession session(manager);
    for (const char* url : {"http://api.sayloom.ai/v1/status", "http://10.0.0.1:8080/",
                            "http://192.168.1.20/", "http://localhost.example.com/"}) {
        SCOPED_TRACE(url);
        URLRequest request;
        request.url = QUrl(QString::fromLatin1(url));
        const Probe probe = Probe::start(session.data(request));
        ASSERT_TRUE(probe.done()) << "refused before anything is sent";
        EXPECT_EQ(urlErrorCode(probe), URLError::appTransportSecurityRequiresSecureConnection);
    }
    EXPECT_EQ(manager.created, 0);
}

TEST_F(HttpSeamTest, HttpsIsAllowedAndAFailedHandshakeIsSecureConnectionFailed) {
    if (!QSslSocket::supportsSsl()) {
        if (qEnvironmentVariableIsSet("CI"))
            FAIL() << "no TLS backend: install libssl3";
        GTEST_SKIP() << "no TLS backend";
    }
    // The loopback server speaks plain HTTP, so the TLS handshake it receives fails.
    URLRequest request;
    request.url = QUrl(QStringLiteral("https://127.0.0.1:%1/v1/status").arg(server.port()));
    const Probe probe = run(request);
    EXPECT_GE(server.connectionCount(), 1) << "https to any host goes out";
    EXPECT_EQ(urlErrorCode(probe), URLError::secureConnectionFailed);
}

} // namespace
