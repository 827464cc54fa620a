// The bank session alone: edits recorded once and sent in batches, the current program
// following its slot, undo writing back without making steps of its own.
#include "application/BankSession.h"

#include <gtest/gtest.h>

#include "model/BankLink.h"
#include "model/Program.h"
#include "platform/Prompter.h"

namespace talmeru::test {
namespace {

// A synthesizer that takes every object and counts them.
struct CountingLink : BankLink {
    int GetObject(int, int, std::vector<uint8_t>&) override { return kNoSuchObject; }
    int QueryMemory(int) override { return 0; }
    int StoreObject(std::span<const uint8_t>) override { return ++stored, 0; }
    int DeleteObject(int, int) override { return 0; }
    int UploadSampleData(int, std::span<const uint8_t>, int&, int) override { return 0; }
    int AddAlias(int, int) override { return 0; }
    int RemoveAlias(int) override { return 0; }
    int ClearRam() override { return 0; }
    uint16_t RomVersion() const override { return 0x103; }
    const MemoryFigures& Memory() const override { return memory; }
    MemoryFigures memory;
    int stored = 0;
};

class BankSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        keymap = session.Bank().CreateKeymap("Keys", 1);
        session.StartHistory();
    }
    Program* MakeProgram(int number) {
        Program* p = session.Bank().CreateProgram("P" + std::to_string(number), number);
        p->AddLayer(*keymap, false);
        return p;
    }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    CountingLink link;
    int flushes = 0;
    BankSession session{[this] {
        ++flushes;
        session.SendPending(link);
    }};
    Keymap* keymap = nullptr;
};

TEST_F(BankSessionTest, EditsAreRecordedOnceAndSentWhenTheListIsFull) {
    struct Case {
        int programs;  // each changed twice
        int flushes;   // by the list being full
        size_t left;   // still pending afterwards
    };
    int base = 10;
    for (const Case c : {Case{1, 0, 1}, Case{kPendingLimit, 0, size_t(kPendingLimit)},
                         Case{kPendingLimit + 1, 1, 1}, Case{2 * kPendingLimit + 3, 2, 3}}) {
        flushes = 0;
        link.stored = 0;
        session.Bank().SetModified(false);
        for (int n = 0; n < c.programs; ++n) {
            Program* p = MakeProgram(base + n);
            session.Changed(*p);
            session.Changed(*p);
        }
        EXPECT_EQ(flushes, c.flushes) << c.programs;
        EXPECT_EQ(session.Pending().size(), c.left) << c.programs;
        EXPECT_EQ(link.stored, c.programs - int(c.left)) << c.programs;
        EXPECT_TRUE(session.Bank().IsModified());
        EXPECT_TRUE(session.SendPending(link));
        EXPECT_EQ(link.stored, c.programs) << c.programs;
        EXPECT_FALSE(session.SendPending(link));
        base += c.programs;
    }
}

TEST_F(BankSessionTest, AReadOnlyBankRefusesEditsWithAMessage) {
    Program* p = MakeProgram(4);
    session.Bank().SetModified(false);
    session.Bank().SetMergeWaveData(true);
    EXPECT_FALSE(session.Editable());
    session.Changed(*p);
    EXPECT_TRUE(session.Pending().empty());
    EXPECT_FALSE(session.Bank().IsModified());
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("read-only"), std::string::npos);
    EXPECT_FALSE(session.CanUndo());
}

TEST_F(BankSessionTest, TheCurrentProgramFollowsItsSlot) {
    Program* later = MakeProgram(9);
    Program* first = MakeProgram(3);
    session.SelectFirstWhenNone();
    EXPECT_EQ(session.CurrentProgram(), first);
    EXPECT_EQ(session.CurrentNumber(), 3);
    session.SetCurrent(later);
    session.SelectFirstWhenNone();  // one is current: it stays
    EXPECT_EQ(session.CurrentNumber(), 9);
    EXPECT_FALSE(session.CurrentStale());

    session.Changed(*later);
    session.DeleteCurrent();
    EXPECT_EQ(session.Bank().GetProgram(9), nullptr);
    EXPECT_TRUE(session.Pending().empty());  // nothing pending points at the deleted program
    EXPECT_EQ(session.CurrentProgram(), nullptr);
    EXPECT_EQ(session.CurrentNumber(), -1);

    session.SetCurrent(first);
    session.Bank().DeleteObject(first);
    EXPECT_TRUE(session.CurrentStale());
}

TEST_F(BankSessionTest, UndoWritesBackAsPendingEditsWithoutANewStep) {
    Program* p = MakeProgram(6);
    session.SendPending(link);
    session.History().Reset();
    const int gain = p->GetLayer(0)->Amp().Gain();
    session.History().Begin("Gain");
    p->GetLayer(0)->Amp().SetGain(gain - 5);
    session.Changed(*p);
    session.History().End();
    session.SendPending(link);
    ASSERT_EQ(session.History().Count(), 1);
    ASSERT_TRUE(session.CanUndo());

    UndoHistory::Applied applied;
    ASSERT_TRUE(session.StepTo(0, applied));
    Program* undone = session.Bank().GetProgram(6);
    ASSERT_NE(undone, nullptr);
    EXPECT_EQ(undone->GetLayer(0)->Amp().Gain(), gain);
    EXPECT_EQ(session.Pending(), std::vector<BankObject*>{undone});
    EXPECT_EQ(session.History().Count(), 1);
    EXPECT_TRUE(session.CanRedo());
    EXPECT_FALSE(session.StepTo(0, applied));  // already there
}

}  // namespace
}  // namespace talmeru::test
