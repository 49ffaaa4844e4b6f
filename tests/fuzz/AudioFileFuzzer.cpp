// An audio file given to `sayloom prepare` or `sayloom transcribe`. libsndfile reads files, so
// each input is written to one temporary file first.

#include "FuzzInput.h"

#include "cli/AudioFileReader.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

using namespace sayloom;

namespace {

struct ScratchFile {
    QString path = QDir::temp().filePath(
        QStringLiteral("sayloom-fuzz-audio-%1.bin").arg(QString::number(::getpid())));
    ~ScratchFile() { QFile::remove(path); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFile scratch;
    QFile file(scratch.path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(fuzz::bytes(data, size)) == static_cast<qint64>(size));
    file.close();

    // Compressed formats can hold minutes of audio in a few bytes; decoding and converting them
    // takes seconds, and what the parser does is the same for two seconds as for ten minutes.
    constexpr std::int64_t kTwoSeconds = 2 * AudioRecorder::kSampleRate;
    QString error;
    const auto samples = readRecordingFormat(scratch.path, error, kTwoSeconds);
    FUZZ_CHECK(samples.has_value() == error.isEmpty());
    return 0;
}
