#include "MockTranscriber.h"

#include "support/LocalizedError.h"

using namespace std::chrono_literals;

namespace sayloom::testing {

QCoro::Task<TranscribeResult> MockTranscriber::transcribe(std::vector<float> samples,
                                                          std::optional<QString>) {
    const std::size_t count = samples.size();
    const bool completed = co_await scheduler_.sleep(200ms, cancellation_);
    if (!completed)
        throw CancellationError();
    TranscribeResult result;
    result.text = QStringLiteral("Hello, this is a test transcription (%1s)")
                      .arg(QString::asprintf("%.1f", static_cast<double>(count) / 16000.0));
    co_return result;
}

} // namespace sayloom::testing
