#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace sayloom::linux_desktop {

// One message of sway's IPC socket: the "i3-ipc" magic, the payload's length and the message
// type as native 32-bit integers, then the JSON payload. Replies carry the type of their request;
// events have the high bit set.
struct SwayIpcMessage {
    enum Type : std::uint32_t {
        runCommand = 0,
        subscribe = 2,
        getTree = 4,
        getVersion = 7,
        bindingEvent = 0x80000005,
    };

    std::uint32_t type = 0;
    QByteArray payload;

    QByteArray encoded() const;

    // Takes the first whole message off the front of `buffer`; nothing while it is incomplete.
    // A buffer that does not begin with the magic is no IPC stream: `corrupt` is set then.
    static std::optional<SwayIpcMessage> take(QByteArray& buffer, bool& corrupt);

    // Sends this request on a connection of its own to sway's socket (SWAYSOCK's when `socketPath`
    // is empty) and returns the reply; nothing when none came within `timeoutMs`. Blocks.
    std::optional<SwayIpcMessage> request(int timeoutMs, const QString& socketPath = {}) const;
};

} // namespace sayloom::linux_desktop
