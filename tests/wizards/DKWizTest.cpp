// The drum kit wizard's sheet, its menu entry and what the application does after Finish.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "platform/Format.h"
#include "platform/SoundPlayer.h"
#include "wizards/DKWiz.h"

namespace talmeru::test {
namespace {

class DKWizTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        ASSERT_TRUE(app->Start(window, {}));
        for (const char* name : {"kick", "snare", "hat", "tom"})
            files.push_back(Wav(Fmt("%s.wav", name), 600));
        prompter.Clear();
    }
    std::unique_ptr<DKWiz> Wizard() {
        auto w = std::make_unique<DKWiz>(app->Bank(), app->Editing().CurrentNumber(),
                                         app->Settings(), app->Options().autoProgramReplace);
        w->FilePage()->chooseFiles = [this] { return files; };
        return w;
    }
    std::vector<std::string> files;
};

TEST_F(DKWizTest, TheFilePageAddsAndRemovesFiles) {
    auto wizard = Wizard();
    wizard->show();
    EXPECT_EQ(wizard->windowTitle(), "Drum Kit Wizard");
    DKWiz0& page = *wizard->FilePage();
    EXPECT_EQ(page.List()->headerItem()->text(0), "Wave Filename");
    EXPECT_FALSE(page.isComplete());
    EXPECT_FALSE(wizard->button(QWizard::NextButton)->isEnabled());
    page.AddButton()->click();
    ASSERT_EQ(page.List()->topLevelItemCount(), 4);
    EXPECT_TRUE(wizard->button(QWizard::NextButton)->isEnabled());
    page.List()->topLevelItem(1)->setSelected(true);
    page.List()->topLevelItem(2)->setSelected(true);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(page.List(), &del);
    EXPECT_EQ(page.Paths(), (std::vector<std::string>{files[0], files[3]}));

    std::vector<std::string> many(130, files[0]);
    page.AddFiles(many);
    EXPECT_EQ(page.List()->topLevelItemCount(), 128);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Only 128 Drum Samples allowed"});
    wizard->next();
    EXPECT_EQ(wizard->Kit().Files().size(), 128u);
}

TEST_F(DKWizTest, TheLayoutPageShowsKeysAndEditsRows) {
    SilentSoundPlayer player;
    ScopedSoundPlayer playing(player);
    app->Settings().WriteInt("Options", "DrumWizNoteStart", 48);
    {
        auto wizard = Wizard();
        wizard->show();
        wizard->FilePage()->AddButton()->click();
        wizard->next();
        DKWiz1& page = *wizard->LayoutPage();
        ASSERT_EQ(wizard->currentPage(), &page);
        EXPECT_EQ(page.NoteLabel()->text(), " C3");
        EXPECT_TRUE(page.WhiteOnly()->isChecked());
        CDrumSlotList* rows = page.Rows();
        ASSERT_EQ(rows->count(), 4);
        EXPECT_EQ(rows->item(1)->text(), "snare");
        EXPECT_EQ(rows->currentRow(), 0);

        rows->setCurrentRow(1);
        page.PlayButton()->click();
        EXPECT_EQ(player.played, std::vector<std::string>{files[1]});
        page.QuietButton()->click();
        ASSERT_EQ(rows->count(), 5);
        EXPECT_EQ(rows->item(1)->text(), kQuietKeyText);
        EXPECT_FALSE(page.PlayButton()->isEnabled());
        emit rows->itemDoubleClicked(rows->item(2));
        EXPECT_EQ(player.played.size(), 2u);

        // Dropping a row onto another swaps them.
        emit rows->SwapRows(0, 4);
        EXPECT_EQ(rows->item(4)->text(), "kick");
        EXPECT_EQ(rows->item(0)->text(), "tom");

        page.UpButton()->click();
        EXPECT_EQ(page.NoteLabel()->text(), " D3");
        page.WhiteAndBlack()->click();
        page.NoShiftRadio()->click();
        rows->setCurrentRow(0);
        page.RemoveButton()->click();
        EXPECT_EQ(rows->count(), 5);
        EXPECT_EQ(rows->item(0)->text(), kQuietKeyText);
        wizard->next();
        EXPECT_EQ(wizard->currentPage(), wizard->PanPage());
    }
    // The layout choices are kept when the sheet closes.
    EXPECT_EQ(app->Settings().GetInt("Options", "DrumWizNoteStart", 0), 50);
    EXPECT_EQ(app->Settings().GetInt("Options", "DrumWizNoteSpacing", 0), 1);
    EXPECT_EQ(app->Settings().GetInt("Options", "DrumWizInsertOption", 0), 1);
}

TEST_F(DKWizTest, ManySamplesLockTheSpacing) {
    auto wizard = Wizard();
    files.resize(100, files[0]);
    wizard->show();
    wizard->FilePage()->AddButton()->click();
    wizard->next();
    DKWiz1& page = *wizard->LayoutPage();
    EXPECT_TRUE(page.WhiteAndBlack()->isChecked());
    EXPECT_FALSE(page.WhiteOnly()->isEnabled());
    EXPECT_FALSE(page.UpButton()->isEnabled());
    EXPECT_EQ(page.NoteLabel()->text(), " C-1");
}

TEST_F(DKWizTest, ThePanPageShiftsAndPansTheSelectedRows) {
    auto wizard = Wizard();
    wizard->show();
    wizard->FilePage()->AddButton()->click();
    wizard->next();
    wizard->next();
    DKWiz3& page = *wizard->PanPage();
    QTreeWidget* list = page.List();
    ASSERT_EQ(list->topLevelItemCount(), 4);
    EXPECT_EQ(list->headerItem()->text(3), "Pitch");
    EXPECT_EQ(list->topLevelItem(0)->text(1), " C2");
    EXPECT_EQ(list->topLevelItem(1)->text(1), " D2");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "---|---");
    EXPECT_EQ(list->topLevelItem(0)->text(3), "+0");
    EXPECT_EQ(page.PanSlider()->value(), 3);

    list->topLevelItem(1)->setSelected(true);
    list->topLevelItem(3)->setSelected(true);
    page.ShiftUp()->click();
    page.ShiftUp()->click();
    page.ShiftDown()->click();
    page.PanSlider()->setValue(1);
    EXPECT_EQ(list->topLevelItem(1)->text(3), "+1");
    EXPECT_EQ(list->topLevelItem(3)->text(2), "-|-----");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "---|---");
    EXPECT_EQ(wizard->Kit().Slots()[3].pan, -2);
    EXPECT_EQ(wizard->Kit().Slots()[1].shift, 1);
}

TEST_F(DKWizTest, TheFinishPageChecksTheChoicesBeforeFinish) {
    const int taken = app->Editing().CurrentNumber();
    ASSERT_GE(taken, 0);
    auto wizard = Wizard();
    wizard->show();
    wizard->FilePage()->AddButton()->click();
    wizard->next();
    wizard->next();
    wizard->next();
    DKWiz2& page = *wizard->FinishPage();
    ASSERT_EQ(wizard->currentPage(), &page);
    EXPECT_TRUE(page.NewRadio()->isChecked());
    EXPECT_EQ(page.NameEdit()->text(), "DrumKit");
    EXPECT_EQ(page.NumberSpin()->value(), app->Bank().FirstFreeProgram());
    EXPECT_EQ(page.AddRadio()->isEnabled(),
              app->Editing().CurrentProgram()->LayerCount() < kMaxLayers);

    page.NumberSpin()->setValue(taken);
    page.LoopBox()->setChecked(true);
    EXPECT_FALSE(page.validatePage());
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{
                  Fmt("Program %d is already in use. Choose a free program number.", taken)});
    EXPECT_EQ(app->Settings().GetInt("Options", "DKWizLoop", 0), 0);

    page.AddRadio()->click();
    EXPECT_FALSE(page.NameEdit()->isEnabled());
    EXPECT_TRUE(page.validatePage());
    EXPECT_EQ(app->Settings().GetInt("Options", "DKWizLoop", 0), 1);
    EXPECT_EQ(wizard->Kit().placement, kAddLayers);
}

TEST_F(DKWizTest, TheMenuEntryBuildsTheKitAndMakesItCurrent) {
    CMainFrame frame(*app);
    QMenu* wizards = MenuOf(frame, "&Wizards");
    ASSERT_NE(wizards, nullptr);
    QAction* entry = EntryOf(wizards, "Drum Kit Wizard ...");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->data().toInt(), 32851);
    emit wizards->aboutToShow();
    EXPECT_TRUE(entry->isEnabled());

    const int number = app->Bank().FirstFreeProgram();
    bool finish = false;
    auto drive = [&] {
        auto* wizard = qobject_cast<DKWiz*>(QApplication::activeModalWidget());
        ASSERT_NE(wizard, nullptr);
        wizard->FilePage()->AddFiles(files);
        wizard->next();
        wizard->next();
        wizard->PanPage()->List()->topLevelItem(0)->setSelected(true);
        wizard->PanPage()->PanSlider()->setValue(0);
        wizard->next();
        wizard->button(finish ? QWizard::FinishButton : QWizard::CancelButton)->click();
    };
    QTimer::singleShot(0, drive);
    entry->trigger();
    EXPECT_EQ(app->Bank().GetProgram(number), nullptr);

    finish = true;
    QTimer::singleShot(0, drive);
    entry->trigger();
    const Program* made = app->Bank().GetProgram(number);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Name(), "DrumKit");
    ASSERT_EQ(made->LayerCount(), 2);
    EXPECT_EQ(made->GetLayer(0)->Pan(), 1);
    EXPECT_EQ(made->GetLayer(1)->Pan(), 16);
    EXPECT_EQ(app->Editing().CurrentProgram(), made);
    EXPECT_TRUE(app->Editing().Pending().empty());
    EXPECT_TRUE(prompter.Messages().empty());
    emu->Flush();
    EXPECT_TRUE(emu->InRam(3, number));
    const Keymap* k = app->Bank().GetKeymap(made->GetLayer(1)->keymap);
    ASSERT_NE(k, nullptr);
    EXPECT_TRUE(emu->InRam(1, k->Number()));
    EXPECT_TRUE(emu->InRam(2, k->SampleForKey(38)));

    app->Bank().SetMergeWaveData(true);
    emit wizards->aboutToShow();
    EXPECT_FALSE(entry->isEnabled());
}

}  // namespace
}  // namespace talmeru::test
