#pragma once

#include "auth/CredentialStore.h"
#include "auth/Keychain.h"

#include <QMap>
#include <QPair>
#include <QStringList>

#include <coroutine>
#include <deque>
#include <optional>

namespace sayloom::testing {

// A keychain in memory that records every operation ("read S", "update S", "add S", "remove S",
// S being the service) and answers with a chosen status where a test asks for one. Held, its
// operations wait until the test releases them, like a keychain behind an unlock prompt.
class FakeKeychain final : public Keychain {
public:
    static constexpr const char* kDefaultAccount = CredentialStore::kKeychainAccount;

    QCoro::Task<KeychainReadResult> read(QString service, QString account) override {
        co_await gate();
        operations.append(QStringLiteral("read ") + service);
        if (auto status = injected(QStringLiteral("read"), service))
            co_return KeychainReadResult{*status, {}};
        const auto it = items.constFind({service, account});
        if (it == items.cend())
            co_return KeychainReadResult{KeychainStatus::itemNotFound, {}};
        co_return KeychainReadResult{KeychainStatus::success, *it};
    }

    QCoro::Task<int> update(QString service, QString account, QByteArray value) override {
        co_await gate();
        operations.append(QStringLiteral("update ") + service);
        if (auto status = injected(QStringLiteral("update"), service))
            co_return *status;
        const auto it = items.find({service, account});
        if (it == items.end())
            co_return KeychainStatus::itemNotFound;
        *it = value;
        co_return KeychainStatus::success;
    }

    QCoro::Task<int> add(QString service, QString account, QByteArray value) override {
        co_await gate();
        operations.append(QStringLiteral("add ") + service);
        if (auto status = injected(QStringLiteral("add"), service))
            co_return *status;
        if (items.contains({service, account}))
            co_return KeychainStatus::duplicateItem;
        items.insert({service, account}, value);
        co_return KeychainStatus::success;
    }

    QCoro::Task<int> remove(QString service, QString account) override {
        co_await gate();
        operations.append(QStringLiteral("remove ") + service);
        if (auto status = injected(QStringLiteral("remove"), service))
            co_return *status;
        co_return items.remove({service, account}) > 0 ? KeychainStatus::success
                                                       : KeychainStatus::itemNotFound;
    }

    // Test set-up and inspection, under the default account.
    void put(const QString& service, const QByteArray& value) {
        items.insert({service, QString::fromLatin1(kDefaultAccount)}, value);
    }
    std::optional<QByteArray> value(const QString& service) const {
        const auto it = items.constFind({service, QString::fromLatin1(kDefaultAccount)});
        if (it == items.cend())
            return std::nullopt;
        return *it;
    }
    int count(const QString& operation) const {
        int n = 0;
        for (const QString& entry : operations)
            if (entry.startsWith(operation + QLatin1Char(' ')))
                ++n;
        return n;
    }

    // Every later `operation` ("read", "update", "add", "remove") on `service` answers `status`.
    void failWith(const QString& operation, const QString& service, int status) {
        failures.insert({operation, service}, status);
    }

    // While held, operations wait; release() lets them go in order.
    void hold() { held_ = true; }
    void release() {
        held_ = false;
        while (!waiting_.empty()) {
            auto handle = waiting_.front();
            waiting_.pop_front();
            handle.resume();
        }
    }
    std::size_t waitingCount() const { return waiting_.size(); }

    QMap<QPair<QString, QString>, QByteArray> items;
    QStringList operations;
    QMap<QPair<QString, QString>, int> failures;

private:
    struct Gate {
        explicit Gate(FakeKeychain* k) : keychain(k) {}
        FakeKeychain* keychain;
        bool await_ready() const noexcept { return !keychain->held_; }
        void await_suspend(std::coroutine_handle<> handle) { keychain->waiting_.push_back(handle); }
        void await_resume() const noexcept {}
    };
    Gate gate() { return Gate(this); }

    std::optional<int> injected(const QString& operation, const QString& service) const {
        const auto it = failures.constFind({operation, service});
        if (it == failures.cend())
            return std::nullopt;
        return *it;
    }

    bool held_ = false;
    std::deque<std::coroutine_handle<>> waiting_;
};

} // namespace sayloom::testing
