// The microtuning wizard's sheet, its menu entry and what the application does after Finish.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "model/Keymap.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "wizards/MTWiz.h"

namespace talmeru::test {
namespace {

class MTWizTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        ASSERT_TRUE(app->Start(window, {}));
        // A one-layer template of our own, and a program with three layers.
        ZedoDatabase& bank = app->Bank();
        Keymap* k = bank.CreateKeymap("Tmpl keymap", -1);
        k->entries = {{127, 0, 0}};
        Program* p = bank.CreateProgram("Tmpl", -1);
        p->AddLayer(*k, false);
        templateNumber = p->Number();
        Program* thick = bank.CreateProgram("Thick", -1);
        for (int i = 0; i < 3; ++i)
            thick->AddLayer(*k, false);
        thickNumber = thick->Number();
        prompter.Clear();
    }
    int Row(QComboBox* box, int number) { return box->findData(number); }

    int templateNumber = -1;
    int thickNumber = -1;
};

TEST_F(MTWizTest, TheTemplatePageNeedsAUsableTemplateAndAName) {
    MTWiz wizard(app->Bank(), app->Numbering());
    EXPECT_EQ(wizard.windowTitle(), "Microtuning Wizard");
    MTWiz2& page = *wizard.ProgramPage();
    wizard.show();
    EXPECT_EQ(page.TemplateBox()->currentIndex(), -1);
    EXPECT_EQ(page.NumberSpin()->value(), app->Bank().FirstFreeProgram());
    EXPECT_FALSE(page.isComplete());

    page.TemplateBox()->setCurrentIndex(Row(page.TemplateBox(), thickNumber));
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{"Template program must be either 1 or 2 layers"});
    EXPECT_EQ(page.NameEdit()->text().toStdString(),
              app->Bank().MakeUniqueName(kTypeProgram, "Thick"));
    EXPECT_FALSE(page.isComplete());

    // The name typed so far stays when another template is chosen.
    page.NameEdit()->setText("Tuned");
    page.TemplateBox()->setCurrentIndex(Row(page.TemplateBox(), templateNumber));
    EXPECT_EQ(wizard.Choices().templateNumber, templateNumber);
    EXPECT_EQ(wizard.Choices().name, "Tuned");
    EXPECT_TRUE(page.isComplete());
    page.NameEdit()->clear();
    EXPECT_FALSE(page.isComplete());
    page.NameEdit()->setText("Tuned");

    // A number in use is refused before the next page.
    prompter.Clear();
    page.NumberSpin()->setValue(templateNumber);
    EXPECT_FALSE(page.validatePage());
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{Fmt(
                  "Program %d is already in use. Choose a free program number.", templateNumber)});
    page.NumberSpin()->setValue(app->Bank().FirstFreeProgram());
    EXPECT_TRUE(page.validatePage());
}

TEST_F(MTWizTest, TheTemperamentPageListsAndLoadsTemperaments) {
    MTWiz wizard(app->Bank(), app->Numbering());
    MTWiz1& page = *wizard.TemperamentPage();
    QTreeWidget* list = page.List();
    ASSERT_EQ(list->columnCount(), 13);
    EXPECT_EQ(list->headerItem()->text(0), "OrigKey");
    EXPECT_EQ(list->headerItem()->text(2), "C#");
    EXPECT_EQ(list->headerItem()->text(3), " D");
    EXPECT_EQ(list->columnWidth(0), 150);
    EXPECT_EQ(list->columnWidth(12), 36);
    ASSERT_EQ(list->topLevelItemCount(), 12);
    EXPECT_EQ(list->topLevelItem(8)->text(0), "Persion 1");
    EXPECT_EQ(list->topLevelItem(8)->text(2), "130");
    EXPECT_EQ(list->topLevelItem(8)->text(3), "-");
    EXPECT_FALSE(page.isComplete());

    list->topLevelItem(2)->setSelected(true);
    EXPECT_TRUE(page.isComplete());
    EXPECT_EQ(wizard.Choices().temperament, 2);

    const std::string text = "0 90 200 290 400 500 590 700 790 900 1000 1090 Mine\n0 x";
    const std::string path = (Dir() / "mine.tempre").string();
    ASSERT_TRUE(WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end())));
    int asked = 0;
    page.chooseFile = [&] {
        ++asked;
        return QString::fromStdString(path);
    };
    page.LoadButton()->click();
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(list->topLevelItemCount(), 13);
    EXPECT_EQ(list->topLevelItem(12)->text(0), "Mine");
    EXPECT_EQ(list->topLevelItem(12)->text(12), "1090");
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{Fmt("Error loading \"%s\" at character position %d. "
                                           "Probably illegal character or end of file.",
                                           path.c_str(), int(text.size()) - 1)});
    // The chosen row stays chosen when the list is filled again.
    EXPECT_TRUE(list->topLevelItem(2)->isSelected());
    EXPECT_EQ(wizard.Choices().temperament, 2);
    page.chooseFile = [] { return QString(); };
    page.LoadButton()->click();
    EXPECT_EQ(list->topLevelItemCount(), 13);
}

TEST_F(MTWizTest, FinishUploadsTheProgramAndMakesItCurrent) {
    MTWiz wizard(app->Bank(), app->Numbering());
    wizard.show();
    wizard.ProgramPage()->TemplateBox()->setCurrentIndex(
        Row(wizard.ProgramPage()->TemplateBox(), templateNumber));
    wizard.next();
    ASSERT_EQ(wizard.currentPage(), wizard.TemperamentPage());
    QTreeWidget* list = wizard.TemperamentPage()->List();
    list->topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(wizard.button(QWizard::FinishButton)->isEnabled());
    EXPECT_TRUE(wizard.validateCurrentPage());

    ASSERT_NE(app->Editing().CurrentNumber(), wizard.Choices().number);
    const int refreshes = window.refreshes;
    Program* made = wizard.Choices().Build(*app);
    ASSERT_NE(made, nullptr);
    app->FinishWizard(made);
    EXPECT_EQ(app->Editing().CurrentProgram(), made);
    EXPECT_GT(window.refreshes, refreshes);
    EXPECT_TRUE(app->Editing().Pending().empty());
    emu->Flush();
    EXPECT_TRUE(emu->InRam(3, made->Number()));
    for (int i = 0; i < made->LayerCount(); ++i)
        EXPECT_TRUE(emu->InRam(1, made->GetLayer(i)->keymap)) << i;
    EXPECT_TRUE(prompter.Messages().empty());
}

TEST_F(MTWizTest, WithoutAutoProgramSwitchTheCurrentProgramStays) {
    app->Options().autoProgramSwitch = false;
    Program* current = app->Editing().CurrentProgram();
    ASSERT_NE(current, nullptr);
    Microtuning m;
    m.templateNumber = templateNumber;
    m.name = "Other";
    m.number = app->Bank().FirstFreeProgram();
    m.temperament = 0;
    Program* made = m.Build(*app);
    ASSERT_NE(made, nullptr);
    app->FinishWizard(made);
    EXPECT_EQ(app->Editing().CurrentProgram(), current);
    emu->Flush();
    EXPECT_TRUE(emu->InRam(3, made->Number()));
}

TEST_F(MTWizTest, TheMenuEntryRunsTheWizardOnAnEditableBank) {
    CMainFrame frame(*app);
    QMenu* wizards = MenuOf(frame, "&Wizards");
    ASSERT_NE(wizards, nullptr);
    QAction* entry = EntryOf(wizards, "Microtuning Wizard ...");
    ASSERT_NE(entry, nullptr);
    emit wizards->aboutToShow();
    EXPECT_TRUE(entry->isEnabled());

    // Finish builds the program chosen on the sheet; Cancel leaves the bank alone.
    const int number = app->Bank().FirstFreeProgram();
    app->Changed(*app->Bank().GetProgram(templateNumber));
    bool finish = true;
    auto drive = [&] {
        auto* wizard = qobject_cast<MTWiz*>(QApplication::activeModalWidget());
        ASSERT_NE(wizard, nullptr);
        QComboBox* box = wizard->ProgramPage()->TemplateBox();
        box->setCurrentIndex(Row(box, templateNumber));
        wizard->next();
        wizard->TemperamentPage()->List()->topLevelItem(3)->setSelected(true);
        wizard->button(finish ? QWizard::FinishButton : QWizard::CancelButton)->click();
    };
    finish = false;
    QTimer::singleShot(0, drive);
    entry->trigger();
    EXPECT_EQ(app->Bank().GetProgram(number), nullptr);
    finish = true;
    QTimer::singleShot(0, drive);
    entry->trigger();
    const Program* made = app->Bank().GetProgram(number);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->LayerCount(), 12);
    EXPECT_EQ(made->GetLayer(1)->Pitch().FineTune(), -30);
    EXPECT_EQ(app->Editing().CurrentProgram(), made);
    EXPECT_TRUE(app->Editing().Pending().empty());
    EXPECT_TRUE(prompter.Messages().empty());

    app->Bank().SetMergeWaveData(true);
    emit wizards->aboutToShow();
    EXPECT_FALSE(entry->isEnabled());
}

}  // namespace
}  // namespace talmeru::test
