#include "app/AppFixture.h"

#include <unistd.h>

#include "platform/FileUtil.h"
#include "support/WavBuilder.h"

namespace talmeru::test {

namespace fs = std::filesystem;

namespace {

fs::path TestDir(const std::string& name) {
    return fs::temp_directory_path() / ("talmeru-app-" + name);
}

AppEnvironment EmulatorOnly(const fs::path& folder, std::shared_ptr<emulator::Ma1Emulator> emu) {
    AppEnvironment env;
    env.folder = folder;
    env.emulator = emu;
    env.midi = std::make_unique<MidiSystem>();
    env.midi->AddVirtualDevices(emu->Devices());
    return env;
}

}  // namespace

// Built once per process (CTest runs the tests in processes side by side) and removed at exit.
struct CacheFolder {
    fs::path dir = TestDir("cache-" + std::to_string(::getpid()));
    CacheFolder() {
        fs::remove_all(dir);
        fs::create_directories(dir);
        ScriptedPrompter quiet;
        ScopedPrompter s(quiet);
        TalmeruApp builder(EmulatorOnly(dir, emulator::Ma1Emulator::Create({.keepLog = true})));
    }
    ~CacheFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

fs::path AppTest::CacheSource() {
    static const CacheFolder folder;
    return folder.dir / "Rombank0103.pbf";
}

void AppTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = TestDir(std::string(info->test_suite_name()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
}

void AppTest::TearDown() {
    app.reset();
    emu.reset();
    fs::remove_all(dir_);
}

void AppTest::Make(bool withCache) {
    if (withCache && !fs::exists(dir_ / "Rombank0103.pbf"))
        fs::copy_file(CacheSource(), dir_ / "Rombank0103.pbf");
    app.reset();
    emu = emulator::Ma1Emulator::Create({.keepLog = true});
    AppEnvironment env = EmulatorOnly(dir_, emu);
    env.cacheProgress = cacheProgress;
    env.audio = std::move(audio);
    app = std::make_unique<TalmeruApp>(std::move(env));
}

std::string AppTest::Wav(const std::string& name, int frames) {
    WavPlan s;
    s.data = Pcm16({Ramp(frames, 0, 3)});
    const std::string path = (dir_ / name).string();
    EXPECT_TRUE(WriteWholeFile(path, MakeWav(s)));
    return path;
}

}  // namespace talmeru::test
