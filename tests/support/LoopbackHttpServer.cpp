#include "LoopbackHttpServer.h"

#include <QMetaObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

namespace sayloom::testing {

namespace {

// Longest request head we wait for before calling the request malformed.
constexpr qsizetype kMaxHeadSize = 64 * 1024;

bool sameField(const QByteArray& a, const QByteArray& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QByteArray standardReason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 407:
        return "Proxy Authentication Required";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 413:
        return "Content Too Large";
    case 415:
        return "Unsupported Media Type";
    case 422:
        return "Unprocessable Content";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status " + QByteArray::number(status);
    }
}

bool mentionsClose(const QByteArray& connectionField) {
    return connectionField.toLower().contains("close");
}

} // namespace

struct LoopbackHttpServer::Connection {
    int id = 0;
    QTcpSocket* socket = nullptr;
    QByteArray buffer;
    // A request was handed to the handler and is not answered yet.
    bool awaitingAnswer = false;
    bool open = true;
};

struct LoopbackHttpServer::Responder::Exchange {
    QPointer<LoopbackHttpServer> server;
    std::weak_ptr<Connection> connection;
    bool closeAfterAnswer = false;
    bool answered = false;

    // The connection while it is open and its server alive.
    std::shared_ptr<Connection> openConnection() const {
        auto c = connection.lock();
        return (server && c && c->open) ? c : nullptr;
    }
};

std::optional<QByteArray> LoopbackHttpServer::Request::header(const QByteArray& name) const {
    for (const auto& [field, value] : headers)
        if (sameField(field, name))
            return value;
    return std::nullopt;
}

QByteArray LoopbackHttpServer::Request::path() const {
    const qsizetype query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

LoopbackHttpServer::Responder::Responder(std::shared_ptr<Exchange> exchange)
    : exchange_(std::move(exchange)) {}

void LoopbackHttpServer::Responder::respond(int status, const QByteArray& body,
                                            const HeaderList& headers, const QByteArray& reason) {
    auto c = exchange_->openConnection();
    if (exchange_->answered || !c)
        return;
    exchange_->answered = true;

    bool closeAfter = exchange_->closeAfterAnswer;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' +
                     (reason.isEmpty() ? standardReason(status) : reason) + "\r\n";
    for (const auto& [name, value] : headers) {
        if (sameField(name, "Content-Length"))
            continue;
        if (sameField(name, "Connection") && mentionsClose(value))
            closeAfter = true;
        out += name + ": " + value + "\r\n";
    }
    if (status >= 200 && status != 204 && status != 304)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (exchange_->closeAfterAnswer)
        out += "Connection: close\r\n";
    out += "\r\n" + body;
    c->socket->write(out);

    LoopbackHttpServer* server = exchange_->server;
    if (closeAfter) {
        server->closeConnection(c, true);
        return;
    }
    // Read the next request on this connection from the event loop, not from inside the
    // handler that may be answering right now.
    c->awaitingAnswer = false;
    std::weak_ptr<Connection> weak = c;
    QMetaObject::invokeMethod(
        server,
        [server, weak] {
            if (auto connection = weak.lock())
                server->process(connection);
        },
        Qt::QueuedConnection);
}

void LoopbackHttpServer::Responder::writeRaw(const QByteArray& bytes) {
    if (auto c = exchange_->openConnection())
        c->socket->write(bytes);
}

void LoopbackHttpServer::Responder::neverAnswer() {}

void LoopbackHttpServer::Responder::dropConnection() {
    if (auto c = exchange_->openConnection())
        exchange_->server->closeConnection(c, false);
}

bool LoopbackHttpServer::Responder::isAnswered() const { return exchange_->answered; }

bool LoopbackHttpServer::Responder::isConnected() const {
    return exchange_->openConnection() != nullptr;
}

LoopbackHttpServer::LoopbackHttpServer(QObject* parent)
    : QObject(parent)
    , server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
    server_->listen(QHostAddress::LocalHost, 0);
}

LoopbackHttpServer::~LoopbackHttpServer() {
    server_->close();
    for (const auto& connection : connections_) {
        connection->open = false;
        connection->socket->disconnect(this);
        connection->socket->abort();
    }
}

bool LoopbackHttpServer::isListening() const { return server_->isListening(); }

quint16 LoopbackHttpServer::port() const { return server_->serverPort(); }

QUrl LoopbackHttpServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void LoopbackHttpServer::setHandler(Handler handler) { handler_ = std::move(handler); }

bool LoopbackHttpServer::waitForRequests(int count, int timeoutMs) const {
    return QTest::qWaitFor([&] { return requests_.size() >= count; }, timeoutMs);
}

void LoopbackHttpServer::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        auto connection = std::make_shared<Connection>();
        connection->id = ++connectionCount_;
        connection->socket = socket;
        connections_.push_back(connection);
        std::weak_ptr<Connection> weak = connection;
        connect(socket, &QTcpSocket::readyRead, this, [this, weak] {
            if (auto c = weak.lock()) {
                c->buffer += c->socket->readAll();
                process(c);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, weak] {
            if (auto c = weak.lock())
                closeConnection(c, false);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LoopbackHttpServer::process(const std::shared_ptr<Connection>& c) {
    auto reject = [this, &c] {
        c->socket->write(
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        closeConnection(c, true);
    };
    while (c->open && !c->awaitingAnswer && !c->buffer.isEmpty()) {
        // A request starts with its method; anything else (a TLS hello, stray bytes) is refused.
        if (c->buffer.front() < 'A' || c->buffer.front() > 'Z')
            return reject();
        const qsizetype headEnd = c->buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (c->buffer.size() > kMaxHeadSize)
                reject();
            return;
        }
        QList<QByteArray> lines = c->buffer.left(headEnd).split('\n');
        for (QByteArray& line : lines)
            if (line.endsWith('\r'))
                line.chop(1);

        Request request;
        const QList<QByteArray> requestLine = lines.takeFirst().split(' ');
        if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1."))
            return reject();
        request.method = requestLine[0];
        request.target = requestLine[1];
        for (const QByteArray& line : lines) {
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                return reject();
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        if (request.header("Transfer-Encoding"))
            return reject(); // chunked uploads are not needed by our clients
        qint64 length = 0;
        if (const auto field = request.header("Content-Length")) {
            bool ok = false;
            length = field->toLongLong(&ok);
            if (!ok || length < 0)
                return reject();
        }
        const qsizetype bodyStart = headEnd + 4;
        if (c->buffer.size() - bodyStart < length)
            return; // wait for the rest of the body
        request.body = c->buffer.mid(bodyStart, length);
        c->buffer.remove(0, bodyStart + length);
        request.connection = c->id;

        const QByteArray connectionField = request.header("Connection").value_or(QByteArray());
        const bool http10 = requestLine[2] == "HTTP/1.0";
        auto exchange = std::make_shared<Responder::Exchange>();
        exchange->server = this;
        exchange->connection = c;
        exchange->closeAfterAnswer = http10 ? !connectionField.toLower().contains("keep-alive")
                                            : mentionsClose(connectionField);

        requests_.append(request);
        c->awaitingAnswer = true;
        Responder responder(exchange);
        if (handler_)
            handler_(request, responder);
        else
            responder.respond(404);
    }
}

void LoopbackHttpServer::closeConnection(const std::shared_ptr<Connection>& c, bool graceful) {
    if (!c->open)
        return;
    c->open = false;
    connections_.erase(std::remove(connections_.begin(), connections_.end(), c),
                       connections_.end());
    // Either way the socket deletes itself once disconnected. Bytes already written (a partial
    // answer) go out before an abrupt close too.
    if (graceful) {
        c->socket->disconnectFromHost();
    } else {
        c->socket->flush();
        c->socket->abort();
    }
}

} // namespace sayloom::testing
