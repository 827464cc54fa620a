// The program table window: a column per layer, edited in place, several layers at once as
// one step of undo.
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableWidget>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
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

}  // namespace
}  // namespace talmeru::test
