#include "platform/linux/SwayIpcMessage.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

#include <cstring>

namespace sayloom::linux_desktop {

namespace {

constexpr char kMagic[] = "i3-ipc";
constexpr qsizetype kMagicSize = sizeof(kMagic) - 1;
constexpr qsizetype kHeaderSize = kMagicSize + 2 * sizeof(std::uint32_t);
// Far beyond any reply or event we ask for: a length above it means the stream is garbage.
constexpr std::uint32_t kLargestPayload = 16u << 20;

} // namespace

QByteArray SwayIpcMessage::encoded() const {
    QByteArray bytes(kMagic, kMagicSize);
    const auto length = static_cast<std::uint32_t>(payload.size());
    bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
    bytes.append(reinterpret_cast<const char*>(&type), sizeof type);
    bytes.append(payload);
    return bytes;
}

std::optional<SwayIpcMessage> SwayIpcMessage::take(QByteArray& buffer, bool& corrupt) {
    corrupt = false;
    if (buffer.size() < kHeaderSize)
        return std::nullopt;
    std::uint32_t length = 0;
    std::uint32_t type = 0;
    std::memcpy(&length, buffer.constData() + kMagicSize, sizeof length);
    std::memcpy(&type, buffer.constData() + kMagicSize + sizeof length, sizeof type);
    if (!buffer.startsWith(QByteArray::fromRawData(kMagic, kMagicSize)) ||
        length > kLargestPayload) {
        corrupt = true;
        return std::nullopt;
    }
    if (buffer.size() < kHeaderSize + static_cast<qsizetype>(length))
        return std::nullopt;
    SwayIpcMessage message{type, buffer.mid(kHeaderSize, length)};
    buffer.remove(0, kHeaderSize + length);
    return message;
}

std::optional<SwayIpcMessage> SwayIpcMessage::request(int timeoutMs,
                                                      const QString& socketPath) const {
    const QString path = socketPath.isEmpty() ? qEnvironmentVariable("SWAYSOCK") : socketPath;
    if (path.isEmpty())
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
        return std::nullopt;
    socket.write(encoded());
    QByteArray buffer;
    bool corrupt = false;
    while (!deadline.hasExpired() && !corrupt) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return std::nullopt;
        buffer += socket.readAll();
        if (auto reply = take(buffer, corrupt))
            return reply->type == type ? reply : std::nullopt;
    }
    return std::nullopt;
}

} // namespace sayloom::linux_desktop
