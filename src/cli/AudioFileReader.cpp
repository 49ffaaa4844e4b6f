#include "cli/AudioFileReader.h"

#include "audio/AudioRecorder.h"
#include "audio/SampleRateConverter.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <memory>

namespace sayloom {

std::optional<std::vector<float>> readRecordingFormat(const QString& path, QString& error,
                                                      std::int64_t limitSamples) {
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(
        sf_open(QFile::encodeName(path).constData(), SFM_READ, &info), &sf_close);
    if (!file) {
        error =
            QStringLiteral("cannot read %1: %2").arg(path, QString::fromUtf8(sf_strerror(nullptr)));
        return std::nullopt;
    }
    QString reason;
    const std::unique_ptr<SampleRateConverter> converter =
        SampleRateConverter::create(info.samplerate, info.channels, &reason);
    if (!converter) {
        error = QStringLiteral("cannot convert %1: %2").arg(path, reason);
        return std::nullopt;
    }

    // A chunk holds 16384 samples at most, whatever the number of channels (up to 1024).
    const sf_count_t chunkFrames = std::max<sf_count_t>(1, 16384 / info.channels);
    std::vector<float> chunk(static_cast<std::size_t>(chunkFrames * info.channels));
    std::vector<float> samples;
    // The limit in the file's frames.
    const double limitFrames =
        static_cast<double>(limitSamples) / AudioRecorder::kSampleRate * info.samplerate;
    // The length a header states is a claim, not a fact: a damaged or crafted file may claim
    // days of audio in a few bytes. Room is made for at most what a recording may hold.
    if (info.frames > 0)
        samples.reserve(
            static_cast<std::size_t>(std::min(static_cast<double>(info.frames), limitFrames) *
                                     SampleRateConverter::kTargetRate / info.samplerate) +
            64);
    const auto append = [&samples, &error, &path](const SampleRateConverter::Result& result) {
        if (result.error) {
            error =
                QStringLiteral("cannot convert %1: %2").arg(path, QString::fromUtf8(result.error));
            return false;
        }
        samples.insert(samples.end(), result.samples.begin(), result.samples.end());
        return true;
    };
    double framesRead = 0;
    for (;;) {
        const sf_count_t frames = sf_readf_float(file.get(), chunk.data(), chunkFrames);
        if (frames <= 0)
            break;
        // Compressed audio may hold far more than its size suggests: reading stops as soon as
        // the file is longer than any dictation.
        framesRead += static_cast<double>(frames);
        if (framesRead > limitFrames) {
            const QString limit =
                limitSamples == AudioRecorder::kLimitSampleCount
                    ? QStringLiteral("the ten minutes a dictation may last")
                    : QStringLiteral("%1 s").arg(static_cast<double>(limitSamples) /
                                                 AudioRecorder::kSampleRate);
            error = QStringLiteral("cannot use %1: it lasts longer than %2").arg(path, limit);
            return std::nullopt;
        }
        if (!append(converter->convert(chunk.data(), static_cast<std::size_t>(frames))))
            return std::nullopt;
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        error = QStringLiteral("cannot read %1: %2")
                    .arg(path, QString::fromUtf8(sf_strerror(file.get())));
        return std::nullopt;
    }
    if (!append(converter->finish()))
        return std::nullopt;
    return samples;
}

} // namespace sayloom
