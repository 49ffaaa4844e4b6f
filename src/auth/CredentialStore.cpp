#include "auth/CredentialStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace sayloom {

namespace {

const QString kAccount = QString::fromLatin1(CredentialStore::kKeychainAccount);

QString name(const char* service) { return QString::fromLatin1(service); }

std::optional<QString> decodeUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

CredentialStore::CredentialStore(Keychain& keychain) : keychain_(keychain) {}

std::optional<CredentialMap> CredentialStore::decodeBlob(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    CredentialMap map;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        map.insert(it.key(), it.value().toString());
    }
    return map;
}

QByteArray CredentialStore::encodeBlob(const CredentialMap& map) {
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        object.insert(it.key(), it.value());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QCoro::Task<CredentialMap> CredentialStore::load() {
    // A copy each time: QCoro moves from whatever lvalue `co_return` names.
    if (loaded_)
        co_return CredentialMap(cache_);
    if (!loadStarted_) {
        loadStarted_ = true;
        // Nothing is queued before the load: changes wait for it (deferredChanges_).
        enqueue([this] { return loadFromKeychain(); });
    }
    co_await loadOutcome_.wait();
    co_return CredentialMap(cache_);
}

void CredentialStore::save(CredentialMap credentials) {
    if (!loaded_) {
        deferredChanges_.push_back([this, credentials] { save(credentials); });
        return;
    }
    cache_ = credentials;
    const QByteArray blob = encodeBlob(credentials);
    enqueue([this, blob]() -> QCoro::Task<void> {
        co_await writeKeychainData(name(kCredentialsService), blob);
    });
}

void CredentialStore::setCredential(const QString& key, const QString& value) {
    if (!loaded_) {
        deferredChanges_.push_back([this, key, value] { setCredential(key, value); });
        return;
    }
    CredentialMap map = cache_;
    map.insert(key, value);
    save(std::move(map));
}

void CredentialStore::removeCredential(const QString& key) {
    if (!loaded_) {
        deferredChanges_.push_back([this, key] { removeCredential(key); });
        return;
    }
    CredentialMap map = cache_;
    if (map.remove(key) == 0)
        return;
    if (!map.isEmpty()) {
        save(std::move(map));
        return;
    }
    // The last key: delete the item rather than keep an empty object.
    cache_.clear();
    enqueue([this] { return deleteKeychainItem(name(kCredentialsService)); });
}

QCoro::Task<void> CredentialStore::flush() {
    if (!draining_)
        co_return;
    if (!drained_)
        drained_.emplace();
    const SharedOutcome<bool> drained = *drained_;
    co_await drained.wait();
}

void CredentialStore::enqueue(Operation operation) {
    operations_.push_back(std::move(operation));
    if (!draining_)
        drain();
}

QCoro::Task<void> CredentialStore::drain() {
    draining_ = true;
    while (!operations_.empty()) {
        Operation operation = std::move(operations_.front());
        operations_.pop_front();
        co_await operation();
    }
    draining_ = false;
    if (drained_) {
        SharedOutcome<bool> drained = *drained_;
        drained_.reset();
        drained.resolve(true);
    }
}

QCoro::Task<void> CredentialStore::loadFromKeychain() {
    CredentialMap result;
    const auto current = co_await readKeychainData(name(kCredentialsService));
    const auto decoded = current ? decodeBlob(*current) : std::nullopt;
    if (decoded) {
        result = *decoded;
    } else {
        // An unreadable current item is not deleted: the next write replaces it.
        const auto migrated = co_await migrateLegacyBlob();
        if (migrated)
            result = *migrated;
        else
            result = co_await consolidateLegacyItems();
    }
    cache_ = result;
    loaded_ = true;
    // Changes made meanwhile apply on top of what was loaded; their writes queue up behind this
    // operation.
    for (const auto& change : std::exchange(deferredChanges_, {}))
        change();
    loadOutcome_.resolve(cache_);
}

QCoro::Task<std::optional<QByteArray>> CredentialStore::readKeychainData(QString service) {
    const KeychainReadResult result = co_await keychain_.read(service, kAccount);
    if (result.status == KeychainStatus::itemNotFound)
        co_return std::nullopt;
    if (result.status != KeychainStatus::success) {
        log_.error("Keychain read failed for %s: %d", service, result.status);
        co_return std::nullopt;
    }
    co_return result.value;
}

QCoro::Task<bool> CredentialStore::writeKeychainData(QString service, QByteArray data) {
    const int updateStatus = co_await keychain_.update(service, kAccount, data);
    if (updateStatus == KeychainStatus::success)
        co_return true;
    if (updateStatus != KeychainStatus::itemNotFound) {
        log_.error("Keychain update failed for %s: OSStatus %d", service, updateStatus);
        co_return false;
    }
    const int addStatus = co_await keychain_.add(service, kAccount, data);
    if (addStatus != KeychainStatus::success) {
        log_.error("Keychain add failed for %s: OSStatus %d", service, addStatus);
        co_return false;
    }
    co_return true;
}

QCoro::Task<void> CredentialStore::deleteKeychainItem(QString service) {
    co_await keychain_.remove(service, kAccount);
}

QCoro::Task<std::optional<CredentialMap>> CredentialStore::migrateLegacyBlob() {
    const auto bytes = co_await readKeychainData(name(kLegacyCredentialsService));
    if (!bytes)
        co_return std::nullopt;
    const auto map = decodeBlob(*bytes);
    if (!map || map->isEmpty())
        co_return std::nullopt;
    // The older item goes only once its bytes are safely in the current one; otherwise the next
    // launch migrates again.
    const bool written = co_await writeKeychainData(name(kCredentialsService), *bytes);
    if (written) {
        co_await deleteKeychainItem(name(kLegacyCredentialsService));
        log_.info("Keychain: moved credentials to the current item name");
    }
    co_return map;
}

QCoro::Task<CredentialMap> CredentialStore::consolidateLegacyItems() {
    const QString services[] = {name(kIdTokenService), name(kRefreshTokenService),
                                name(kUidService)};
    CredentialMap map;
    for (const QString& service : services) {
        const auto bytes = co_await readKeychainData(service);
        if (!bytes)
            continue;
        const auto text = decodeUtf8(*bytes);
        if (!text || text->isEmpty())
            continue;
        map.insert(service, *text);
    }
    if (map.isEmpty())
        co_return map;
    // As with the older blob: the single items go only once the blob holds their values.
    const bool written = co_await writeKeychainData(name(kCredentialsService), encodeBlob(map));
    if (written) {
        for (const QString& service : services)
            co_await deleteKeychainItem(service);
        log_.info("Keychain: consolidated %ld legacy items into one", map.size());
    }
    co_return map;
}

} // namespace sayloom
