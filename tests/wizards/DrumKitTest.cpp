// The drum kit wizard's logic: the key layout, the row commands and the kit it builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/Keymap.h"
#include "model/NoteNames.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"
#include "support/RecordingEdits.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"
#include "widgets/KeyboardLayout.h"
#include "wizards/DrumKit.h"

namespace talmeru::test {
namespace {

std::vector<int> Keys(const DrumKit& kit) {
    std::vector<int> keys;
    for (int i = 0; i < static_cast<int>(kit.Slots().size()); ++i)
        keys.push_back(kit.SlotKey(i));
    return keys;
}

std::vector<int> Files(const DrumKit& kit) {
    std::vector<int> files;
    for (const DrumSlot& s : kit.Slots())
        files.push_back(s.file);
    return files;
}

std::vector<std::string> Names(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(Fmt("/drums/hit%d.wav", i));
    return out;
}

// A kit laid out over n named files (not read until the build).
DrumKit LaidOut(int n, int lowest = 36, int spacing = kWhiteKeysOnly) {
    DrumKit kit;
    kit.lowest = lowest;
    kit.spacing = spacing;
    kit.SetFiles(Names(n));
    kit.EnterLayout();
    return kit;
}

int CountObjects(const ZedoDatabase& db, int type) {
    int n = 0;
    for (int i = 0; i < kSlotCount; ++i)
        n += db.GetObject(type, i) != nullptr;
    return n;
}

TEST(DrumKitLayout, WhiteKeysSkipTheBlackOnes) {
    DrumKit kit = LaidOut(10);
    EXPECT_EQ(Keys(kit), (std::vector<int>{36, 38, 40, 41, 43, 45, 47, 48, 50, 52}));
    kit.spacing = kWhiteAndBlackKeys;
    EXPECT_EQ(kit.SlotKey(9), 45);
    // A lowest note on a black key starts on the white key above it.
    EXPECT_EQ(DrumSlotKey(37, kWhiteKeysOnly, 0), 38);
    EXPECT_EQ(DrumSlotKey(37, kWhiteKeysOnly, 1), 40);
    EXPECT_TRUE(IsBlackKey(61));
    EXPECT_FALSE(IsBlackKey(64));
    EXPECT_EQ(PanText(-3), "|------");
    EXPECT_EQ(PanText(0), "---|---");
    EXPECT_EQ(PanText(3), "------|");
    EXPECT_EQ(LayerPanOf(-3), 1);
    EXPECT_EQ(LayerPanOf(0), 16);
    EXPECT_EQ(LayerPanOf(3), 31);
}

TEST(DrumKitLayout, EnteringMovesTheLowestNoteDownToFit) {
    DrumKit twenty = LaidOut(20, 100);
    EXPECT_EQ(twenty.lowest, 127 - 240 / 7);
    EXPECT_FALSE(twenty.SpacingLocked());
    EXPECT_LE(twenty.SlotKey(19), 127);
    EXPECT_EQ(LaidOut(20, 50).lowest, 50);

    // Too many for white keys even from 0: both colours, locked.
    DrumKit many = LaidOut(80, 40);
    EXPECT_TRUE(many.SpacingLocked());
    EXPECT_EQ(many.lowest, 0);
    EXPECT_EQ(many.spacing, kWhiteAndBlackKeys);
    EXPECT_EQ(many.SlotKey(79), 79);
}

TEST(DrumKitLayout, TheSpinRefusesNotesThatDoNotFitAndSkipsBlackKeys) {
    DrumKit kit = LaidOut(10, 40);
    EXPECT_EQ(kit.StepLowest(+1), 41);
    kit.lowest = 41;
    EXPECT_EQ(kit.StepLowest(+1), 43);  // 42 is black
    EXPECT_EQ(kit.StepLowest(-1), 40);
    kit.lowest = 0;
    EXPECT_EQ(kit.StepLowest(-1), 0);
    kit.spacing = kWhiteAndBlackKeys;
    kit.lowest = 117;
    EXPECT_EQ(kit.StepLowest(+1), 117);  // 127 - 10
    EXPECT_EQ(kit.StepLowest(-1), 116);
}

TEST(DrumKitLayout, LeavingMovesTheLowestNoteWithAMessage) {
    ScriptedPrompter prompter;
    ScopedPrompter scope(prompter);
    DrumKit kit = LaidOut(10, 110, kWhiteAndBlackKeys);
    EXPECT_FALSE(kit.LeaveLayout());
    for (int i = 0; i < 10; ++i)
        ASSERT_GE(kit.Duplicate(0), 0);
    EXPECT_TRUE(prompter.Messages().empty());
    EXPECT_TRUE(kit.LeaveLayout());
    EXPECT_EQ(kit.lowest, 128 - 20);
    EXPECT_EQ(kit.SlotKey(19), 127);
    EXPECT_EQ(
        prompter.Messages(),
        std::vector<std::string>{"Lowest key changed because there are too many samples to fit"});

    // Rows added on white keys past what white keys can hold switch to both colours.
    DrumKit white = LaidOut(70, 0);
    ASSERT_EQ(white.spacing, kWhiteKeysOnly);
    for (int i = 0; i < 20; ++i)
        white.Duplicate(0);
    EXPECT_TRUE(white.LeaveLayout());
    EXPECT_EQ(white.spacing, kWhiteAndBlackKeys);
    EXPECT_LE(white.SlotKey(89), 127);
}

TEST(DrumKitRows, CommandsShiftTheFollowingRowsOrKeepTheirKeys) {
    DrumKit kit = LaidOut(4);
    EXPECT_EQ(kit.Duplicate(1), 2);
    EXPECT_EQ(Files(kit), (std::vector<int>{0, 1, 1, 2, 3}));
    EXPECT_EQ(kit.InsertQuietKey(0), 0);
    EXPECT_EQ(Files(kit), (std::vector<int>{-1, 0, 1, 1, 2, 3}));
    EXPECT_EQ(kit.SlotText(0), kQuietKeyText);
    EXPECT_EQ(kit.SlotText(1), "hit0");
    EXPECT_EQ(kit.Remove(0), 0);
    EXPECT_EQ(kit.Remove(4), 3);
    EXPECT_EQ(Files(kit), (std::vector<int>{0, 1, 1, 2}));
    EXPECT_TRUE(kit.Swap(0, 3));
    EXPECT_FALSE(kit.Swap(0, 4));
    EXPECT_EQ(Files(kit), (std::vector<int>{2, 1, 1, 0}));

    // Without shifting, a removed row leaves a quiet key so the next sample keeps its key;
    // new rows go to the end.
    kit.shiftMode = kDontShift;
    const int key = kit.SlotKey(2);
    EXPECT_EQ(kit.Remove(1), 1);
    EXPECT_EQ(Files(kit), (std::vector<int>{2, -1, 1, 0}));
    EXPECT_EQ(kit.SlotKey(2), key);
    EXPECT_EQ(kit.Duplicate(0), 4);
    EXPECT_EQ(kit.InsertQuietKey(0), 5);
    EXPECT_EQ(Files(kit), (std::vector<int>{2, -1, 1, 0, 2, -1}));
    EXPECT_EQ(kit.Remove(5), 4);  // the last row has nothing after it to keep in place
    EXPECT_EQ(Files(kit).size(), 5u);

    DrumKit full = LaidOut(128);
    EXPECT_EQ(full.Duplicate(0), -1);
    EXPECT_EQ(full.InsertQuietKey(0), -1);
    EXPECT_EQ(full.Slots().size(), 128u);
}

TEST(DrumKitRows, PanAndShiftFollowTheirRowAndStayInRange) {
    DrumKit kit = LaidOut(3);
    EXPECT_EQ(kit.ShiftRows({0}, +1), 1);
    for (int i = 0; i < 40; ++i)
        kit.ShiftRows({2, 0}, -1);
    EXPECT_EQ(kit.Slots()[2].shift, -36);
    EXPECT_EQ(kit.Slots()[0].shift, -35);  // the first row at its limit stops the rest
    EXPECT_EQ(kit.ShiftRows({2, 0}, -1), 0);
    EXPECT_EQ(kit.ShiftRows({0, 2}, -1), 1);
    kit.SetPanPosition({1}, 0);
    kit.SetPanPosition({2}, 6);
    EXPECT_EQ(kit.Slots()[1].pan, -3);
    EXPECT_EQ(kit.Slots()[2].pan, 3);
    EXPECT_TRUE(kit.Swap(1, 2));
    EXPECT_EQ(kit.Slots()[1], (DrumSlot{2, -36, 3}));
}

TEST(DrumKitRows, ChangingTheFilesKeepsTheLayoutOfThoseStillListed) {
    DrumKit kit = LaidOut(3);
    kit.SetPanPosition({2}, 5);
    kit.Swap(0, 2);
    kit.InsertQuietKey(1);
    std::vector<std::string> files = kit.Files();
    files.erase(files.begin() + 1);
    files.push_back("/drums/new.wav");
    kit.SetFiles(files);
    // hit2, quiet, hit0 (hit1 gone), then the new file.
    EXPECT_EQ(Files(kit), (std::vector<int>{1, -1, 0, 2}));
    EXPECT_EQ(kit.Slots()[0].pan, 2);
    EXPECT_EQ(kit.SlotPath(3), "/drums/new.wav");
    EXPECT_EQ(kit.SlotText(0), "hit2");

    // Rows duplicated up to the limit leave no key for another file.
    ScriptedPrompter prompter;
    ScopedPrompter scope(prompter);
    while (kit.Duplicate(0) >= 0) {
    }
    files = kit.Files();
    files.push_back("/drums/late.wav");
    kit.SetFiles(files);
    EXPECT_EQ(kit.Slots().size(), 128u);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Only 128 Drum Samples allowed"});
}

TEST(DrumKitSettings, LayoutAndFinishChoicesAreKeptInOptions) {
    Profile settings;
    DrumKit kit;
    kit.ReadLayoutSettings(settings);
    kit.ReadFinishSettings(settings);
    EXPECT_EQ(kit.lowest, 36);
    EXPECT_EQ(kit.spacing, kWhiteKeysOnly);
    EXPECT_EQ(kit.shiftMode, kShiftSamples);
    EXPECT_FALSE(kit.useLoops);
    EXPECT_FALSE(kit.noteOffStops);
    kit.lowest = 48;
    kit.spacing = kWhiteAndBlackKeys;
    kit.shiftMode = kDontShift;
    kit.useLoops = true;
    kit.WriteLayoutSettings(settings);
    kit.WriteFinishSettings(settings);
    EXPECT_EQ(settings.GetInt("Options", "DrumWizNoteStart", 0), 48);
    EXPECT_EQ(settings.GetInt("Options", "DrumWizNoteSpacing", 0), 1);
    EXPECT_EQ(settings.GetInt("Options", "DrumWizInsertOption", 0), 1);
    EXPECT_EQ(settings.GetInt("Options", "DKWizLoop", 0), 1);
    EXPECT_EQ(settings.GetInt("Options", "DKWizNoteOff", 1), 0);
    DrumKit again;
    again.ReadLayoutSettings(settings);
    EXPECT_EQ(again.lowest, 48);
    EXPECT_EQ(again.shiftMode, kDontShift);
    settings.WriteInt("Options", "DrumWizNoteStart", 400);
    settings.WriteInt("Options", "DrumWizNoteSpacing", 7);
    again.ReadLayoutSettings(settings);
    EXPECT_EQ(again.lowest, 127);
    EXPECT_EQ(again.spacing, kWhiteKeysOnly);
}

TEST(DrumKitFiles, AddingStopsAt128WithAMessage) {
    ScriptedPrompter prompter;
    ScopedPrompter scope(prompter);
    std::vector<std::string> list = Names(120);
    EXPECT_EQ(DrumKit::AppendFiles(list, Names(10)), 8);
    EXPECT_EQ(list.size(), 128u);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Only 128 Drum Samples allowed"});
}

class DrumKitBuild : public TempDirTest {
  protected:
    std::string Mono(const std::string& name, int frames = 1000, bool loop = false) {
        WavPlan plan;
        plan.data = Pcm16({Ramp(frames, 0, 7)});
        if (loop) plan.loops = {{0, 200, uint32_t(frames - 1), 0}};
        return Put(name, MakeWav(plan));
    }
    std::string Stereo(const std::string& name, int frames = 800) {
        WavPlan plan;
        plan.channels = 2;
        plan.data = Pcm16({Ramp(frames, 0, 3), Ramp(frames, 100, -2)});
        return Put(name, MakeWav(plan));
    }
    DrumKit Kit(const std::vector<std::string>& files, int spacing = kWhiteAndBlackKeys) {
        DrumKit kit;
        kit.Begin(db, nullptr, false);
        kit.lowest = 36;
        kit.spacing = spacing;
        kit.SetFiles(files);
        kit.EnterLayout();
        return kit;
    }
    const SampleHeader* HeaderOn(const Keymap& k, int key) {
        return db.GetSampleHeader(k.SampleForKey(key));
    }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    ZedoDatabase db;
    RecordingEdits edits{db};
};

TEST_F(DrumKitBuild, OnePanGroupMakesOneCentredLayerWithEachSampleOnItsKey) {
    DrumKit kit =
        Kit({Mono("kick.wav"), Mono("snare.wav", 500, true), Mono("hat.wav")}, kWhiteKeysOnly);
    Program* p = kit.Build(edits, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(prompter.Messages().empty());
    EXPECT_EQ(p->Name(), "DrumKit");
    EXPECT_EQ(db.GetProgram(kit.number), p);
    ASSERT_EQ(p->LayerCount(), 1);
    const Layer& layer = *p->GetLayer(0);
    EXPECT_EQ(layer.Pan(), 16);
    EXPECT_TRUE(layer.IgnoreNoteOff());
    EXPECT_EQ(layer.Amp().Gain(), -10);
    const Keymap* k = db.GetKeymap(layer.keymap);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Name(), "DrumKit");
    EXPECT_TRUE(k->marked && p->marked);
    EXPECT_EQ(k->SampleForKey(35), kNoSample);
    EXPECT_EQ(k->SampleForKey(37), kNoSample);
    EXPECT_EQ(k->SampleForKey(39), kNoSample);
    EXPECT_EQ(k->SampleForKey(41), kNoSample);
    ASSERT_NE(HeaderOn(*k, 36), nullptr);
    ASSERT_NE(HeaderOn(*k, 38), nullptr);
    ASSERT_NE(HeaderOn(*k, 40), nullptr);
    EXPECT_EQ(HeaderOn(*k, 38)->Name(), "snare");
    for (int key : {36, 38, 40}) {
        const SampleHeader& h = *HeaderOn(*k, key);
        EXPECT_TRUE(h.marked) << key;
        // No loop kept: the loop point is the end, and the envelope runs the whole sample.
        EXPECT_EQ(h.loopStart, h.end) << key;
        ASSERT_EQ(h.envelope.size(), 3u);
        EXPECT_EQ(h.envelope[0].duration, h.end / 2) << key;
        EXPECT_EQ(h.envelope[1].slope, -2000);
    }
    // Each plays at its own pitch on its key: keys two apart differ by 512.
    EXPECT_EQ(HeaderOn(*k, 38)->pitch - HeaderOn(*k, 36)->pitch, 512);
    EXPECT_TRUE(db.IsModified());
}

TEST_F(DrumKitBuild, AShiftedDuplicatePlaysTheSameWaveAtAnotherPitch) {
    DrumKit kit = Kit({Mono("tom.wav")});
    kit.Duplicate(0);
    kit.Duplicate(0);
    kit.ShiftRows({0}, -2);
    kit.ShiftRows({2}, +2);
    kit.noteOffStops = true;
    kit.useLoops = true;
    const int waves = db.WaveDataCount();
    Program* p = kit.Build(edits, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(db.WaveDataCount(), waves + 1);
    const Keymap& k = *db.GetKeymap(p->GetLayer(0)->keymap);
    const SampleHeader* low = HeaderOn(k, 36);
    const SampleHeader* mid = HeaderOn(k, 37);
    const SampleHeader* high = HeaderOn(k, 38);
    ASSERT_TRUE(low && mid && high);
    EXPECT_NE(low, mid);
    EXPECT_EQ(low->Wave(), high->Wave());
    // Root keys 38, 37 and 36: the keys play two semitones down, as recorded, two up.
    EXPECT_EQ(low->pitch - mid->pitch, 256);
    EXPECT_EQ(mid->pitch - high->pitch, 256);
    EXPECT_FALSE(p->GetLayer(0)->IgnoreNoteOff());
    EXPECT_EQ(low->envelope.front().duration, 0);  // the flat tonal envelope
    EXPECT_EQ(low->envelope[1].slope, -6818);
    EXPECT_EQ(low->loopStart, -1);  // the file has no loop and none is made up
}

TEST_F(DrumKitBuild, PanGroupsMakeOneLayerEachFromLeftToRight) {
    DrumKit kit = Kit({Mono("a.wav"), Mono("b.wav"), Mono("c.wav")});
    kit.SetPanPosition({0}, 6);
    kit.SetPanPosition({2}, 0);
    Program* p = kit.Build(edits, nullptr);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->LayerCount(), 3);
    EXPECT_EQ(p->GetLayer(0)->Pan(), 1);
    EXPECT_EQ(p->GetLayer(1)->Pan(), 16);
    EXPECT_EQ(p->GetLayer(2)->Pan(), 31);
    const Keymap& left = *db.GetKeymap(p->GetLayer(0)->keymap);
    const Keymap& right = *db.GetKeymap(p->GetLayer(2)->keymap);
    EXPECT_EQ(HeaderOn(left, 38)->Name(), "c");
    EXPECT_EQ(left.SampleForKey(36), kNoSample);
    EXPECT_EQ(HeaderOn(right, 36)->Name(), "a");
    EXPECT_EQ(left.Name(), "DrumKit");
    EXPECT_EQ(db.GetKeymap(p->GetLayer(1)->keymap)->Name(), "DrumKit1");
    EXPECT_EQ(right.Name(), "DrumKit2");
}

TEST_F(DrumKitBuild, AnUnreadableFileIsSkippedAndItsKeyStaysSilent) {
    const std::string bad = Put("bad.wav", {'R', 'I', 'F', 'F', 0, 0});
    DrumKit kit = Kit({Mono("a.wav"), bad, Mono("c.wav")});
    Program* p = kit.Build(edits, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(prompter.Saw(Fmt("%s was skipped because it could not be loaded.", bad.c_str())));
    const Keymap& k = *db.GetKeymap(p->GetLayer(0)->keymap);
    EXPECT_EQ(k.SampleForKey(37), kNoSample);
    EXPECT_NE(k.SampleForKey(38), kNoSample);
    EXPECT_EQ(CountObjects(db, kTypeSampleHeader), 2);

    // Nothing readable at all makes no program.
    prompter.Clear();
    DrumKit none = Kit({bad});
    none.number = 9;
    EXPECT_EQ(none.Build(edits, nullptr), nullptr);
    EXPECT_TRUE(prompter.Saw("None of the wave files could be loaded"));
    EXPECT_EQ(db.GetProgram(9), nullptr);
}

TEST_F(DrumKitBuild, AStereoFileMakesAStereoLayerPair) {
    DrumKit kit = Kit({Stereo("crash.wav"), Mono("ride.wav")});
    Program* p = kit.Build(edits, nullptr);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->LayerCount(), 2);
    const Layer& l = *p->GetLayer(0);
    EXPECT_EQ(l.StereoState(), kStereoLeft);
    EXPECT_EQ(p->GetLayer(1)->StereoState(), kStereoRight);
    const Keymap& left = *db.GetKeymap(l.keymap);
    const Keymap& right = *db.GetKeymap(p->GetLayer(1)->keymap);
    EXPECT_EQ(left.chained, &right);
    EXPECT_EQ(right.Name(), "DrumKitR");
    EXPECT_TRUE(right.marked);
    const SampleHeader* crashL = HeaderOn(left, 36);
    ASSERT_NE(crashL, nullptr);
    EXPECT_EQ(HeaderOn(right, 36), crashL->chained);
    EXPECT_TRUE(HeaderOn(right, 36)->marked);
    // The mono sample plays on both sides.
    EXPECT_EQ(HeaderOn(right, 37), HeaderOn(left, 37));
    for (const Layer* half : {&l, static_cast<const Layer*>(p->GetLayer(1))}) {
        EXPECT_EQ(half->Amp().Gain(), -10);
        EXPECT_TRUE(half->IgnoreNoteOff());
    }
}

TEST_F(DrumKitBuild, ProblemsAreFoundBeforeTheBankChanges) {
    const std::string a = Mono("a.wav"), b = Mono("b.wav");
    Program* taken = db.CreateProgram("Taken", 5);
    Keymap* km = db.CreateKeymap("Km", 0);
    km->entries = {{127, 0, kNoSample}};
    for (int i = 0; i < 31; ++i)
        taken->AddLayer(*km, false);
    DrumKit kit = Kit({a, b});
    kit.number = 5;
    const std::string inUse = "Program 5 is already in use. Choose a free program number.";
    EXPECT_EQ(kit.Problem(db, nullptr), inUse);
    EXPECT_EQ(kit.Build(edits, nullptr), nullptr);
    EXPECT_TRUE(prompter.Saw(inUse));
    EXPECT_EQ(taken->Name(), "Taken");

    // Two pan groups need two layers; the current program has room for one.
    kit.placement = kAddLayers;
    kit.SetPanPosition({1}, 1);
    EXPECT_EQ(kit.Problem(db, nullptr), "Select a program to add the drum kit to");
    prompter.Clear();
    EXPECT_EQ(kit.Build(edits, taken), nullptr);
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{"The drum kit needs 2 layers, the program has room for 1"});
    EXPECT_EQ(taken->LayerCount(), 31);
    EXPECT_EQ(CountObjects(db, kTypeKeymap), 1);
    EXPECT_EQ(CountObjects(db, kTypeSampleHeader), 0);

    // One group fits: the kit joins the program's layers.
    kit.SetPanPosition({1}, 3);
    const int gain = taken->GetLayer(0)->Amp().Gain();
    ASSERT_NE(gain, -10);
    Program* p = kit.Build(edits, taken);
    EXPECT_EQ(p, taken);
    EXPECT_EQ(taken->LayerCount(), 32);
    EXPECT_EQ(taken->GetLayer(0)->Amp().Gain(), gain);
    EXPECT_EQ(taken->GetLayer(31)->Amp().Gain(), -10);

    kit.placement = kNewProgram;
    kit.name = "Much too long a name";
    EXPECT_EQ(kit.Problem(db, nullptr), "A program name has at most 16 characters");
}

TEST_F(DrumKitBuild, AStereoKitNeedsRoomForBothKeymapHalves) {
    for (int n = 1; n < kSlotCount; ++n)
        db.CreateKeymap(Fmt("K%d", n), n);
    DrumKit kit = Kit({Stereo("crash.wav")});
    EXPECT_EQ(kit.Build(edits, nullptr), nullptr);
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{"The drum kit needs 2 free keymaps, the bank has 1"});
    EXPECT_EQ(CountObjects(db, kTypeProgram), 0);
    EXPECT_EQ(CountObjects(db, kTypeSampleHeader), 0);
    EXPECT_EQ(db.GetKeymap(0), nullptr);
    EXPECT_FALSE(db.IsModified());
}

TEST_F(DrumKitBuild, AutoProgramReplaceReusesTheCurrentProgram) {
    Program* current = db.CreateProgram("Old kit", 7);
    Keymap* km = db.CreateKeymap("Km", 0);
    km->entries = {{127, 0, kNoSample}};
    current->AddLayer(*km, false);
    current->AddLayer(*km, false);
    DrumKit kit;
    kit.Begin(db, current, true);
    EXPECT_EQ(kit.name, "Old kit");
    EXPECT_EQ(kit.number, 7);
    kit.SetFiles({Mono("a.wav")});
    kit.EnterLayout();
    kit.name = "New kit";
    EXPECT_EQ(kit.Build(edits, current), current);
    EXPECT_EQ(current->Name(), "New kit");
    ASSERT_EQ(current->LayerCount(), 1);
    EXPECT_NE(current->GetLayer(0)->keymap, 0);

    DrumKit plain;
    plain.Begin(db, current, false);
    EXPECT_EQ(plain.name, "DrumKit");
    EXPECT_EQ(plain.number, 0);
}

}  // namespace
}  // namespace talmeru::test
