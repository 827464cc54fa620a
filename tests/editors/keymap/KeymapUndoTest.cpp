// The application's one step of keymap undo.
#include <gtest/gtest.h>

#include "app/AppFixture.h"
#include "editors/controls/KeyMatrixModel.h"
#include "editors/keymap/KeymapCommands.h"

namespace talmeru::test {
namespace {

class KeymapUndo : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        ASSERT_TRUE(app->Start(window, {}));
        prompter.Clear();
        Keymap* k = app->Bank().CreateKeymap("undo me", 300);
        ASSERT_NE(k, nullptr);
        k->entries = {{127, 0, 1}};
    }
    Keymap* Map() { return app->Bank().GetKeymap(300); }
};

TEST_F(KeymapUndo, UndoRestoresTheKeymapAsItWasBeforeTheLastDragOnly) {
    EXPECT_FALSE(app->CanUndoKeymap());
    KeymapCommands commands(*app, app->CurrentNumber());
    ASSERT_TRUE(commands.CommitDrag(-1, 300, kEditSampleRanges, 10, 20, 0));
    ASSERT_TRUE(commands.CommitDrag(-1, 300, kEditSampleRanges, 60, 70, 0));
    ASSERT_EQ(Map()->entries.size(), 5u);
    EXPECT_TRUE(app->CanUndoKeymap());
    app->FlushPendingEdits();

    app->UndoKeymapChange();
    ASSERT_EQ(Map()->entries.size(), 3u);
    EXPECT_EQ(Map()->entries[0].topKey, 9);
    EXPECT_EQ(Map()->entries[1].topKey, 20);
    EXPECT_EQ(Map()->Name(), "undo me");
    EXPECT_FALSE(app->CanUndoKeymap());
    EXPECT_TRUE(app->Bank().IsModified());
    // The restored keymap went to the synthesizer with the refresh.
    EXPECT_TRUE(app->Pending().empty());
    app->UndoKeymapChange();  // nothing left to undo
    EXPECT_EQ(Map()->entries.size(), 3u);
}

TEST_F(KeymapUndo, AStereoKeymapGetsBothHalvesBack) {
    Keymap* right = app->Bank().CreateKeymap("undo me R", 301);
    ASSERT_NE(right, nullptr);
    right->entries = Map()->entries;
    PairStereo(*Map(), *right);
    KeymapCommands commands(*app, app->CurrentNumber());
    ASSERT_TRUE(commands.CommitDrag(-1, 300, kEditSampleRanges, 10, 20, 0));
    ASSERT_EQ(right->entries.size(), Map()->entries.size());
    ASSERT_EQ(right->entries.size(), 3u);

    app->UndoKeymapChange();
    EXPECT_EQ(Map()->entries.size(), 1u);
    EXPECT_EQ(app->Bank().GetKeymap(301)->entries.size(), 1u);
    EXPECT_EQ(Map()->chained, app->Bank().GetKeymap(301));
}

TEST_F(KeymapUndo, ACopyOfADeletedKeymapOrAnotherBankIsNotWrittenBack) {
    app->KeepUndoKeymap(*Map());
    ASSERT_EQ(app->Bank().DeleteObject(Map()), 0);
    app->UndoKeymapChange();
    EXPECT_EQ(Map(), nullptr);
    EXPECT_FALSE(app->CanUndoKeymap());

    Keymap* k = app->Bank().CreateKeymap("again", 300);
    k->entries = {{127, 0, 1}};
    app->KeepUndoKeymap(*k);
    app->NewBank();
    EXPECT_FALSE(app->CanUndoKeymap());
}

TEST_F(KeymapUndo, NothingIsUndoneWhileTheBankIsReadOnly) {
    app->KeepUndoKeymap(*Map());
    Map()->entries = {{60, 0, 1}, {127, 0, 2}};
    app->Bank().SetMergeWaveData(true);
    EXPECT_FALSE(app->CanUndoKeymap());
    app->UndoKeymapChange();
    EXPECT_EQ(Map()->entries.size(), 2u);
    app->Bank().SetMergeWaveData(false);
    app->UndoKeymapChange();
    EXPECT_EQ(Map()->entries.size(), 1u);
}

}  // namespace
}  // namespace talmeru::test
