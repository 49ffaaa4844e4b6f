#include "platform/linux/LibsecretKeychain.h"

#include "platform/linux/GAsyncAwaiter.h"

#include <QStringDecoder>

#include <libsecret/secret.h>

#include <optional>

namespace sayloom::linux_desktop {

namespace {

const SecretSchema* credentialSchema() {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "ai.sayloom.Credential";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

struct ObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using ServiceRef = std::unique_ptr<SecretService, ObjectDeleter>;

ServiceRef retain(SecretService* service) {
    return ServiceRef(SECRET_SERVICE(g_object_ref(service)));
}

struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;

Attributes attributes(const QString& service, const QString& account) {
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"), g_strdup(service.toUtf8().constData()));
    g_hash_table_insert(table.get(), g_strdup("account"), g_strdup(account.toUtf8().constData()));
    return table;
}

struct ItemListDeleter {
    void operator()(GList* items) const { g_list_free_full(items, g_object_unref); }
};
using ItemList = std::unique_ptr<GList, ItemListDeleter>;

struct ErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorDeleter>;

struct ValueDeleter {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using Value = std::unique_ptr<SecretValue, ValueDeleter>;

Value secretValue(const QByteArray& bytes) {
    // Text stays readable for other clients of the keyring (secret-tool, password managers).
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)decoder.decode(bytes);
    const char* contentType = decoder.hasError() ? "application/octet-stream" : "text/plain";
    return Value(secret_value_new(bytes.constData(), bytes.size(), contentType));
}

int statusFor(const GError* error) {
    if (error->domain == G_DBUS_ERROR &&
        (error->code == G_DBUS_ERROR_SERVICE_UNKNOWN ||
         error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER || error->code == G_DBUS_ERROR_NO_REPLY ||
         error->code == G_DBUS_ERROR_DISCONNECTED))
        return KeychainStatus::notAvailable;
    if (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CLOSED)
        return KeychainStatus::notAvailable;
    if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_IS_LOCKED)
        return KeychainStatus::userCanceled;
    if (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CANCELLED)
        return KeychainStatus::userCanceled;
    return KeychainStatus::internalError;
}

QString message(const GError* error) { return QString::fromUtf8(error->message); }

// The items that match `query`. A failed search is logged as the failure of `operation` and its
// status returned instead.
struct Search {
    ItemList items;
    std::optional<int> failure;
};

QCoro::Task<Search> searchItems(SecretService* secrets, const Attributes& query,
                                SecretSearchFlags flags, Logger log, QString service,
                                const char* operation) {
    auto searched = co_await GAsyncAwaiter([&](GAsyncReadyCallback callback, gpointer data) {
        secret_service_search(secrets, credentialSchema(), query.get(), flags, nullptr, callback,
                              data);
    });
    GError* rawError = nullptr;
    Search search;
    search.items.reset(secret_service_search_finish(secrets, searched.get(), &rawError));
    const Error error(rawError);
    if (error) {
        log.error("Secret Service %{public}s failed for %{public}s: %{public}s", operation, service,
                  message(error.get()));
        search.failure = statusFor(error.get());
    }
    co_return search;
}

} // namespace

QCoro::Task<LibsecretKeychain::Connection> LibsecretKeychain::connect() {
    // A proxy of our own rather than libsecret's shared one, so that each connection asks the
    // bus afresh.
    GAsyncAwaiter::Result result =
        co_await GAsyncAwaiter([](GAsyncReadyCallback callback, gpointer data) {
            secret_service_open(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, nullptr,
                                callback, data);
        });
    GError* rawError = nullptr;
    SecretService* service = secret_service_open_finish(result.get(), &rawError);
    const Error error(rawError);
    Connection connection;
    if (!service) {
        connection.failure = error ? message(error.get()) : QStringLiteral("no Secret Service");
        co_return connection;
    }
    connection.keychain.reset(new LibsecretKeychain(service));
    co_return connection;
}

LibsecretKeychain::LibsecretKeychain(_SecretService* service) : service_(service) {}

LibsecretKeychain::~LibsecretKeychain() { g_object_unref(service_); }

QCoro::Task<KeychainReadResult> LibsecretKeychain::read(QString service, QString account) {
    // Held by the call, which may outlive the keychain.
    const ServiceRef held = retain(service_);
    SecretService* secrets = held.get();
    const Logger log = log_;
    const Attributes query = attributes(service, account);

    const Search found = co_await searchItems(
        secrets, query,
        static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), log,
        service, "read");
    if (found.failure)
        co_return KeychainReadResult{*found.failure, {}};
    const ItemList& items = found.items;
    if (!items)
        co_return KeychainReadResult{KeychainStatus::itemNotFound, {}};

    SecretItem* item = SECRET_ITEM(items->data);
    if (secret_item_get_locked(item))
        co_return KeychainReadResult{KeychainStatus::userCanceled, {}};
    Value value(secret_item_get_secret(item));
    if (!value) {
        auto loaded = co_await GAsyncAwaiter([&](GAsyncReadyCallback callback, gpointer data) {
            secret_item_load_secret(item, nullptr, callback, data);
        });
        GError* loadError = nullptr;
        if (!secret_item_load_secret_finish(item, loaded.get(), &loadError)) {
            const Error owned(loadError);
            log.error("Secret Service read failed for %{public}s: %{public}s", service,
                      owned ? message(owned.get()) : QStringLiteral("no secret"));
            co_return KeychainReadResult{
                owned ? statusFor(owned.get()) : KeychainStatus::internalError, {}};
        }
        value.reset(secret_item_get_secret(item));
        if (!value)
            co_return KeychainReadResult{KeychainStatus::internalError, {}};
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    co_return KeychainReadResult{KeychainStatus::success,
                                 QByteArray(bytes, static_cast<qsizetype>(length))};
}

QCoro::Task<int> LibsecretKeychain::update(QString service, QString account, QByteArray value) {
    // Held by the call, which may outlive the keychain.
    const ServiceRef held = retain(service_);
    SecretService* secrets = held.get();
    const Logger log = log_;
    const Attributes query = attributes(service, account);

    // Every matching item gets the value, so that a duplicate another client made cannot hand
    // out a stale one later.
    const Search found = co_await searchItems(
        secrets, query, static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK),
        log, service, "update");
    if (found.failure)
        co_return *found.failure;
    const ItemList& items = found.items;
    if (!items)
        co_return KeychainStatus::itemNotFound;

    const Value secret = secretValue(value);
    for (GList* node = items.get(); node; node = node->next) {
        SecretItem* item = SECRET_ITEM(node->data);
        if (secret_item_get_locked(item))
            co_return KeychainStatus::userCanceled;
        auto stored = co_await GAsyncAwaiter([&](GAsyncReadyCallback callback, gpointer data) {
            secret_item_set_secret(item, secret.get(), nullptr, callback, data);
        });
        GError* setError = nullptr;
        if (!secret_item_set_secret_finish(item, stored.get(), &setError)) {
            const Error owned(setError);
            log.error("Secret Service update failed for %{public}s: %{public}s", service,
                      owned ? message(owned.get()) : QString());
            co_return owned ? statusFor(owned.get()) : KeychainStatus::internalError;
        }
    }
    co_return KeychainStatus::success;
}

QCoro::Task<int> LibsecretKeychain::add(QString service, QString account, QByteArray value) {
    // Held by the call, which may outlive the keychain.
    const ServiceRef held = retain(service_);
    SecretService* secrets = held.get();
    const Logger log = log_;
    const Attributes query = attributes(service, account);

    const Search found =
        co_await searchItems(secrets, query, SECRET_SEARCH_NONE, log, service, "add");
    if (found.failure)
        co_return *found.failure;
    const ItemList& items = found.items;
    if (items)
        co_return KeychainStatus::duplicateItem;

    const Value secret = secretValue(value);
    const QByteArray label = QStringLiteral("Sayloom: %1").arg(service).toUtf8();
    auto stored = co_await GAsyncAwaiter([&](GAsyncReadyCallback callback, gpointer data) {
        secret_service_store(secrets, credentialSchema(), query.get(), SECRET_COLLECTION_DEFAULT,
                             label.constData(), secret.get(), nullptr, callback, data);
    });
    GError* storeError = nullptr;
    if (!secret_service_store_finish(secrets, stored.get(), &storeError)) {
        const Error owned(storeError);
        log.error("Secret Service add failed for %{public}s: %{public}s", service,
                  owned ? message(owned.get()) : QString());
        co_return owned ? statusFor(owned.get()) : KeychainStatus::internalError;
    }
    co_return KeychainStatus::success;
}

QCoro::Task<int> LibsecretKeychain::remove(QString service, QString account) {
    // Held by the call, which may outlive the keychain.
    const ServiceRef held = retain(service_);
    SecretService* secrets = held.get();
    const Logger log = log_;
    const Attributes query = attributes(service, account);

    auto cleared = co_await GAsyncAwaiter([&](GAsyncReadyCallback callback, gpointer data) {
        secret_service_clear(secrets, credentialSchema(), query.get(), nullptr, callback, data);
    });
    GError* rawError = nullptr;
    const bool removed = secret_service_clear_finish(secrets, cleared.get(), &rawError);
    const Error error(rawError);
    if (error) {
        log.error("Secret Service delete failed for %{public}s: %{public}s", service,
                  message(error.get()));
        co_return statusFor(error.get());
    }
    co_return removed ? KeychainStatus::success : KeychainStatus::itemNotFound;
}

} // namespace sayloom::linux_desktop
