#include "cli/AudioFileReader.h"

#include "audio/SampleRateConverter.h"

#include <QFile>

#include <sndfile.h>

#include <memory>

namespace sayloom {

std::optional<std::vector<float>> readRecordingFormat(const QString& path, QString& error) {
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

    constexpr sf_count_t kChunkFrames = 16384;
    std::vector<float> chunk(static_cast<std::size_t>(kChunkFrames) *
                             static_cast<std::size_t>(info.channels));
    std::vector<float> samples;
    if (info.frames > 0)
        samples.reserve(static_cast<std::size_t>(info.frames * SampleRateConverter::kTargetRate /
                                                 info.samplerate) +
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
    for (;;) {
        const sf_count_t frames = sf_readf_float(file.get(), chunk.data(), kChunkFrames);
        if (frames <= 0)
            break;
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
