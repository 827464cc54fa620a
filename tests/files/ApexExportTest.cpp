#include <gtest/gtest.h>

#include "files/Apex.h"
#include "files/BankFile.h"
#include "files/Exports.h"
#include "files/WaveImport.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

using test::PackedObject;

struct ApexWave {
    int number;
    std::vector<uint8_t> image;
};

std::vector<uint8_t> ApexFile(const std::vector<std::vector<uint8_t>>& records,
                              const std::vector<ApexWave>& waves,
                              const std::string& synth = "Kurzweil MA-1") {
    ByteWriter w;
    w.FixedString("AVM Sample Studio", 32);
    w.FixedString(synth, 32);
    w.Zeros(452 - 64);
    w.PatchBytes(204, std::vector<uint8_t>{'S', 't', 'u', 'd', 'i', 'o', ' ', 'b', 'a', 'n', 'k'});
    w.PatchU16(302, static_cast<uint16_t>(records.size()));
    w.PatchU32(304, static_cast<uint32_t>(waves.size()));
    w.PatchU32(316, static_cast<uint32_t>(w.Pos()));
    for (const auto& r : records)
        w.Bytes(r);
    w.PatchU32(320, static_cast<uint32_t>(w.Pos()));
    for (const auto& wave : waves) {
        w.U16(static_cast<uint16_t>(wave.number));
        w.Zeros(6);
        w.U32(static_cast<uint32_t>(wave.image.size()));
        w.Bytes(wave.image);
    }
    return w.Take();
}

class ApexTest : public test::TempDirTest {
  protected:
    std::vector<uint8_t> Image(int first) {
        test::WavPlan s;
        s.data = test::Pcm16({test::Ramp(50, first, 1)});
        return test::MakeWav(s);
    }
    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
};

TEST_F(ApexTest, ImportsObjectsAndTheWaveImagesInside) {
    auto sample = [](int n) {
        return PackedObject(2, n, "s" + std::to_string(n), test::SampleBody(0, -1, 100));
    };
    std::string path =
        Put("studio.apex", ApexFile({PackedObject(3, 4, "Strings", test::ProgramBody(1, 0)),
                                     sample(1), sample(2), sample(3)},
                                    {{1, Image(10)}, {9, Image(20)}, {2, Image(30)}}));
    ZedoDatabase db;
    ASSERT_EQ(OpenBank(db, path, 0), 0);
    EXPECT_EQ(prompter_.Messages(), std::vector<std::string>{"wavedata without sample, skipping"});
    EXPECT_EQ(db.Comment(), "Studio bank");
    EXPECT_EQ(db.Path(), Path("studio.pbf"));
    ASSERT_NE(db.GetProgram(4), nullptr);
    // Record 9 was skipped and the one after it read from the right place.
    WaveData* w2 = db.GetSampleHeader(2)->Wave();
    ASSERT_EQ(w2->Kind(), kWaveWav);
    ASSERT_EQ(w2->LoadData(), 0);
    EXPECT_EQ(w2->data[0], 30);
    ASSERT_EQ(db.GetSampleHeader(1)->Wave()->LoadData(), 0);
    EXPECT_EQ(db.GetSampleHeader(1)->Wave()->data[0], 10);
    EXPECT_TRUE(db.GetSampleHeader(3)->IsRom());

    // The WAV images live inside the .apex file: a plain .pbf save could not find them
    // again, so it is refused; with the WAV files written it works.
    EXPECT_EQ(SaveBank(db, db.Path(), 0), 1);
    ASSERT_EQ(SaveBank(db, db.Path(), 0x10000), 0);
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, Path("studio.pbf"), 0), 0);
    ASSERT_EQ(back.GetSampleHeader(2)->Wave()->LoadData(), 0);
    EXPECT_EQ(back.GetSampleHeader(2)->Wave()->data[0], 30);
}

TEST_F(ApexTest, RefusesOtherFiles) {
    ZedoDatabase db;
    EXPECT_EQ(ReadApex(Put("other.apex", ApexFile({}, {}, "Kurzweil K2000")), db), 5);
    EXPECT_TRUE(prompter_.Saw("This is not a recognized Apex file."));
    EXPECT_EQ(ReadApex(Put("short.apex", std::vector<uint8_t>(100, 0)), db), 5);
    EXPECT_TRUE(prompter_.Saw("Apex Header not ok"));
    EXPECT_EQ(ReadApex(Path("none.apex"), db), 1);
    EXPECT_TRUE(prompter_.Saw("problem with opening\n\"" + Path("none.apex") +
                              "\": No such file or directory"));
    // Wave records cut short keep what was read.
    auto cut = ApexFile({PackedObject(2, 1, "s", test::SampleBody(0, -1, 100))},
                        {{1, Image(5)}, {1, Image(6)}});
    cut.resize(cut.size() - Image(6).size() - 6);
    ZedoDatabase partial;
    EXPECT_EQ(ReadApex(Put("cut.apex", cut), partial), 0);
    EXPECT_TRUE(prompter_.Saw("Couldn't create wavefile: unexpected end of file\n"));
    EXPECT_EQ(partial.GetSampleHeader(1)->Wave()->Kind(), kWaveWav);
}

class ExportTest : public test::TempDirTest {
  protected:
    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
};

TEST_F(ExportTest, InstrumentDefinition) {
    ZedoDatabase db;
    db.SetPath("/banks/Demo.pbf");
    db.Store(PackedObject(3, 0, "Piano=[1]", test::ProgramBody(1, 0)));
    db.Store(PackedObject(3, 129, "Organ", test::ProgramBody(1, 0)));
    std::string t = InstrumentDefinitionText(db);
    const std::string dashes = "; " + std::string(70, '-') + "\n";
    EXPECT_EQ(
        t.rfind("\n" + dashes +
                    "\n.Patch Names\n\n\n[Demo Bank 0]\n0=Piano=[1]\n\n[Demo Bank 1]\n129=Organ\n"
                    "\n[Demo Bank 2]\n\n[Demo Bank 3]\n\n" +
                    dashes + "\n.Note Names\n\n",
                0),
        0u);
    EXPECT_NE(t.find("[MA-1 Controllers]\n0=0-Bank\n1=1-Modulation\n"), std::string::npos);
    EXPECT_NE(t.find("93=93-Chorus depth\n\n" + dashes + "\n.RPN Names\n\n\n"), std::string::npos);
    const std::string tail =
        ".Instrument Definitions\n\n\n[Kurzweil MA-1 Demo]\nControl=MA-1 Controllers\n"
        "Patch[0]=Demo Bank 0\nPatch[1]=Demo Bank 1\nPatch[2]=Demo Bank 2\nPatch[3]=Demo Bank 3\n"
        "Patch[*]=0..127\n";
    EXPECT_EQ(t.substr(t.size() - tail.size()), tail);

    ZedoDatabase empty;
    std::string e = InstrumentDefinitionText(empty);
    EXPECT_NE(e.find("[ Bank 3]\n\n"), std::string::npos);
    EXPECT_NE(e.find("[Kurzweil MA-1 ]\n"), std::string::npos);

    ASSERT_EQ(ExportInstrumentDefinition(db, Path("demo.ins")), 0);
    auto bytes = *ReadWholeFile(Path("demo.ins"));
    std::string written(bytes.begin(), bytes.end());
    EXPECT_EQ(written.substr(0, 4), "\r\n; ");
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'),
              std::count(t.begin(), t.end(), '\n'));
    EXPECT_EQ(std::count(written.begin(), written.end(), '\r'),
              std::count(t.begin(), t.end(), '\n'));
    EXPECT_EQ(ExportInstrumentDefinition(db, Path("no/such/folder/x.ins")), 1);
    EXPECT_TRUE(prompter_.Saw("Could not create \"" + Path("no/such/folder/x.ins") + "\"."));
}

TEST_F(ExportTest, TextReport) {
    test::WavPlan s;
    s.data = test::Pcm16({test::Ramp(25, 0, 1)});
    std::string wav = Put("Kick.wav", test::MakeWav(s));
    ZedoDatabase db;
    db.SetPath("/banks/Demo.pbf");
    db.SetComment("hello");
    ASSERT_NE(BuildProgramFromWave(db, wav, false, nullptr), nullptr);
    std::string rule(50, '=');
    std::string expected =
        "Bank:     Demo\nFilename: /banks/Demo.pbf\nComments: hello\n"
        "\n================== Programs =====================\nNum Name\n" +
        rule +
        "\n  0 Kick\n"
        "\n\n\n================== Keymaps =====================\nNum Name\n" +
        rule +
        "\n  0 Kick\n"
        "\n\n\n================== Sample Headers =====================\nNum Name\n" +
        rule +
        "\n  0 Kick\n"
        "\n\n\n================== Wave data =====================\n  Format    Bytes Name\n" +
        rule + "\n      K8  2097151 MA-1 ROM\n     PCM       50 " + wav + "\n";
    EXPECT_EQ(BankReportText(db), expected);
    ZedoDatabase empty;
    std::string e = BankReportText(empty);
    EXPECT_EQ(e.rfind("Bank:     \nFilename: \nComments: MA-1 Rom\n", 0), 0u);
}

}  // namespace
}  // namespace talmeru
