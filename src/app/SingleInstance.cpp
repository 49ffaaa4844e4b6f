#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

namespace sayloom {

namespace {

constexpr qint64 kMaximumCommandLength = 64 * 1024;

} // namespace

SingleInstance::SingleInstance(QString directory, QObject* parent)
    : QObject(parent)
    , directory_(std::move(directory)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
}

SingleInstance::~SingleInstance() = default;

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

void SingleInstance::acceptConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaximumCommandLength)
                    socket->abort();
                return;
            }
            const QByteArray command = socket->readLine().trimmed();
            const QByteArray reply = handler_ ? handler_(command) : QByteArray("unknown");
            socket->write(reply + '\n');
            socket->disconnectFromServer();
        });
    }
}

std::optional<QByteArray> SingleInstance::send(const QString& directory, const QByteArray& command,
                                               int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath(directory));
    if (!socket.waitForConnected(timeoutMs))
        return std::nullopt;
    socket.write(command + '\n');
    if (!socket.waitForBytesWritten(timeoutMs))
        return std::nullopt;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return std::nullopt;
    }
    return socket.readLine().trimmed();
}

} // namespace sayloom
