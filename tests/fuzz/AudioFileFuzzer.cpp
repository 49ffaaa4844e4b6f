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

    QString error;
    const auto samples = readRecordingFormat(scratch.path, error);
    FUZZ_CHECK(samples.has_value() == error.isEmpty());
    return 0;
}
