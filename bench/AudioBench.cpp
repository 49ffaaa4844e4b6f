// Audio preparation and capture costs. Targets on the 2-core build machines: a 10-second
// dictation prepared in under 150 ms, a 10-minute one in under 10 s; the capture path must stay a
// small fraction of the 21 ms a 1024-frame buffer at 48 kHz lasts.

#include "FakeAudioInput.h"
#include "TestSignals.h"

#include "audio/AudioPreparation.h"
#include "audio/AudioRecorder.h"
#include "audio/SampleRateConverter.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <map>

using namespace sayloom;

namespace {

const std::vector<float>& speechOf(int seconds) {
    static std::map<int, std::vector<float>> cache;
    auto it = cache.find(seconds);
    if (it == cache.end())
        it = cache.emplace(seconds, testing::speechLike(seconds)).first;
    return it->second;
}

double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void prepareSpeech(benchmark::State& state) {
    const int seconds = static_cast<int>(state.range(0));
    const std::vector<float>& speech = speechOf(seconds);
    qsizetype bytes = 0;
    for (auto _ : state) {
        const PreparedAudio prepared = prepareAudio(speech);
        bytes = prepared.data.size();
        benchmark::DoNotOptimize(prepared.data.constData());
    }
    // Rates are taken over CPU time: audio seconds prepared per CPU second.
    state.counters["audio_s_per_cpu_s"] =
        benchmark::Counter(static_cast<double>(seconds) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.counters["stream_kB"] = static_cast<double>(bytes) / 1000.0;
    state.counters["peak_rss_MB"] = peakResidentMegabytes();
}
BENCHMARK(prepareSpeech)->Arg(10)->Arg(60)->Arg(600)->Unit(benchmark::kMillisecond);

void convertBuffer(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const int channels = static_cast<int>(state.range(1));
    const std::vector<float> buffer = testing::sineWave(440, rate, 1024, 0.5f, channels);
    const auto converter = SampleRateConverter::create(rate, channels);
    for (auto _ : state) {
        const auto result = converter->convert(buffer.data(), 1024);
        benchmark::DoNotOptimize(result.samples.data());
    }
    state.counters["buffers_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(convertBuffer)
    ->Args({48000, 2})
    ->Args({48000, 1})
    ->Args({44100, 1})
    ->Unit(benchmark::kMicrosecond);

// The whole capture path of one buffer: generation check, conversion, store, level.
void captureBuffer(benchmark::State& state) {
    testing::FakeAudioInput* input = nullptr;
    AudioRecorder recorder([&input] {
        auto fake = std::make_unique<testing::FakeAudioInput>(AudioInputFormat{48000, 2});
        input = fake.get();
        return fake;
    });
    const std::vector<float> buffer = testing::sineWave(440, 48000, 1024, 0.5f, 2);
    recorder.start();
    std::int64_t delivered = 0;
    for (auto _ : state) {
        input->deliver(buffer);
        // Start over well before the ten-minute cap, outside the measurement.
        if (++delivered % 20'000 == 0) {
            state.PauseTiming();
            recorder.stop();
            recorder.start();
            state.ResumeTiming();
        }
    }
    recorder.stop();
}
BENCHMARK(captureBuffer)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the recorder's level hand-over needs an event dispatcher
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
