#pragma once

#include "auth/Keychain.h"
#include "support/Logger.h"

#include <memory>
#include <optional>

struct _SecretService;

namespace sayloom::linux_desktop {

// The keychain in the desktop's Secret Service (GNOME Keyring, KWallet, KeePassXC, ...) through
// libsecret. Items follow one schema, "ai.sayloom.Credential", whose attributes are the item's
// service and account; they are stored in the default collection. A locked collection is
// unlocked on demand, which may show the desktop's unlock prompt: every call is asynchronous (see
// GAsyncAwaiter), so the application keeps running while the prompt waits for the user, and a
// dismissed prompt ends the call with userCanceled. Main thread only.
class LibsecretKeychain final : public Keychain {
public:
    struct Connection {
        std::unique_ptr<LibsecretKeychain> keychain;
        // Why no keychain came about.
        QString failure;
    };

    // Connects to the Secret Service on the session bus ("org.freedesktop.secrets", or the name
    // in libsecret's SECRET_SERVICE_BUS_NAME), starting it when the bus can. Without one
    // answering the keychain is null and `failure` says why.
    static QCoro::Task<Connection> connect();

    ~LibsecretKeychain() override;

    QCoro::Task<KeychainReadResult> read(QString service, QString account) override;
    QCoro::Task<int> update(QString service, QString account, QByteArray value) override;
    QCoro::Task<int> add(QString service, QString account, QByteArray value) override;
    QCoro::Task<int> remove(QString service, QString account) override;

private:
    explicit LibsecretKeychain(_SecretService* service);

    _SecretService* service_;
    Logger log_{QStringLiteral("keychain")};
};

} // namespace sayloom::linux_desktop
