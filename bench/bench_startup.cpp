// Start-up of the window program with the ROM bank cache present, up to a main window that
// answers: settings, the link on the emulator, the cache load, the window, the reset to the
// ROM bank and the first paint.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>

#include "app/MainFrame.h"
#include "emulator/Ma1Emulator.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"

namespace {

namespace fs = std::filesystem;

talmeru::AppEnvironment Emulated(const fs::path& folder) {
    talmeru::AppEnvironment env;
    env.folder = folder;
    env.emulator = talmeru::emulator::Ma1Emulator::Create();
    env.midi = std::make_unique<talmeru::MidiSystem>();
    env.midi->AddVirtualDevices(env.emulator->Devices());
    return env;
}

void BM_StartUpWithRomCache(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "talmeru-bench-startup";
    fs::remove_all(folder);
    fs::create_directories(folder);
    talmeru::ScriptedPrompter quiet;
    talmeru::ScopedPrompter scope(quiet);
    {
        talmeru::TalmeruApp builder(Emulated(folder));  // builds the cache once
        builder.Settings().WriteInt("Install", "Version", talmeru::kTalmeruVersion);
        builder.Settings().Save();
    }
    for (auto _ : state) {
        talmeru::TalmeruApp app(Emulated(folder));
        talmeru::CMainFrame frame(app);
        frame.show();
        app.Start(frame, {});
        frame.FillProgramBox();
        QApplication::processEvents();
        benchmark::DoNotOptimize(app.Editing().CurrentProgram());
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_StartUpWithRomCache)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
