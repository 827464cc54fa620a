// The insert, rename and purge dialogs as widgets: which controls they enable, what they
// hand to their forms, and the Edit menu's entries in the main window.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <cstdio>
#include <fstream>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "editors/insert/InsertDialogs.h"
#include "model/ZedoDatabase.h"
#include "platform/Profile.h"
#include "widgets/WaveFileDialog.h"

namespace talmeru::test {
namespace {

class InsertDialogsTest : public ::testing::Test {
  protected:
    SampleHeader* AddHeader(int n, const std::string& name) {
        auto s = std::make_unique<SampleHeader>();
        s->SetNumber(n);
        s->SetName(name);
        SampleHeader* raw = s.get();
        db.PutSampleHeader(std::move(s));
        return raw;
    }
    void Choose(QListWidget* list, int row) { list->setCurrentRow(row); }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    ZedoDatabase db;
};

TEST_F(InsertDialogsTest, NewSampleWantsAnExistingWaveFileOrAChosenHeader) {
    NewSampleForm empty(db);
    ASSERT_TRUE(empty.Open());
    CNewSampleDialog bare(empty, {});
    EXPECT_FALSE(bare.AliasButton()->isEnabled());

    AddHeader(0, "Horn");
    NewSampleForm form(db);
    ASSERT_TRUE(form.Open());
    const std::string file = ::testing::TempDir() + "/insert-dialog-tone.wav";
    { std::ofstream(file) << "RIFF"; }
    std::string offered = file;
    CNewSampleDialog dialog(form, [&](QWidget*) { return offered; });
    EXPECT_EQ(dialog.IdSpin()->value(), 1);
    EXPECT_TRUE(dialog.WaveButton()->isChecked());
    EXPECT_FALSE(dialog.AliasList()->isEnabled());
    EXPECT_FALSE(dialog.OkButton()->isEnabled());

    // "Browse" fills the empty name from the file, selected for typing over.
    dialog.Browse();
    EXPECT_EQ(dialog.PathEdit()->text().toStdString(), file);
    EXPECT_EQ(dialog.NameEdit()->text(), "insert-dialog-to");
    EXPECT_EQ(dialog.NameEdit()->selectedText(), dialog.NameEdit()->text());
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    dialog.PathEdit()->setText(QString::fromStdString(file + ".gone"));
    EXPECT_FALSE(dialog.OkButton()->isEnabled());

    // The alias source: its list on, the path off; a typed name stays.
    dialog.AliasButton()->setChecked(true);
    EXPECT_EQ(form.GetSource(), NewSampleForm::kAlias);
    EXPECT_TRUE(dialog.AliasList()->isEnabled());
    EXPECT_FALSE(dialog.BrowseButton()->isEnabled());
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    Choose(dialog.AliasList(), 0);
    EXPECT_EQ(form.aliasOf, 0);
    EXPECT_EQ(dialog.NameEdit()->text(), "insert-dialog-to");
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    std::remove(file.c_str());
}

// "Browse" is the "Open Wave File" chooser with its preview panel, as everywhere else.
TEST_F(InsertDialogsTest, BrowseUsesTheWaveFileChooser) {
    Profile settings;
    QString title;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* chooser = qobject_cast<CWaveFileDialog*>(w);
            if (!chooser || !chooser->isVisible()) continue;
            title = chooser->windowTitle();
            chooser->reject();
        }
    });
    EXPECT_EQ(ChooseWaveFile(settings, nullptr), "");
    EXPECT_EQ(title, "Open Wave File");
}

TEST_F(InsertDialogsTest, NewLayerFallsBackToANewKeymapWhenNoneCanBeListed) {
    db.CreateKeymap("Mono", 4);
    NewLayerForm form(db);
    CNewLayerDialog dialog(form);
    EXPECT_TRUE(dialog.ExistingButton()->isChecked());
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    Choose(dialog.KeymapList(), 0);
    EXPECT_EQ(form.keymap, 4);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());

    dialog.StereoBox()->setChecked(true);
    EXPECT_EQ(dialog.KeymapList()->count(), 0);
    EXPECT_FALSE(dialog.ExistingButton()->isEnabled());
    EXPECT_TRUE(dialog.CreateButton()->isChecked());
    EXPECT_FALSE(form.UseExisting());
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
}

TEST_F(InsertDialogsTest, NewKeymapRefillsItsSamplesAndKeepsAFixedStereoChoice) {
    SampleHeader* left = AddHeader(0, "PadL");
    SampleHeader* right = AddHeader(1, "PadR");
    PairStereo(*left, *right);
    AddHeader(2, "Solo");
    NewKeymapForm free(db, std::nullopt);
    ASSERT_TRUE(free.Open());
    CNewKeymapDialog dialog(free);
    EXPECT_EQ(dialog.SampleList()->count(), 3);
    dialog.StereoBox()->setChecked(true);
    ASSERT_EQ(dialog.SampleList()->count(), 1);
    EXPECT_EQ(dialog.SampleList()->item(0)->text(), "0 S PadL");
    dialog.NameEdit()->setText("Pad");
    dialog.accept();  // no sample chosen: it beeps and stays
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    Choose(dialog.SampleList(), 0);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(free.sample, 0);
    EXPECT_EQ(free.name, "Pad");

    NewKeymapForm mono(db, false);
    ASSERT_TRUE(mono.Open());
    CNewKeymapDialog fixed(mono);
    EXPECT_FALSE(fixed.StereoBox()->isEnabled());
    EXPECT_FALSE(fixed.StereoBox()->isChecked());
}

TEST_F(InsertDialogsTest, NewProgramStaysOpenOnAUsedName) {
    db.CreateProgram("Organ", 0);
    NewProgramForm form(db);
    ASSERT_TRUE(form.Open());
    CNewProgramDialog dialog(form);
    EXPECT_EQ(dialog.IdSpin()->value(), 1);
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    dialog.NameEdit()->setText("Organ");
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(prompter.Messages().size(), 1u);
    dialog.NameEdit()->setText("Organ 2");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(form.name, "Organ 2");
}

TEST_F(InsertDialogsTest, PurgeDeletesOnlyTheTickedLines) {
    for (int n : {1, 2, 3})
        db.CreateKeymap("K" + std::to_string(n), n);
    AddHeader(7, "S7");
    PurgeForm form(db);
    form.Open();
    CPurgeDialog dialog(form);
    ASSERT_EQ(dialog.KeymapList()->count(), 3);
    EXPECT_EQ(dialog.KeymapList()->item(1)->text(), "2 - K2");
    EXPECT_EQ(dialog.SampleList()->item(0)->checkState(), Qt::Checked);
    dialog.KeymapList()->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(dialog.PurgeButton()->isEnabled());
    dialog.Purge();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Progress()->maximum(), 3);
    EXPECT_EQ(dialog.Progress()->value(), 3);
    EXPECT_EQ(db.GetKeymap(1), nullptr);
    EXPECT_NE(db.GetKeymap(2), nullptr);
    EXPECT_EQ(db.GetSampleHeader(7), nullptr);

    PurgeForm nothing(db);
    db.CreateProgram("P", 0)->AddLayer(*db.GetKeymap(2), false);
    nothing.Open();
    EXPECT_FALSE(CPurgeDialog(nothing).PurgeButton()->isEnabled());
}

TEST_F(InsertDialogsTest, RenameDialogsKeepTheirFieldsWithinBounds) {
    RenumberForm form("Piano", 3);
    CRenumberDialog renumber(form);
    // Its title is whole in the title bar, beside the bar's buttons.
    renumber.adjustSize();
    EXPECT_GT(renumber.width(),
              renumber.fontMetrics().horizontalAdvance(renumber.windowTitle()) + 100);
    EXPECT_EQ(renumber.NameEdit()->text(), "Piano");
    EXPECT_EQ(renumber.NumberSpin()->maximum(), 511);
    renumber.NumberSpin()->setValue(9);
    renumber.NameEdit()->setText("Keys");
    renumber.accept();
    EXPECT_EQ(renumber.result(), QDialog::Accepted);
    EXPECT_EQ(form.number, 9);
    EXPECT_EQ(form.name, "Keys");

    CRenameDialog rename("Old");
    EXPECT_EQ(rename.NameEdit()->maxLength(), 16);
    // Sixteen characters of two bytes each do not fit the bank's sixteen bytes.
    rename.NameEdit()->setText(QString(16, QChar(0xE9)));
    rename.accept();
    EXPECT_NE(rename.result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.Saw(kNameTooLong));
}

class InsertMenuTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        frame = std::make_unique<CMainFrame>(*app);
        ASSERT_TRUE(app->Start(*frame, {}));
    }
    void TearDown() override {
        frame.reset();
        AppTest::TearDown();
    }
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(InsertMenuTest, TheEditMenuOffersTheCommandsByTheirRules) {
    QMenu* edit = MenuOf(*frame, "&Edit");
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(edit->actions().value(0)->menu(), nullptr);
    EXPECT_EQ(edit->actions().value(0)->text(), "Insert &New");
    QAction* layer = EntryOf(edit, "Layer");
    QAction* program = EntryOf(edit, "Program");
    QAction* renumber = EntryOf(edit, "Current program");
    ASSERT_TRUE(layer && program && renumber);
    ASSERT_NE(EntryOf(edit, "Keymap"), nullptr);
    ASSERT_NE(EntryOf(edit, "Sample"), nullptr);
    ASSERT_NE(EntryOf(edit, "&Purge Unused ..."), nullptr);

    emit edit->aboutToShow();
    EXPECT_TRUE(layer->isEnabled());
    EXPECT_TRUE(program->isEnabled());
    EXPECT_TRUE(renumber->isEnabled());
    app->SelectProgram(nullptr, false);
    emit edit->aboutToShow();
    EXPECT_FALSE(layer->isEnabled());
    EXPECT_FALSE(renumber->isEnabled());
    app->Bank().SetMergeWaveData(true);
    emit edit->aboutToShow();
    EXPECT_FALSE(program->isEnabled());
}

}  // namespace
}  // namespace talmeru::test
