#include <gtest/gtest.h>

#include "model/Listers.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/Prompter.h"
#include "support/BankBuilder.h"

namespace talmeru {
namespace {

using test::Bytes;
using test::KeymapBody;
using test::PackedObject;
using test::ProgramBody;
using test::SampleBody;

// An object whose body size the test chooses, to probe the pack buffer's limits.
class SizedObject : public BankObject {
  public:
    explicit SizedObject(int size) : BankObject(kTypeKeymap), size_(size) {}
    int KindNumber() const override { return 2; }
    int Unpack(std::span<const uint8_t>) override { return 0; }
    int BodySize() const override { return size_; }
    int PackBody(std::span<uint8_t> body) const override {
        std::fill(body.begin(), body.end(), 0xAB);
        return 0;
    }

  private:
    int size_;
};

TEST(BankObject, PackBufferLimits) {
    ScriptedPrompter p;
    ScopedPrompter scope(p);
    SizedObject fits(4074);
    std::vector<uint8_t> block;
    EXPECT_EQ(fits.PackToBlock(block), 0);
    EXPECT_EQ(block.size(), 4096u);
    EXPECT_EQ(block[4] | (block[5] << 8), 4074);
    EXPECT_TRUE(p.All().empty());

    SizedObject over(4075);
    EXPECT_EQ(over.PackToBlock(block), 2);
    EXPECT_TRUE(p.Saw("Obscure error: ntotalneededsize= 4097, size=4096"));
    SizedObject negative(-3);
    EXPECT_EQ(negative.PackToBlock(block), 1);
    EXPECT_TRUE(p.Saw("Obscure error: m_size <0, -3"));
    EXPECT_EQ(negative.PackCached(), 1);
    EXPECT_EQ(fits.PackCached(), 0);
    EXPECT_EQ(fits.PackedCopy().size(), 4096u);
}

TEST(ZedoDatabase, NewBankDefaults) {
    ZedoDatabase db;
    EXPECT_EQ(db.Comment(), "MA-1 Rom");
    EXPECT_EQ(db.WaveDataCount(), 1);
    EXPECT_TRUE(db.GetWaveData(0)->IsRom());
    EXPECT_FALSE(db.MergeWaveData());
    EXPECT_TRUE(db.LoadWaveData());
    EXPECT_TRUE(db.PurgeUnused());
    EXPECT_FALSE(db.IsModified());
    EXPECT_EQ(db.FirstFreeKeymap(), 0);
    EXPECT_EQ(db.GetProgram(-1), nullptr);
    EXPECT_EQ(db.GetProgram(512), nullptr);
}

TEST(ZedoDatabase, StoreFilesBlocksByTypeAndNumber) {
    ZedoDatabase db;
    EXPECT_EQ(db.Store({}), 0);
    EXPECT_EQ(db.Store(PackedObject(1, 0, "map", KeymapBody({{127, 0, 3}}))), 0);
    EXPECT_EQ(db.Store(PackedObject(2, 3, "smp", SampleBody(0, -1, 100))), 0);
    EXPECT_EQ(db.Store(PackedObject(3, 511, "prog", ProgramBody(2, 0))), 0);
    EXPECT_EQ(db.Store(PackedObject(3, 512, "too far", ProgramBody(1, 0))), 0);
    ASSERT_NE(db.GetKeymap(0), nullptr);
    ASSERT_NE(db.GetSampleHeader(3), nullptr);
    ASSERT_NE(db.GetProgram(511), nullptr);
    EXPECT_EQ(db.GetProgram(511)->Name(), "prog");
    EXPECT_EQ(db.FirstFreeKeymap(), 1);
    EXPECT_EQ(db.FirstFreeSampleHeader(), 0);

    // Replacing an object in place.
    EXPECT_EQ(db.Store(PackedObject(1, 0, "map2", KeymapBody({{127, 0, 4}}))), 0);
    EXPECT_EQ(db.GetKeymap(0)->Name(), "map2");

    // A failing unpack leaves the slot empty with the kind's code.
    Bytes badProgram = PackedObject(3, 5, "bad", {0, 0, 33, 0});
    EXPECT_EQ(db.Store(badProgram), 3);
    EXPECT_EQ(db.GetProgram(5), nullptr);
    Bytes shortKeymap = PackedObject(1, 9, "short", KeymapBody({{127, 0, 1}}));
    shortKeymap.resize(shortKeymap.size() - 2);
    EXPECT_EQ(db.Store(shortKeymap), 2);
    Bytes shortSample = PackedObject(2, 9, "short", SampleBody(0, 0, 0));
    shortSample.resize(30);
    EXPECT_EQ(db.Store(shortSample), 1);
    EXPECT_EQ(db.GetSampleHeader(9), nullptr);
}

TEST(ZedoDatabase, RawBlocksAndUnknownTypes) {
    ZedoDatabase db;
    Bytes first = PackedObject(5, 19, "raw", {1, 2, 3});
    Bytes second = PackedObject(5, 19, "raw2", {4});
    EXPECT_EQ(db.Store(first), 0);
    ASSERT_NE(db.RawBlock(5, 19), nullptr);
    EXPECT_EQ(*db.RawBlock(5, 19), first);
    EXPECT_EQ(db.Store(second), 0);
    EXPECT_EQ(*db.RawBlock(5, 19), second);
    EXPECT_EQ(db.Store(PackedObject(6, 0, "six", {})), 0);
    EXPECT_NE(db.RawBlock(6, 0), nullptr);
    EXPECT_EQ(db.RawBlock(6, 1), nullptr);
    for (int type : {0, 4, 7, 200}) {
        try {
            db.Store(PackedObject(type, 1, "x", {}));
            ADD_FAILURE() << "type " << type << " was stored";
        } catch (const ZedoException& e) {
            EXPECT_STREQ(e.what(), "unknown type in ZedoDatabase::Store");
        }
    }
    db.Clear(false);
    EXPECT_EQ(db.RawBlock(5, 19), nullptr);
}

TEST(ZedoDatabase, FindProgramByName) {
    ZedoDatabase db;
    db.Store(PackedObject(3, 2, "Piano", ProgramBody(1, 0)));
    db.Store(PackedObject(3, 7, "piano", ProgramBody(1, 0)));
    db.Store(PackedObject(3, 9, "Piano", ProgramBody(1, 0)));
    EXPECT_EQ(db.FindProgramByName("Piano", 0)->Number(), 2);
    EXPECT_EQ(db.FindProgramByName("Piano", 3)->Number(), 9);
    EXPECT_EQ(db.FindProgramByName("piano", 0)->Number(), 7);
    EXPECT_EQ(db.FindProgramByName("", 3)->Number(), 7);
    EXPECT_EQ(db.FindProgramByName("Organ", 0), nullptr);
}

TEST(ZedoDatabase, WaveDataListIsLimited) {
    ZedoDatabase db;
    for (int i = 1; i < kMaxWaveData; ++i)
        db.AddWaveData(std::make_unique<InvalidWaveData>(i));
    EXPECT_EQ(db.WaveDataCount(), 512);
    try {
        db.AddWaveData(std::make_unique<InvalidWaveData>(0));
        FAIL() << "a 513th wave data was accepted";
    } catch (const ZedoException& e) {
        EXPECT_STREQ(e.what(), "WaveDataList full!");
    }
    db.Clear(false);
    EXPECT_EQ(db.WaveDataCount(), 1);
    db.Clear(true);
    EXPECT_EQ(db.WaveDataCount(), 0);
}

TEST(ZedoDatabase, DeletingTheLastUserDropsRamWaveData) {
    ZedoDatabase db;
    for (int n : {1, 2, 3})
        db.Store(PackedObject(2, n, "s" + std::to_string(n), SampleBody(0, -1, 10)));
    WaveData* ram = db.AddWaveData(std::make_unique<InvalidWaveData>(1));
    ram->AddLink(2);
    db.GetSampleHeader(1)->AttachWave(ram, kAttachReference);
    db.GetSampleHeader(2)->AttachWave(ram, kAttachReference);
    db.GetSampleHeader(3)->AttachWave(db.GetWaveData(0), kAttachReference);

    db.DeleteSampleHeader(1);
    EXPECT_EQ(db.GetSampleHeader(1), nullptr);
    EXPECT_TRUE(db.IsModified());
    ASSERT_EQ(db.WaveDataCount(), 2);
    EXPECT_EQ(ram->base, 2);
    db.DeleteSampleHeader(2);
    EXPECT_EQ(db.WaveDataCount(), 1);
    db.DeleteSampleHeader(3);
    EXPECT_EQ(db.WaveDataCount(), 1);
    EXPECT_TRUE(db.GetWaveData(0)->IsRom());
    db.DeleteSampleHeader(3);  // already gone: nothing
}

TEST(ZedoDatabase, DeleteObjectForgetsStereoChains) {
    ZedoDatabase db;
    db.Store(PackedObject(1, 0, "L", KeymapBody({{127, 0, 0}})));
    db.Store(PackedObject(1, 1, "R", KeymapBody({{127, 0, 0}})));
    db.GetKeymap(0)->chained = db.GetKeymap(1);
    EXPECT_EQ(db.DeleteObject(db.GetKeymap(1)), 0);
    EXPECT_EQ(db.GetKeymap(0)->chained, nullptr);
    EXPECT_EQ(db.DeleteObject(nullptr), 1);
}

TEST(ZedoDatabase, MakeUniqueName) {
    ZedoDatabase db;
    auto addSample = [&](int n, const std::string& name) {
        db.Store(PackedObject(2, n, name, SampleBody(0, -1, 10)));
    };
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "Kick"), "Kick");
    addSample(0, "Kick");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "Kick"), "Kick1");
    addSample(1, "Kick1");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "Kick"), "Kick2");
    // A counter already in the name goes on from its value.
    addSample(2, "Snare7");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "Snare7"), "Snare8");
    // A counter above 998 is part of the name.
    addSample(3, "Tom999");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "Tom999"), "Tom9991");
    // The side letter of a stereo half stays last.
    addSample(4, "PianoL");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "PianoL"), "Piano1L");
    // Programs keep a final L as part of the name.
    db.Store(PackedObject(3, 0, "PadL", ProgramBody(1, 0)));
    EXPECT_EQ(db.MakeUniqueName(kTypeProgram, "PadL"), "PadL1");
    // Long names are cut so the counter (and letter) fit 16 characters.
    addSample(5, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "ABCDEFGHIJKLMNOP"), "ABCDEFGHIJKLMNO1");
    addSample(6, "ABCDEFGHIJKLMNOR");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "ABCDEFGHIJKLMNOR"), "ABCDEFGHIJKLMN1R");
    // A note name at the end keeps its octave: the counter follows it.
    const std::pair<const char*, const char*> notes[] = {{"piano_C4", "piano_C4 1"},
                                                         {"Str F#2", "Str F#2 1"},
                                                         {"Vox Eb3R", "Vox Eb3 1R"},
                                                         {"Bass C-1", "Bass C-1 1"},
                                                         {"LongerNameHer A3", "LongerNameHeA3 1"}};
    int slot = 20;
    for (const auto& [taken, unique] : notes) {
        addSample(slot++, taken);
        EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, taken), unique);
    }
    addSample(slot++, "piano_C4 1");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "piano_C4"), "piano_C4 2");
    addSample(slot++, "Take2");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "Take2"), "Take3");  // no note: a counter
    for (int i = 7; i < 17; ++i)
        addSample(i, db.MakeUniqueName(kTypeSampleHeader, "Loop"));
    EXPECT_EQ(db.GetSampleHeader(16)->Name(), "Loop9");
    EXPECT_EQ(db.MakeUniqueName(kTypeSampleHeader, "Loop"), "Loop10");
}

TEST(ZedoDatabase, MarkForSyncFollowsProgramsWhenPurging) {
    ZedoDatabase db;
    db.Store(PackedObject(3, 0, "uses 4", ProgramBody(2, 4)));
    db.Store(PackedObject(3, 1, "missing map", ProgramBody(1, 77)));
    db.Store(PackedObject(1, 4, "used", KeymapBody({{60, 0, 10}, {127, 0, 11}})));
    db.Store(PackedObject(1, 5, "unused", KeymapBody({{127, 0, 12}})));
    for (int n : {10, 11, 12})
        db.Store(PackedObject(2, n, "s", SampleBody(0, -1, 10)));
    db.GetWaveData(0)->links.push_back({10, false});

    db.MarkForSync();
    EXPECT_TRUE(db.GetProgram(0)->marked);
    EXPECT_TRUE(db.GetProgram(1)->marked);
    EXPECT_TRUE(db.GetKeymap(4)->marked);
    EXPECT_FALSE(db.GetKeymap(5)->marked);
    EXPECT_TRUE(db.GetSampleHeader(10)->marked);
    EXPECT_TRUE(db.GetSampleHeader(11)->marked);
    EXPECT_FALSE(db.GetSampleHeader(12)->marked);
    EXPECT_TRUE(db.GetWaveData(0)->uploadPending[0]);
    EXPECT_TRUE(db.GetWaveData(0)->links[0].pending);

    db.SetPurgeUnused(false);
    db.MarkForSync();
    EXPECT_TRUE(db.GetKeymap(5)->marked);
    EXPECT_TRUE(db.GetSampleHeader(12)->marked);
    db.ClearMarks();
    EXPECT_FALSE(db.GetKeymap(4)->marked);
    EXPECT_FALSE(db.GetProgram(0)->marked);
}

TEST(Listers, ItemTextsAndSelection) {
    ZedoDatabase db;
    db.Store(PackedObject(1, 3, "Mono map", KeymapBody({{127, 0, 0}})));
    db.Store(PackedObject(1, 10, "Left map", KeymapBody({{127, 0, 0}})));
    db.Store(PackedObject(1, 11, "Right map", KeymapBody({{127, 0, 0}})));
    db.GetKeymap(10)->stereoRole = kStereoLeft;
    db.GetKeymap(11)->stereoRole = kStereoRight;

    ObjectList all = ListKeymaps(db, 10, false);
    ASSERT_EQ(all.items.size(), 3u);
    EXPECT_EQ(all.items[0].text, "3 - Mono map");
    EXPECT_EQ(all.items[1].text, "10 S Left map");
    EXPECT_EQ(all.selected, 1);
    EXPECT_EQ(all.items[1].object, db.GetKeymap(10));
    EXPECT_EQ(ListKeymaps(db, 1, false).selected, -1);  // "1 " does not match "10 S"
    EXPECT_EQ(ListKeymaps(db, -1, false).selected, -1);
    ObjectList stereo = ListKeymaps(db, -1, true);
    ASSERT_EQ(stereo.items.size(), 1u);
    EXPECT_EQ(stereo.items[0].text, "10 S Left map");

    db.Store(PackedObject(2, 0, "rom", SampleBody(0, 7215, 9037)));
    db.Store(PackedObject(2, 1, "ram", SampleBody(0, -1, 10)));
    db.Store(PackedObject(2, 2, "ramR", SampleBody(0, -1, 10)));
    db.GetSampleHeader(0)->AttachWave(db.GetWaveData(0), kAttachReference);
    WaveData* ram = db.AddWaveData(std::make_unique<InvalidWaveData>(1));
    db.GetSampleHeader(1)->AttachWave(ram, kAttachReference);
    db.GetSampleHeader(1)->stereoRole = kStereoLeft;
    db.GetSampleHeader(2)->stereoRole = kStereoRight;
    EXPECT_EQ(ListSampleHeaders(db, -1, kSamplesAll).items.size(), 3u);
    ObjectList rom = ListSampleHeaders(db, 0, kSamplesRom);
    ASSERT_EQ(rom.items.size(), 1u);
    EXPECT_EQ(rom.items[0].text, "0 - rom");
    EXPECT_EQ(rom.selected, 0);
    EXPECT_EQ(ListSampleHeaders(db, -1, kSamplesRam).items.size(), 2u);
    ObjectList leftRam = ListSampleHeaders(db, 1, kSamplesRam | kSamplesStereoOnly);
    ASSERT_EQ(leftRam.items.size(), 1u);
    EXPECT_EQ(leftRam.items[0].text, "1 S ram");
    EXPECT_EQ(leftRam.selected, 0);

    db.Store(PackedObject(3, 0, "Grand", ProgramBody(1, 0)));
    db.Store(PackedObject(3, 129, "Organ", ProgramBody(1, 0)));
    ObjectList progs = ListPrograms(db, 129, {});
    ASSERT_EQ(progs.items.size(), 2u);
    EXPECT_EQ(progs.items[1].text, "129 - Organ");
    EXPECT_EQ(progs.selected, 1);
    ObjectList banked = ListPrograms(db, 129, {true, 1});
    EXPECT_EQ(banked.items[1].text, "1/2 - Organ");
    EXPECT_EQ(banked.selected, 1);
    EXPECT_EQ(ListPrograms(db, 63, {false, 2}).items[0].text, "A11 - Grand");
}

}  // namespace
}  // namespace talmeru
