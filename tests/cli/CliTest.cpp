#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "cli/Cli.h"
#include "platform/ByteIO.h"
#include "platform/FileUtil.h"
#include "support/BankBuilder.h"
#include "support/CliRun.h"
#include "support/Fifo.h"
#include "support/FileSizeLimit.h"
#include "support/K2000Builder.h"
#include "support/Portability.h"
#include "support/Sf2Builder.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;
using test::PackedObject;

using test::Cli;
using test::CliRun;

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (std::string("talmeru-cli-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        test::PbfImage img;
        img.comment = "my bank";
        img.programs = {PackedObject(3, 0, "Grand", test::ProgramBody(2, 1, true)),
                        PackedObject(3, 64, "Pad", test::ProgramBody(1, 1))};
        img.keymaps = {
            PackedObject(1, 1, "Piano map", test::KeymapBody({{59, 0, 0}, {127, -4, 1}}))};
        img.samples = {PackedObject(2, 0, "Perc", test::SampleBody(0, 7215, 9037)),
                       PackedObject(2, 1, "Bird", test::SampleBody(2092825, 2094895, 2095688))};
        bank_ = (dir_ / "bank.pbf").string();
        ASSERT_TRUE(WriteWholeFile(bank_, img.Build()));
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
    std::string bank_;
};

TEST_F(CliTest, InfoAndLists) {
    CliRun info = Cli({"info", bank_});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("format: Pinnacle Bank File (format 0x0102)"), std::string::npos);
    EXPECT_NE(info.out.find("comment: my bank\n"), std::string::npos);
    EXPECT_NE(info.out.find("programs: 2\nkeymaps: 1\nsamples: 2\nwave data: 1\n"),
              std::string::npos);

    EXPECT_EQ(Cli({"list", bank_}).out, "0 - Grand\n64 - Pad\n");
    EXPECT_EQ(Cli({"list", bank_, "programs", "--style", "2"}).out, "A11 - Grand\nB11 - Pad\n");
    EXPECT_EQ(Cli({"list", bank_, "keymaps"}).out, "1 - Piano map\n");
    EXPECT_EQ(Cli({"list", bank_, "samples"}).out, "0 - Perc\n1 - Bird\n");
    EXPECT_EQ(Cli({"list", bank_, "wavedata"}).out, "0 - MA-1 ROM (K8) base 0, 2 links\n");
}

// Every bank format is named as the format table names it, with the version its header
// gives, however large the file.
TEST_F(CliTest, InfoNamesEveryFormatAndItsVersion) {
    std::string home = (dir_ / "home").string();
    test::SetEnv("TALMERU_HOME", home.c_str());
    test::PbfImage large;
    large.programs = {PackedObject(3, 0, "Grand", test::ProgramBody(1, 1))};
    large.padBeforeWaves = 70000;
    const std::string big = (dir_ / "big.pbf").string();
    ASSERT_TRUE(WriteWholeFile(big, large.Build()));
    const std::string tmb = (dir_ / "bank.tmb").string(), syx = (dir_ / "bank.syx").string();
    ASSERT_EQ(Cli({"convert", bank_, tmb}).status, 0);
    ASSERT_EQ(Cli({"convert", bank_, syx}).status, 0);
    test::Sf2Plan sf2;
    sf2.sampleData = test::Pcm16({test::Ramp(100, 0, 1)});
    sf2.samples = {{"Flute", 0, 100, 10, 90}};
    sf2.instruments = {{"Flute", {{{test::Gen(53, 0)}}}}};
    const std::string flute = (dir_ / "flute.sf2").string();
    ASSERT_TRUE(WriteWholeFile(flute, sf2.Build()));
    sf2.major = 3;
    const std::string flute3 = (dir_ / "flute.sf3").string();
    ASSERT_TRUE(WriteWholeFile(flute3, sf2.Build()));
    test::KrzPlan krz;
    krz.objects = {{test::kKrzProgram | 1, "Piano", test::KrzProgramBody(1, test::KrzLayer(1))}};
    const std::string song = (dir_ / "song.krz").string();
    ASSERT_TRUE(WriteWholeFile(song, krz.Build()));
    ByteWriter apex;
    apex.FixedString("AVM Sample Studio", 32);
    apex.FixedString("Kurzweil MA-1", 32);
    apex.Zeros(452 - 64);
    apex.PatchU32(316, 452);
    apex.PatchU32(320, 452);
    const std::string studio = (dir_ / "studio.apex").string();
    ASSERT_TRUE(WriteWholeFile(studio, apex.Data()));

    struct Case {
        std::string path;
        const char* format;
    };
    for (const Case& c :
         {Case{big, "Pinnacle Bank File (format 0x0102)"}, Case{tmb, "Talmeru MA-1 Bank"},
          Case{syx, "Sysex Banks"}, Case{flute, "Soundfont 2 Bank (version 2.01)"},
          Case{flute3, "SoundFont 3 Bank (version 3.01)"}, Case{song, "Kurzweil K2000 File"},
          Case{studio, "Apex Banks"}}) {
        CliRun info = Cli({"info", c.path});
        EXPECT_EQ(info.status, 0) << c.path << "\n" << info.err;
        EXPECT_NE(info.out.find(std::string("format: ") + c.format + "\n"), std::string::npos)
            << info.out;
    }
    test::UnsetEnv("TALMERU_HOME");
}

TEST_F(CliTest, DumpHasTheWholeBank) {
    CliRun dump = Cli({"dump", bank_});
    ASSERT_EQ(dump.status, 0) << dump.err;
    auto j = nlohmann::json::parse(dump.out);
    EXPECT_EQ(j["comment"], "my bank");
    EXPECT_EQ(j["path"], fs::absolute(bank_).string());
    ASSERT_EQ(j["programs"].size(), 2u);
    const auto& grand = j["programs"][0];
    EXPECT_EQ(grand["name"], "Grand");
    ASSERT_EQ(grand["layers"].size(), 2u);
    EXPECT_EQ(grand["layers"][1]["index"], 1);
    EXPECT_EQ(grand["layers"][0]["keymap"], 1);
    EXPECT_EQ(grand["layers"][0]["keyLow"], 10);
    EXPECT_EQ(grand["layers"][0]["keyHigh"], 100);
    EXPECT_EQ(grand["layers"][0]["pan"], 15);
    EXPECT_EQ(grand["layers"][0]["modulators"][0]["kind"], "ENV");
    EXPECT_EQ(grand["modulators"][0]["kind"], "FUN");
    EXPECT_EQ(grand["modulators"][0]["id"], 3);
    EXPECT_EQ(j["keymaps"][0]["entries"][1]["amp"], -4);
    EXPECT_EQ(j["samples"][1]["waveData"], 0);
    EXPECT_EQ(j["samples"][1]["loopStart"], 2094895);
    EXPECT_EQ(j["waveData"][0]["kind"], 1);
    EXPECT_EQ(j["waveData"][0]["links"], nlohmann::json::array({0, 1}));
}

// Names, comments and paths from bank files are in the Windows code page: JSON gets UTF-8.
TEST_F(CliTest, DumpGivesBankTextsInUtf8) {
    test::PbfImage img;
    img.comment = "M\xfcller \x81";
    img.programs = {PackedObject(3, 0, "Caf\xe9", test::ProgramBody(1, 1))};
    img.keymaps = {PackedObject(1, 1, "\x80uro", test::KeymapBody({{127, 0, 2}}))};
    img.samples = {PackedObject(2, 2, "\x9f", test::SampleBody(0, -1, 100))};
    img.waves = {{2, 16, 0, 44100, 100, (dir_ / "gone\xe9.wav").string()}};
    const std::string bank = (dir_ / "b\xc3\xa4nk.pbf").string();  // a UTF-8 name stays
    ASSERT_TRUE(WriteWholeFile(bank, img.Build()));
    CliRun dump = Cli({"--yes", "dump", bank});
    ASSERT_EQ(dump.status, 0) << dump.err;
    auto j = nlohmann::json::parse(dump.out);
    EXPECT_EQ(j["comment"], "M\u00fcller \u0081");
    EXPECT_EQ(j["programs"][0]["name"], "Caf\u00e9");
    EXPECT_EQ(j["keymaps"][0]["name"], "\u20acuro");
    EXPECT_EQ(j["samples"][0]["name"], "\u0178");
    EXPECT_EQ(j["path"], bank);
    EXPECT_EQ(j["waveData"][1]["path"], Utf8FromPath(dir_ / PathFromUtf8("gone\u00e9.wav")));
}

// Files named in any script are written and opened under their own names (on Windows, where
// the system's narrow encoding cannot hold them, too).
TEST_F(CliTest, FileNamesInAnyScriptAreKept) {
    for (const char* name : {"\xC5\x92uvre.tmb", "Bank-\xE6\x97\xA5\xE6\x9C\xAC.pbf",
                             "\xD0\x91\xD0\xB0\xD0\xBD\xD0\xBA.syx"}) {
        const std::string out = Utf8FromPath(dir_ / PathFromUtf8(name));
        CliRun convert = Cli({"convert", bank_, out});
        ASSERT_EQ(convert.status, 0) << name << "\n" << convert.err;
        EXPECT_TRUE(fs::is_regular_file(dir_ / PathFromUtf8(name))) << name;
        CliRun info = Cli({"info", out});
        EXPECT_EQ(info.status, 0) << name << "\n" << info.err;
        EXPECT_NE(info.out.find("path: " + out + "\n"), std::string::npos) << info.out;
    }
}

// A report or a WAV never takes the place of the bank it comes from.
TEST_F(CliTest, ExportAndExtractNeverReplaceTheBank) {
    TALMERU_SKIP_ON_WINDOWS("symbolic links");
    const auto before = ReadWholeFile(bank_);
    const std::string link = (dir_ / "link.txt").string();
    fs::create_symlink(bank_, link);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export", bank_, link}, {"extract", bank_, "0", bank_},
          {"extract", bank_, "0", link}}) {
        CliRun r = Cli(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("would replace " + bank_), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadWholeFile(bank_), before);
    // Only an instrument file or a text report can be exported.
    EXPECT_EQ(Cli({"export", bank_, (dir_ / "bank.wav").string()}).status, 2);
    EXPECT_EQ(Cli({"export", bank_, (dir_ / "bank.TXT").string()}).status, 0);
}

// Every failure names the file and the reason, after the short text the window shows too.
TEST_F(CliTest, FailuresNameTheFileAndTheReason) {
    const std::string odd = (dir_ / "bank.foo").string();
    ASSERT_TRUE(WriteWholeFile(odd, {1, 2, 3}));
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> said;
        int status;
    } cases[] = {
        {{"info", odd}, {"\"" + odd + "\": Could not read file properly.", "extension"}, 1},
        {{"synth", "bogus"}, {"\"bogus\" is no command"}, 2},
    };
    for (const Case& c : cases) {
        CliRun r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        for (const std::string& text : c.said)
            EXPECT_NE(r.err.find(text), std::string::npos) << text << " in " << r.err;
    }
}

TEST_F(CliTest, ConvertAndFailures) {
    std::string out = (dir_ / "copy.pbf").string();
    CliRun conv = Cli({"convert", bank_, out});
    ASSERT_EQ(conv.status, 0) << conv.err;
    EXPECT_EQ(Cli({"list", out}).out, "0 - Grand\n64 - Pad\n");
    EXPECT_NE(Cli({"info", out}).out.find("comment: Created by Talmeru Version 147"),
              std::string::npos);

    CliRun missing = Cli({"info", (dir_ / "none.pbf").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("problem with opening"), std::string::npos);
    EXPECT_NE(missing.err.find("Could not read file properly."), std::string::npos);
    EXPECT_EQ(Cli({"convert", bank_, (dir_ / "x.krz").string()}).status, 1);

    EXPECT_EQ(Cli({}).status, 2);
    EXPECT_EQ(Cli({"list", bank_, "bogus"}).status, 2);
    EXPECT_EQ(Cli({"frobnicate"}).status, 2);
    CliRun help = Cli({"convert", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("OUT"), std::string::npos);
}

TEST_F(CliTest, WaveCommands) {
    TALMERU_SKIP_ON_WINDOWS("FIFOs");
    test::WavPlan mono;
    mono.data = test::Pcm16({test::Ramp(50, 0, 2)});
    test::WavPlan stereo;
    stereo.channels = 2;
    stereo.data = test::Pcm16({test::Ramp(40, 0, 1), test::Ramp(40, 300, 1)});
    std::string flute = (dir_ / "Flute.wav").string(), pad = (dir_ / "Pad.wav").string();
    ASSERT_TRUE(WriteWholeFile(flute, test::MakeWav(mono)));
    ASSERT_TRUE(WriteWholeFile(pad, test::MakeWav(stereo)));
    std::string bank = (dir_ / "new.pbf").string();

    CliRun imp = Cli({"import-wav", "-", bank, flute, pad});
    ASSERT_EQ(imp.status, 0) << imp.err;
    EXPECT_EQ(imp.out, "0 - Flute\n1 - Pad\n");
    EXPECT_EQ(Cli({"list", bank, "samples"}).out, "0 - Flute\n1 - PadL\n2 - PadR\n");
    // The pad's pair of headers, of keymaps and of layers: a .pbf cannot keep them, and says so.
    EXPECT_NE(imp.err.find("does not keep stereo pairs: the 3 here"), std::string::npos) << imp.err;
    const CliRun tmb = Cli({"import-wav", "-", (dir_ / "new.tmb").string(), pad});
    EXPECT_EQ(tmb.err.find("stereo pairs"), std::string::npos) << tmb.err;

    // Adding to an existing bank keeps what it had.
    std::string grown = (dir_ / "grown.pbf").string();
    ASSERT_EQ(Cli({"import-wav", bank_, grown, flute}).status, 0);
    EXPECT_EQ(Cli({"list", grown}).out, "0 - Grand\n1 - Flute\n64 - Pad\n");

    std::string out = (dir_ / "pad-right.wav").string();
    ASSERT_EQ(Cli({"extract", bank, "2", out}).status, 0);
    auto bytes = ReadWholeFile(out);
    ASSERT_TRUE(bytes);
    test::WavPlan expected;
    expected.data = test::Pcm16({test::Ramp(40, 300, 1)});
    auto wanted = test::MakeWav(expected);
    // Same format and samples as a mono file of the right channel.
    EXPECT_TRUE(std::search(bytes->begin(), bytes->end(), wanted.begin() + 12,
                            wanted.begin() + 36 + 8 + 80) != bytes->end());
    CliRun rom = Cli({"extract", bank_, "1", out});
    EXPECT_EQ(rom.status, 1);
    EXPECT_NE(rom.err.find("has no wave data"), std::string::npos);
    EXPECT_EQ(Cli({"extract", bank, "9", out}).status, 1);
    EXPECT_EQ(Cli({"extract", bank, "600", out}).status, 2);
    test::FifoGuard fifo(dir_ / "pipe.wav");
    CliRun toFifo = Cli({"extract", bank, "2", fifo.Path()});
    EXPECT_EQ(toFifo.status, 1);
    EXPECT_NE(toFifo.err.find("\"" + fifo.Path() + "\" is a FIFO, not a regular file."),
              std::string::npos)
        << toFifo.err;
    EXPECT_FALSE(fifo.Opened());
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.wav"));

    fs::create_directories(dir_ / "copy");
    std::string copy = (dir_ / "copy" / "bank.pbf").string();
    ASSERT_EQ(Cli({"convert", bank, copy, "--write-wavs"}).status, 0);
    EXPECT_TRUE(fs::exists(dir_ / "copy" / "Flute.wav"));
    EXPECT_TRUE(fs::exists(dir_ / "copy" / "PadL.wav"));
    auto dump = nlohmann::json::parse(Cli({"dump", copy}).out);
    EXPECT_EQ(dump["waveData"][1]["path"], (dir_ / "copy" / "Flute.wav").string());

    CliRun missing = Cli({"import-wav", "-", bank, (dir_ / "none.wav").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Could not load file"), std::string::npos);
}

// Every file a convert writes is written whole or not at all.
TEST_F(CliTest, AFullDiskLeavesNoCutShortFiles) {
    TALMERU_SKIP_ON_WINDOWS("a file size limit (setrlimit)");
    test::WavPlan mono;
    mono.data = test::Pcm16({test::Ramp(40000, 0, 1)});
    std::string wav = (dir_ / "Long.wav").string();
    ASSERT_TRUE(WriteWholeFile(wav, test::MakeWav(mono)));
    std::string bank = (dir_ / "long.pbf").string();
    ASSERT_EQ(Cli({"import-wav", "-", bank, wav}).status, 0);
    fs::create_directories(dir_ / "copy");
    CliRun full;
    {
        test::FileSizeLimit limit(50000);
        full = Cli({"convert", bank, (dir_ / "copy" / "bank.pbf").string(), "--write-wavs"});
    }
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("Could not write"), std::string::npos) << full.err;
    EXPECT_TRUE(fs::is_empty(dir_ / "copy"));
}

// More programs than the synthesizer's program RAM holds: the upload fails.
TEST_F(CliTest, AnUploadThatDoesNotFitFails) {
    std::string home = (dir_ / "home").string();
    test::SetEnv("TALMERU_HOME", home.c_str());
    test::PbfImage img;
    for (int n = 0; n < 512; ++n)
        img.programs.push_back(PackedObject(3, n, "Big", test::ProgramBody(16, 1, true)));
    img.keymaps = {PackedObject(1, 1, "map", test::KeymapBody({{127, 0, 0}}))};
    const std::string big = (dir_ / "big.pbf").string();
    ASSERT_TRUE(WriteWholeFile(big, img.Build()));
    CliRun up = Cli({"synth", "upload", big});
    EXPECT_EQ(up.status, 1);
    EXPECT_NE(up.err.find("Out of Program Memory"), std::string::npos) << up.err;
    EXPECT_NE(up.err.find("The upload did not complete."), std::string::npos);
    test::UnsetEnv("TALMERU_HOME");
}

// A settings folder that cannot be looked into, is no folder or has no room: everything that
// needs the ROM bank kept there says so and fails, and nothing is written.
TEST_F(CliTest, ASettingsFolderThatCannotBeUsedSaysWhy) {
    TALMERU_SKIP_ON_WINDOWS("symbolic links");
    std::string good = (dir_ / "good").string();
    test::SetEnv("TALMERU_HOME", good.c_str());
    const std::string syx = (dir_ / "bank.syx").string();
    ASSERT_EQ(Cli({"convert", bank_, syx}).status, 0);
    fs::create_symlink("loop2", dir_ / "loop1");
    fs::create_symlink("loop1", dir_ / "loop2");
    ASSERT_TRUE(WriteWholeFile(dir_ / "plain", {1}));
    const std::string longName = (dir_ / std::string(300, 'x')).string();
    struct Case {
        std::string home;
        std::string why;
        bool full = false;
    };
    for (const Case& c :
         {Case{(dir_ / "loop1").string(), "cannot be used: Too many levels of symbolic links."},
          Case{longName, "cannot be used: File name too long."},
          Case{(dir_ / "plain").string(), "cannot be used: it is not a folder."},
          Case{(dir_ / "full").string(), "The ROM bank could not be loaded from", true}}) {
        test::SetEnv("TALMERU_HOME", c.home.c_str());
        const std::string out = (dir_ / "out.syx").string();
        std::vector<CliRun> runs;
        {
            std::optional<test::FileSizeLimit> limit;
            if (c.full) limit.emplace(4096);
            runs = {Cli({"convert", bank_, out}), Cli({"info", syx}),
                    Cli({"synth", "upload", bank_})};
        }
        for (const CliRun& r : runs) {
            EXPECT_EQ(r.status, 1) << c.home << "\n" << r.err;
            EXPECT_NE(r.err.find(c.why), std::string::npos) << c.home << "\n" << r.err;
        }
        EXPECT_FALSE(fs::exists(out)) << c.home;
    }
    EXPECT_FALSE(fs::exists(dir_ / "full" / "Rombank0103.pbf"));
    test::UnsetEnv("TALMERU_HOME");
}

// A bank whose sample data turn out damaged only while the SoundFont is written does not
// report the conversion as done before the error.
TEST_F(CliTest, ADamagedBankExportedToASoundFontEndsWithItsError) {
    test::WavPlan mono;
    mono.data = test::Pcm16({test::Ramp(40000, -20000, 1)});
    const std::string wav = (dir_ / "Kick.wav").string(), bank = (dir_ / "kick.pbf").string();
    const std::string tmb = (dir_ / "kick.tmb").string();
    ASSERT_TRUE(WriteWholeFile(wav, test::MakeWav(mono)));
    ASSERT_EQ(Cli({"import-wav", "-", bank, wav}).status, 0);
    ASSERT_EQ(Cli({"convert", bank, tmb}).status, 0);
    std::vector<uint8_t> bytes = *ReadWholeFile(tmb);
    for (size_t i = bytes.size() / 8; i < bytes.size(); i += 7)
        bytes[i] ^= 0x5A;
    ASSERT_TRUE(WriteWholeFile(tmb, bytes));
    CliRun sf2 = Cli({"convert", tmb, (dir_ / "kick.sf2").string()});
    EXPECT_EQ(sf2.status, 1);
    EXPECT_EQ(sf2.err.find("*** Done ***"), std::string::npos) << sf2.err;
}

TEST_F(CliTest, OtherFormatsExportsAndTheSynthesizer) {
    // The ROM bank cache goes to a folder of this test's own.
    std::string home = (dir_ / "home").string();
    test::SetEnv("TALMERU_HOME", home.c_str());
    test::WavPlan mono;
    mono.data = test::Pcm16({test::Ramp(3000, 0, 2)});
    std::string wav = (dir_ / "Kick.wav").string();
    ASSERT_TRUE(WriteWholeFile(wav, test::MakeWav(mono)));
    std::string bank = (dir_ / "kick.pbf").string();
    ASSERT_EQ(Cli({"import-wav", "-", bank, wav}).status, 0);

    std::string tmb = (dir_ / "kick.tmb").string(), back = (dir_ / "back.pbf").string();
    ASSERT_EQ(Cli({"convert", bank, tmb}).status, 0);
    ASSERT_EQ(Cli({"convert", tmb, back, "--write-wavs"}).status, 0);
    EXPECT_EQ(Cli({"list", back}).out, "0 - Kick\n");

    ASSERT_EQ(Cli({"export", bank, (dir_ / "kick.ins").string()}).status, 0);
    ASSERT_EQ(Cli({"export", bank, (dir_ / "kick.txt").string()}).status, 0);
    auto ins = ReadWholeFile(dir_ / "kick.ins");
    auto txt = ReadWholeFile(dir_ / "kick.txt");
    ASSERT_TRUE(ins && txt);
    EXPECT_NE(std::string(ins->begin(), ins->end()).find("[kick Bank 0]\r\n0=Kick\r\n"),
              std::string::npos);
    EXPECT_NE(std::string(txt->begin(), txt->end()).find("  0 Kick\r\n"), std::string::npos);

    // A sysex bank file needs the ROM bank: made from the emulator on first use.
    std::string syx = (dir_ / "kick.syx").string();
    CliRun toSyx = Cli({"convert", bank, syx});
    ASSERT_EQ(toSyx.status, 0) << toSyx.err;
    EXPECT_TRUE(fs::exists(dir_ / "home" / "Rombank0103.pbf"));
    EXPECT_NE(Cli({"list", syx}).out.find("0 - Kick\n"), std::string::npos);

    CliRun upload = Cli({"synth", "upload", bank});
    ASSERT_EQ(upload.status, 0) << upload.err;
    EXPECT_NE(upload.out.find("wave data sent: 1 (6000 bytes)"), std::string::npos) << upload.out;
    EXPECT_NE(upload.out.find("objects sent: 3"), std::string::npos) << upload.out;
    CliRun small = Cli({"synth", "--sample-ram", "1000", "upload", bank});
    EXPECT_EQ(small.status, 1);  // not everything arrived
    EXPECT_NE(small.err.find("Skipping"), std::string::npos);
    EXPECT_NE(small.err.find("The upload did not complete."), std::string::npos);
    EXPECT_NE(small.out.find("wave data sent: 0 (0 bytes)"), std::string::npos);

    std::string rom = (dir_ / "rom.pbf").string();
    ASSERT_EQ(Cli({"rom", rom}).status, 0);
    auto romFile = ReadWholeFile(rom);
    auto cached = ReadWholeFile(dir_ / "home" / "Rombank0103.pbf");
    EXPECT_EQ(romFile, cached);
    test::UnsetEnv("TALMERU_HOME");
}

// A sample file found in the working folder in place of the one the bank names plays, and
// is said; one that is not what the bank was saved with fails the open.
TEST_F(CliTest, ASampleFileFoundElsewhereIsSaid) {
    test::WavPlan plan;
    plan.data = test::Pcm16({test::Ramp(300, 0, 7)});
    const fs::path folder = dir_ / "A", work = dir_ / "work";
    fs::create_directories(folder);
    fs::create_directories(work);
    ASSERT_TRUE(WriteWholeFile(folder / "x.wav", test::MakeWav(plan)));
    const std::string bank = (dir_ / "wave.pbf").string();
    ASSERT_EQ(Cli({"import-wav", "-", bank, (folder / "x.wav").string()}).status, 0);
    fs::rename(folder / "x.wav", work / "x.wav");
    const fs::path before = fs::current_path();
    fs::current_path(work);
    const std::string note = "? \"" + (folder / "x.wav").string() + "\" was not found; using \"" +
                             (fs::path(".") / "x.wav").string() + "\"\n";
    CliRun moved = Cli({"list", bank, "wavedata"});
    EXPECT_EQ(moved.status, 0) << moved.err;
    EXPECT_NE(moved.err.find(note), std::string::npos) << moved.err;

    plan.rate = 22050;
    ASSERT_TRUE(WriteWholeFile(work / "x.wav", test::MakeWav(plan)));
    CliRun other = Cli({"list", bank, "wavedata"});
    fs::current_path(before);
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find(note), std::string::npos) << other.err;
    EXPECT_NE(other.err.find("\"" + (fs::path(".") / "x.wav").string() +
                             "\" has a sample rate of 22050 Hz, but sample 0 of the "
                             "bank expects 44100 Hz."),
              std::string::npos)
        << other.err;
}

}  // namespace
}  // namespace talmeru
