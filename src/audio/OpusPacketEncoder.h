#pragma once

#include <QByteArray>

#include <array>
#include <span>

struct OpusEncoder;

namespace sayloom {

// One libopus encoder for one recording: 20 ms packets at 20 kbit/s, variable bit rate, tuned for
// speech. Successive packets share the encoder's state, as a continuous stream needs.
class OpusPacketEncoder {
public:
    static constexpr int kBitRate = 20000;
    static constexpr int kFrameMilliseconds = 20;
    static constexpr int kMaxPacketBytes = 1275; // the largest packet Opus produces
    // Measured on the 2-core build machines with speech-like input on one core: complexity 6
    // encodes at 110-125x real time, so a 10-second dictation is prepared in about 90 ms of CPU
    // and a 10-minute one in about 5.5 s (targets: 150 ms and 10 s). The default, 10, runs at
    // 75-85x, which leaves too little room for the 10-minute case on a busy machine; 5 is faster
    // still (about 165x) but drops to a coarser noise-shaping and quantisation search.
    static constexpr int kComplexity = 6;

    // Throws TranscriberError when libopus rejects the format.
    OpusPacketEncoder(int sampleRate, int channels);
    ~OpusPacketEncoder();
    OpusPacketEncoder(const OpusPacketEncoder&) = delete;
    OpusPacketEncoder& operator=(const OpusPacketEncoder&) = delete;

    // Samples per channel in one packet: 320 at 16 kHz.
    int frameSize() const { return frameSize_; }
    // Encodes exactly one frame (frameSize() × channels samples) and returns its packet.
    // Throws TranscriberError when the encoder fails or produces nothing.
    QByteArray encodePacket(std::span<const float> frame);

private:
    OpusEncoder* encoder_ = nullptr;
    int frameSize_;
    int channels_;
    std::array<unsigned char, kMaxPacketBytes> packetBuffer_{};
};

} // namespace sayloom
