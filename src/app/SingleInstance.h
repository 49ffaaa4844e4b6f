#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace sayloom {

// One running Sayloom per user: a lock file and a local socket in a private folder. The running
// instance answers one-line commands on the socket (a URL to open, a sign-out) from other
// processes of ours.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Claim { primary, anotherIsRunning, failed };
    // Answers one command line with one reply line.
    using CommandHandler = std::function<QByteArray(const QByteArray& command)>;

    // `directory`: the private folder ($XDG_RUNTIME_DIR/sayloom); created with mode 0700.
    explicit SingleInstance(QString directory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/sayloom, or Qt's runtime location when the variable is unset.
    static QString defaultDirectory();

    // Takes the lock and starts listening. A lock left by a process that no longer runs is taken
    // over. `errorString()` says why on `failed`.
    Claim claim();
    const QString& errorString() const { return error_; }

    void setCommandHandler(CommandHandler handler) { handler_ = std::move(handler); }

    // Sends one command to the running instance and returns its reply, or nothing when no instance
    // answers within `timeoutMs`.
    static std::optional<QByteArray> send(const QString& directory, const QByteArray& command,
                                          int timeoutMs = 5000);

    static QString socketPath(const QString& directory);

private:
    void acceptConnection();

    QString directory_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    CommandHandler handler_;
    QString error_;
};

} // namespace sayloom
