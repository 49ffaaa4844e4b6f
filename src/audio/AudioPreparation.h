#pragma once

#include "audio/PreparedAudio.h"

#include <QByteArray>

#include <cstdint>
#include <span>
#include <vector>

// Turns a recording (16 kHz mono float) into the Ogg Opus stream the transcription service takes:
// trailing silence cut, level normalised, 20 ms Opus packets, one packet per Ogg page. Pure
// functions, safe to run on a worker thread. Failures throw TranscriberError.
namespace sayloom {

inline constexpr int kRecordingSampleRate = 16000;
inline constexpr std::int64_t kTrailingSilenceKept = 3200; // 0.2 s at 16 kHz
inline constexpr float kTrimThreshold = 0.002f;
inline constexpr float kNormalizedPeak = 0.9f;
inline constexpr std::uint32_t kOggSerialNumber = 0x53796C6D; // "Sylm"

PreparedAudio prepareAudio(std::span<const float> samples);

// Cuts what follows the last sample louder than `threshold`, keeping `tailLength` samples of it.
// No loud sample at all leaves nothing; leading silence is kept.
std::vector<float> trimTrailingSilence(std::span<const float> samples, std::int64_t tailLength,
                                       float threshold);
// Amplifies a quiet recording so that its peak reaches `targetPeak` (at most 30-fold); never
// attenuates, and leaves near-silence alone.
std::vector<float> normalizePeak(std::span<const float> samples, float targetPeak);

// One Opus packet per whole 20 ms frame; a trailing partial frame is not encoded.
std::vector<QByteArray> encodeOpusPackets(std::span<const float> samples, int sampleRate);

QByteArray buildOggOpusStream(const std::vector<QByteArray>& packets, int sampleRate,
                              int channelCount);
QByteArray makeOpusHead(int channelCount, std::uint16_t preSkip, std::uint32_t inputSampleRate);
QByteArray makeOpusTags();

} // namespace sayloom
