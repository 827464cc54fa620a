// The voice engine at full polyphony: 64 voices of the emulator's ROM programs (sustained,
// with reverb and chorus sends) rendered in 256-frame blocks, as the audio output asks for
// them. "core_share" is the time per block over the block's duration: 0.25 is a quarter of
// one core.
#include <benchmark/benchmark.h>

#include <vector>

#include "emulator/Ma1Emulator.h"

namespace {

using namespace talmeru;

void BM_SixtyFourVoices(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    auto emu = emulator::Ma1Emulator::Create();
    std::shared_ptr<MidiDeviceProvider> devices = emu->Devices();
    std::unique_ptr<MidiOutPort> port;
    if (devices->OpenOutput(0, port)) {
        state.SkipWithError("no emulated output");
        return;
    }
    // Hall 1 and Chorus 1, by the messages the effects dialog sends.
    for (uint32_t m : {0x63B0u, 0x0162B0u, 0x0406B0u, 0x63B0u, 0x0262B0u, 0x0106B0u})
        port->SendShort(m);
    // Four channels of sixteen notes each, held by the sustain pedal, on looped programs.
    const int programs[4] = {0, 48, 19, 88};  // piano, strings, organ, pad
    for (int ch = 0; ch < 4; ++ch) {
        port->SendShort(0xC0 | ch | programs[ch] << 8);
        port->SendShort(0xB0 | ch | 64 << 8 | 127 << 16);
        port->SendShort(0xB0 | ch | 91 << 8 | 60 << 16);
        port->SendShort(0xB0 | ch | 93 << 8 | 40 << 16);
        for (int k = 0; k < 16; ++k)
            port->SendShort(0x90 | ch | (36 + ch * 5 + k * 3) << 8 | 100 << 16);
    }
    std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
    emu->Render(l.data(), r.data(), frames);
    for (auto _ : state) {
        emu->Render(l.data(), r.data(), frames);
        benchmark::DoNotOptimize(l.data());
    }
    state.counters["voices"] = emu->AudioStats().activeVoices;
    state.counters["core_share"] = benchmark::Counter(
        static_cast<double>(frames) / 44100.0,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SixtyFourVoices)->Arg(256)->Unit(benchmark::kMicrosecond);

}  // namespace
