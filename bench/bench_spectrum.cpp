// The spectrum display's work on a long sample (ten minutes, 16-bit, 44100 Hz): analysing one
// block at a time offset, the first block (which also builds the transform), drawing the
// picture, and the whole step of choosing an offset on a WAV file (load, analyse, free).
#include <benchmark/benchmark.h>

#include <filesystem>

#include "editors/spectrum/SpectrumAnalyser.h"
#include "files/WavWaveData.h"
#include "platform/FileUtil.h"
#include "support/Tones.h"
#include "support/WavBuilder.h"

namespace {

using namespace talmeru;
namespace fs = std::filesystem;

constexpr int kRate = 44100;
constexpr int kLongPoints = 10 * 60 * kRate;

const std::vector<uint8_t>& LongSample() {
    static const std::vector<uint8_t> data =
        test::As16(test::Mix(kLongPoints, {{82, 6000}, {164, 3000}, {247, 1500}, {1203.5, 800}}));
    return data;
}

void BM_AnalyseBlock(benchmark::State& state) {
    const auto& data = LongSample();
    SpectrumDisplay d;
    d.Pass(data, kLongPoints, 0, kRate, 16);
    const int offset = static_cast<int>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(d.Pass(data, kLongPoints, offset, kRate, 16));
        benchmark::DoNotOptimize(d.Analyser()->Peaks());
    }
}
BENCHMARK(BM_AnalyseBlock)->Arg(0)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_FirstBlock(benchmark::State& state) {
    const auto& data = LongSample();
    for (auto _ : state) {
        SpectrumDisplay d;
        benchmark::DoNotOptimize(d.Pass(data, kLongPoints, 500, kRate, 16));
    }
}
BENCHMARK(BM_FirstBlock)->Unit(benchmark::kMicrosecond);

void BM_Draw(benchmark::State& state) {
    SpectrumDisplay d;
    d.Pass(LongSample(), kLongPoints, 0, kRate, 16);
    d.SetRange(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(d.Draw(1200, 500));
}
BENCHMARK(BM_Draw)->Arg(500)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ChooseOffsetOnWavFile(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / "talmeru-bench-spectrum";
    fs::create_directories(dir);
    const std::string path = (dir / "long.wav").string();
    test::WavPlan plan;
    plan.rate = kRate;
    plan.data = LongSample();
    WriteWholeFile(path, test::MakeWav(plan));
    WavWaveData wave(path, 0, kWholeFile, true);
    SpectrumDisplay d;
    for (auto _ : state)
        benchmark::DoNotOptimize(d.PassWave(wave, 1000));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(LongSample().size()));
    fs::remove_all(dir);
}
BENCHMARK(BM_ChooseOffsetOnWavFile)->Unit(benchmark::kMillisecond);

}  // namespace
