#include <gtest/gtest.h>

#include <cmath>

#include "files/BankFile.h"
#include "files/FileWaveData.h"
#include "files/WaveImport.h"
#include "model/WaveMerge.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/Prompter.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

using test::MakeWav;
using test::Pcm16;
using test::Ramp;
using test::WavPlan;

class WaveImportTest : public test::TempDirTest {
  protected:
    std::string Mono(const std::string& name, int frames = 100, uint32_t rate = 44100) {
        WavPlan s;
        s.rate = rate;
        s.data = Pcm16({Ramp(frames, 0, 1)});
        s.unity = 69;
        s.loops = {{0, 10, static_cast<uint32_t>(frames), 0}};
        return Put(name, MakeWav(s));
    }
    std::string Stereo(const std::string& name, int frames = 100) {
        WavPlan s;
        s.channels = 2;
        s.data = Pcm16({Ramp(frames, 0, 1), Ramp(frames, 500, 1)});
        return Put(name, MakeWav(s));
    }
    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
    ZedoDatabase db_;
};

TEST_F(WaveImportTest, NewSampleTakesItsPointsPitchAndName) {
    std::string flute = Mono("Flute.wav", 100);
    SampleHeader* s = ImportWaveAsSample(db_, flute, -1, kWholeFile, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Number(), 0);
    EXPECT_EQ(s->Name(), "Flute");
    EXPECT_EQ(s->start, 0);
    EXPECT_EQ(s->loopStart, 20);  // bytes of 16-bit data
    EXPECT_EQ(s->end, 200);
    EXPECT_EQ(s->pitch, static_cast<int>(256 * (69 - 60 + 12) + 0.5));
    EXPECT_EQ(s->flags, kLinearData | kSixteenBit);
    EXPECT_EQ(s->envelope.size(), 3u);
    EXPECT_EQ(s->envelope[1].slope, -6818);
    EXPECT_EQ(s->RegionName(), "Full Sample");
    EXPECT_TRUE(db_.IsModified());
    ASSERT_EQ(db_.WaveDataCount(), 2);
    WaveData* w = db_.GetWaveData(1);
    EXPECT_EQ(w->base, 0);
    EXPECT_TRUE(w->uploadPending[0]);

    // The same file again: one wave data with a base and a link, and a unique name.
    SampleHeader* again = ImportWaveAsSample(db_, w->path, 7, kWholeFile, 0);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Name(), "Flute1");
    EXPECT_EQ(db_.WaveDataCount(), 2);
    ASSERT_EQ(w->links.size(), 1u);
    EXPECT_EQ(w->links[0].number, 7);
    EXPECT_EQ(again->Wave(), w);
}

TEST_F(WaveImportTest, StereoFilesBecomePairs) {
    std::string pad = Stereo("Pad.wav");
    SampleHeader* left = ImportWaveAsSample(db_, pad, -1, kWholeFile, kImportStereoPairs);
    ASSERT_NE(left, nullptr);
    ASSERT_EQ(left->stereoRole, kStereoLeft);
    auto* right = static_cast<SampleHeader*>(left->chained);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->stereoRole, kStereoRight);
    EXPECT_EQ(left->Name(), "PadL");
    EXPECT_EQ(right->Name(), "PadR");
    EXPECT_EQ(left->Wave()->channel, kLeftChannel);
    EXPECT_EQ(right->Wave()->channel, kRightChannel);
    ASSERT_EQ(right->Wave()->LoadData(), 0);
    EXPECT_EQ(right->Wave()->data[0], 500 & 0xFF);

    // Without the option a stereo file gives one header playing its left channel.
    ZedoDatabase plain;
    SampleHeader* one = ImportWaveAsSample(plain, pad, -1, kWholeFile, 0);
    EXPECT_EQ(one->stereoRole, kMono);
    EXPECT_EQ(one->Name(), "PadL");
}

TEST_F(WaveImportTest, FailuresLeaveNoHeaderBehind) {
    EXPECT_THROW(ImportWaveAsSample(db_, Path("nothing.wav"), -1, kWholeFile, 0), ZedoException);
    EXPECT_EQ(db_.GetSampleHeader(0), nullptr);
    EXPECT_EQ(db_.WaveDataCount(), 1);
    std::string notWave = Put("notes.txt", {1, 2, 3});
    try {
        ImportWaveAsSample(db_, notWave, -1, kWholeFile, 0);
        FAIL();
    } catch (const ZedoException& e) {
        EXPECT_STREQ(e.what(), "Could not load file");
    }
    for (int n = 0; n < kSlotCount; ++n) {
        auto s = std::make_unique<SampleHeader>();
        s->SetNumber(n);
        db_.PutSampleHeader(std::move(s));
    }
    EXPECT_EQ(ImportWaveAsSample(db_, Mono("a.wav"), -1, kWholeFile, 0), nullptr);
}

// A WAV file whose data cannot be decoded is refused when it is imported, not when the bank
// is saved later.
TEST_F(WaveImportTest, UndecodableFilesAreRefusedAtOnce) {
    struct Case {
        const char* name;
        int tag, bits;
        uint32_t rate;
        bool zeroAlign;
    };
    for (const Case& c :
         {Case{"unknown tag", 0x7777, 16, 44100, false}, Case{"block align 0", 1, 16, 44100, true},
          Case{"rate 0", 1, 16, 0, false}, Case{"64-bit PCM", 1, 64, 44100, false},
          Case{"ADPCM, rate 0", 2, 4, 0, false}}) {
        WavPlan s;
        s.tag = c.tag;
        s.bits = c.bits;
        s.rate = c.rate;
        s.data = std::vector<uint8_t>(512, 3);
        auto bytes = MakeWav(s);
        if (c.zeroAlign) bytes[32] = bytes[33] = 0;  // "fmt " block align
        std::string path = Put("odd.wav", bytes);
        prompter_.Clear();
        EXPECT_THROW(ImportWaveAsSample(db_, path, -1, kWholeFile, 0), ZedoException) << c.name;
        EXPECT_TRUE(prompter_.Saw("Unable to convert wave format.")) << c.name;
        EXPECT_EQ(db_.GetSampleHeader(0), nullptr) << c.name;
        EXPECT_EQ(db_.WaveDataCount(), 1) << c.name;
    }
}

TEST_F(WaveImportTest, ProgramFromAMonoFile) {
    Program* p = BuildProgramFromWave(db_, Mono("Oboe.wav"), false, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Name(), "Oboe");
    ASSERT_EQ(p->LayerCount(), 1);
    Keymap* k = db_.GetKeymap(p->GetLayer(0)->keymap);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Name(), "Oboe");
    ASSERT_EQ(k->entries.size(), 1u);
    EXPECT_EQ(k->entries[0].topKey, 127);
    EXPECT_EQ(k->SampleForKey(0), 0);
    EXPECT_TRUE(p->marked && k->marked && db_.GetSampleHeader(0)->marked);

    // A second program gets the next numbers.
    Program* second = BuildProgramFromWave(db_, Mono("Oboe2.wav"), false, nullptr);
    EXPECT_EQ(second->Number(), 1);
    EXPECT_EQ(db_.GetKeymap(second->GetLayer(0)->keymap)->Number(), 1);

    // Replacing reuses the current program and drops its layers.
    Program* replaced = BuildProgramFromWave(db_, Mono("Horn.wav"), true, p);
    EXPECT_EQ(replaced, p);
    EXPECT_EQ(p->Name(), "Oboe");
    ASSERT_EQ(p->LayerCount(), 1);
    EXPECT_EQ(db_.GetKeymap(p->GetLayer(0)->keymap)->Name(), "Horn");
}

TEST_F(WaveImportTest, ProgramFromAStereoFile) {
    Program* p = BuildProgramFromWave(db_, Stereo("Choir.wav"), false, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Name(), "Choir");  // the left half's final L is dropped
    ASSERT_EQ(p->LayerCount(), 2);
    Layer* l = p->GetLayer(0);
    Layer* r = p->GetLayer(1);
    EXPECT_EQ(l->StereoState(), kStereoLeft);
    EXPECT_EQ(l->Pan(), 0);
    EXPECT_EQ(r->Pan(), 31);
    Keymap* lk = db_.GetKeymap(l->keymap);
    Keymap* rk = db_.GetKeymap(r->keymap);
    EXPECT_EQ(lk->stereoRole, kStereoLeft);
    EXPECT_EQ(lk->chained, rk);
    EXPECT_EQ(lk->Name(), "ChoirL");
    EXPECT_EQ(rk->Name(), "ChoirR");
    EXPECT_EQ(db_.GetSampleHeader(rk->entries[0].sample)->Wave()->channel, kRightChannel);
}

TEST_F(WaveImportTest, MergingJoinsWaveDataIntoBlocks) {
    db_.SetPath(Path("My Bank.pbf"));
    SampleHeader* a = ImportWaveAsSample(db_, Mono("a.wav", 100), -1, kWholeFile, 0);
    SampleHeader* b = ImportWaveAsSample(db_, Mono("b.wav", 50), -1, kWholeFile, 0);
    SampleHeader* b2 = ImportWaveAsSample(db_, db_.GetWaveData(2)->path, -1, kWholeFile, 0);
    ASSERT_TRUE(a && b && b2);
    int32_t bStart = b->start, bLoop = b->loopStart;
    MergeWaveData(db_);
    EXPECT_TRUE(db_.Merged());
    ASSERT_EQ(db_.WaveDataCount(), 2);
    WaveData* block = db_.GetWaveData(1);
    EXPECT_EQ(block->Kind(), kWaveMerged);
    EXPECT_EQ(block->StorageClass(), kMergedStorage);
    EXPECT_EQ(a->Wave(), block);
    EXPECT_EQ(b2->Wave(), block);
    EXPECT_EQ(a->start, 0);
    EXPECT_EQ(b->start, bStart + 200 + 2);  // after a's 200 bytes and two zero bytes
    EXPECT_EQ(b->loopStart, bLoop + 202);
    EXPECT_EQ(b2->start, b->start);
    SampleHeader* h = db_.GetSampleHeader(block->base);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->Name(), "My Bank-0 : 0 KB");
    EXPECT_EQ(h->end, 200 + 2 + 100 + 2);
    EXPECT_EQ(block->links.size(), 3u);
    ASSERT_EQ(block->LoadData(), 0);
    ASSERT_EQ(block->data.size(), 304u);
    EXPECT_EQ(block->data[200], 0);
    EXPECT_EQ(block->data[202], 0);
    EXPECT_EQ(block->data[204], 1);  // b's second sample
    EXPECT_EQ(SaveBank(db_, Path("merged.pbf"), 0), 1);
    EXPECT_TRUE(prompter_.Saw("Sorry, you can't save a bank with merged wave data"));
}

}  // namespace
}  // namespace talmeru
