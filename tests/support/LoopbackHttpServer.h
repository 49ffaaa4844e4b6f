#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpServer;

namespace sayloom::testing {

// An HTTP/1.1 server on 127.0.0.1 (a free port) for integration tests of the HTTP seam and its
// users. It reads requests with Content-Length bodies, several per connection, records each one
// and hands it to the test's handler, which answers through a Responder: at once, later (keep a
// copy of the responder), never (the client runs into its time-out), or by dropping the
// connection. Requests on one connection are handed over one at a time, in order: the next is
// read once the previous one is answered. Main thread only.
class LoopbackHttpServer final : public QObject {
    Q_OBJECT

public:
    using HeaderList = QList<QPair<QByteArray, QByteArray>>;

    struct Request {
        QByteArray method;
        // The request target as sent: path and query.
        QByteArray target;
        HeaderList headers;
        QByteArray body;
        // Which connection carried it: 1 for the first accepted, 2 for the next, ...
        int connection = 0;

        // The value of a header field (names compare without case), or nothing.
        std::optional<QByteArray> header(const QByteArray& name) const;
        // The target without its query.
        QByteArray path() const;
    };

    class Responder {
    public:
        // Sends a response; Content-Length is set from the body (any given one is replaced).
        // An empty reason uses the standard phrase of the status. A response carrying
        // "Connection: close", or one to a request that asked for it, closes the connection.
        // Does nothing once answered or when the client has gone.
        void respond(int status, const QByteArray& body = {}, const HeaderList& headers = {},
                     const QByteArray& reason = {});
        // Writes bytes as they are, without completing the answer: for partial or malformed
        // responses. Follow with dropConnection() or nothing.
        void writeRaw(const QByteArray& bytes);
        // Leaves the request unanswered for good, so that the client's time-out decides. Doing
        // nothing with the responder has the same effect; this only says so.
        void neverAnswer();
        // Closes the connection at once, after sending what writeRaw() wrote.
        void dropConnection();

        bool isAnswered() const;
        // False once the client or the server has closed the connection.
        bool isConnected() const;

    private:
        friend class LoopbackHttpServer;
        struct Exchange;
        explicit Responder(std::shared_ptr<Exchange> exchange);
        std::shared_ptr<Exchange> exchange_;
    };

    using Handler = std::function<void(const Request&, Responder&)>;

    // Starts listening; `isListening()` tells whether that worked.
    explicit LoopbackHttpServer(QObject* parent = nullptr);
    ~LoopbackHttpServer() override;

    bool isListening() const;
    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by `path` (which may carry a query).
    QUrl url(const QString& path = {}) const;

    // Without a handler every request is answered "404 Not Found".
    void setHandler(Handler handler);

    const QList<Request>& requests() const { return requests_; }
    int connectionCount() const { return connectionCount_; }
    // Runs the event loop until `count` requests have arrived in all, or `timeoutMs` passed.
    bool waitForRequests(int count, int timeoutMs = 5000) const;

private:
    struct Connection;

    void accept();
    void process(const std::shared_ptr<Connection>& connection);
    // Closes a connection: gracefully once what is pending is sent (`graceful`), or at once.
    void closeConnection(const std::shared_ptr<Connection>& connection, bool graceful);

    QTcpServer* server_;
    Handler handler_;
    QList<Request> requests_;
    std::vector<std::shared_ptr<Connection>> connections_;
    int connectionCount_ = 0;
};

} // namespace sayloom::testing
