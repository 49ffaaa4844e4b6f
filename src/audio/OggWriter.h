#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

namespace sayloom {

// Writes one logical Ogg bitstream in which every page carries exactly one complete packet
// (never a continued one), numbering the pages from 0.
class OggWriter {
public:
    static constexpr std::uint8_t kFirstPage = 0x02;
    static constexpr std::uint8_t kLastPage = 0x04;
    static constexpr int kHeaderSize = 27;
    // A page's segment table holds at most 255 lacing values, which bounds the packet size.
    static constexpr qsizetype kMaxPacketSize = 255 * 254 + 254;

    explicit OggWriter(std::uint32_t serialNumber);

    void reserve(qsizetype bytes) { data_.reserve(bytes); }
    // Appends a page for `packet`. Throws std::length_error for a packet beyond kMaxPacketSize.
    void writePage(QByteArrayView packet, std::uint64_t granulePosition, std::uint8_t headerType);
    const QByteArray& data() const { return data_; }
    QByteArray takeData() { return std::move(data_); }

    // The bytes of one page: header, segment table, packet, with its checksum filled in.
    static QByteArray makeOggPage(QByteArrayView packet, std::uint64_t granulePosition,
                                  std::uint32_t serialNumber, std::uint32_t sequenceNumber,
                                  std::uint8_t headerType);
    // The size of the page that carries a packet of `packetSize` bytes.
    static qsizetype pageSize(qsizetype packetSize);
    // The Ogg CRC-32 of a page whose checksum field (bytes 22 to 25) is zero.
    static std::uint32_t oggChecksum(QByteArrayView page);

private:
    static void appendPage(QByteArray& out, QByteArrayView packet, std::uint64_t granulePosition,
                           std::uint32_t serialNumber, std::uint32_t sequenceNumber,
                           std::uint8_t headerType);

    std::uint32_t serialNumber_;
    std::uint32_t nextSequenceNumber_ = 0;
    QByteArray data_;
};

} // namespace sayloom
