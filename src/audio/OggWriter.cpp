#include "audio/OggWriter.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace sayloom {

namespace {

// CRC-32 as Ogg uses it: polynomial 0x04C11DB7, initial value 0, unreflected, no final XOR.
constexpr std::array<std::uint32_t, 256> makeChecksumTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t r = b << 24;
        for (int i = 0; i < 8; ++i)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        table[b] = r;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kChecksumTable = makeChecksumTable();

void putLittleEndian(char* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

qsizetype segmentCount(qsizetype packetSize) { return packetSize / 255 + 1; }

} // namespace

OggWriter::OggWriter(std::uint32_t serialNumber) : serialNumber_(serialNumber) {}

void OggWriter::writePage(QByteArrayView packet, std::uint64_t granulePosition,
                          std::uint8_t headerType) {
    appendPage(data_, packet, granulePosition, serialNumber_, nextSequenceNumber_++, headerType);
}

QByteArray OggWriter::makeOggPage(QByteArrayView packet, std::uint64_t granulePosition,
                                  std::uint32_t serialNumber, std::uint32_t sequenceNumber,
                                  std::uint8_t headerType) {
    QByteArray page;
    appendPage(page, packet, granulePosition, serialNumber, sequenceNumber, headerType);
    return page;
}

qsizetype OggWriter::pageSize(qsizetype packetSize) {
    return kHeaderSize + segmentCount(packetSize) + packetSize;
}

std::uint32_t OggWriter::oggChecksum(QByteArrayView page) {
    std::uint32_t crc = 0;
    for (const char c : page)
        crc = kChecksumTable[((crc >> 24) ^ static_cast<std::uint8_t>(c)) & 0xFF] ^ (crc << 8);
    return crc;
}

void OggWriter::appendPage(QByteArray& out, QByteArrayView packet, std::uint64_t granulePosition,
                           std::uint32_t serialNumber, std::uint32_t sequenceNumber,
                           std::uint8_t headerType) {
    if (packet.size() > kMaxPacketSize)
        throw std::length_error("Ogg packet too large for a single page");
    const qsizetype start = out.size();
    const qsizetype segments = segmentCount(packet.size());
    out.resize(start + pageSize(packet.size()));
    char* page = out.data() + start;

    std::copy_n("OggS", 4, page);
    page[4] = 0; // stream structure version
    page[5] = static_cast<char>(headerType);
    putLittleEndian(page + 6, granulePosition, 8);
    putLittleEndian(page + 14, serialNumber, 4);
    putLittleEndian(page + 18, sequenceNumber, 4);
    putLittleEndian(page + 22, 0, 4); // checksum, filled in below
    page[26] = static_cast<char>(segments);
    // Lacing: one 255 for every full 255 bytes, then the remainder, which is 0 when the packet
    // is a multiple of 255 bytes long (that final value is what marks the packet's end).
    char* lacing = page + kHeaderSize;
    for (qsizetype i = 0; i < segments - 1; ++i)
        lacing[i] = static_cast<char>(255);
    lacing[segments - 1] = static_cast<char>(packet.size() % 255);
    std::copy_n(packet.data(), packet.size(), lacing + segments);

    const qsizetype size = out.size() - start;
    putLittleEndian(page + 22, oggChecksum(QByteArrayView(page, size)), 4);
}

} // namespace sayloom
