#include "audio/OpusPacketEncoder.h"

#include "engine/TranscriberError.h"
#include "support/Logger.h"

#include <opus.h>

namespace sayloom {

OpusPacketEncoder::OpusPacketEncoder(int sampleRate, int channels)
    : frameSize_(sampleRate * kFrameMilliseconds / 1000)
    , channels_(channels) {
    int status = OPUS_OK;
    encoder_ = opus_encoder_create(sampleRate, channels, OPUS_APPLICATION_VOIP, &status);
    if (status != OPUS_OK || !encoder_) {
        if (encoder_)
            opus_encoder_destroy(encoder_);
        throw TranscriberError::transcriptionFailed(
            QStringLiteral("Failed to create Opus AudioConverter: ") + QString::number(status));
    }
    if (const int bitrateStatus = opus_encoder_ctl(encoder_, OPUS_SET_BITRATE(kBitRate));
        bitrateStatus != OPUS_OK)
        Logger(QStringLiteral("audio-preparation"))
            .error("Could not set Opus bitrate: %d, using default", bitrateStatus);
    opus_encoder_ctl(encoder_, OPUS_SET_VBR(1));
    opus_encoder_ctl(encoder_, OPUS_SET_COMPLEXITY(kComplexity));
}

OpusPacketEncoder::~OpusPacketEncoder() { opus_encoder_destroy(encoder_); }

QByteArray OpusPacketEncoder::encodePacket(std::span<const float> frame) {
    if (frame.size() != static_cast<std::size_t>(frameSize_) * static_cast<std::size_t>(channels_))
        throw TranscriberError::transcriptionFailed(QStringLiteral("Opus encode error: ") +
                                                    QString::number(OPUS_BAD_ARG));
    const opus_int32 size = opus_encode_float(encoder_, frame.data(), frameSize_,
                                              packetBuffer_.data(), kMaxPacketBytes);
    if (size < 0)
        throw TranscriberError::transcriptionFailed(QStringLiteral("Opus encode error: ") +
                                                    QString::number(size));
    if (size == 0)
        throw TranscriberError::transcriptionFailed(
            QStringLiteral("Opus encoder produced empty frame"));
    return QByteArray(reinterpret_cast<const char*>(packetBuffer_.data()), size);
}

} // namespace sayloom
