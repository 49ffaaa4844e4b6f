#pragma once

#include "support/Logger.h"

#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

class QLocalSocket;

namespace sayloom {

// One running Sayloom per user: a lock file and a local socket in a private folder. The running
// instance answers named commands on the socket (open URLs, sign in, sign out) from other
// processes of ours. A message is one line of JSON, {"command": NAME, "arguments": [TEXT...]},
// and its reply one line {"ok": BOOL, "message": TEXT}, sent when the command has finished (a
// sign-in answers minutes later). A message that is too long, not of that form, names an unknown
// command or carries arguments its command refuses is dropped with a log line, unanswered.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Claim { primary, anotherIsRunning, failed };
    static constexpr qsizetype kMaximumMessageLength = 16 * 1024;

    struct Reply {
        bool ok = false;
        QString message;
        friend bool operator==(const Reply&, const Reply&) = default;
    };
    // Whether a command's arguments are acceptable; checked before it runs.
    using ArgumentCheck = std::function<bool(const QStringList& arguments)>;
    // Runs a command; its reply goes back to the sender. An exception is answered as a failure.
    using CommandHandler = std::function<QCoro::Task<Reply>(QStringList arguments)>;

    // `directory`: the private folder ($XDG_RUNTIME_DIR/sayloom); created with mode 0700.
    explicit SingleInstance(QString directory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/sayloom, or Qt's runtime location when the variable is unset.
    static QString defaultDirectory();

    // Takes the lock and starts listening. A lock left by a process that no longer runs is taken
    // over. `errorString()` says why on `failed`.
    Claim claim();
    const QString& errorString() const { return error_; }

    void addCommand(const QString& name, ArgumentCheck check, CommandHandler handler);

    // Sends a command to the running instance and returns its reply, or nothing when no instance
    // answers within `timeoutMs` (or it dropped the message). Blocks the calling thread.
    static std::optional<Reply> send(const QString& directory, const QString& command,
                                     const QStringList& arguments = {}, int timeoutMs = 5000);

    static QString socketPath(const QString& directory);

    // The wire forms, for both ends and for tests.
    static QByteArray encodeMessage(const QString& command, const QStringList& arguments);
    struct Message {
        QString command;
        QStringList arguments;
    };
    // Nothing unless `line` is a JSON object with a string "command" and an optional array of
    // strings "arguments", and nothing else.
    static std::optional<Message> decodeMessage(const QByteArray& line);
    static QByteArray encodeReply(const Reply& reply);
    static std::optional<Reply> decodeReply(const QByteArray& line);

private:
    struct Command {
        ArgumentCheck check;
        CommandHandler handler;
    };

    void acceptConnection();
    void readMessage(QLocalSocket* socket);
    QCoro::Task<void> run(QLocalSocket* socket, Message message);
    void drop(QLocalSocket* socket, const QString& reason);

    Logger log_{QStringLiteral("app")};
    QString directory_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    QMap<QString, Command> commands_;
    QString error_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace sayloom
