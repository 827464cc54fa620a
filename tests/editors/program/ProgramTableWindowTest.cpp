// The program table window: a column per layer, edited in place, several layers at once as
// one step of undo.
#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableWidget>
#include <functional>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "editors/program/LayerCommands.h"
#include "editors/program/LayerEditor.h"
#include "editors/program/ProgramTableWindow.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"

namespace talmeru::test {
namespace {

class ProgramTableWindowTest : public WindowTest {};

TEST_F(ProgramTableWindowTest, AValueTypedOverSelectedLayersIsOneStepOfUndo) {
    ZedoDatabase& bank = app->Bank();
    Keymap* keymap = bank.CreateKeymap("Keys", 1);
    Program* p = bank.CreateProgram("Table", 7);
    for (int i = 0; i < 3; ++i)
        p->AddLayer(*keymap, false);
    app->SelectProgram(p, true);
    ProgramTableWindow* table = frame->OpenProgramTable();
    ASSERT_EQ(frame->OpenProgramTable(), table);  // one window of the kind
    QTableWidget* grid = table->Table();
    ASSERT_EQ(grid->columnCount(), 3);
    EXPECT_TRUE(table->Caption()->text().contains("Table"));
    int gain = -1;
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->verticalHeaderItem(r)->text() == "Gain") gain = r;
    ASSERT_GE(gain, 0);
    const int initial = p->GetLayer(1)->Amp().Gain();
    const QString shown = grid->item(gain, 1)->text();
    EXPECT_EQ(shown, QString("%1 dB").arg(initial));

    app->Editing().History().Settle();
    const int before = app->Editing().History().Count();
    // Layers 1 and 3 selected by their columns; the value typed into layer 1's cell.
    grid->selectColumn(0);
    grid->selectionModel()->select(grid->model()->index(0, 2),
                                   QItemSelectionModel::Select | QItemSelectionModel::Columns);
    grid->item(gain, 0)->setText("-9 dB");
    EXPECT_EQ(p->GetLayer(0)->Amp().Gain(), -9);
    EXPECT_EQ(p->GetLayer(1)->Amp().Gain(), initial);
    EXPECT_EQ(p->GetLayer(2)->Amp().Gain(), -9);
    EXPECT_EQ(grid->item(gain, 2)->text(), "-9 dB");
    EXPECT_EQ(app->Editing().History().Count(), before + 1);
    EXPECT_EQ(app->Editing().History().UndoName(), "Set Gain");

    app->Undo();
    Program* undone = bank.GetProgram(7);
    ASSERT_NE(undone, nullptr);
    EXPECT_EQ(undone->GetLayer(0)->Amp().Gain(), initial);
    EXPECT_EQ(undone->GetLayer(2)->Amp().Gain(), initial);
    EXPECT_EQ(grid->item(gain, 0)->text(), shown);  // the table follows the undo

    // A word is refused and the cell shows the value again.
    grid->clearSelection();
    grid->item(gain, 1)->setText("loud");
    EXPECT_EQ(grid->item(gain, 1)->text(), shown);
}

// Edits of the shown program made in other windows reach the table: through the layer
// editor's rows, through the edit seam as the modulator and envelope editors use it, and by
// undo and redo.
TEST_F(ProgramTableWindowTest, TheTableFollowsEditsMadeElsewhere) {
    Keymap* keymap = app->Bank().CreateKeymap("Keys", 1);
    Program* p = app->Bank().CreateProgram("Followed", 9);
    for (int i = 0; i < 2; ++i)
        p->AddLayer(*keymap, false);
    app->SelectProgram(p, true);
    frame->OpenLayerEditor();
    LayerEditor* editor = frame->OpenedLayerEditor();
    ASSERT_NE(editor, nullptr);
    QTableWidget* grid = frame->OpenProgramTable()->Table();
    int row = -1;
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->verticalHeaderItem(r)->text() == "Gain") row = r;
    ASSERT_GE(row, 0);
    auto layer = [&] { return app->Bank().GetProgram(9)->GetLayer(1); };
    const int initial = layer()->Amp().Gain();
    struct Source {
        const char* name;
        std::function<void()> edit;
    };
    const Source sources[] = {
        {"layer editor",
         [&] {
             layer()->Amp().SetGain(initial - 3);
             editor->LayerEdited(1, true);
         }},
        {"edit seam",
         [&] {
             EditStep step(*app, "Gain");
             layer()->Amp().SetGain(initial - 6);
             LayerChanged(*layer(), *app);
         }},
        {"undo", [&] { app->Undo(); }},
        {"redo", [&] { app->Redo(); }},
    };
    for (const Source& s : sources) {
        const int before = layer()->Amp().Gain();
        s.edit();
        QApplication::processEvents();
        ASSERT_NE(layer()->Amp().Gain(), before) << s.name;
        EXPECT_EQ(grid->item(row, 1)->text(), QString("%1 dB").arg(layer()->Amp().Gain()))
            << s.name;
        EXPECT_EQ(grid->item(row, 0)->text(), QString("%1 dB").arg(initial)) << s.name;
    }
    EXPECT_EQ(layer()->Amp().Gain(), initial - 6);  // the last step undone and redone
}

}  // namespace
}  // namespace talmeru::test
