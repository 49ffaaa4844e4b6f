// The transcription client's own time: from transcribe() being called to the request leaving,
// with the identity token already cached. That is the audio preparation on its worker thread plus
// building the request; the network is not part of it.

#include "MemoryKeyValueStore.h"
#include "TestSignals.h"

#include "settings/AppSettings.h"
#include "support/QtScheduler.h"
#include "transcription/CloudTranscriber.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <map>

using namespace sayloom;

namespace {

// Notes when the request leaves and answers at once, so the benchmark measures only the client.
class DepartureSession final : public URLSessionProtocol {
public:
    QCoro::Task<URLSessionResult> data(URLRequest request, CancellationToken) override {
        departed = true;
        bytes = request.httpBody.size();
        co_return URLSessionResult{R"({"text":"ok","status":0})",
                                   HTTPURLResponse{200, request.url, {}}};
    }
    bool departed = false;
    qsizetype bytes = 0;
};

const std::vector<float>& speechOf(int seconds) {
    static std::map<int, std::vector<float>> cache;
    auto it = cache.find(seconds);
    if (it == cache.end())
        it = cache.emplace(seconds, testing::speechLike(seconds)).first;
    return it->second;
}

void releaseToRequest(benchmark::State& state) {
    const std::vector<float>& speech = speechOf(static_cast<int>(state.range(0)));
    testing::MemoryKeyValueStore store;
    AppSettings settings(store);
    QtScheduler scheduler;
    DepartureSession session;
    CloudTranscriber transcriber(
        {session, settings, scheduler, QUrl(QStringLiteral("https://api.test/v1/transcribe")),
         []() -> QCoro::Task<QString> { co_return QStringLiteral("cached"); },
         []() -> QCoro::Task<QString> { co_return QStringLiteral("fresh"); }});
    for (auto _ : state) {
        session.departed = false;
        QElapsedTimer timer;
        timer.start();
        auto task = transcriber.transcribe(speech, std::nullopt);
        QEventLoop loop;
        while (!session.departed)
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        while (!task.isReady())
            loop.processEvents(QEventLoop::AllEvents);
    }
    state.counters["body_kB"] = static_cast<double>(session.bytes) / 1024.0;
}

} // namespace

BENCHMARK(releaseToRequest)
    ->Arg(5)
    ->Arg(60)
    ->Arg(600)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
