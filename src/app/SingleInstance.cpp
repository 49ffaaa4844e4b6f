#include "app/SingleInstance.h"

#include "support/LocalizedError.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>

namespace sayloom {

namespace {

// A command name as the log may show it: what a client sends may be anything.
QString loggableName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[a-z][a-z-]{0,31}$"));
    return plain.match(name).hasMatch() ? name : QStringLiteral("<unreadable>");
}

} // namespace

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent)
    , directory_(std::move(directory)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
}

SingleInstance::~SingleInstance() { *alive_ = false; }

QString SingleInstance::defaultDirectory() {
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime + QStringLiteral("/sayloom");
}

QString SingleInstance::socketPath(const QString& directory) {
    return directory + QStringLiteral("/instance.socket");
}

SingleInstance::Claim SingleInstance::claim() {
    if (!QDir().mkpath(directory_)) {
        error_ = QStringLiteral("cannot create %1").arg(directory_);
        return Claim::failed;
    }
    QFile::setPermissions(directory_,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    lock_ = std::make_unique<QLockFile>(directory_ + QStringLiteral("/instance.lock"));
    // A lock whose owner no longer runs is stale at once; Qt checks the recorded process.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        if (lock_->error() == QLockFile::LockFailedError)
            return Claim::anotherIsRunning;
        error_ = QStringLiteral("cannot take the lock in %1").arg(directory_);
        return Claim::failed;
    }

    // We hold the lock, so a socket file left behind belongs to a process that is gone.
    const QString path = socketPath(directory_);
    QLocalServer::removeServer(path);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(path)) {
        error_ = server_.errorString();
        return Claim::failed;
    }
    return Claim::primary;
}

void SingleInstance::addCommand(const QString& name, ArgumentCheck check, CommandHandler handler) {
    commands_.insert(name, Command{std::move(check), std::move(handler)});
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { readMessage(socket); });
    }
}

void SingleInstance::readMessage(QLocalSocket* socket) {
    // One message a connection: whatever follows it is not read.
    if (socket->property("sayloomMessageTaken").toBool())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaximumMessageLength)
            drop(socket, QStringLiteral("a message longer than 16 KiB"));
        return;
    }
    const QByteArray line = socket->readLine(kMaximumMessageLength + 2);
    if (!line.endsWith('\n')) {
        drop(socket, QStringLiteral("a message longer than 16 KiB"));
        return;
    }
    socket->setProperty("sayloomMessageTaken", true);
    const std::optional<Message> message = decodeMessage(line);
    if (!message) {
        drop(socket, QStringLiteral("a message that is not a command"));
        return;
    }
    const auto command = commands_.constFind(message->command);
    if (command == commands_.cend()) {
        drop(socket,
             QStringLiteral("the unknown command \"%1\"").arg(loggableName(message->command)));
        return;
    }
    if (command->check && !command->check(message->arguments)) {
        drop(socket, QStringLiteral("invalid arguments for \"%1\"").arg(message->command));
        return;
    }
    run(socket, *message);
}

QCoro::Task<void> SingleInstance::run(QLocalSocket* socket, Message message) {
    const auto alive = alive_;
    const QPointer<QLocalSocket> client(socket);
    const CommandHandler handler = commands_.value(message.command).handler;
    Reply reply;
    try {
        reply = co_await handler(std::move(message.arguments));
    } catch (...) {
        reply = Reply{false, localizedDescription(std::current_exception())};
    }
    if (!*alive || !client)
        co_return;
    client->write(encodeReply(reply));
    client->disconnectFromServer();
}

void SingleInstance::drop(QLocalSocket* socket, const QString& reason) {
    log_.error("Dropped %{public}s on the instance socket", reason);
    socket->abort();
}

QByteArray SingleInstance::encodeMessage(const QString& command, const QStringList& arguments) {
    const QJsonObject object{{QStringLiteral("command"), command},
                             {QStringLiteral("arguments"), QJsonArray::fromStringList(arguments)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<SingleInstance::Message> SingleInstance::decodeMessage(const QByteArray& line) {
    const QJsonDocument document = QJsonDocument::fromJson(line.trimmed());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue command = object.value(QStringLiteral("command"));
    const QJsonValue arguments = object.value(QStringLiteral("arguments"));
    if (!command.isString() || (!arguments.isUndefined() && !arguments.isArray()))
        return std::nullopt;
    if (object.size() != (arguments.isUndefined() ? 1 : 2))
        return std::nullopt;
    Message message{command.toString(), {}};
    for (const QJsonValue& argument : arguments.toArray()) {
        if (!argument.isString())
            return std::nullopt;
        message.arguments << argument.toString();
    }
    return message;
}

QByteArray SingleInstance::encodeReply(const Reply& reply) {
    const QJsonObject object{{QStringLiteral("ok"), reply.ok},
                             {QStringLiteral("message"), reply.message}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<SingleInstance::Reply> SingleInstance::decodeReply(const QByteArray& line) {
    const QJsonObject object = QJsonDocument::fromJson(line.trimmed()).object();
    const QJsonValue ok = object.value(QStringLiteral("ok"));
    const QJsonValue message = object.value(QStringLiteral("message"));
    if (!ok.isBool() || !message.isString())
        return std::nullopt;
    return Reply{ok.toBool(), message.toString()};
}

std::optional<SingleInstance::Reply> SingleInstance::send(const QString& directory,
                                                          const QString& command,
                                                          const QStringList& arguments,
                                                          int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath(directory));
    if (!socket.waitForConnected(timeoutMs))
        return std::nullopt;
    socket.write(encodeMessage(command, arguments));
    if (!socket.waitForBytesWritten(timeoutMs))
        return std::nullopt;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return std::nullopt;
    }
    return decodeReply(socket.readLine());
}

} // namespace sayloom
