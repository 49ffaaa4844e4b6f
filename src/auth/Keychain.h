#pragma once

#include <QByteArray>
#include <QString>

#include <qcoro/qcorotask.h>

namespace sayloom {

// Result codes of keychain operations, the generic-password item codes.
namespace KeychainStatus {
inline constexpr int success = 0;
// No item with this service and account exists.
inline constexpr int itemNotFound = -25300;
// An add found an item with this service and account already there.
inline constexpr int duplicateItem = -25299;
// No keychain is reachable (the Secret Service went away, no session bus).
inline constexpr int notAvailable = -25291;
// The keychain stayed locked: the user dismissed the unlock prompt.
inline constexpr int userCanceled = -128;
// The keychain's storage could not be read or written.
inline constexpr int ioError = -36;
// The keychain's storage holds something that is not a keychain.
inline constexpr int decodeError = -26275;
// Any other failure inside the keychain.
inline constexpr int internalError = -26276;
} // namespace KeychainStatus

struct KeychainReadResult {
    int status = KeychainStatus::itemNotFound;
    // The item's value; empty unless status is success.
    QByteArray value;
};

// Generic-password items, each named by a service and an account. Operations complete
// asynchronously so that a keychain waiting for the user (an unlock prompt) never holds up the
// event loop; a keychain that has nothing to wait for completes before returning. Main thread only.
class Keychain {
public:
    virtual ~Keychain() = default;

    // The item's value; itemNotFound when there is none.
    virtual QCoro::Task<KeychainReadResult> read(QString service, QString account) = 0;
    // Replaces the value of an existing item, and nothing else about it; itemNotFound when there
    // is none.
    virtual QCoro::Task<int> update(QString service, QString account, QByteArray value) = 0;
    // Creates an item; duplicateItem when one exists already.
    virtual QCoro::Task<int> add(QString service, QString account, QByteArray value) = 0;
    // Deletes the item; itemNotFound when there is none.
    virtual QCoro::Task<int> remove(QString service, QString account) = 0;
};

} // namespace sayloom
