// Loading the data of a 100 MB 16-bit stereo WAV (one channel kept) and of an IMA ADPCM file
// of the same duration, against reading the PCM file's bytes into memory.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>

#include "files/WavWaveData.h"
#include "platform/FileUtil.h"
#include "platform/Prompter.h"
#include "support/WavBuilder.h"

namespace {

using namespace talmeru;
namespace fs = std::filesystem;

constexpr int kFrames = 100 * 1000 * 1000 / 4;

const fs::path& Folder() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / "talmeru-bench-wav";
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

short Music(int i, int channel) {
    double t = i / 44100.0;
    return static_cast<short>(9000 * std::sin(2 * M_PI * 220 * t + channel) +
                              4000 * std::sin(2 * M_PI * 331 * t) * std::sin(2 * M_PI * 0.5 * t));
}

std::string PcmFile() {
    static const std::string path = [] {
        std::string p = (Folder() / "stereo.wav").string();
        test::WavPlan s;
        s.channels = 2;
        s.data.resize(static_cast<size_t>(kFrames) * 4);
        for (int i = 0; i < kFrames; ++i)
            for (int c = 0; c < 2; ++c) {
                auto v = static_cast<uint16_t>(Music(i, c));
                s.data[static_cast<size_t>(i) * 4 + static_cast<size_t>(c) * 2] =
                    static_cast<uint8_t>(v);
                s.data[static_cast<size_t>(i) * 4 + static_cast<size_t>(c) * 2 + 1] =
                    static_cast<uint8_t>(v >> 8);
            }
        WriteWholeFile(p, test::MakeWav(s));
        return p;
    }();
    return path;
}

std::string AdpcmFile() {
    static const std::string path = [] {
        std::string p = (Folder() / "adpcm.wav").string();
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        std::vector<short> block(2 * 65536);
        for (int done = 0; f && done < kFrames;) {
            int n = std::min(65536, kFrames - done);
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < 2; ++c)
                    block[static_cast<size_t>(2 * i + c)] = Music(done + i, c);
            sf_writef_short(f, block.data(), n);
            done += n;
        }
        if (f) sf_close(f);
        return p;
    }();
    return path;
}

void BM_ReadFileBytes(benchmark::State& state) {
    std::string path = PcmFile();
    for (auto _ : state) {
        auto bytes = ReadWholeFile(path);
        benchmark::DoNotOptimize(bytes->data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrames * 4);
}
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);

void LoadChannel(benchmark::State& state, const std::string& path) {
    ScriptedPrompter quiet;
    ScopedPrompter scope(quiet);
    WavWaveData w(path, 0, kRightChannel, true);
    for (auto _ : state) {
        if (w.LoadData() != 0) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(w.data.data());
        w.ReleaseData();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFrames * 4);
}

void BM_LoadPcmStereoOneChannel(benchmark::State& state) {
    LoadChannel(state, PcmFile());
}
BENCHMARK(BM_LoadPcmStereoOneChannel)->Unit(benchmark::kMillisecond);

void BM_LoadImaAdpcmStereoOneChannel(benchmark::State& state) {
    LoadChannel(state, AdpcmFile());
}
BENCHMARK(BM_LoadImaAdpcmStereoOneChannel)->Unit(benchmark::kMillisecond);

}  // namespace
