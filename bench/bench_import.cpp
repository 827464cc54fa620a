// Importing a SoundFont of 200 instruments (a global zone and two sample zones each, 400
// samples) whose sample chunk is 1 MB, 100 MB or 1 GB. The import reads the instrument
// tables only, so its time and memory must not grow with the sample chunk. The chunk is a
// hole in the file: building it costs neither time nor memory.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "files/ConversionLog.h"
#include "files/Sf2Import.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "support/Sf2Builder.h"

namespace {

// Live and peak heap bytes, counted by the replaced global operator new and delete.
std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};

void Count(void* p) {
    size_t live = g_live += malloc_usable_size(p);
    size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
}

}  // namespace

// The replacements pair malloc with free themselves; the compiler cannot see that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    Count(p);
    return p;
}
void* operator new[](size_t n) {
    return operator new(n);
}
void operator delete(void* p) noexcept {
    if (!p) return;
    g_live -= malloc_usable_size(p);
    std::free(p);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}
void operator delete[](void* p, size_t) noexcept {
    operator delete(p);
}
#pragma GCC diagnostic pop

namespace {

using namespace talmeru;
namespace fs = std::filesystem;

constexpr int kInstruments = 200;

std::string SoundFont(uint64_t sampleBytes) {
    fs::path dir = fs::temp_directory_path() / "talmeru-bench-import";
    fs::create_directories(dir);
    std::string path = (dir / ("bank-" + std::to_string(sampleBytes >> 20) + "MB.sf2")).string();
    test::Sf2Plan plan;
    plan.presets = kInstruments;
    const auto frames = static_cast<uint32_t>(sampleBytes / 2);
    const uint32_t each = frames / (2 * kInstruments);
    for (int i = 0; i < 2 * kInstruments; ++i) {
        uint32_t start = static_cast<uint32_t>(i) * each;
        plan.samples.push_back({"Sample " + std::to_string(i), start, start + each - 8,
                                start + each / 2, start + each - 16, 44100, 48 + i % 24, 0});
    }
    for (int k = 0; k < kInstruments; ++k) {
        test::Sf2Zone global{{test::RangeGen(44, 0, 120), test::Gen(34, -2400), test::Gen(36, 1200),
                              test::Gen(37, 100), test::Gen(38, 0), test::Gen(22, -600),
                              test::Gen(48, 60)}};
        test::Sf2Zone low{{test::RangeGen(43, 0, 59), test::Gen(54, 1), test::Gen(53, 2 * k)}};
        test::Sf2Zone high{{test::RangeGen(43, 60, 127), test::Gen(58, 64), test::Gen(54, 0),
                            test::Gen(53, 2 * k + 1)}};
        plan.instruments.push_back({"Instrument " + std::to_string(k), {global, low, high}});
    }
    plan.WriteWithHole(path, sampleBytes);
    return path;
}

double MaxRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_ImportSoundFont(benchmark::State& state) {
    const uint64_t sampleBytes = static_cast<uint64_t>(state.range(0)) << 20;
    const std::string path = SoundFont(sampleBytes);
    ScriptedPrompter quiet;
    ScopedPrompter scope(quiet);
    size_t peakHeap = 0;
    for (auto _ : state) {
        g_peak = g_live.load();
        const size_t before = g_live;
        {
            ZedoDatabase db;
            RecordingConversionLog log;
            if (ImportSf2(path, db, log) != 0 || db.GetProgram(kInstruments - 1) == nullptr) {
                state.SkipWithError("import failed");
                break;
            }
            benchmark::DoNotOptimize(db.WaveDataCount());
        }
        peakHeap = std::max(peakHeap, g_peak - before);
    }
    state.counters["peak_heap_MB"] = static_cast<double>(peakHeap) / (1 << 20);
    state.counters["max_rss_MB"] = MaxRssMb();
    fs::remove(path);
}
BENCHMARK(BM_ImportSoundFont)->Arg(1)->Arg(100)->Arg(1024)->Unit(benchmark::kMillisecond);

}  // namespace
