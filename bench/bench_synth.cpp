// Fetching every object of the emulator's ROM over the MIDI link, as a whole-bank download
// asks for it: types 1 to 3, numbers 0 to 511, then numbers 0 to 19 of types 4 to 6. The
// emulator answers at once, so the time is that of the request/reply exchanges alone.
#include <benchmark/benchmark.h>

#include "emulator/Ma1Emulator.h"
#include "platform/MidiSystem.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "synth/MidiSynthLink.h"

namespace {

using namespace talmeru;

void BM_FetchWholeRom(benchmark::State& state) {
    ScriptedPrompter quiet;
    ScopedPrompter scope(quiet);
    auto emu = emulator::Ma1Emulator::Create();
    MidiSystem midi;
    midi.AddVirtualDevices(emu->Devices());
    Profile settings;
    MidiSynthLink link(midi, settings);
    link.ChooseDevices();
    if (!link.IsReady()) {
        state.SkipWithError("the emulator did not open");
        return;
    }
    int64_t objects = 0;
    for (auto _ : state) {
        objects = 0;
        for (int type = 1; type <= 6; ++type) {
            for (int n = 0; n < (type <= 3 ? 512 : 20); ++n) {
                std::vector<uint8_t> block;
                int r = link.GetObject(type, n, block);
                if (r == kGetFailed) {
                    state.SkipWithError("a request failed");
                    return;
                }
                objects += r == kGotObject;
                benchmark::DoNotOptimize(block.data());
            }
        }
    }
    state.counters["objects"] = double(objects);
    state.counters["requests"] = double(3 * 512 + 60);
    if (!quiet.All().empty()) state.SkipWithError("the link reported a problem");
}
BENCHMARK(BM_FetchWholeRom)->Unit(benchmark::kMillisecond);

}  // namespace
