// The keymap editor's drags in the application's undo history.
#include <gtest/gtest.h>

#include "app/AppFixture.h"
#include "editors/controls/KeyMatrixModel.h"
#include "editors/keymap/KeymapCommands.h"

namespace talmeru::test {
namespace {

class KeymapUndo : public StartedAppTest {
  protected:
    void SetUp() override {
        StartedAppTest::SetUp();
        if (HasFatalFailure()) return;
        Keymap* k = app->Bank().CreateKeymap("undo me", 300);
        ASSERT_NE(k, nullptr);
        k->entries = {{127, 0, 1}};
        // The keymap made by hand is where the history starts.
        app->Editing().History().Reset();
    }
    Keymap* Map() { return app->Bank().GetKeymap(300); }
};

TEST_F(KeymapUndo, EachDragIsAStepUndoneInTurn) {
    KeymapCommands commands(*app, app->Editing().CurrentNumber());
    app->Editing().History().Settle();
    const int start = app->Editing().History().Position();
    ASSERT_TRUE(commands.CommitDrag(-1, 300, kEditSampleRanges, 10, 20, 0));
    app->Editing().History().Settle();
    ASSERT_TRUE(commands.CommitDrag(-1, 300, kEditSampleRanges, 60, 70, 0));
    ASSERT_EQ(Map()->entries.size(), 5u);
    ASSERT_TRUE(app->Editing().CanUndo());
    EXPECT_EQ(app->Editing().History().UndoName(), "Keymap change");
    app->FlushPendingEdits();

    app->Undo();
    ASSERT_NE(Map(), nullptr);
    ASSERT_EQ(Map()->entries.size(), 3u);
    EXPECT_EQ(Map()->entries[0].topKey, 9);
    EXPECT_EQ(Map()->entries[1].topKey, 20);
    EXPECT_EQ(Map()->Name(), "undo me");
    EXPECT_TRUE(app->Bank().IsModified());
    // The restored keymap went to the synthesizer with the refresh.
    EXPECT_TRUE(app->Editing().Pending().empty());
    app->Undo();
    ASSERT_NE(Map(), nullptr);
    EXPECT_EQ(Map()->entries.size(), 1u);
    EXPECT_EQ(app->Editing().History().Position(), start);
    app->Redo();
    EXPECT_EQ(Map()->entries.size(), 3u);
}

TEST_F(KeymapUndo, AStereoKeymapGetsBothHalvesBack) {
    Keymap* right = app->Bank().CreateKeymap("undo me R", 301);
    ASSERT_NE(right, nullptr);
    right->entries = Map()->entries;
    PairStereo(*Map(), *right);
    app->Editing().History().Reset();
    KeymapCommands commands(*app, app->Editing().CurrentNumber());
    ASSERT_TRUE(commands.CommitDrag(-1, 300, kEditSampleRanges, 10, 20, 0));
    ASSERT_EQ(right->entries.size(), Map()->entries.size());
    ASSERT_EQ(right->entries.size(), 3u);

    app->Undo();
    EXPECT_EQ(Map()->entries.size(), 1u);
    EXPECT_EQ(app->Bank().GetKeymap(301)->entries.size(), 1u);
    EXPECT_EQ(Map()->chained, app->Bank().GetKeymap(301));
}

TEST_F(KeymapUndo, StepsOfAnotherBankAreForgotten) {
    KeymapCommands commands(*app, app->Editing().CurrentNumber());
    ASSERT_TRUE(commands.CommitDrag(-1, 300, kEditSampleRanges, 10, 20, 0));
    EXPECT_TRUE(app->Editing().CanUndo());
    app->Bank().SetModified(false);
    app->NewBank();
    EXPECT_FALSE(app->Editing().CanUndo());
    EXPECT_FALSE(app->Editing().CanRedo());
}

TEST_F(KeymapUndo, NothingIsUndoneWhileTheBankIsReadOnly) {
    app->Editing().History().Settle();
    app->KeepUndoKeymap(*Map());
    Map()->entries = {{60, 0, 1}, {127, 0, 2}};
    app->Changed(*Map());
    app->Bank().SetMergeWaveData(true);
    EXPECT_FALSE(app->Editing().CanUndo());
    app->Undo();
    EXPECT_EQ(Map()->entries.size(), 2u);
    app->Bank().SetMergeWaveData(false);
    app->Undo();
    EXPECT_EQ(Map()->entries.size(), 1u);
}

}  // namespace
}  // namespace talmeru::test
