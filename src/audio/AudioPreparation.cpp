#include "audio/AudioPreparation.h"

#include "audio/OggWriter.h"
#include "audio/OpusPacketEncoder.h"
#include "engine/TranscriberError.h"

#include <algorithm>
#include <cmath>

namespace sayloom {

namespace {

constexpr float kMaxGain = 30.0f;
constexpr float kMinUsefulGain = 1.05f;
constexpr float kNearSilentPeak = 0.0001f;
constexpr std::uint64_t kGranulesPerPacket = 960; // 20 ms at 48 kHz, whatever the input rate

// The number of samples trimTrailingSilence keeps.
std::size_t trimmedLength(std::span<const float> samples, std::int64_t tailLength,
                          float threshold) {
    if (samples.empty())
        return 0;
    std::int64_t last = static_cast<std::int64_t>(samples.size()) - 1;
    while (last >= 0 && !(std::fabs(samples[static_cast<std::size_t>(last)]) > threshold))
        --last;
    if (last < 0)
        return 0;
    const std::int64_t count = static_cast<std::int64_t>(samples.size());
    const std::int64_t end = last + tailLength;
    if (end >= count - 1)
        return samples.size();
    return static_cast<std::size_t>(end + 1);
}

void putLittleEndian(QByteArray& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

PreparedAudio prepareAudio(std::span<const float> samples) {
    const std::size_t kept = trimmedLength(samples, kTrailingSilenceKept, kTrimThreshold);
    const std::vector<float> normalized = normalizePeak(samples.first(kept), kNormalizedPeak);
    const std::vector<QByteArray> packets = encodeOpusPackets(normalized, kRecordingSampleRate);
    return {buildOggOpusStream(packets, kRecordingSampleRate, 1), static_cast<std::int64_t>(kept)};
}

std::vector<float> trimTrailingSilence(std::span<const float> samples, std::int64_t tailLength,
                                       float threshold) {
    const auto kept = samples.first(trimmedLength(samples, tailLength, threshold));
    return std::vector<float>(kept.begin(), kept.end());
}

std::vector<float> normalizePeak(std::span<const float> samples, float targetPeak) {
    std::vector<float> out(samples.begin(), samples.end());
    if (samples.empty())
        return out;
    float peak = 0;
    for (const float s : samples)
        peak = std::max(peak, std::fabs(s));
    if (peak <= kNearSilentPeak)
        return out;
    float gain = targetPeak / peak;
    if (gain > kMaxGain)
        gain = kMaxGain;
    else if (gain < kMinUsefulGain)
        return out; // quiet recordings are only ever amplified, never attenuated
    for (float& s : out)
        s = std::clamp(s * gain, -1.0f, 1.0f);
    return out;
}

std::vector<QByteArray> encodeOpusPackets(std::span<const float> samples, int sampleRate) {
    OpusPacketEncoder encoder(sampleRate, 1);
    const std::size_t frame = static_cast<std::size_t>(encoder.frameSize());
    std::vector<QByteArray> packets;
    packets.reserve(samples.size() / std::max<std::size_t>(frame, 1));
    for (std::size_t start = 0; frame > 0 && start + frame <= samples.size(); start += frame)
        packets.push_back(encoder.encodePacket(samples.subspan(start, frame)));
    if (packets.empty())
        throw TranscriberError::transcriptionFailed(
            QStringLiteral("No Opus frames produced \u2013 audio too short"));
    return packets;
}

QByteArray buildOggOpusStream(const std::vector<QByteArray>& packets, int sampleRate,
                              int channelCount) {
    const QByteArray head =
        makeOpusHead(channelCount, 0, static_cast<std::uint32_t>(std::max(sampleRate, 0)));
    const QByteArray tags = makeOpusTags();
    qsizetype total = OggWriter::pageSize(head.size()) + OggWriter::pageSize(tags.size());
    for (const QByteArray& packet : packets)
        total += OggWriter::pageSize(packet.size());

    OggWriter writer(kOggSerialNumber);
    writer.reserve(total);
    writer.writePage(head, 0, OggWriter::kFirstPage);
    writer.writePage(tags, 0, 0x00);
    for (std::size_t i = 0; i < packets.size(); ++i)
        writer.writePage(packets[i], (i + 1) * kGranulesPerPacket,
                         i + 1 == packets.size() ? OggWriter::kLastPage : 0x00);
    return writer.takeData();
}

QByteArray makeOpusHead(int channelCount, std::uint16_t preSkip, std::uint32_t inputSampleRate) {
    QByteArray head("OpusHead");
    head.append(char(1)); // version
    head.append(static_cast<char>(channelCount));
    putLittleEndian(head, preSkip, 2);
    putLittleEndian(head, inputSampleRate, 4);
    putLittleEndian(head, 0, 2); // output gain
    head.append(char(0));        // channel mapping family: mono or stereo, no table
    return head;
}

QByteArray makeOpusTags() {
    const QByteArray vendor("Sayloom");
    QByteArray tags("OpusTags");
    putLittleEndian(tags, static_cast<std::uint32_t>(vendor.size()), 4);
    tags.append(vendor);
    putLittleEndian(tags, 0, 4); // no user comments
    return tags;
}

} // namespace sayloom
