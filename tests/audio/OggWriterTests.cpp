#include "audio/AudioPreparation.h"
#include "audio/OggWriter.h"

#include <ogg/ogg.h>

#include <gtest/gtest.h>

#include <random>

using namespace sayloom;

namespace {

std::uint64_t littleEndian(const QByteArray& bytes, qsizetype at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes.at(at + i));
    return value;
}

QByteArray randomPacket(qsizetype size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray packet(size, Qt::Uninitialized);
    for (char& c : packet)
        c = static_cast<char>(random());
    return packet;
}

std::vector<int> lacingOf(qsizetype packetSize) {
    const QByteArray page = OggWriter::makeOggPage(QByteArray(packetSize, 'x'), 0, 1, 0, 0);
    const int segments = static_cast<std::uint8_t>(page.at(26));
    std::vector<int> lacing;
    for (int i = 0; i < segments; ++i)
        lacing.push_back(static_cast<std::uint8_t>(page.at(27 + i)));
    EXPECT_EQ(page.size(), 27 + segments + packetSize);
    return lacing;
}

struct Page {
    std::uint8_t headerType;
    std::uint64_t granule;
    std::uint32_t serial;
    std::uint32_t sequence;
    QByteArray packet;
};

// Splits a stream of single-packet pages; fails the test on anything else.
std::vector<Page> pagesOf(const QByteArray& stream) {
    std::vector<Page> pages;
    qsizetype at = 0;
    while (at < stream.size()) {
        EXPECT_EQ(stream.mid(at, 4), "OggS");
        const int segments = static_cast<std::uint8_t>(stream.at(at + 26));
        qsizetype size = 0;
        for (int i = 0; i < segments; ++i)
            size += static_cast<std::uint8_t>(stream.at(at + 27 + i));
        pages.push_back({static_cast<std::uint8_t>(stream.at(at + 5)),
                         littleEndian(stream, at + 6, 8),
                         static_cast<std::uint32_t>(littleEndian(stream, at + 14, 4)),
                         static_cast<std::uint32_t>(littleEndian(stream, at + 18, 4)),
                         stream.mid(at + 27 + segments, size)});
        at += 27 + segments + size;
    }
    EXPECT_EQ(at, stream.size());
    return pages;
}

} // namespace

TEST(AudioOggPage, LacingSplitsPacketsInto255ByteSegmentsEndingBelow255) {
    EXPECT_EQ(lacingOf(0), (std::vector<int>{0}));
    EXPECT_EQ(lacingOf(254), (std::vector<int>{254}));
    EXPECT_EQ(lacingOf(255), (std::vector<int>{255, 0}));
    EXPECT_EQ(lacingOf(510), (std::vector<int>{255, 255, 0}));
    EXPECT_EQ(lacingOf(600), (std::vector<int>{255, 255, 90}));
    EXPECT_EQ(lacingOf(1275), (std::vector<int>{255, 255, 255, 255, 255, 0}));
    EXPECT_EQ(lacingOf(OggWriter::kMaxPacketSize).size(), 255u);
    EXPECT_THROW(OggWriter::makeOggPage(QByteArray(OggWriter::kMaxPacketSize + 1, 'x'), 0, 1, 0, 0),
                 std::length_error);
}

TEST(AudioOggPage, HeaderFieldsAreLittleEndianAtTheirOffsets) {
    const QByteArray page =
        OggWriter::makeOggPage("abc", 0x0102030405060708ull, kOggSerialNumber, 0x0A0B0C0D, 0x04);
    EXPECT_EQ(page.left(6), QByteArray("OggS\x00\x04", 6));
    EXPECT_EQ(page.mid(6, 8), QByteArray("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
    EXPECT_EQ(page.mid(14, 4), QByteArray("\x6D\x6C\x79\x53", 4));
    EXPECT_EQ(page.mid(18, 4), QByteArray("\x0D\x0C\x0B\x0A", 4));
    EXPECT_EQ(page.mid(26), QByteArray("\x01\x03"
                                       "abc",
                                       5));
}

TEST(AudioOggPage, ChecksumAgreesWithLibogg) {
    unsigned seed = 1;
    for (const qsizetype size : {0, 1, 19, 254, 255, 600, 1275, 4000}) {
        QByteArray page =
            OggWriter::makeOggPage(randomPacket(size, seed++), 960ull * size, 0x53796C6D, 7, 0);
        const QByteArray stored = page.mid(22, 4);
        page.replace(22, 4, QByteArray(4, '\0'));
        EXPECT_EQ(littleEndian(stored, 0, 4), OggWriter::oggChecksum(page)) << size;

        const int headerSize = 27 + static_cast<std::uint8_t>(page.at(26));
        ogg_page reference{reinterpret_cast<unsigned char*>(page.data()), headerSize,
                           reinterpret_cast<unsigned char*>(page.data()) + headerSize,
                           page.size() - headerSize};
        ogg_page_checksum_set(&reference);
        EXPECT_EQ(page.mid(22, 4), stored) << size;
    }
}

TEST(AudioOggPage, OpusHeadAndTagsHaveTheirFixedLayout) {
    EXPECT_EQ(makeOpusHead(1, 0, 16000),
              QByteArray("OpusHead\x01\x01\x00\x00\x80\x3E\x00\x00\x00\x00\x00", 19));
    EXPECT_EQ(makeOpusTags(), QByteArray("OpusTags\x07\x00\x00\x00Sayloom\x00\x00\x00\x00", 23));
}

TEST(AudioOggPage, StreamOfNPacketsHasNPlusTwoPagesBetweenFirstAndLastFlags) {
    for (const std::size_t n : {1u, 2u, 5u}) {
        std::vector<QByteArray> packets;
        for (std::size_t i = 0; i < n; ++i)
            packets.push_back(randomPacket(40 + 300 * static_cast<qsizetype>(i), i));
        const QByteArray stream = buildOggOpusStream(packets, 16000, 1);
        const std::vector<Page> pages = pagesOf(stream);
        ASSERT_EQ(pages.size(), n + 2);
        EXPECT_EQ(stream.indexOf("OggS", 1), 47); // head page 27 + 1 + 19 bytes
        EXPECT_EQ(stream.indexOf("OggS", 48), 47 + 51);
        EXPECT_EQ(pages[0].packet, makeOpusHead(1, 0, 16000));
        EXPECT_EQ(pages[1].packet, makeOpusTags());
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const Page& page = pages[i];
            EXPECT_EQ(page.sequence, i);
            EXPECT_EQ(page.serial, kOggSerialNumber);
            EXPECT_EQ(page.headerType, i == 0 ? 0x02 : i == n + 1 ? 0x04 : 0x00);
            EXPECT_EQ(page.granule, i < 2 ? 0 : (i - 1) * 960);
            if (i >= 2) {
                EXPECT_EQ(page.packet, packets[i - 2]);
            }
        }
    }
}
