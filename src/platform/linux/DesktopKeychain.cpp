#include "platform/linux/DesktopKeychain.h"

#include "platform/linux/FileKeychain.h"
#include "platform/linux/LibsecretKeychain.h"

namespace sayloom::linux_desktop {

DesktopKeychain::Options DesktopKeychain::optionsFromEnvironment() {
    Options options;
    options.filePath = FileKeychain::defaultPath();
    options.forceFile = qEnvironmentVariable("SAYLOOM_KEYCHAIN")
                            .compare(QLatin1String("file"), Qt::CaseInsensitive) == 0;
    return options;
}

DesktopKeychain::DesktopKeychain(Options options) : options_(std::move(options)) {}

DesktopKeychain::~DesktopKeychain() = default;

QCoro::Task<Keychain*> DesktopKeychain::chosen() {
    if (!keychain_) {
        if (!choosing_) {
            choosing_ = true;
            choose();
        }
        const SharedOutcome<bool> ready = ready_;
        co_await ready.wait();
    }
    co_return keychain_.get();
}

QCoro::Task<void> DesktopKeychain::choose() {
    QString reason = QStringLiteral("SAYLOOM_KEYCHAIN=file");
    if (!options_.forceFile) {
        LibsecretKeychain::Connection connection = co_await LibsecretKeychain::connect();
        if (connection.keychain) {
            keychain_ = std::move(connection.keychain);
            kind_ = QStringLiteral("secret-service");
            log_.notice("Using the Secret Service keychain");
            ready_.resolve(true);
            co_return;
        }
        reason = QStringLiteral("no Secret Service answered: ") + connection.failure;
    }
    keychain_ = std::make_unique<FileKeychain>(options_.filePath);
    kind_ = QStringLiteral("file");
    log_.notice("Using the file keychain at %{public}s (%{public}s)", options_.filePath, reason);
    ready_.resolve(true);
}

QCoro::Task<KeychainReadResult> DesktopKeychain::read(QString service, QString account) {
    Keychain* keychain = co_await chosen();
    co_return co_await keychain->read(std::move(service), std::move(account));
}

QCoro::Task<int> DesktopKeychain::update(QString service, QString account, QByteArray value) {
    Keychain* keychain = co_await chosen();
    co_return co_await keychain->update(std::move(service), std::move(account), std::move(value));
}

QCoro::Task<int> DesktopKeychain::add(QString service, QString account, QByteArray value) {
    Keychain* keychain = co_await chosen();
    co_return co_await keychain->add(std::move(service), std::move(account), std::move(value));
}

QCoro::Task<int> DesktopKeychain::remove(QString service, QString account) {
    Keychain* keychain = co_await chosen();
    co_return co_await keychain->remove(std::move(service), std::move(account));
}

} // namespace sayloom::linux_desktop
