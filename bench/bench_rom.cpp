// Making the emulated ROM's sample memory, and what it costs the first note: the image is
// made once per process, so the first-note figures come from one iteration each.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "emulator/Ma1Emulator.h"
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

// The first note-on after the emulator starts, as the window sends it: `pause` milliseconds
// after the start (the window's own start-up takes about that), on the sender's thread.
void BM_FirstNoteAfterStart(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto emulator = talmeru::emulator::Ma1Emulator::Create();
        std::unique_ptr<talmeru::MidiOutPort> out;
        emulator->Devices()->OpenOutput(0, out);
        std::this_thread::sleep_for(std::chrono::milliseconds(state.range(0)));
        state.ResumeTiming();
        out->SendShort(0x7F3C90);  // note on, middle C
        state.PauseTiming();
        out->SendShort(0x003C80);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstNoteAfterStart)
    ->Arg(0)
    ->Arg(150)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
