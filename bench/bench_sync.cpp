// Synchronising a bank of 128 programs with 64 MB of 16-bit sample data to the emulator,
// with zero reply latency.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "emulator/Ma1Emulator.h"
#include "files/WaveImport.h"
#include "model/BankTransfer.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/MidiSystem.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "support/WavBuilder.h"
#include "synth/MidiSynthLink.h"

namespace {

using namespace talmeru;
namespace fs = std::filesystem;

constexpr int kPrograms = 128;
constexpr int kFramesEach = 64 * 1024 * 1024 / kPrograms / 2;

void BM_SynchroniseBank(benchmark::State& state) {
    ScriptedPrompter quiet(Answer::Ignore);
    ScopedPrompter scope(quiet);
    fs::path dir = fs::temp_directory_path() / "talmeru-bench-sync";
    fs::create_directories(dir);
    auto emu =
        emulator::Ma1Emulator::Create({.sampleRamBytes = 80u << 20, .programRamBytes = 1u << 20});
    MidiSystem midi;
    midi.AddVirtualDevices(emu->Devices());
    Profile profile;
    MidiSynthLink link(midi, profile);
    link.ChooseDevices();
    ZedoDatabase db(&link);
    for (int p = 0; p < kPrograms; ++p) {
        test::WavPlan s;
        s.data.resize(static_cast<size_t>(kFramesEach) * 2);
        for (size_t i = 0; i < s.data.size(); ++i)
            s.data[i] = static_cast<uint8_t>(i * 7 + p);
        std::string path = (dir / ("s" + std::to_string(p) + ".wav")).string();
        WriteWholeFile(path, test::MakeWav(s));
        BuildProgramFromWave(db, path, false, nullptr);
    }
    ThreadUploadHost host;
    for (auto _ : state) {
        if (Synchronise(db, nullptr, host) != 0) {
            state.SkipWithError("synchronise failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPrograms * kFramesEach * 2);
    fs::remove_all(dir);
}
BENCHMARK(BM_SynchroniseBank)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
