#include <gtest/gtest.h>

#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "support/BankBuilder.h"

namespace talmeru {
namespace {

using test::KeymapBody;
using test::PackedObject;
using test::ProgramBody;
using test::SampleBody;

class FakeFileWave : public WaveData {
  public:
    explicit FakeFileWave(std::string p) { path = std::move(p); }
    std::unique_ptr<WaveData> Clone() const override {
        return std::make_unique<FakeFileWave>(*this);
    }
    int Kind() const override { return kWaveWav; }
    int StorageClass() const override { return kFileLoaded; }
    std::string DisplayName() const override { return path; }
    std::string FormatName() const override { return "PCM"; }
};

// A scratch bank: program 5 plays keymap 7 (samples 3 and 4); sample 3 plays the ROM, sample
// 4 a RAM file.
void FillScratch(ZedoDatabase& other) {
    other.Store(PackedObject(3, 5, "Piano", ProgramBody(2, 7)));
    other.Store(
        PackedObject(1, 7, "Piano map", KeymapBody({{59, 0, 3}, {120, 0, 4}, {127, 0, 99}})));
    other.Store(PackedObject(2, 3, "Perc", SampleBody(0, 7215, 9037)));
    other.Store(PackedObject(2, 4, "Ram", SampleBody(0, -1, 100)));
    other.GetSampleHeader(3)->AttachWave(other.GetWaveData(0), kAttachReference);
    WaveData* w = other.AddWaveData(std::make_unique<FakeFileWave>("/s/ram.wav"));
    w->AddLink(4);
    other.GetSampleHeader(4)->AttachWave(w, kAttachReference);
}

TEST(BankCopy, CreateTakesTheFirstFreeSlot) {
    ZedoDatabase db;
    db.Store(PackedObject(3, 0, "Taken", ProgramBody(1, 0)));
    Program* p = db.CreateProgram("New", -1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Number(), 1);
    EXPECT_EQ(p->Name(), "New");
    EXPECT_FALSE(p->marked);
    EXPECT_EQ(db.CreateProgram("Replace", 0)->Name(), "Replace");
    Keymap* k = db.CreateKeymap("Map", 511);
    EXPECT_EQ(db.GetKeymap(511), k);
    for (int n = 0; n < kSlotCount; ++n)
        db.CreateKeymap("x", n);
    EXPECT_EQ(db.CreateKeymap("full", -1), nullptr);
}

TEST(BankCopy, CopiesAProgramWithWhatItPlaysAndReusesIt) {
    ZedoDatabase other;
    FillScratch(other);
    ZedoDatabase db;
    db.Store(
        PackedObject(1, 0, "Piano map", KeymapBody({{127, 0, 0}})));  // same name, other entries

    Program* first = db.CopyProgramFrom(*other.GetProgram(5), other, -1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Number(), 0);
    EXPECT_TRUE(first->marked);
    Keymap* k = db.GetKeymap(first->GetLayer(0)->keymap);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Number(), 1);  // not the differing keymap 0
    EXPECT_TRUE(k->marked);
    ASSERT_EQ(k->entries.size(), 3u);
    SampleHeader* rom = db.GetSampleHeader(k->entries[0].sample);
    SampleHeader* ram = db.GetSampleHeader(k->entries[1].sample);
    ASSERT_TRUE(rom && ram);
    EXPECT_EQ(k->entries[2].sample, kNoSample);  // the scratch bank had no sample 99
    EXPECT_TRUE(rom->IsRom());
    EXPECT_EQ(rom->RegionName(), "C 2-Perc Organ");
    ASSERT_EQ(db.WaveDataCount(), 2);  // only the RAM sample brought wave data
    EXPECT_EQ(ram->Wave(), db.GetWaveData(1));
    EXPECT_EQ(db.GetWaveData(1)->base, ram->Number());

    // Again: a second program, but the keymap and samples are reused.
    Program* second = db.CopyProgramFrom(*other.GetProgram(5), other, 100);
    EXPECT_EQ(second->Number(), 100);
    EXPECT_EQ(second->GetLayer(0)->keymap, k->Number());
    EXPECT_EQ(db.FirstFreeKeymap(), 2);
    EXPECT_EQ(db.FirstFreeSampleHeader(), 2);
    EXPECT_EQ(db.WaveDataCount(), 2);

    // A layer whose keymap the other bank lacks plays keymap 0.
    other.Store(PackedObject(3, 6, "Lost", ProgramBody(1, 300)));
    EXPECT_EQ(db.CopyProgramFrom(*other.GetProgram(6), other, -1)->GetLayer(0)->keymap, 0);
}

// Only what is really the same object is reused: a header of the same name and values that
// plays other wave data is not, nor is one object for both halves of a pair with one name.
TEST(BankCopy, ReuseNeedsTheSameSoundAndOneObjectPerHalf) {
    ZedoDatabase other;
    FillScratch(other);
    ZedoDatabase db;
    db.Store(PackedObject(2, 4, "Ram", SampleBody(0, -1, 100)));
    WaveData* elsewhere = db.AddWaveData(std::make_unique<FakeFileWave>("/s/other.wav"));
    elsewhere->AddLink(4);
    db.GetSampleHeader(4)->AttachWave(elsewhere, kAttachReference);
    Program* copy = db.CopyProgramFrom(*other.GetProgram(5), other, -1);
    ASSERT_NE(copy, nullptr);
    const SampleHeader* ram =
        db.GetSampleHeader(db.GetKeymap(copy->GetLayer(0)->keymap)->entries[1].sample);
    ASSERT_NE(ram, nullptr);
    EXPECT_NE(ram->Number(), 4);
    EXPECT_EQ(ram->Wave()->path, "/s/ram.wav");

    ZedoDatabase pair;
    pair.Store(PackedObject(3, 0, "Vox", ProgramBody(2, 0)));
    pair.Store(PackedObject(1, 0, "Vox map", KeymapBody({{127, 0, 0}})));
    pair.Store(PackedObject(1, 1, "Vox map", KeymapBody({{127, 0, 1}})));
    pair.Store(PackedObject(2, 0, "Vox", SampleBody(0, -1, 100)));
    pair.Store(PackedObject(2, 1, "Vox", SampleBody(0, -1, 100)));
    PairStereo(*pair.GetKeymap(0), *pair.GetKeymap(1));
    PairStereo(*pair.GetSampleHeader(0), *pair.GetSampleHeader(1));
    Program* src = pair.GetProgram(0);
    src->GetLayer(0)->PairWith(*src->GetLayer(1));
    src->GetLayer(1)->keymap = 1;
    ZedoDatabase target;
    Program* stereo = target.CopyProgramFrom(*src, pair, -1);
    ASSERT_NE(stereo, nullptr);
    Keymap* l = target.GetKeymap(stereo->GetLayer(0)->keymap);
    Keymap* r = target.GetKeymap(stereo->GetLayer(1)->keymap);
    ASSERT_TRUE(l && r);
    EXPECT_NE(l, r);
    EXPECT_EQ(l->chained, r);
    const SampleHeader* ls = target.GetSampleHeader(l->entries[0].sample);
    const SampleHeader* rs = target.GetSampleHeader(r->entries[0].sample);
    ASSERT_TRUE(ls && rs);
    EXPECT_NE(ls, rs);
    EXPECT_EQ(ls->chained, rs);
}

// A program whose samples find no free header is not copied at all, and says so.
TEST(BankCopy, AProgramThatDoesNotFitLeavesTheBankAsItWas) {
    ZedoDatabase other;
    FillScratch(other);
    ZedoDatabase db;
    for (int n = 0; n < kSlotCount; ++n)
        db.Store(PackedObject(2, n, "Full" + std::to_string(n), SampleBody(0, -1, 50 + n)));
    const int waves = db.WaveDataCount();
    try {
        db.CopyProgramFrom(*other.GetProgram(5), other, 3);
        ADD_FAILURE() << "copied without room";
    } catch (const ZedoException& e) {
        EXPECT_STREQ(e.what(),
                     "Program \"Piano\" does not fit: there is no free sample header for it.");
    }
    EXPECT_EQ(db.GetProgram(3), nullptr);
    EXPECT_EQ(db.FirstFreeKeymap(), 0);
    EXPECT_EQ(db.WaveDataCount(), waves);
}

TEST(BankCopy, StereoPairsComeAlong) {
    ZedoDatabase other;
    FillScratch(other);
    other.Store(PackedObject(1, 8, "Right map", KeymapBody({{127, 0, 4}})));
    PairStereo(*other.GetKeymap(7), *other.GetKeymap(8));
    Program* src = other.GetProgram(5);
    src->GetLayer(1)->keymap = 8;
    src->GetLayer(0)->PairWith(*src->GetLayer(1));
    ZedoDatabase db;
    Program* copy = db.CopyProgramFrom(*src, other, -1);
    Keymap* l = db.GetKeymap(copy->GetLayer(0)->keymap);
    Keymap* r = db.GetKeymap(copy->GetLayer(1)->keymap);
    EXPECT_EQ(l->stereoRole, kStereoLeft);
    EXPECT_EQ(l->chained, r);
    EXPECT_EQ(copy->GetLayer(0)->StereoState(), kStereoLeft);
    EXPECT_EQ(copy->GetLayer(0)->Partner(), copy->GetLayer(1));
}

TEST(BankCopy, DuplicateCopiesOnlyWhatIsMarked) {
    ZedoDatabase db;
    FillScratch(db);
    Program* p = db.GetProgram(5);
    EXPECT_EQ(db.DuplicateMarked(*p, true), nullptr);  // not marked

    p->marked = true;
    Program* plain = db.DuplicateMarked(*p, true);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->Number(), 0);
    EXPECT_EQ(plain->Name(), "Piano1");
    EXPECT_EQ(plain->GetLayer(0)->keymap, 7);  // keymap not marked: shared
    EXPECT_EQ(db.FirstFreeKeymap(), 0);

    db.GetKeymap(7)->marked = true;
    db.GetSampleHeader(4)->marked = true;
    Program* deep = db.DuplicateMarked(*p, true);
    Keymap* kc = db.GetKeymap(deep->GetLayer(0)->keymap);
    ASSERT_NE(kc, nullptr);
    EXPECT_NE(kc->Number(), 7);
    EXPECT_EQ(kc->Name(), "Piano map1");
    EXPECT_EQ(deep->GetLayer(1)->keymap, kc->Number());  // both layers play the one copy
    EXPECT_EQ(kc->entries[0].sample, 3);                 // unmarked header kept
    SampleHeader* sc = db.GetSampleHeader(kc->entries[1].sample);
    ASSERT_NE(sc, nullptr);
    EXPECT_NE(sc->Number(), 4);
    EXPECT_EQ(sc->Name(), "Ram1");
    EXPECT_EQ(sc->Wave(), db.GetSampleHeader(4)->Wave());
    EXPECT_TRUE(sc->Wave()->UsedBy(sc->Number()));
    EXPECT_EQ(kc->entries[2].sample, kNoSample);
}

// A stereo program's copy plays copies of both halves: its right keymap the right samples'
// copies, and no copy is left that nothing plays.
TEST(BankCopy, DuplicatingAStereoProgramCopiesBothHalvesThrough) {
    ZedoDatabase db;
    db.Store(PackedObject(1, 0, "Pad L", KeymapBody({{127, 0, 10}})));
    db.Store(PackedObject(1, 1, "Pad R", KeymapBody({{127, 0, 11}})));
    db.Store(PackedObject(2, 10, "PadL", SampleBody(0, -1, 100)));
    db.Store(PackedObject(2, 11, "PadR", SampleBody(0, -1, 100)));
    db.Store(PackedObject(3, 5, "Pad", ProgramBody(2, 0)));
    PairStereo(*db.GetKeymap(0), *db.GetKeymap(1));
    PairStereo(*db.GetSampleHeader(10), *db.GetSampleHeader(11));
    Program* p = db.GetProgram(5);
    p->GetLayer(0)->PairWith(*p->GetLayer(1));
    p->GetLayer(1)->keymap = 1;
    for (BankObject* o : std::initializer_list<BankObject*>{
             p, db.GetKeymap(0), db.GetKeymap(1), db.GetSampleHeader(10), db.GetSampleHeader(11)})
        o->marked = true;

    Program* copy = db.DuplicateMarked(*p, true);
    ASSERT_NE(copy, nullptr);
    Keymap* left = db.GetKeymap(copy->GetLayer(0)->keymap);
    Keymap* right = db.GetKeymap(copy->GetLayer(1)->keymap);
    ASSERT_TRUE(left && right);
    EXPECT_EQ(left->chained, right);
    SampleHeader* leftSample = db.GetSampleHeader(left->entries[0].sample);
    SampleHeader* rightSample = db.GetSampleHeader(right->entries[0].sample);
    ASSERT_TRUE(leftSample && rightSample);
    EXPECT_NE(leftSample->Number(), 10);
    EXPECT_NE(rightSample->Number(), 11);
    EXPECT_EQ(leftSample->chained, rightSample);
    int headers = 0;
    for (int n = 0; n < kSlotCount; ++n)
        headers += db.GetSampleHeader(n) != nullptr;
    EXPECT_EQ(headers, 4);
}

TEST(BankCopy, DuplicateKeymapCopiesAPairAsAPair) {
    ZedoDatabase db;
    db.Store(PackedObject(1, 0, "Left", KeymapBody({{127, 0, 3}})));
    db.Store(PackedObject(1, 1, "Right", KeymapBody({{60, 2, 4}, {127, 0, 5}})));
    db.Store(PackedObject(1, 2, "Mono", KeymapBody({{127, 0, 6}})));
    PairStereo(*db.GetKeymap(0), *db.GetKeymap(1));
    Keymap* left = db.DuplicateKeymap(0, true);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->Number(), 3);
    EXPECT_EQ(left->Name(), "Left1");
    EXPECT_TRUE(left->marked);
    auto* right = dynamic_cast<Keymap*>(left->chained);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->Number(), 4);
    EXPECT_EQ(right->stereoRole, kStereoRight);
    ASSERT_EQ(right->entries.size(), 2u);
    EXPECT_EQ(right->entries[0].amp, 2);
    EXPECT_EQ(db.GetKeymap(0)->chained, db.GetKeymap(1));
    // Half a pair alone becomes a keymap of its own.
    Keymap* half = db.DuplicateKeymap(1, false);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->Name(), "Right");
    EXPECT_EQ(half->stereoRole, kMono);
    EXPECT_EQ(db.DuplicateKeymap(9, true), nullptr);
}

}  // namespace
}  // namespace talmeru
