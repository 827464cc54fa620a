// The keymap editor's logic against a bank built here: the key window, the drag, the colours
// and labels of the key matrix, and every keymap command.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "editors/controls/KeyMatrixModel.h"
#include "editors/keymap/KeymapCommands.h"
#include "model/NoteNames.h"
#include "model/ZedoDatabase.h"
#include "support/RecordingEdits.h"
#include "widgets/KeyboardLayout.h"

namespace talmeru::test {
namespace {

// The objects recorded as changed, as (type, number).
std::vector<std::pair<int, int>> Marks(const RecordingEdits& edits) {
    std::vector<std::pair<int, int>> marks;
    for (const BankObject* o : edits.changed)
        marks.emplace_back(o->Type(), o->Number());
    return marks;
}

std::vector<int> Tops(const Keymap& k) {
    std::vector<int> tops;
    for (const KeymapEntry& e : k.entries)
        tops.push_back(e.topKey);
    return tops;
}

// Program 3 plays keymap 10 (samples 1 to 3) on layer 0; samples 1 and 2 play RAM data, 3
// the ROM.
class KeymapBankTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int n : {1, 2, 3, 4, 5}) {
            auto s = std::make_unique<SampleHeader>();
            s->SetNumber(n);
            s->SetName("smp" + std::to_string(n));
            bank.PutSampleHeader(std::move(s));
        }
        WaveData* ram = bank.AddWaveData(std::make_unique<InvalidWaveData>(1));
        for (int n : {1, 2, 4, 5})
            bank.GetSampleHeader(n)->AttachWave(ram, kAttachReference);
        bank.GetSampleHeader(3)->AttachWave(bank.GetWaveData(0), kAttachReference);
        keymap = bank.CreateKeymap("map", 10);
        keymap->entries = {{39, 0, 1}, {79, 5, 2}, {127, 0, 3}};
        program = bank.CreateProgram("prog", 3);
        layer = program->AddLayer(*keymap, false);
        model.Show(3, 0, 10);
    }
    // Keymaps 20 and 21 as a stereo pair played by a stereo layer pair (layers 1 and 2),
    // samples 4 and 5 as a stereo pair.
    void MakeStereo() {
        Keymap* l = bank.CreateKeymap("left", 20);
        Keymap* r = bank.CreateKeymap("right", 21);
        l->entries = {{63, 0, 1}, {127, 0, 1}};
        r->entries = {{63, 0, 2}, {127, 0, 2}};
        PairStereo(*l, *r);
        PairStereo(*bank.GetSampleHeader(4), *bank.GetSampleHeader(5));
        ASSERT_NE(program->AddLayer(*l, true), nullptr);
    }

    ZedoDatabase bank;
    KeyWindow window;
    KeyMatrixModel model{bank, window};
    RecordingEdits host{bank};
    KeymapCommands commands{host, 3};
    Keymap* keymap = nullptr;
    Program* program = nullptr;
    Layer* layer = nullptr;
};

TEST(KeyWindowTest, ClampsToTheKeyboardAndShowsTheLastKey) {
    KeyWindow w;
    w.count = 50;
    w.SetStart(100);
    EXPECT_EQ(w.start, 78);
    EXPECT_EQ(w.End(), 127);
    w.SetStart(-4);
    EXPECT_EQ(w.start, 0);
    w.count = 200;  // wider than the keyboard
    w.SetStart(10);
    EXPECT_EQ(w.start, 0);
    EXPECT_EQ(SharedKeyWindow().start, 24);
}

TEST_F(KeymapBankTest, PixelsMapToKeysInsideTheKeyboard) {
    model.SetWidth(400);
    EXPECT_EQ(window.count, 50);
    EXPECT_EQ(model.KeyAt(0), 24);
    EXPECT_EQ(model.KeyAt(7), 24);
    EXPECT_EQ(model.KeyAt(8), 25);
    window.SetStart(100);
    EXPECT_EQ(model.KeyAt(399), 127);
    EXPECT_EQ(model.KeyAt(400), -1);
    window.SetStart(0);
    EXPECT_EQ(model.KeyAt(-8), -1);
}

TEST_F(KeymapBankTest, RangesFollowTheKeymapAndTheTimbreShift) {
    ASSERT_EQ(model.Ranges().size(), 3u);
    EXPECT_EQ(model.Ranges()[1].low, 40);
    EXPECT_EQ(model.Ranges()[1].top, 79);
    model.SetWidth(800);  // keys 24..123
    EXPECT_EQ(model.RangeAtKey(40), 1);
    auto span = model.RangeSpan(0);
    ASSERT_TRUE(span);
    EXPECT_EQ(span->x0, 0);  // clipped to the window's start
    EXPECT_EQ(span->x1, (39 - 24 + 1) * kKeyWidth);
    layer->timbreShift = 12;
    EXPECT_EQ(model.RangeAtKey(40), 0);
    EXPECT_EQ(model.RangeAtKey(52), 1);
    window.SetStart(0);
    EXPECT_EQ(model.RangeAtKey(5), -1);  // below the shifted first range
}

TEST_F(KeymapBankTest, PressSelectsABandOrStartsADrag) {
    model.SetWidth(800);
    const int x = (50 - 24) * kKeyWidth + 3;
    EXPECT_EQ(model.Press(x, 2), 1);
    EXPECT_EQ(model.Selected(), 1);
    EXPECT_FALSE(model.Dragging());
    EXPECT_EQ(model.Press(x, model.BandHeight() + 4), -1);
    EXPECT_EQ(model.Selected(), -1);
    EXPECT_EQ(model.Anchor(), 50);
    EXPECT_TRUE(model.InDrag(50));
    EXPECT_TRUE(model.Move(x + 3 * kKeyWidth, true));
    EXPECT_FALSE(model.Move(x + 3 * kKeyWidth + 1, true));  // the same key
    EXPECT_TRUE(model.InDrag(52));
    EXPECT_EQ(model.KeyMark(52), kDragKey);
    model.SetSounding(52, true);
    EXPECT_EQ(model.KeyMark(52), kDragKeySounding);
    EXPECT_EQ(model.KeyMark(60), kKeyIdle);
    model.SetSounding(60, true);
    EXPECT_EQ(model.KeyMark(60), kKeySounding);
    EXPECT_TRUE(model.Move(x, false));  // the button went up elsewhere
    EXPECT_FALSE(model.Dragging());
    EXPECT_FALSE(model.Release());

    model.Press(x, 20);
    model.SetWidth(400);
    window.SetStart(100);  // 78..127: the old pointer place lies past key 127
    EXPECT_EQ(window.start, 78);
    EXPECT_TRUE(model.Move(800 - 2, true));
    EXPECT_FALSE(model.Dragging());  // moved off the keyboard: cancelled
}

TEST_F(KeymapBankTest, ADragCommitsItsSpanInEitherOrder) {
    model.SetWidth(800);
    model.Press((70 - 24) * kKeyWidth, 30);
    model.Move((60 - 24) * kKeyWidth, true);
    const auto span = model.Release();
    ASSERT_TRUE(span);
    EXPECT_EQ(*span, std::make_pair(60, 70));
    ASSERT_TRUE(commands.CommitDrag(0, 10, kEditSampleRanges, 70, 60, 0));
    EXPECT_EQ(Tops(*keymap), (std::vector<int>{39, 59, 70, 79, 127}));
    EXPECT_EQ(keymap->entries[2].sample, 2);
    EXPECT_EQ(keymap->entries[2].amp, 5);
    ASSERT_TRUE(host.undoKeymap);
    EXPECT_EQ(Tops(*host.undoKeymap), (std::vector<int>{39, 79, 127}));
    EXPECT_EQ(Marks(host),
              (std::vector<std::pair<int, int>>{{kTypeKeymap, 10}, {kTypeProgram, 3}}));
}

TEST_F(KeymapBankTest, ShiftedDragsAreStoredUnshiftedAndKeptOnTheKeyboard) {
    layer->timbreShift = 12;
    ASSERT_TRUE(commands.CommitDrag(0, 10, kEditSampleRanges, 72, 83, 12));
    EXPECT_EQ(Tops(*keymap), (std::vector<int>{39, 59, 71, 79, 127}));
    model.Rebuild();
    EXPECT_EQ(model.RangeAtKey(72), 2);
    EXPECT_EQ(model.RangeAtKey(83), 2);
    EXPECT_EQ(model.RangeAtKey(84), 3);

    EXPECT_FALSE(commands.CommitDrag(0, 10, kEditSampleRanges, 0, 5, 12));
    EXPECT_EQ(keymap->entries.size(), 5u);
    layer->timbreShift = -20;
    ASSERT_TRUE(commands.CommitDrag(0, 10, kEditSampleRanges, 100, 120, -20));
    EXPECT_EQ(keymap->entries.back().topKey, 127);
    EXPECT_EQ(Tops(*keymap), (std::vector<int>{39, 59, 71, 79, 119, 127}));
}

TEST_F(KeymapBankTest, LayerRangeModeSetsTheKeyRangeOfBothHalves) {
    MakeStereo();
    ASSERT_TRUE(commands.CommitDrag(1, 20, kEditLayerRange, 90, 30, 0));
    EXPECT_EQ(program->GetLayer(1)->keyLow, 30);
    EXPECT_EQ(program->GetLayer(1)->keyHigh, 90);
    EXPECT_EQ(program->GetLayer(2)->keyLow, 30);
    EXPECT_EQ(program->GetLayer(2)->keyHigh, 90);
    EXPECT_EQ(bank.GetKeymap(20)->entries.size(), 2u);  // untouched
    ASSERT_TRUE(host.undoKeymap);
    EXPECT_EQ(host.undoKeymap->Number(), 20);
    EXPECT_EQ(Marks(host), (std::vector<std::pair<int, int>>{{kTypeProgram, 3}}));

    model.Show(3, 1, 20);
    EXPECT_TRUE(model.Band(29).outsideLayer);
    EXPECT_FALSE(model.Band(30).outsideLayer);
    EXPECT_TRUE(model.Band(91).outsideLayer);
}

TEST_F(KeymapBankTest, BandsAlternateAndSilentRangesShowAsAStrip) {
    EXPECT_EQ(model.Band(10).colour, kBandEven);
    EXPECT_EQ(model.Band(50).colour, kBandOdd);
    EXPECT_FALSE(model.Band(50).silent);
    keymap->entries[1].sample = kNoSample;
    keymap->entries[2].sample = 400;  // names no header
    model.Rebuild();
    EXPECT_TRUE(model.Band(50).silent);
    EXPECT_TRUE(model.Band(100).silent);
    keymap->entries.pop_back();
    keymap->entries.back().topKey = 100;
    model.Rebuild();
    EXPECT_EQ(model.Band(110).colour, kBandEmpty);
    EXPECT_TRUE(IsBlackKey(61));
    EXPECT_FALSE(IsBlackKey(64));
    EXPECT_EQ(model.KeyBase(66), kBlackKey);
}

TEST_F(KeymapBankTest, LabelsThatWouldOverlapGoToLowerRows) {
    keymap->entries = {{40, 0, 1}, {42, 0, 2}, {127, 0, 3}};
    model.Rebuild();
    model.SetWidth(800);
    // Every name is 30 pixels wide; ranges 41..42 and 0..40 are narrower than that.
    const auto labels = model.Labels([](const std::string&) { return 30; });
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0].range, 2);
    EXPECT_EQ(labels[0].row, 0);
    EXPECT_EQ(labels[0].text, "smp3");
    EXPECT_EQ(labels[1].range, 1);
    EXPECT_EQ(labels[1].row, 1);  // too wide for its range
    EXPECT_EQ(labels[2].range, 0);
    EXPECT_EQ(labels[2].row, 0);  // 0..40 is wide enough and row 0 is free left of 43
    EXPECT_EQ(labels[2].x, 0);

    keymap->entries[0].sample = kNoSample;
    model.Rebuild();
    EXPECT_EQ(model.Labels([](const std::string&) { return 30; }).size(), 2u);
}

TEST_F(KeymapBankTest, AutoScrollSpeedsUpAndStopsAtTheEnds) {
    model.SetWidth(400);  // 50 keys: 24..73
    model.Press((73 - 24) * kKeyWidth, 30);
    ASSERT_EQ(model.Current(), 73);
    std::vector<int> starts;
    while (model.AutoScrollTick())
        starts.push_back(window.start);
    ASSERT_GE(starts.size(), 14u);
    EXPECT_EQ(starts[0], 25);
    EXPECT_EQ(starts[6] - starts[5], 1);
    EXPECT_EQ(starts[7] - starts[6], 2);
    EXPECT_EQ(starts[12] - starts[11], 2);
    EXPECT_EQ(starts[13] - starts[12], 3);
    EXPECT_EQ(window.End(), 127);
    EXPECT_EQ(model.Current(), 127);
    const int steps = model.ScrollSteps();
    EXPECT_FALSE(model.AutoScrollTick());
    EXPECT_EQ(model.ScrollSteps(), steps);  // not advanced at the end

    model.Move((90 - window.start) * kKeyWidth, true);  // back inside: slow again
    model.AutoScrollTick();
    EXPECT_EQ(model.ScrollSteps(), 1);
    model.Move(0, true);
    ASSERT_TRUE(model.AutoScrollTick());
    EXPECT_EQ(window.start, 77);
    EXPECT_EQ(model.Current(), 77);
}

TEST_F(KeymapBankTest, DeleteMergesIntoTheNextRangeAndKeepsTheKeyboardCovered) {
    ASSERT_TRUE(commands.DeleteRange(10, 1));
    EXPECT_EQ(Tops(*keymap), (std::vector<int>{39, 127}));
    EXPECT_EQ(keymap->entries[1].sample, 3);
    ASSERT_TRUE(commands.DeleteRange(10, 1));  // the last range: the one before takes over
    EXPECT_EQ(Tops(*keymap), (std::vector<int>{127}));
    EXPECT_EQ(keymap->entries[0].sample, 1);
    EXPECT_FALSE(commands.DeleteRange(10, 0));
    EXPECT_FALSE(commands.DeleteRange(10, 5));
    EXPECT_FALSE(commands.DeleteRange(99, 0));
    EXPECT_EQ(keymap->entries.size(), 1u);
}

TEST_F(KeymapBankTest, SplitSilenceAndAmplitude) {
    ASSERT_TRUE(commands.SplitRange(10, 1));
    EXPECT_EQ(Tops(*keymap), (std::vector<int>{39, 59, 79, 127}));
    keymap->entries = {{39, 0, 1}, {40, 0, 2}, {127, 0, 3}};
    EXPECT_FALSE(commands.SplitRange(10, 1));  // one key
    host.changed.clear();
    ASSERT_TRUE(commands.SilentRange(10, 0));
    EXPECT_EQ(keymap->entries[0].sample, kNoSample);
    EXPECT_EQ(Marks(host), (std::vector<std::pair<int, int>>{{kTypeKeymap, 10}}));

    EXPECT_EQ(commands.AdjustAmplitude(10, 2, 40, false), 32);
    EXPECT_EQ(keymap->entries[2].amp, 32);
    EXPECT_EQ(commands.AdjustAmplitude(10, 2, 40, true), 40);
    EXPECT_EQ(keymap->entries[2].amp, 40);
    EXPECT_EQ(commands.AdjustAmplitude(10, 2, -200, false), -127);
    EXPECT_FALSE(commands.AdjustAmplitude(10, 7, 3, false));
    EXPECT_EQ(AmpMenuText(-3), "Adjust Amplitude [-3] ...");
    EXPECT_EQ(AmpMenuText(40), "Adjust Amplitude [+40] ...");
    EXPECT_EQ(AmpMenuText(std::nullopt), "Adjust Amplitude [  ] ...");
    EXPECT_EQ(EditSampleMenuText(true, "", false), "Edit Sample Unknown");
    EXPECT_EQ(EditSampleMenuText(true, "smp2", true), "Edit Sample smp2");
    EXPECT_EQ(EditSampleMenuText(false, "", false), "Edit Sample");
}

TEST_F(KeymapBankTest, ReplaceMarksTheHeaderBeforeTheKeymap) {
    ASSERT_TRUE(commands.ReplaceSample(10, 0, 3));
    EXPECT_EQ(keymap->entries[0].sample, 3);
    EXPECT_EQ(Marks(host),
              (std::vector<std::pair<int, int>>{{kTypeSampleHeader, 3}, {kTypeKeymap, 10}}));
    EXPECT_FALSE(commands.ReplaceSample(10, 0, 77));  // no such header
    EXPECT_EQ(keymap->entries[0].sample, 3);
}

TEST_F(KeymapBankTest, AStereoKeymapsRightHalfFollowsItsLeftHalf) {
    MakeStereo();
    Keymap* left = bank.GetKeymap(20);
    Keymap* right = bank.GetKeymap(21);
    ASSERT_TRUE(commands.CommitDrag(1, 20, kEditSampleRanges, 10, 20, 0));
    EXPECT_EQ(Tops(*right), Tops(*left));
    EXPECT_EQ(right->entries[1].sample, 2);
    ASSERT_TRUE(commands.ReplaceSample(20, 1, 4));
    EXPECT_EQ(left->entries[1].sample, 4);
    EXPECT_EQ(right->entries[1].sample, 5);
    ASSERT_TRUE(commands.SplitRange(20, 0));
    ASSERT_TRUE(commands.DeleteRange(20, 3));
    EXPECT_EQ(Tops(*right), Tops(*left));
    EXPECT_EQ(commands.AdjustAmplitude(20, 1, -6, false), -6);
    EXPECT_EQ(right->entries[1].amp, -6);
    // Ranges that differ: only the left half changes.
    right->entries.pop_back();
    right->entries.back().topKey = 127;
    ASSERT_TRUE(commands.SilentRange(20, 0));
    EXPECT_NE(right->entries[0].sample, kNoSample);

    Keymap* other = bank.CreateKeymap("other", 30);
    Keymap* otherRight = bank.CreateKeymap("other R", 31);
    PairStereo(*other, *otherRight);
    ASSERT_TRUE(commands.ChooseKeymap(1, 30));
    EXPECT_EQ(program->GetLayer(1)->keymap, 30);
    EXPECT_EQ(program->GetLayer(2)->keymap, 31);
    EXPECT_FALSE(commands.ChooseKeymap(1, 300));
    EXPECT_FALSE(commands.ChooseKeymap(9, 30));
}

TEST_F(KeymapBankTest, SampleChoiceOpensOnTheRangesKindOfSample) {
    EXPECT_EQ(SampleChoice(bank, kNoSample, false).View(), kViewAll);
    SampleChoice rom(bank, 3, false);
    EXPECT_EQ(rom.View(), kViewRom);
    ASSERT_EQ(rom.List().items.size(), 1u);
    EXPECT_EQ(rom.SampleAt(rom.List().selected), 3);
    SampleChoice ram(bank, 2, false);
    EXPECT_EQ(ram.View(), kViewRam);
    EXPECT_EQ(ram.List().items.size(), 4u);
    EXPECT_EQ(ram.SampleAt(ram.List().selected), 2);
    ram.SetView(kViewAll);
    EXPECT_EQ(ram.List().items.size(), 5u);
    EXPECT_EQ(ram.SampleAt(-1), -1);

    PairStereo(*bank.GetSampleHeader(4), *bank.GetSampleHeader(5));
    SampleChoice stereo(bank, 4, true);
    EXPECT_EQ(stereo.RamLabel(), "Stereo RAM");
    stereo.SetView(kViewAll);
    EXPECT_EQ(stereo.View(), kViewRam);
    ASSERT_EQ(stereo.List().items.size(), 1u);
    EXPECT_EQ(stereo.SampleAt(0), 4);
}

}  // namespace
}  // namespace talmeru::test
