#pragma once

#include "auth/Keychain.h"
#include "auth/SharedOutcome.h"
#include "support/Logger.h"

#include <QMap>
#include <QString>

#include <qcoro/qcorotask.h>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace sayloom {

// Credentials by key (the three key names below); an absent key means "no value".
using CredentialMap = QMap<QString, QString>;

// The signed-in user's credentials, kept in one keychain item as a compact JSON object of string
// pairs, with an in-memory copy that spares repeated keychain reads: the keychain is read only
// by the first load, which also moves the two older layouts (one blob under an older item name,
// and three single-value items) into the current item.
//
// Every change takes effect in memory at once; the keychain writes it in the background, one
// operation after the other in the order of the changes (flush() waits for them). Changes made
// before the first load has finished are applied on top of what it loads. Keychain failures
// never reach the caller: they are logged. Main thread only; the store must outlive its queued
// keychain operations (flush() before destroying it).
class CredentialStore {
public:
    // Keys of the blob, and service names of the older single-value items.
    static constexpr const char* kIdTokenService = "ai.sayloom.app.firebase-id-token";
    static constexpr const char* kRefreshTokenService = "ai.sayloom.app.firebase-refresh-token";
    static constexpr const char* kUidService = "ai.sayloom.app.firebase-uid";
    // Service names of the current blob item and of the older one.
    static constexpr const char* kCredentialsService = "ai.sayloom.credentials";
    static constexpr const char* kLegacyCredentialsService = "ai.sayloom.app.firebase-credentials";
    // Account of every item.
    static constexpr const char* kKeychainAccount = "sayloom-firebase";

    explicit CredentialStore(Keychain& keychain);
    CredentialStore(const CredentialStore&) = delete;
    CredentialStore& operator=(const CredentialStore&) = delete;

    // The credentials. The first call reads the keychain (and migrates); every later call, and
    // every call once that read is done, returns the in-memory copy without suspending.
    QCoro::Task<CredentialMap> load();
    bool isLoaded() const { return loaded_; }
    // The in-memory copy; empty until the first load has finished.
    const CredentialMap& credentials() const { return cache_; }

    // Replaces the credentials and writes the whole blob.
    void save(CredentialMap credentials);
    // Sets one key and writes the whole blob.
    void setCredential(const QString& key, const QString& value);
    // Removes one key: nothing happens when it is absent; removing the last key deletes the item.
    void removeCredential(const QString& key);

    // Resumes once every keychain operation queued so far has completed.
    QCoro::Task<void> flush();

    // The item's bytes: a JSON object whose values are all strings. Anything else is unreadable
    // (nothing).
    static std::optional<CredentialMap> decodeBlob(const QByteArray& bytes);
    static QByteArray encodeBlob(const CredentialMap& map);

private:
    using Operation = std::function<QCoro::Task<void>()>;

    void enqueue(Operation operation);
    QCoro::Task<void> drain();
    QCoro::Task<void> loadFromKeychain();

    QCoro::Task<std::optional<QByteArray>> readKeychainData(QString service);
    // True when the value reached the keychain.
    QCoro::Task<bool> writeKeychainData(QString service, QByteArray data);
    QCoro::Task<void> deleteKeychainItem(QString service);
    QCoro::Task<std::optional<CredentialMap>> migrateLegacyBlob();
    QCoro::Task<CredentialMap> consolidateLegacyItems();

    Keychain& keychain_;
    Logger log_{QStringLiteral("auth")};

    CredentialMap cache_;
    bool loaded_ = false;
    bool loadStarted_ = false;
    SharedOutcome<CredentialMap> loadOutcome_;
    // Changes made while the first load runs, applied in order once it is done.
    std::vector<std::function<void()>> deferredChanges_;

    std::deque<Operation> operations_;
    bool draining_ = false;
    std::optional<SharedOutcome<bool>> drained_;
};

} // namespace sayloom
