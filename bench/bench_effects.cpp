// The cost of the global effects, in 256-frame blocks at 44.1 kHz with noise in every send:
// each reverb type alone, each chorus type alone, and Hall 1 with Chorus 1 together. Real time
// is 44100 frames/s, so the share of a core they take is 44100 / (frames/s).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "voice/Effects.h"

namespace {

using namespace talmeru::voice;

constexpr int kBlock = 256;
constexpr double kRate = 44100.0;

void RunEffects(benchmark::State& state, int reverb, int chorus) {
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    std::vector<float> sends[4];
    for (auto& s : sends) {
        s.resize(kBlock);
        for (float& x : s)
            x = noise(gen);
    }
    std::vector<float> outL(kBlock), outR(kBlock);
    Effects fx(kRate);
    fx.SetReverbType(reverb);
    fx.SetChorusType(chorus);
    for (auto _ : state) {
        fx.Process(sends[0].data(), sends[1].data(), sends[2].data(), sends[3].data(), outL.data(),
                   outR.data(), kBlock);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        benchmark::ClobberMemory();
    }
    double frames = double(state.iterations()) * kBlock;
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
}

const char* const kReverbNames[] = {"None",   "Room 1", "Room 2", "Room 3",      "Hall 1",
                                    "Hall 2", "Plate",  "Delay",  "Pan Delay 1", "Pan Delay 2"};
const char* const kChorusNames[] = {"None",     "Chorus 1", "Chorus 2",
                                    "Chorus 3", "Chorus 4", "Chorus w/Feedback",
                                    "Flanger",  "Delay",    "Delay w/Feedback"};

void BM_Reverb(benchmark::State& state) {
    int type = static_cast<int>(state.range(0));
    state.SetLabel(kReverbNames[type]);
    RunEffects(state, type, 0);
}
BENCHMARK(BM_Reverb)->DenseRange(0, kReverbTypeCount - 1);

void BM_Chorus(benchmark::State& state) {
    int type = static_cast<int>(state.range(0));
    state.SetLabel(kChorusNames[type]);
    RunEffects(state, 0, type);
}
BENCHMARK(BM_Chorus)->DenseRange(0, kChorusTypeCount - 1);

void BM_Hall1WithChorus1(benchmark::State& state) {
    RunEffects(state, 4, 1);
}
BENCHMARK(BM_Hall1WithChorus1);

}  // namespace
