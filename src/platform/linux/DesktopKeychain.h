#pragma once

#include "auth/Keychain.h"
#include "auth/SharedOutcome.h"
#include "support/Logger.h"

#include <memory>

namespace sayloom::linux_desktop {

// The keychain of this desktop session: the Secret Service whenever one answers on the session
// bus, otherwise the file keychain; SAYLOOM_KEYCHAIN=file asks for the file keychain outright.
// The choice is made at the first operation (which waits for the bus to answer, without
// blocking the event loop) and logged once at notice level. Main thread only.
class DesktopKeychain final : public Keychain {
public:
    struct Options {
        // Where the file keychain lives.
        QString filePath;
        // Use the file keychain without asking the bus.
        bool forceFile = false;
    };

    // The file keychain's default path, and forceFile from SAYLOOM_KEYCHAIN.
    static Options optionsFromEnvironment();

    explicit DesktopKeychain(Options options);
    ~DesktopKeychain() override;

    QCoro::Task<KeychainReadResult> read(QString service, QString account) override;
    QCoro::Task<int> update(QString service, QString account, QByteArray value) override;
    QCoro::Task<int> add(QString service, QString account, QByteArray value) override;
    QCoro::Task<int> remove(QString service, QString account) override;

    // Which keychain serves, once chosen: "secret-service" or "file"; empty before.
    QString kind() const { return kind_; }

private:
    QCoro::Task<Keychain*> chosen();
    QCoro::Task<void> choose();

    Options options_;
    std::unique_ptr<Keychain> keychain_;
    QString kind_;
    bool choosing_ = false;
    SharedOutcome<bool> ready_;
    Logger log_{QStringLiteral("keychain")};
};

} // namespace sayloom::linux_desktop
