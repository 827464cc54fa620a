#include <gtest/gtest.h>

#include <filesystem>

#include "files/BankFile.h"
#include "files/FileWaveData.h"
#include "files/Pbf.h"
#include "files/WaveImport.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

namespace fs = std::filesystem;
using test::MakeWav;
using test::PackedObject;
using test::Pcm16;
using test::Ramp;
using test::SampleBody;
using test::WavPlan;

class PbfWaveTest : public test::TempDirTest {
  protected:
    std::string Wav(const std::string& name, int channels = 1, int bits = 16,
                    uint32_t rate = 44100) {
        WavPlan s;
        s.channels = channels;
        s.bits = bits;
        s.rate = rate;
        if (bits == 16) {
            std::vector<std::vector<int16_t>> ch;
            for (int c = 0; c < channels; ++c)
                ch.push_back(Ramp(64, 100 * c, 1));
            s.data = Pcm16(ch);
        } else {
            s.data.assign(static_cast<size_t>(64 * channels), 0x90);
        }
        return Put(name, MakeWav(s));
    }
    // A bank with samples 1..3: 1 and 2 share kick.wav, 3 plays snare.wav's right channel.
    test::PbfImage Bank() {
        test::PbfImage img;
        img.samples = {PackedObject(2, 1, "kick", SampleBody(0, -1, 128)),
                       PackedObject(2, 2, "kick short", SampleBody(0, -1, 64)),
                       PackedObject(2, 3, "snare", SampleBody(0, -1, 128))};
        img.waves = {{1, 16, 0, 44100, 128, kick_}, {3, 16, 2, 44100, 128, snare_}};
        img.links = {{5, 2, 1}};
        return img;
    }
    void SetUp() override {
        TempDirTest::SetUp();
        kick_ = Wav("kick.wav");
        snare_ = Wav("snare.wav", 2);
        SetWaveSearchDirectory("");
    }
    std::vector<std::string> Shown() const {
        std::vector<std::string> out;
        for (const auto& s : prompter_.All())
            out.push_back(s.text);
        return out;
    }
    std::string kick_, snare_;
    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
};

TEST_F(PbfWaveTest, WaveRecordsAndLinksRoundTrip) {
    ZedoDatabase db;
    ASSERT_EQ(ReadPbf(Bank().Build(), db, 0), 0);
    EXPECT_TRUE(prompter_.All().empty());
    ASSERT_EQ(db.WaveDataCount(), 3);
    WaveData* kick = db.GetWaveData(1);
    EXPECT_EQ(kick->Kind(), kWaveWav);
    EXPECT_EQ(kick->base, 1);
    ASSERT_EQ(kick->links.size(), 1u);
    EXPECT_EQ(kick->links[0].number, 2);
    EXPECT_EQ(db.GetSampleHeader(2)->Wave(), kick);
    EXPECT_EQ(db.GetSampleHeader(1)->RegionName(), "Full Sample");
    EXPECT_EQ(db.GetSampleHeader(2)->RegionName(), "");
    EXPECT_EQ(db.GetWaveData(2)->channel, kRightChannel);

    std::vector<uint8_t> out;
    ASSERT_EQ(BuildPbf(db, 0, out), 0);
    ZedoDatabase back;
    ASSERT_EQ(ReadPbf(out, back, 0), 0);
    ASSERT_EQ(back.WaveDataCount(), 3);
    EXPECT_EQ(back.GetWaveData(1)->path, kick->path);
    EXPECT_EQ(back.GetWaveData(1)->links.size(), 1u);
    EXPECT_EQ(back.GetWaveData(2)->channel, kRightChannel);
    std::vector<uint8_t> again;
    ASSERT_EQ(BuildPbf(back, 0, again), 0);
    EXPECT_EQ(again, out);

    // A second header of the same file and channel shares the wave data.
    test::PbfImage shared = Bank();
    shared.waves.push_back({2, 16, 0, 44100, 128, kick_});
    shared.links.clear();
    ZedoDatabase sh;
    ASSERT_EQ(ReadPbf(shared.Build(), sh, 0), 0);
    EXPECT_EQ(sh.WaveDataCount(), 3);
    EXPECT_EQ(sh.GetWaveData(1)->links.size(), 1u);
}

// The whole bank is read, and the load fails with the file and both values named.
TEST_F(PbfWaveTest, MismatchesAreReportedAndFailTheLoad) {
    test::PbfImage img = Bank();
    img.waves[0].bits = 8;
    img.waves[1].rate = 22050;
    ZedoDatabase db;
    EXPECT_EQ(ReadPbf(img.Build(), db, 0), 5);
    EXPECT_EQ(Shown(),
              (std::vector<std::string>{
                  "\"" + kick_ + "\" has 16 bits per sample, but sample 1 of the bank expects 8.",
                  "\"" + snare_ +
                      "\" has a sample rate of 44100 Hz, but sample 3 of the bank expects 22050 "
                      "Hz."}));
    EXPECT_EQ(db.GetSampleHeader(2)->Wave(), db.GetSampleHeader(1)->Wave());
}

TEST_F(PbfWaveTest, MissingFilesAskWhetherToGoOn) {
    fs::remove(kick_);
    std::string question = "The file \"" + kick_ +
                           "\" used in sample 1 could not be loaded, so this sample will be "
                           "invalid. Continue with this bank?";
    ZedoDatabase db;
    prompter_.QueueAnswer(Answer::No);   // do not look for it
    prompter_.QueueAnswer(Answer::Yes);  // go on with the bank
    ASSERT_EQ(ReadPbf(Bank().Build(), db, 0), 0);
    EXPECT_EQ(
        Shown(),
        (std::vector<std::string>{
            "\"" + kick_ + "\" could not be found. Would you like to try to find it?", question}));
    WaveData* w = db.GetSampleHeader(1)->Wave();
    EXPECT_EQ(w->Kind(), kWaveInvalid);
    EXPECT_EQ(db.GetSampleHeader(2)->Wave(), w);  // the link still found its base

    // Saving keeps the reference, so the bank plays the file again once it is back.
    std::vector<uint8_t> out;
    ASSERT_EQ(BuildPbf(db, 0, out), 0);
    Wav("kick.wav");
    ZedoDatabase back;
    prompter_.Clear();
    ASSERT_EQ(ReadPbf(out, back, 0), 0);
    EXPECT_EQ(Shown(), std::vector<std::string>{});
    EXPECT_EQ(back.GetSampleHeader(1)->Wave()->Kind(), kWaveWav);
    EXPECT_EQ(back.GetSampleHeader(2)->Wave(), back.GetSampleHeader(1)->Wave());

    fs::remove(kick_);
    ZedoDatabase stop;
    prompter_.Clear();
    EXPECT_EQ(ReadPbf(Bank().Build(), stop, 0), 5);
    EXPECT_EQ(Shown().back(), "Load aborted");

    ZedoDatabase quiet;
    prompter_.Clear();
    EXPECT_EQ(ReadPbf(Bank().Build(), quiet, kOpenQuiet), 0);
    EXPECT_EQ(Shown(), std::vector<std::string>{});
}

// A file that is there but is no WAV file gets the same question as a missing one.
TEST_F(PbfWaveTest, AFileThatIsNoWavFileAsksLikeAMissingOne) {
    Put("kick.wav", {'n', 'o', 't', ' ', 'a', ' ', 'W', 'A', 'V'});
    const std::string question = "The file \"" + kick_ +
                                 "\" used in sample 1 could not be loaded, so this sample will "
                                 "be invalid. Continue with this bank?";
    ZedoDatabase db;
    prompter_.QueueAnswer(Answer::Yes);
    ASSERT_EQ(ReadPbf(Bank().Build(), db, 0), 0);
    EXPECT_EQ(prompter_.Questions(), std::vector<std::string>{question});
    EXPECT_EQ(db.GetSampleHeader(1)->Wave()->Kind(), kWaveInvalid);
    EXPECT_EQ(db.GetSampleHeader(2)->Wave(), db.GetSampleHeader(1)->Wave());

    ZedoDatabase stop;
    prompter_.Clear();
    EXPECT_EQ(ReadPbf(Bank().Build(), stop, 0), 5);
    EXPECT_EQ(Shown().back(), "Load aborted");
}

TEST_F(PbfWaveTest, OldFilesFindWaveFilesByName) {
    Wav("st.wav", 2);
    SetWaveSearchDirectory(dir_.string());
    test::PbfImage old;
    old.format = 0x0100;
    old.samples = {PackedObject(2, 0, "D:\\x\\st.wavr", SampleBody(0, -1, 128)),
                   PackedObject(2, 1, "D:\\x\\st.wavL", SampleBody(0, -1, 128)),
                   PackedObject(2, 2, "D:\\x\\st.wav", SampleBody(0, -1, 128))};
    ZedoDatabase db;
    ASSERT_EQ(ReadPbf(old.Build(), db, 0), 0);
    EXPECT_EQ(Shown(), std::vector<std::string>{});
    ASSERT_EQ(db.WaveDataCount(), 3);  // right; left shared by "whole file"
    EXPECT_EQ(db.GetSampleHeader(0)->Wave()->channel, kRightChannel);
    EXPECT_EQ(db.GetSampleHeader(1)->Wave()->channel, kLeftChannel);
    EXPECT_EQ(db.GetSampleHeader(2)->Wave(), db.GetSampleHeader(1)->Wave());

    // A name that differs from the file's only in case finds it too.
    old.samples = {PackedObject(2, 0, "D:\\x\\ST.WAV", SampleBody(0, -1, 128))};
    ZedoDatabase other;
    ASSERT_EQ(ReadPbf(old.Build(), other, 0), 0);
    EXPECT_EQ(other.GetSampleHeader(0)->Wave()->Kind(), kWaveWav);
    SetWaveSearchDirectory("");
}

TEST_F(PbfWaveTest, WriteWavFilesOptionStaysInsideTheFolder) {
    ZedoDatabase db;
    SampleHeader* pair = ImportWaveAsSample(db, snare_, -1, kWholeFile, kImportStereoPairs);
    ASSERT_NE(pair, nullptr);
    SampleHeader* evil = ImportWaveAsSample(db, Wav("e.wav", 1, 8), -1, kWholeFile, 0);
    evil->SetName("../../etc/x.y");
    fs::create_directories(dir_ / "out");
    ASSERT_TRUE(WriteWholeFile(dir_ / "out" / "snareL.wav", {1}));  // taken: numbered
    ASSERT_EQ(SaveBank(db, Path("out/bank.pbf"), kSaveWriteWavs), 0);

    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir_ / "out"))
        files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"bank.pbf", "snareL.wav", "snareL1.wav", "x.wav"}));
    EXPECT_FALSE(fs::exists(dir_ / "etc"));

    // The saved bank plays the new files: one stereo file for the pair.
    ZedoDatabase back;
    ASSERT_EQ(OpenBank(back, Path("out/bank.pbf"), 0), 0);
    WaveData* l = back.GetSampleHeader(pair->Number())->Wave();
    WaveData* r = back.GetSampleHeader(static_cast<SampleHeader*>(pair->chained)->Number())->Wave();
    EXPECT_EQ(fs::path(l->path).filename(), "snareL1.wav");
    EXPECT_EQ(l->path, r->path);
    EXPECT_EQ(l->channel, kLeftChannel);
    EXPECT_EQ(r->channel, kRightChannel);
    EXPECT_TRUE(l->IsStereo());
    ASSERT_EQ(r->LoadData(), 0);
    EXPECT_EQ(r->data[0], 100);  // the snare's right channel starts at 100
    WaveData* e = back.GetSampleHeader(evil->Number())->Wave();
    EXPECT_EQ(e->bitsHeld, 8);
    // The bank in memory switched to the new files too.
    EXPECT_EQ(db.GetSampleHeader(evil->Number())->Wave()->path, (dir_ / "out" / "x.wav").string());

    EXPECT_EQ(SafeFileName("a/b\\c:d*e?f\"g<h>i|j"), "c_d_e_f_g_h_i_j");
    EXPECT_EQ(SafeFileName(".."), "sample");
    EXPECT_EQ(SafeFileName(" ..hidden. "), "hidden");
}

}  // namespace
}  // namespace talmeru
