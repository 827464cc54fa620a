#include <gtest/gtest.h>

#include <cmath>

#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/K2000Import.h"
#include "files/Pbf.h"
#include "files/WaveDataLoader.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "support/ImportFuzz.h"
#include "support/K2000Builder.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

using test::Bytes;
using test::KrzLayer;
using test::KrzObject;
using test::KrzSampleHeader;
using test::KrzPlan;
using test::Segment;
using Lines = std::vector<std::string>;

int ExpectedPitch(double root, double rate) {
    return static_cast<int>(std::trunc(256.0 * (root - 60 - 12 * std::log2(rate / 88200)) + 0.5));
}

std::vector<int16_t> Wave() {
    return test::Ramp(300, -100, 7);
}

// The little-endian bytes of samples [first, last) of Wave().
Bytes HeldData(int first, int last) {
    auto all = Wave();
    return test::Pcm16({std::vector<int16_t>(all.begin() + first, all.begin() + last)});
}

Bytes Layers(const std::vector<std::vector<Bytes>>& layers) {
    Bytes segments;
    for (const auto& layer : layers)
        for (const auto& s : layer)
            segments.insert(segments.end(), s.begin(), s.end());
    return segments;
}

Bytes ProgramOf(const std::vector<std::vector<Bytes>>& layers) {
    Bytes body = test::KrzProgramBody(static_cast<int>(layers.size()), {});
    Bytes segments = Layers(layers);
    body.insert(body.end(), segments.begin(), segments.end());
    return body;
}

// A program over a RAM keymap, a K2000 ROM keymap and a keymap nobody has; a stereo sample
// object, a ROM sample, two keymaps and objects the MA-1 has no use for.
KrzPlan SongPlan() {
    KrzPlan s;
    s.sampleData = test::BigEndianPcm(Wave());
    std::vector<int> keys(128, 5);
    keys[1] = keys[3] = 205;
    keys[127] = 6;
    s.objects = {
        {test::kKrzProgram | 1, "My Piano",
         ProgramOf({KrzLayer(10), KrzLayer(1, 36, 96), KrzLayer(999)})},
        {test::kKrzKeymap | 10, "Piano Map", test::KrzKeymapBody(keys)},
        {test::kKrzKeymap | 11, "Single", test::KrzSingleKeymapBody(5)},
        {test::kKrzSample | 5, "Piano",
         test::KrzSampleBody({{60, 0x10, 0, 50, 99, 22676}, {62, 0x11, 100, 150, 199, 45351}})},
        {test::kKrzSample | 6, "RomSnd", test::KrzSampleBody({{60, 0x00, 0, 0, 10}})},
        {0x7103, "Hall", {1, 2, 3, 4}},
        {0x7200, "Wobble", {}},
        {0x7300, "Proc", {0}},
        {0x1234, "Odd", {}},
    };
    return s;
}

class K2000ImportTest : public test::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        test::BuildRomBank(rom_);
    }
    int Import(const KrzPlan& plan, const std::string& name = "song.krz") {
        return ImportImage(plan.Build(), name);
    }
    int ImportImage(const Bytes& image, const std::string& name = "song.krz") {
        path_ = Put(name, image);
        return ImportK2000(path_, db_, rom_, log_);
    }

    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
    ZedoDatabase rom_;
    ZedoDatabase db_;
    RecordingConversionLog log_;
    std::string path_;
};

TEST_F(K2000ImportTest, ConvertsProgramsKeymapsAndRamSamples) {
    ASSERT_EQ(Import(SongPlan()), 0);
    EXPECT_EQ(
        log_.Lines(),
        (Lines{"+ Opening file " + path_ + "\r\n", "+ Program \"My Piano\"\r\n",
               "+ Keymap \"Piano Map\"\r\n", "+ Keymap \"Single\"\r\n", "+ Sample \"Piano\"\r\n",
               "X Sample is not forward looped!\r\n", "+ Sample \"RomSnd\"\r\n",
               "X Sample is ROM based!\r\n", "X Effect \"Hall\" skipped\r\n",
               "X LFO Shape \"Wobble\" skipped\r\n", "X Function Proc \"Proc\" skipped\r\n",
               "X Unknown Object \"Odd\" (type 1234) skipped\r\n",
               "X K2000 ROM Sample #6 not found.\r\n",
               "+ ROM Keymap: K2000 #1 \"grand piano\" -> MA-1 #0 \"Grand Piano\"\r\n",
               "X K2000 ROM keymap #999 not found, deleting layer from Program \"My "
               "Piano\"\r\n",
               "*** Done ***\r\n"}));
    EXPECT_TRUE(prompter_.All().empty());

    // The ROM bank's sample headers and keymaps, without its programs.
    for (int n = 0; n < 3; ++n) {
        ASSERT_NE(db_.GetSampleHeader(n), nullptr);
        EXPECT_EQ(db_.GetSampleHeader(n)->Name(), rom_.GetSampleHeader(n)->Name());
        EXPECT_TRUE(db_.GetSampleHeader(n)->IsRom());
    }
    EXPECT_EQ(db_.GetKeymap(44)->Name(), "Organ");
    // A stereo pair chains within the new bank, not into the ROM bank.
    EXPECT_EQ(db_.GetSampleHeader(1)->chained, db_.GetSampleHeader(2));
    EXPECT_EQ(db_.GetSampleHeader(2)->stereoRole, kStereoRight);

    // Both RAM headers of the sample object, each with its own stretch of the block.
    SampleHeader* first = db_.GetSampleHeader(3);
    SampleHeader* second = db_.GetSampleHeader(4);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Name(), "Piano");
    EXPECT_EQ(first->start, 0);
    EXPECT_EQ(first->loopStart, 100);
    EXPECT_EQ(first->end, 198);
    EXPECT_EQ(first->pitch, ExpectedPitch(60, 1e9 / 22676));
    EXPECT_EQ(second->loopStart, 100);
    EXPECT_EQ(second->end, 198);
    EXPECT_EQ(second->pitch, ExpectedPitch(62, 1e9 / 45351));
    ASSERT_EQ(db_.WaveDataCount(), 3);
    WaveData* a = first->Wave();
    WaveData* b = second->Wave();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Kind(), kWaveK2000);
    EXPECT_EQ(a->FormatName(), "K2000");
    EXPECT_EQ(a->base, 3);
    EXPECT_EQ(b->base, 4);
    EXPECT_EQ(a->LoopStart(), 50);
    EXPECT_EQ(a->End(), 99);
    EXPECT_EQ(first->RegionName(), "Full Sample");
    EXPECT_FALSE(a->Equals(*b));
    EXPECT_TRUE(a->Equals(*a->Clone()));
    ASSERT_EQ(a->LoadData(), 0);
    EXPECT_EQ(a->data, HeldData(0, 99));
    ASSERT_EQ(b->LoadData(), 0);
    EXPECT_EQ(b->data, HeldData(100, 199));

    // Keys that alternate give one entry each; the rest is one entry; the second header is
    // reached through its number + 200; a ROM sample plays nothing.
    Keymap* map = db_.GetKeymap(3);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->Name(), "Piano Map");
    std::vector<std::pair<int, int>> entries;
    for (const auto& e : map->entries)
        entries.push_back({e.topKey, e.sample});
    EXPECT_EQ(entries, (std::vector<std::pair<int, int>>{
                           {0, 3}, {1, 4}, {2, 3}, {3, 4}, {126, 3}, {127, kNoSample}}));
    Keymap* single = db_.GetKeymap(4);
    ASSERT_EQ(single->entries.size(), 1u);
    EXPECT_EQ(single->entries[0].topKey, 127);
    EXPECT_EQ(single->entries[0].sample, 3);

    Program* p = db_.GetProgram(0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Name(), "My Piano");
    ASSERT_EQ(p->LayerCount(), 2);
    EXPECT_EQ(p->GetLayer(0)->keymap, 3);
    EXPECT_EQ(p->GetLayer(1)->keymap, 0);
    EXPECT_EQ(p->GetLayer(1)->keyLow, 36);
    EXPECT_EQ(p->GetLayer(1)->keyHigh, 96);
    std::vector<uint8_t> block;
    EXPECT_EQ(p->PackToBlock(block), 0);
}

TEST_F(K2000ImportTest, ProgramAndLayerSegments) {
    Bytes body = test::KrzProgramBody(
        1, {// Its trigger names the envelope itself: written as it is, without a warning.
            Segment(16, {{2, 0xC0}, {4, 20}, {5, 10}, {7, 30}}), Segment(24, {{1, 1}}),
            Segment(21, {{3, 90}, {4, 40}, {5, 0x85}, {6, 3}}), Segment(25, {{1, 19}}), Segment(15),
            Segment(9, {{4, 30}, {5, 90}, {8, 1}, {9, 0x10}}), Segment(16), Segment(24, {{1, 7}}),
            Segment(26, {{1, 22}}), Segment(20, {{3, 22}, {4, 11}, {5, 33}, {6, 2}}),
            Segment(27, {{1, 41}}), Segment(32), Segment(40),
            Segment(64, {{2, 5}, {12, 0}, {13, 1}, {18, 7}, {19, 9}}), Segment(80), Segment(81)});
    KrzPlan plan;
    plan.objects = {{test::kKrzProgram | 2, "Shaped", body}};
    ASSERT_EQ(Import(plan), 0);
    EXPECT_TRUE(log_.Has("X Prg-Fun:can't make sense of 7\r\n"));
    EXPECT_TRUE(log_.Has("X Prg-Fun:can't make sense of lowpass\r\n"));
    EXPECT_TRUE(prompter_.All().empty());

    Program* p = db_.GetProgram(0);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->ModulatorCount(), 4);
    auto* env = dynamic_cast<EnvModulator*>(p->FindModulator(0));
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(env->Segments(), (std::vector<EnvSegment>{{127, 10}, {63, 20}, {0, 30}}));
    EXPECT_EQ(env->InputSource(0), 0xC0);
    auto* plus = dynamic_cast<FunModulator*>(p->FindModulator(8));
    ASSERT_NE(plus, nullptr);
    EXPECT_EQ(plus->Operator(), 0);
    auto* lfo = dynamic_cast<LfoModulator*>(p->FindModulator(5));
    ASSERT_NE(lfo, nullptr);
    EXPECT_EQ(lfo->Shape(), 1);
    EXPECT_EQ(lfo->BaseRate(), 40);
    EXPECT_EQ(lfo->AdjustedRate(), 90);
    EXPECT_EQ(lfo->InputSource(0), 0x85);
    // The second function is mapped like the first: max(a,b) is the MA-1's "Maximum".
    auto* max = dynamic_cast<FunModulator*>(p->FindModulator(9));
    ASSERT_NE(max, nullptr);
    EXPECT_EQ(max->Operator(), 20);

    ASSERT_EQ(p->LayerCount(), 1);
    Layer* layer = p->GetLayer(0);
    EXPECT_EQ(layer->keyLow, 30);
    EXPECT_EQ(layer->keyHigh, 90);
    EXPECT_EQ(layer->velocityLow, 0);
    EXPECT_EQ(layer->velocityHigh, 127);
    EXPECT_TRUE(layer->IgnoreNoteOff());
    EXPECT_TRUE(layer->flags & Layer::kFlagDirection);
    EXPECT_EQ(layer->keymap, 0);  // K2000 ROM keymap 1
    EXPECT_EQ(layer->Pitch().CoarseTune(), -5);
    EXPECT_EQ(layer->Pitch().Byte(4), 7);
    EXPECT_EQ(layer->Pitch().Byte(5), 9);
    EXPECT_EQ(layer->Amp().Byte(4), 232);
    EXPECT_EQ(layer->Amp().Byte(5), 32);
    EXPECT_EQ(layer->Amp().Byte(6), 0);
    ASSERT_EQ(layer->Modulators().size(), 2u);
    auto* layerLfo = dynamic_cast<LfoModulator*>(layer->FindModulator(4));
    ASSERT_NE(layerLfo, nullptr);
    EXPECT_EQ(layerLfo->Shape(), 2);
    EXPECT_EQ(layerLfo->BaseRate(), 11);
    EXPECT_EQ(layerLfo->AdjustedRate(), 22);
    EXPECT_EQ(layerLfo->InputSource(0), 33);
    auto* andFun = dynamic_cast<FunModulator*>(layer->FindModulator(11));
    ASSERT_NE(andFun, nullptr);
    EXPECT_EQ(andFun->Operator(), 17);
    std::vector<uint8_t> block;
    EXPECT_EQ(p->PackToBlock(block), 0);
}

TEST_F(K2000ImportTest, AProgramHoldsAtMost32Layers) {
    std::vector<std::vector<Bytes>> layers(40, KrzLayer(1));
    KrzPlan plan;
    plan.objects = {{test::kKrzProgram | 3, "Huge", ProgramOf(layers)}};
    ASSERT_EQ(Import(plan), 0);
    EXPECT_EQ(log_.Count("X More than 32 layers requested\r\n"), 1);
    EXPECT_EQ(db_.GetProgram(0)->LayerCount(), kMaxLayers);
}

TEST_F(K2000ImportTest, KeyTables) {
    std::vector<int> same(128, 5);
    std::vector<int> ten(10, 5);
    std::vector<int> wide(128, 5);
    wide[64] = 205;
    KrzPlan plan = SongPlan();
    Bytes cut = test::KrzKeymapBody(same);
    cut.resize(28 + 2 * 20);
    plan.objects = {
        plan.objects[3],
        {test::kKrzKeymap | 1, "Same", test::KrzKeymapBody(same)},
        {test::kKrzKeymap | 2, "Ten", test::KrzKeymapBody(ten)},
        // Four-byte entries with the sample number at byte 2 (flags bits 2 and 3).
        {test::kKrzKeymap | 3, "Wide", test::KrzKeymapBody(wide, 0x0E, 4)},
        {test::kKrzKeymap | 4, "Cut", cut},
        {test::kKrzKeymap | 5, "Tiny", test::KrzKeymapBody(same, 0x12, 3)},
    };
    ASSERT_EQ(Import(plan), 0);
    auto tops = [&](int n) {
        std::vector<std::pair<int, int>> out;
        for (const auto& e : db_.GetKeymap(n)->entries)
            out.push_back({e.topKey, e.sample});
        return out;
    };
    using Entries = std::vector<std::pair<int, int>>;
    EXPECT_EQ(tops(3), (Entries{{127, 3}}));
    EXPECT_EQ(tops(4), (Entries{{9, 3}}));
    EXPECT_EQ(db_.GetKeymap(4)->SampleForKey(10), kNoSample);
    EXPECT_EQ(tops(5), (Entries{{63, 3}, {64, 4}, {127, 3}}));
    EXPECT_TRUE(log_.Has("X Keymap \"Cut\": its key table runs past the object\r\n"));
    EXPECT_EQ(tops(6), (Entries{{19, 3}}));
    EXPECT_TRUE(
        log_.Has("X Keymap \"Tiny\" has key entries too small for their sample numbers\r\n"));
    EXPECT_TRUE(db_.GetKeymap(7)->entries.empty());
}

TEST_F(K2000ImportTest, BadSamples) {
    KrzPlan plan = SongPlan();
    Bytes twoClaimed = test::KrzSampleBody({{60, 0x10, 0, 10, 20}, {60, 0x10, 0, 10, 20}});
    twoClaimed.resize(12 + 32 + 10);
    plan.objects = {
        {test::kKrzSample | 1, "Far", test::KrzSampleBody({{60, 0x10, 200, 250, 300}})},
        {test::kKrzSample | 2, "Backwards", test::KrzSampleBody({{60, 0x10, 50, 40, 30}})},
        {test::kKrzSample | 3, "Loop", test::KrzSampleBody({{60, 0x10, 10, 5, 20}})},
        {test::kKrzSample | 4, "Two", twoClaimed},
        {test::kKrzSample | 5, "Still", test::KrzSampleBody({{60, 0x10, 0, 0, 299, 0}})},
    };
    ASSERT_EQ(Import(plan), 0);
    EXPECT_TRUE(log_.Has("X Sample \"Far\" lies outside the sample data, skipped\r\n"));
    EXPECT_TRUE(log_.Has("X Sample \"Backwards\" lies outside the sample data, skipped\r\n"));
    EXPECT_TRUE(log_.Has("? Sample \"Loop\" has its loop outside the sample, not looped\r\n"));
    EXPECT_TRUE(log_.Has("X Sample \"Two\": sample header 1 runs past the object\r\n"));
    SampleHeader* loop = db_.GetSampleHeader(3);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->Name(), "Loop");
    EXPECT_EQ(loop->loopStart, loop->end);
    EXPECT_EQ(db_.GetSampleHeader(4)->Name(), "Two");
    // The last word of the block, and a period of 0 (no rate) at pitch 60 - 12 octaves.
    SampleHeader* still = db_.GetSampleHeader(5);
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(still->pitch, 256 * 12);
    ASSERT_EQ(still->Wave()->LoadData(), 0);
    EXPECT_EQ(still->Wave()->data, HeldData(0, 299));
    EXPECT_EQ(db_.GetSampleHeader(6), nullptr);
}

TEST_F(K2000ImportTest, BadObjectsAndFiles) {
    KrzPlan plan;
    plan.objects = {{test::kKrzKeymap | 1, "First", test::KrzSingleKeymapBody(5)},
                    {test::kKrzKeymap | 2, "Second", test::KrzSingleKeymapBody(5)}};
    const Bytes image = plan.Build();
    const size_t second = 32 + 10 + 6 + 28;  // header, "First" + NUL, body

    // A body offset that points before the name: the object is skipped, the next is read.
    Bytes bad = image;
    bad[32 + 9] = 0;
    ASSERT_EQ(ImportImage(bad), 0);
    EXPECT_TRUE(log_.Has("X Object at offset 32 is malformed, skipped\r\n"));
    EXPECT_TRUE(log_.Has("+ Keymap \"Second\"\r\n"));

    // A length past the objects ends the walk; so does, quietly, one that is not negative.
    bad = image;
    bad[32] = 0x80;
    ZedoDatabase db;
    path_ = Put("long.krz", bad);
    ASSERT_EQ(ImportK2000(path_, db, rom_, log_), 0);
    EXPECT_TRUE(
        log_.Has("X Object at offset 32 runs past the end of the objects, reading stopped\r\n"));
    EXPECT_FALSE(log_.Has("+ Keymap \"First\"\r\n"));
    for (int word : {0x00, 0x7F}) {
        bad = image;
        std::fill(bad.begin() + static_cast<long>(second),
                  bad.begin() + static_cast<long>(second) + 4, 0);
        bad[second] = static_cast<uint8_t>(word);
        ZedoDatabase quiet;
        path_ = Put("quiet.krz", bad);
        ASSERT_EQ(ImportK2000(path_, quiet, rom_, log_), 0);
        EXPECT_EQ(log_.Lines(),
                  (Lines{"+ Opening file " + path_ + "\r\n", "+ Keymap \"First\"\r\n",
                         "X K2000 ROM Sample #5 not found.\r\n", "*** Done ***\r\n"}));
    }

    // A program whose keymap segment runs past its body keeps what came before.
    Bytes program = ProgramOf({KrzLayer(1)});
    program.resize(program.size() - 5);
    plan.objects = {{test::kKrzProgram | 1, "Cut", program}};
    ASSERT_EQ(Import(plan), 0);
    EXPECT_TRUE(log_.Has("X Program \"Cut\" is cut short\r\n"));

    ASSERT_EQ(ImportImage(Bytes(10, 0)), 1);
    EXPECT_TRUE(log_.Has("X File \"" + path_ + "\" is too short for a K2000 file\r\n"));
    std::string missing = Path("gone.krz");
    EXPECT_EQ(ImportK2000(missing, db_, rom_, log_), 1);
    EXPECT_EQ(prompter_.Messages(), (std::vector<std::string>{"problem with opening\n\"" + missing +
                                                              "\": No such file or directory"}));
    EXPECT_EQ(log_.Lines(), (Lines{"+ Opening file " + missing + "\r\n", "*** Done ***\r\n"}));
}

TEST_F(K2000ImportTest, OpeningAK2000FileNeedsTheRomBank) {
    std::string krz = Put("SONG.KRZ", SongPlan().Build());
    EXPECT_EQ(OpenBank(db_, krz, 0, &log_), 1);
    EXPECT_TRUE(
        prompter_.Saw("A K2000 file can only be converted once the MA-1 ROM bank is loaded."));

    SetRomBankProvider([this] { return &rom_; });
    EXPECT_EQ(OpenBank(db_, krz, 0, &log_), 0);
    EXPECT_EQ(db_.Path(), Path("SONG.pbf"));
    EXPECT_EQ(db_.Comment(), "Converted with Talmeru");
    EXPECT_FALSE(db_.IsModified());
    EXPECT_EQ(db_.GetProgram(0)->Name(), "My Piano");
    // A .tmb bank carries each sample's stretch of the sample block.
    ASSERT_EQ(SaveBank(db_, Path("song.tmb"), 0), 0);
    ZedoDatabase again;
    ASSERT_EQ(OpenBank(again, Path("song.tmb"), kOpenQuiet), 0);
    for (auto [number, first] : {std::pair{3, 0}, {4, 100}}) {
        WaveData* w = again.GetSampleHeader(number)->Wave();
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(w->LoadData(), 0);
        EXPECT_EQ(w->data, HeldData(first, first + 99));
        EXPECT_EQ(again.GetSampleHeader(number)->end, 198);
    }
    // A .pbf file names only the .krz file, which would give the whole sample block back:
    // refused, unless the samples are written out as WAV files.
    EXPECT_EQ(SaveBank(db_, Path("song.pbf"), 0), 1);
    ASSERT_EQ(SaveBank(db_, Path("song.pbf"), kSaveWriteWavs), 0);
    ZedoDatabase viaWavs;
    ASSERT_EQ(OpenBank(viaWavs, Path("song.pbf"), kOpenQuiet), 0);
    ASSERT_EQ(viaWavs.GetSampleHeader(4)->Wave()->LoadData(), 0);
    EXPECT_EQ(viaWavs.GetSampleHeader(4)->Wave()->data, HeldData(100, 199));
    // .k25 files hold samples, not banks.
    std::string k25 = Put("song.k25", SongPlan().Build());
    EXPECT_EQ(OpenBank(db_, k25, 0, &log_), 1);
    SetRomBankProvider(nullptr);

    // Either extension gives a wave data over the whole sample block.
    auto w = CreateWaveDataByExtension(k25, 2, kWholeFile, true);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Kind(), kWaveK2000);
    EXPECT_EQ(w->Length(), 600);
    EXPECT_EQ(w->End(), 300);
    ASSERT_EQ(w->LoadData(), 0);
    EXPECT_EQ(w->data, HeldData(0, 300));
    // An odd last byte is dropped.
    Bytes odd = SongPlan().Build();
    odd.push_back(0x12);
    auto oddWave = CreateWaveDataByExtension(Put("odd.krz", odd), 2, kWholeFile, true);
    EXPECT_EQ(oddWave->Length(), 600);
    ASSERT_EQ(oddWave->LoadData(), 0);
    EXPECT_EQ(oddWave->data, HeldData(0, 300));
}

TEST_F(K2000ImportTest, DamagedFilesNeverCrashTheImport) {
    KrzPlan plan = SongPlan();
    plan.sampleData.resize(60);  // little sample data: most changes land in the objects
    plan.objects[3].body = test::KrzSampleBody({{60, 0x10, 0, 5, 10}, {62, 0x11, 11, 20, 29}});
    std::vector<std::vector<Bytes>> layers = {KrzLayer(10), KrzLayer(1)};
    layers[0].push_back(Segment(24, {{1, 9}}));
    layers[1].push_back(Segment(20, {{6, 1}}));
    plan.objects[0].body = ProgramOf(layers);
    test::FuzzImport(plan.Build(), Path("fuzz.krz"), 4321,
                     [&](const std::string& path, ZedoDatabase& db, ConversionLog& log) {
                         ImportK2000(path, db, rom_, log);
                     });
}

}  // namespace
}  // namespace talmeru
