// Making the emulated ROM's sample memory: every emulator does it once, at its first use.
#include <benchmark/benchmark.h>

#include "emulator/RomWaves.h"

namespace {

void BM_MakeRomWaves(benchmark::State& state) {
    for (auto _ : state) {
        auto waves = talmeru::emulator::MakeRomWaves();
        benchmark::DoNotOptimize(waves.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (int64_t(0x1FFFFF) + 1));
}
BENCHMARK(BM_MakeRomWaves)->Unit(benchmark::kMillisecond);

}  // namespace
