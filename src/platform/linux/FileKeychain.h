#pragma once

#include "auth/Keychain.h"
#include "support/Logger.h"

#include <optional>
#include <vector>

namespace sayloom::linux_desktop {

// The keychain for desktops without a Secret Service: one JSON file,
// {"items":[{"service":S,"account":A,"value":BASE64}]}, readable by the user alone (mode 0600 in a
// 0700 folder). Every change rewrites the file atomically (temporary file, fsync, rename) under
// a lock file, so that another Sayloom process never sees half a file or loses a change. A file
// that cannot be read or parsed makes reads fail with an error line; it is never overwritten:
// the first write moves it aside (".damaged" suffix) and starts a new file. Operations complete
// before returning. Main thread only.
class FileKeychain final : public Keychain {
public:
    explicit FileKeychain(QString path);

    // $XDG_DATA_HOME/sayloom/keychain.json (~/.local/share/sayloom/keychain.json).
    static QString defaultPath();

    const QString& path() const { return path_; }

    QCoro::Task<KeychainReadResult> read(QString service, QString account) override;
    QCoro::Task<int> update(QString service, QString account, QByteArray value) override;
    QCoro::Task<int> add(QString service, QString account, QByteArray value) override;
    QCoro::Task<int> remove(QString service, QString account) override;

    struct Item {
        QString service;
        QString account;
        QByteArray value;
        friend bool operator==(const Item&, const Item&) = default;
    };
    using Items = std::vector<Item>;
    // The file's items; nothing when the bytes are not that JSON form (a value that is not
    // base64 included).
    static std::optional<Items> parse(const QByteArray& bytes);
    static QByteArray serialize(const Items& items);

private:
    enum class Load { loaded, missing, damaged };

    Load load(Items& items) const;
    // Runs `change` on the items under the lock and writes them when it returns success.
    int modify(const std::function<int(Items&)>& change);
    bool setAsideDamagedFile();
    bool write(const Items& items);
    bool ensureFolder();

    QString path_;
    Logger log_{QStringLiteral("keychain")};
};

} // namespace sayloom::linux_desktop
