// Opening and saving a full bank: 512 programs of 8 layers with modulators, 512 keymaps and
// 512 sample headers.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "files/BankFile.h"
#include "files/Pbf.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"

namespace {

using namespace talmeru;
namespace fs = std::filesystem;

std::vector<uint8_t> FullBankImage() {
    test::PbfImage img;
    for (int n = 0; n < 512; ++n) {
        img.programs.push_back(test::PackedObject(3, n, "Program " + std::to_string(n),
                                                  test::ProgramBody(8, n, true)));
        img.keymaps.push_back(test::PackedObject(
            1, n, "Keymap " + std::to_string(n),
            test::KeymapBody(
                {{35, 0, n}, {59, -2, (n + 1) % 512}, {83, 0, (n + 2) % 512}, {127, 3, n}})));
        img.samples.push_back(test::PackedObject(2, n, "Sample " + std::to_string(n),
                                                 test::SampleBody(0, 7215, 9037)));
    }
    return img.Build();
}

void BM_OpenAndSaveFullBank(benchmark::State& state) {
    ScriptedPrompter quiet;
    ScopedPrompter scope(quiet);
    fs::path dir = fs::temp_directory_path() / "talmeru-bench";
    fs::create_directories(dir);
    std::string in = (dir / "full.pbf").string();
    std::string out = (dir / "saved.pbf").string();
    WriteWholeFile(in, FullBankImage());
    ZedoDatabase db;
    for (auto _ : state) {
        if (OpenBank(db, in, 0) != 0 || SaveBank(db, out, 0) != 0) {
            state.SkipWithError("open or save failed");
            break;
        }
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_OpenAndSaveFullBank)->Unit(benchmark::kMillisecond);

void BM_ReadAndBuildInMemory(benchmark::State& state) {
    ScriptedPrompter quiet;
    ScopedPrompter scope(quiet);
    auto image = FullBankImage();
    ZedoDatabase db;
    std::vector<uint8_t> out;
    for (auto _ : state) {
        db.Clear(false);
        if (ReadPbf(image, db, 0) != 0 || BuildPbf(db, 0, out) != 0) {
            state.SkipWithError("read or build failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size() * 2));
}
BENCHMARK(BM_ReadAndBuildInMemory)->Unit(benchmark::kMillisecond);

}  // namespace
