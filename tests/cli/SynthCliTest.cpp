#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Cli.h"
#include "platform/Profile.h"
#include "support/CliRun.h"
#include "support/Fifo.h"
#include "support/Portability.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;

using test::Cli;
using test::CliRun;

// Where this machine has MIDI devices of its own they are listed too, before the emulator's;
// the checks below hold either way unless a real MA-1 card is present.
TEST(SynthCli, DevicesListsTheEmulatorAndWhatTheRulesChoose) {
    CliRun r = Cli({"devices"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("outputs:\n"), std::string::npos);
    EXPECT_NE(r.out.find(": TBS Pro Main Synth Out (emulated) (manufacturer 0x15, product 0x1, "
                         "driver 0x400, technology 6, voices 32, notes 32, support 0x1)\n"),
              std::string::npos);
    EXPECT_NE(r.out.find(": TBS Pro External MIDI In (emulated) (manufacturer 0x15"),
              std::string::npos);
    EXPECT_NE(r.out.find("synth out: "), std::string::npos);
    EXPECT_NE(r.out.find(" TBS Pro Main Synth Out (emulated)\nsynth in: "), std::string::npos);
    EXPECT_NE(r.out.find(" TBS Pro Main Synth In (emulated)\naudition in: "), std::string::npos);
    EXPECT_NE(r.out.find(" TBS Pro External MIDI In (emulated)\n"), std::string::npos);
}

TEST(SynthCli, IdentityAndMemoryComeFromTheEmulator) {
    CliRun id = Cli({"synth", "identity"});
    ASSERT_EQ(id.status, 0) << id.err;
    EXPECT_EQ(id.out, "identity: 0x0001 0x0103 0x0120\nROM version: 0x0103\n");

    CliRun mem = Cli({"synth", "memory", "--sample-ram", "1048576"});
    ASSERT_EQ(mem.status, 0) << mem.err;
    EXPECT_EQ(mem.out,
              "program RAM total: 262144\nprogram RAM free: 262144\n"
              "sample RAM total: 1048576\nsample RAM free: 1048576\n");
    EXPECT_NE(Cli({"synth", "--sample-ram", "0", "memory"}).out.find("sample RAM total: 0\n"),
              std::string::npos);

    EXPECT_EQ(Cli({"synth", "memory", "--sample-ram", "-5"}).status, 2);
    EXPECT_EQ(Cli({"synth"}).status, 2);
}

TEST(SynthCli, ASettingsFileChoosesTheDevicesAndKeepsTheChoice) {
    fs::path ini = fs::temp_directory_path() / "talmeru-synthcli.ini";
    {
        Profile p(ini);
        p.WriteString("Device", "AuditionIn", "TBS Pro Main Synth In (emulated)");
        p.WriteString("Other", "Kept", "yes");
        ASSERT_TRUE(p.Save());
    }
    CliRun r = Cli({"devices", "--settings", ini.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" TBS Pro Main Synth In (emulated)\n", r.out.find("audition in: ")),
              std::string::npos);
    Profile back(ini);
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(back.GetString("Device", "SynthOut"), "TBS Pro Main Synth Out (emulated)");
    EXPECT_EQ(back.GetString("Device", "AuditionIn"), "TBS Pro Main Synth In (emulated)");
    EXPECT_EQ(back.GetString("Other", "Kept"), "yes");
    fs::remove(ini);
}

// Only a settings file is read and written back as one.
TEST(SynthCli, SettingsThatAreNoSettingsFileAreRefused) {
    TALMERU_SKIP_ON_WINDOWS("FIFOs");
    fs::path dir = fs::temp_directory_path() / "talmeru-synthcli-refused";
    fs::remove_all(dir);
    fs::create_directories(dir);
    test::FifoGuard fifo(dir / "pipe.ini");
    ASSERT_TRUE(fifo.Made());
    const std::string bank("PINNACLE\0\0\0\0Bank\0\0\x02\x01", 18);
    const std::string notes = "Shopping\n\neggs, milk\n";
    for (const auto& [name, content] :
         {std::pair<std::string, std::string>{"bank.pbf", bank}, {"notes.txt", notes}}) {
        std::ofstream(dir / name, std::ios::binary) << content;
    }
    struct Case {
        std::string path;
        std::string why;
    };
    for (const Case& c : {Case{fifo.Path(), "is a FIFO, not a regular file."},
                          Case{(dir / "bank.pbf").string(), "is not a settings file."},
                          Case{(dir / "notes.txt").string(), "is not a settings file."}}) {
        CliRun r = Cli({"devices", "--settings", c.path});
        EXPECT_EQ(r.status, 1) << c.path;
        EXPECT_NE(r.err.find("\"" + c.path + "\" " + c.why), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Could not read the settings file " + c.path), std::string::npos);
    }
    EXPECT_FALSE(fifo.Opened());
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.ini"));
    auto text = [&](const char* name) {
        std::ifstream in(dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(text("bank.pbf"), bank);
    EXPECT_EQ(text("notes.txt"), notes);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace talmeru
