// Every kind of command, undone and redone: the bank must come back byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>

#include "app/AppFixture.h"
#include "application/UndoHistory.h"
#include "editors/controls/KeyMatrixModel.h"
#include "editors/keymap/KeymapCommands.h"
#include "model/ZedoDatabase.h"

namespace talmeru::test {
namespace {

// Everything undo must put back: each slot's packed form and pairing, the wave data each
// sample header plays, and the wave-data list with its users.
struct BankImage {
    std::map<std::pair<int, int>, std::vector<uint8_t>> bytes;
    std::map<std::pair<int, int>, std::pair<int, int>> pairs;  // role, partner
    std::map<int, const WaveData*> sampleWaves;
    std::vector<std::tuple<const WaveData*, int, std::vector<int>>> waves;
    bool operator==(const BankImage&) const = default;
};

BankImage Image(const ZedoDatabase& db) {
    BankImage im;
    for (int type = kTypeKeymap; type <= kTypeProgram; ++type) {
        for (int n = 0; n < kSlotCount; ++n) {
            const BankObject* o = db.GetObject(type, n);
            if (!o) continue;
            im.bytes[{type, n}] = o->PackedNow();
            im.pairs[{type, n}] = {o->stereoRole, o->chained ? o->chained->Number() : -1};
            if (type == kTypeSampleHeader)
                im.sampleWaves[n] = static_cast<const SampleHeader*>(o)->Wave();
        }
    }
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        const WaveData* w = db.GetWaveData(i);
        std::vector<int> links;
        for (const WaveLink& l : w->links)
            links.push_back(l.number);
        im.waves.emplace_back(w, w->base, links);
    }
    return im;
}

class UndoAll : public StartedAppTest {
  public:
    // The commands below run on the fixture.
    using AppTest::app;
    using AppTest::Wav;
    using AppTest::window;

  protected:
    void SetUp() override {
        StartedAppTest::SetUp();
        if (HasFatalFailure()) return;
        ZedoDatabase& db = app->Bank();
        // A stereo keymap pair and an imported sample with wave data of its own.
        Keymap* left = db.CreateKeymap("pair L", 300);
        Keymap* right = db.CreateKeymap("pair R", 301);
        left->entries = right->entries = {{127, 0, 1}};
        PairStereo(*left, *right);
        ASSERT_EQ(app->ImportWaves({Wav("tone.wav", 4000)}), 1);
        imported = app->Editing().CurrentProgram();
        ASSERT_NE(imported, nullptr);
        app->Editing().History().Reset();
    }

  public:
    // The sample header the imported program plays.
    int ImportedSample() {
        Keymap* k = app->Bank().GetKeymap(imported->GetLayer(0)->keymap);
        return k ? k->entries.front().sample : -1;
    }
    Program* imported = nullptr;
};

struct Command {
    const char* what;
    std::function<void(UndoAll&)> run;
};

const Command kCommands[] = {
    {"a field edit outside any command",
     [](UndoAll& t) {
         Program* p = t.app->Bank().GetProgram(0);
         p->SetName("renamed");
         t.app->Changed(*p);
     }},
    {"a sample header's loop",
     [](UndoAll& t) {
         SampleHeader* s = t.app->Bank().GetSampleHeader(t.ImportedSample());
         s->SetLoopStart(100);
         t.app->Changed(*s);
     }},
    {"a drag on a stereo keymap",
     [](UndoAll& t) {
         KeymapCommands c(*t.app, t.app->Editing().CurrentNumber());
         ASSERT_TRUE(c.CommitDrag(-1, 300, kEditSampleRanges, 40, 50, 0));
     }},
    {"deleting the current program",
     [](UndoAll& t) {
         t.app->SelectProgram(t.app->Bank().GetProgram(0), true);
         t.app->DeleteCurrentProgram();
     }},
    {"duplicating a program with its keymaps and samples",
     [](UndoAll& t) {
         t.window.tickAll = true;
         t.app->SelectProgram(t.imported, true);
         ASSERT_NE(t.app->DuplicateCurrentProgram(), nullptr);
     }},
    {"importing a sample",
     [](UndoAll& t) { ASSERT_EQ(t.app->ImportWaves({t.Wav("b.wav", 900)}), 1); }},
    {"deleting a sample and its wave data",
     [](UndoAll& t) {
         EditStep step(*t.app, "Delete Sample");
         const int before = t.app->Bank().WaveDataCount();
         ASSERT_EQ(t.app->Bank().DeleteSampleHeader(t.ImportedSample()), kOk);
         ASSERT_EQ(t.app->Bank().WaveDataCount(), before - 1);
     }},
    {"deleting the right half of a stereo keymap",
     [](UndoAll& t) {
         EditStep step(*t.app, "Delete Keymap");
         ASSERT_EQ(t.app->Bank().DeleteObject(t.app->Bank().GetKeymap(301)), kOk);
     }},
    {"renumbering a program",
     [](UndoAll& t) {
         EditStep step(*t.app, "Renumber");
         t.app->Bank().MoveProgram(0, 450);
     }},
    {"copying a program from the ROM bank",
     [](UndoAll& t) {
         EditStep step(*t.app, "Copy");
         const ZedoDatabase& rom = *t.app->Editing().RomBank();
         ASSERT_NE(t.app->Bank().CopyProgramFrom(*rom.GetProgram(1), rom, 460), nullptr);
     }},
};

TEST_F(UndoAll, EveryCommandUndoesAndRedoesByteForByte) {
    for (const Command& c : kCommands) {
        SCOPED_TRACE(c.what);
        app->Editing().History().Reset();
        const BankImage before = Image(app->Bank());
        c.run(*this);
        ASSERT_TRUE(app->Editing().CanUndo());
        EXPECT_EQ(app->Editing().History().Count(), 1);
        const BankImage after = Image(app->Bank());
        ASSERT_FALSE(before == after);

        app->Undo();
        EXPECT_TRUE(Image(app->Bank()) == before);
        EXPECT_TRUE(app->Editing().Pending().empty());  // the synthesizer has what was put back
        ASSERT_TRUE(app->Editing().CanRedo());
        app->Redo();
        EXPECT_TRUE(Image(app->Bank()) == after);
        // Back to the start for the next command, through the history once more.
        app->Undo();
        EXPECT_TRUE(Image(app->Bank()) == before);
        imported = app->Bank().GetProgram(imported->Number());
    }
}

TEST_F(UndoAll, StepsAreNamedMergedAndBounded) {
    Program* p = app->Bank().GetProgram(0);
    const std::string name = p->Name();
    for (int gain = 1; gain <= 3; ++gain) {
        p->GetLayer(0)->timbreShift = int8_t(gain);
        app->Changed(*p);
        app->Editing().History().Settle();
    }
    // One field stepped three times is one step, named after its object.
    EXPECT_EQ(app->Editing().History().Count(), 1);
    EXPECT_EQ(app->Editing().History().UndoName(), "Edit Program " + name);
    {
        EditStep outer(*app, "Outer");
        EditStep inner(*app, "Inner");
        p->SetName("x");
        app->Changed(*p);
    }
    EXPECT_EQ(app->Editing().History().UndoName(), "Outer");
    app->Undo();
    EXPECT_EQ(app->Editing().History().RedoName(), "Outer");
    // A new step drops what could be redone.
    p = app->Bank().GetProgram(0);
    p->SetName("y");
    app->Changed(*p);
    EXPECT_FALSE(app->Editing().CanRedo());
    EXPECT_EQ(app->Editing().History().Count(), 2);

    UndoHistory small(app->Bank(), 3);
    for (int i = 0; i < 5; ++i) {
        small.Begin("step");
        app->Bank().GetProgram(0)->SetName("n" + std::to_string(i));
        small.End();
    }
    EXPECT_EQ(small.Count(), 3);
    // A command that changes nothing leaves no step.
    small.Begin("nothing");
    small.End();
    EXPECT_EQ(small.Count(), 3);
}

TEST_F(UndoAll, WaveDataLeavingTheBankIsKeptWhileAStepNeedsIt) {
    UndoHistory h(app->Bank(), 1);
    h.Begin("Delete Sample");
    ASSERT_EQ(app->Bank().DeleteSampleHeader(ImportedSample()), kOk);
    h.End();
    EXPECT_EQ(h.KeptWaveData(), 1u);
    h.Begin("Rename");
    app->Bank().GetProgram(0)->SetName("z");
    h.End();
    EXPECT_EQ(h.KeptWaveData(), 0u);  // the step that needed it fell off the end
}

TEST_F(UndoAll, AFullScanOfARomBankIsFast) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        app->Bank().GetProgram(0)->SetName("t" + std::to_string(i));
        app->Changed(*app->Bank().GetProgram(0));
        app->Editing().History().Settle();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::printf("10 steps over the ROM bank: %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, 1000);
}

}  // namespace
}  // namespace talmeru::test
