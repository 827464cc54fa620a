#include <gtest/gtest.h>


#include <filesystem>
#include <sstream>

#include "cli/Cli.h"
#include "files/BankFile.h"
#include "model/Modulator.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "support/CliRun.h"
#include "support/K2000Builder.h"
#include "support/MidiFileBuilder.h"
#include "support/Portability.h"
#include "support/Sf2Builder.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;

using test::Cli;
using test::CliRun;

class ImportCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (std::string("talmeru-cli-import-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string p = Utf8FromPath(dir_ / PathFromUtf8(name));
        EXPECT_TRUE(WriteWholeFile(p, bytes));
        return p;
    }
    fs::path dir_;
};

// A name taken from a UTF-8 file name stays UTF-8 in the dump, and is shortened to 16 bytes
// only between characters; a name that is not UTF-8 is a bank text in the Windows code page.
TEST_F(ImportCliTest, NamesAreDumpedAsUtf8AndShortenedBetweenCharacters) {
    test::WavPlan mono;
    mono.data = test::Pcm16({test::Ramp(100, 0, 3)});
    const std::vector<uint8_t> wav = test::MakeWav(mono);
    struct Case {
        std::string stem, name;
    };
    for (const Case& c :
         {Case{"\xC3\xA4\xC3\xB6", "\xC3\xA4\xC3\xB6"},
          Case{"x\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4",
               "x\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"},
          Case{"abcde\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC",
               "abcde\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"},
          Case{"abcdefghijklmn\xF0\x9D\x84\x9E", "abcdefghijklmn"},
          Case{"caf\xE9", "caf\xC3\xA9"}}) {
#if defined(_WIN32)
        if (c.stem == "caf\xE9") continue;  // Windows' file names are Unicode: none is not UTF-8
#endif
        const std::string bank = (dir_ / "names.pbf").string();
        ASSERT_EQ(Cli({"import-wav", "-", bank, Put(c.stem + ".wav", wav)}).status, 0) << c.stem;
        const CliRun dump = Cli({"dump", bank});
        EXPECT_NE(dump.out.find("\"name\": \"" + c.name + "\""), std::string::npos)
            << c.stem << "\n"
            << dump.out;
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
}

TEST_F(ImportCliTest, ConvertPrintsTheSoundFontLogAndWritesTheBank) {
    test::Sf2Plan plan;
    plan.sampleData = test::Pcm16({test::Ramp(100, 0, 1)});
    plan.samples = {{"Flute", 0, 100, 10, 90}};
    plan.instruments = {{"Flute", {{{test::Gen(53, 0)}}}}};
    std::string sf2 = Put("flute.sf2", plan.Build());
    std::string pbf = (dir_ / "flute.pbf").string();
    CliRun convert = Cli({"convert", sf2, pbf});
    ASSERT_EQ(convert.status, 0) << convert.err;
    EXPECT_NE(convert.err.find("+ Sample 0 = Flute\n"), std::string::npos) << convert.err;
    EXPECT_NE(convert.err.find("+ Program \"Flute\"\n*** Done ***\n"), std::string::npos);
    EXPECT_EQ(convert.err.find('\r'), std::string::npos);

    CliRun info = Cli({"info", pbf});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("programs: 1"), std::string::npos) << info.out;
    CliRun waves = Cli({"list", pbf, "wavedata"});
    EXPECT_NE(waves.out.find("(SF2) base 1, 1 links"), std::string::npos) << waves.out;
}

// --sf2-programs picks the conversion wherever a SoundFont is opened; presets keep their
// General MIDI numbers and kits, and a render takes the option too.
TEST_F(ImportCliTest, SoundFontsConvertByPresetsOnRequest) {
    test::Sf2Plan plan;
    plan.sampleData = test::Pcm16({test::Ramp(6000, 0, 5)});
    plan.samples = {{"Flute", 0, 3000, 100, 2900}, {"Kick", 3000, 6000, 3000, 6000}};
    plan.instruments = {{"Flute", {{{test::Gen(53, 0)}}}}, {"Kick", {{{test::Gen(53, 1)}}}}};
    plan.presetList = {{"Flute", 73, 0, {{{test::Gen(41, 0)}}}},
                       {"Kit", 0, 128, {{{test::Gen(41, 1)}}}}};
    const std::string sf2 = Put("gm.sf2", plan.Build());
    const struct {
        std::vector<std::string> args;
        int status;
        const char* shown;
    } cases[] = {
        {{"info", sf2, "--sf2-programs", "presets"}, 0, "programs: 2"},
        {{"--sf2-programs", "presets", "list", sf2, "programs"}, 0, "128"},
        {{"list", sf2, "programs", "--sf2-programs", "presets"}, 0, "73"},
        {{"list", sf2, "programs", "--sf2-programs", "instruments"}, 0, "1"},
        {{"info", sf2, "--sf2-programs", "bogus"}, 2, ""},
    };
    for (const auto& c : cases) {
        CliRun run = Cli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args.back() << run.err;
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << run.out;
    }
    test::MidiImage song;
    song.format = 0;
    song.tracks.push_back(test::MidiTrack()
                              .Delta(0).Bytes({0xC0, 73})
                              .Delta(0).Bytes({0x90, 69, 100})
                              .Delta(480).Bytes({0x80, 69, 0})
                              .Delta(0).End());
    const std::string mid = Put("song.mid", song.Build());
    const std::string out = (dir_ / "out.wav").string();
    CliRun render = Cli({"render", sf2, mid, out, "--sf2-programs", "presets"});
    ASSERT_EQ(render.status, 0) << render.err;
}

// An export to .sf2 prints what the SoundFont cannot hold, and writes ROM samples from the
// emulator's stand-ins.
TEST_F(ImportCliTest, ConvertToSoundFontPrintsTheExportLogAndWritesRomSamples) {
    ZedoDatabase db;
    auto rom = std::make_unique<SampleHeader>();
    rom->SetNumber(0);
    rom->SetName("Rom Piano");
    rom->SetDefaults();
    rom->flags = 0;
    rom->start = 1000;
    rom->loopStart = 2000;
    rom->end = 3000;
    rom->AttachWave(db.GetWaveData(0), kAttachReference);
    db.PutSampleHeader(std::move(rom));
    auto keymap = std::make_unique<Keymap>();
    keymap->SetNumber(0);
    keymap->SetName("Piano");
    keymap->entries = {{127, 0, 0}};
    Keymap* k = keymap.get();
    db.PutKeymap(std::move(keymap));
    auto program = std::make_unique<Program>();
    program->SetNumber(130);
    program->SetName("Piano");
    program->AddLayer(*k, false)->AddModulator(std::make_unique<FunModulator>());
    db.PutProgram(std::move(program));
    const std::string pbf = (dir_ / "piano.pbf").string();
    ASSERT_EQ(SaveBank(db, pbf, 0), 0);

    const std::string sf2 = (dir_ / "piano.sf2").string();
    CliRun convert = Cli({"convert", pbf, sf2});
    ASSERT_EQ(convert.status, 0) << convert.err;
    EXPECT_NE(convert.err.find("X Program 130 Piano, layer 0: FUN 0 ("), std::string::npos)
        << convert.err;
    EXPECT_NE(convert.err.find("+ Program 130 Piano: preset 128:2, 1 instrument\n"),
              std::string::npos);
    EXPECT_NE(convert.err.find("? The ROM samples were written from the emulator's stand-ins"),
              std::string::npos);
    const auto bytes = ReadWholeFile(sf2);
    ASSERT_TRUE(bytes && bytes->size() > 12);
    EXPECT_EQ(std::string(bytes->begin() + 8, bytes->begin() + 12), "sfbk");
}

TEST_F(ImportCliTest, ConvertOfAK2000FileStartsFromTheGivenRomBank) {
    test::KrzPlan plan;
    plan.objects = {{test::kKrzProgram | 1, "Piano", test::KrzProgramBody(1, test::KrzLayer(1))}};
    std::string krz = Put("song.krz", plan.Build());
    std::string out = (dir_ / "song.pbf").string();

    // Without --rom the ROM bank cache is used, made from the emulator on first use.
    std::string home = (dir_ / "home").string();
    test::SetEnv("TALMERU_HOME", home.c_str());
    CliRun without = Cli({"convert", krz, out});
    test::UnsetEnv("TALMERU_HOME");
    EXPECT_EQ(without.status, 0) << without.err;
    EXPECT_TRUE(fs::exists(dir_ / "home" / "Rombank0103.pbf"));
    EXPECT_TRUE(fs::exists(out));
    fs::remove(out);

    ZedoDatabase rom;
    test::BuildRomBank(rom);
    std::string romPath = (dir_ / "Rombank0103.pbf").string();
    ASSERT_EQ(SaveBank(rom, romPath, 0), 0);
    CliRun with = Cli({"convert", "--rom", romPath, krz, out});
    ASSERT_EQ(with.status, 0) << with.err;
    EXPECT_NE(with.err.find("+ ROM Keymap: K2000 #1 \"grand piano\" -> MA-1 #0 \"Grand Piano\"\n"),
              std::string::npos)
        << with.err;
    CliRun list = Cli({"list", out, "programs"});
    EXPECT_EQ(list.out, "0 - Piano\n");
}

}  // namespace
}  // namespace talmeru
