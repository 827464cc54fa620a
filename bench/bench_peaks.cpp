// The sample view on a 100 MB sample (50 million 16-bit frames): building its peaks once,
// then drawing the whole of it and a zoomed part at 1600 pixel columns; and the Find Loop and
// Detect Pitch commands on a second of tone.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

#include "editors/sample/SampleAnalysis.h"
#include "editors/sample/WavePeaks.h"

namespace {

using talmeru::WavePeaks;

constexpr int64_t kFrames = 50'000'000;  // 100 MB of 16-bit data

std::vector<int16_t> Tone(int64_t frames, double period) {
    std::vector<int16_t> v(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i)
        v[size_t(i)] = static_cast<int16_t>(
            12000 * std::sin(2 * std::numbers::pi * static_cast<double>(i) / period) +
            3000 * std::sin(6 * std::numbers::pi * static_cast<double>(i) / period));
    return v;
}

const std::vector<int16_t>& Big() {
    static const std::vector<int16_t> frames = Tone(kFrames, 100.3);
    return frames;
}

const WavePeaks& BigPeaks() {
    static const WavePeaks peaks(Big());
    return peaks;
}

void BM_PeaksBuild100MB(benchmark::State& state) {
    const std::vector<int16_t>& frames = Big();
    for (auto _ : state) {
        WavePeaks peaks(frames);
        benchmark::DoNotOptimize(peaks.Levels());
    }
    state.SetBytesProcessed(state.iterations() * kFrames * 2);
}
BENCHMARK(BM_PeaksBuild100MB)->Unit(benchmark::kMillisecond);

void BM_PeaksDrawWhole100MB(benchmark::State& state) {
    const WavePeaks& peaks = BigPeaks();
    for (auto _ : state)
        benchmark::DoNotOptimize(peaks.Columns(0, static_cast<double>(kFrames), 1600));
}
BENCHMARK(BM_PeaksDrawWhole100MB)->Unit(benchmark::kMicrosecond);

void BM_PeaksDrawZoomed100MB(benchmark::State& state) {
    const WavePeaks& peaks = BigPeaks();
    const auto span = static_cast<double>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(peaks.Columns(12'345'678, 12'345'678 + span, 1600));
}
BENCHMARK(BM_PeaksDrawZoomed100MB)
    ->Arg(1'000'000)
    ->Arg(30'000)
    ->Arg(800)
    ->Unit(benchmark::kMicrosecond);

void BM_FindLoop(benchmark::State& state) {
    const std::vector<int16_t> tone = Tone(44100, 100.3);
    talmeru::LoopSearch search;
    search.window = 441;
    search.radius = 1102;
    for (auto _ : state)
        benchmark::DoNotOptimize(talmeru::FindLoop(tone, 0, 20000, 40000, search));
}
BENCHMARK(BM_FindLoop)->Unit(benchmark::kMillisecond);

void BM_DetectPitch(benchmark::State& state) {
    const std::vector<int16_t> tone = Tone(88200, 100.3);
    for (auto _ : state)
        benchmark::DoNotOptimize(talmeru::DetectPitch(tone, 0, 88200, 44100));
}
BENCHMARK(BM_DetectPitch)->Unit(benchmark::kMillisecond);

}  // namespace
