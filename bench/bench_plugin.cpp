// The instrument plugin at full polyphony: 64 voices of the factory ROM's programs with Hall 1
// and Chorus 1, run in 256-frame blocks as a host runs it (one control period behind, the
// frames passing through its buffer). "core_share" is the time per block over the block's
// duration. BM_LoadSoundFont: a SoundFont (TALMERU_BENCH_SF2, e.g. FluidR3_GM.sf2) converted
// by presets and made playable, as the plugin's worker does it (handed to the emulator
// directly); BM_UploadSoundFontOverProtocol: the same bank sent to an emulator as
// messages through its MIDI devices, as `talmeru-cli render` sends it. Wall time, and the
// process's CPU time over all its threads.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "emulator/Ma1Emulator.h"
#include "platform/MidiSystem.h"
#include "platform/Profile.h"
#include "plugin/BankLoader.h"
#include "plugin/Instrument.h"
#include "synth/MidiSynthLink.h"

namespace {

using namespace talmeru;

void BM_PluginSixtyFourVoices(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    plugin::Instrument instrument(44100);
    instrument.SetBank(plugin::LoadBank("", plugin::kDefaultSampleRamMiB << 20).image);
    instrument.SetEffects(4, 1);
    const int programs[4] = {0, 48, 19, 88};  // piano, strings, organ, pad
    for (int ch = 0; ch < 4; ++ch) {
        instrument.Queue(0, 0xC0u | ch | programs[ch] << 8);
        instrument.Queue(0, 0xB0u | ch | 64 << 8 | 127 << 16);
        instrument.Queue(0, 0xB0u | ch | 91 << 8 | 60 << 16);
        instrument.Queue(0, 0xB0u | ch | 93 << 8 | 40 << 16);
        for (int k = 0; k < 16; ++k)
            instrument.Queue(0, 0x90u | ch | (36 + ch * 5 + k * 3) << 8 | 100 << 16);
    }
    std::vector<float> l(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
    instrument.Run(l.data(), r.data(), frames);
    for (auto _ : state) {
        instrument.Run(l.data(), r.data(), frames);
        benchmark::DoNotOptimize(l.data());
    }
    state.counters["voices"] = instrument.Stats().activeVoices;
    state.counters["core_share"] = benchmark::Counter(
        static_cast<double>(frames) / 44100.0,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PluginSixtyFourVoices)->Arg(256)->Unit(benchmark::kMicrosecond);

const char* BenchSoundFont(benchmark::State& state) {
    const char* path = std::getenv("TALMERU_BENCH_SF2");
    if (!path) state.SkipWithError("TALMERU_BENCH_SF2 names no SoundFont");
    return path;
}

void BM_LoadSoundFont(benchmark::State& state) {
    const char* path = BenchSoundFont(state);
    if (!path) return;
    for (auto _ : state) {
        plugin::LoadedBank bank = plugin::LoadBank(path, plugin::kDefaultSampleRamMiB << 20);
        if (!bank.image) state.SkipWithError(bank.error.c_str());
    }
}
BENCHMARK(BM_LoadSoundFont)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();

void BM_UploadSoundFontOverProtocol(benchmark::State& state) {
    const char* path = BenchSoundFont(state);
    if (!path) return;
    for (auto _ : state) {
        emulator::Ma1Settings settings;
        settings.sampleRamBytes = plugin::kDefaultSampleRamMiB << 20;
        auto emu = emulator::Ma1Emulator::Create(settings);
        Profile profile;
        MidiSystem midi(nullptr);
        midi.AddVirtualDevices(emu->Devices());
        MidiSynthLink link(midi, profile);
        link.PickDevices();
        link.OpenDevices();
        if (link.QueryIdentity() != 0 || link.QueryMemory(0) != 0) {
            state.SkipWithError("the emulator did not answer");
            break;
        }
        if (std::string error = plugin::UploadBank(link, path); !error.empty())
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(emu->Image());
    }
}
BENCHMARK(BM_UploadSoundFontOverProtocol)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();

}  // namespace
