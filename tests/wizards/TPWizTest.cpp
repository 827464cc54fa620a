// The tonal program wizard's sheet, its menu entry and what the application does after Finish.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <thread>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "model/Keymap.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "support/WavBuilder.h"
#include "wizards/TPWiz.h"

namespace talmeru::test {
namespace {

class TPWizTest : public StartedAppTest {
  protected:
    std::string Note(const std::string& name) {
        WavPlan plan;
        plan.rate = 88200;
        plan.data = Pcm16({Ramp(300, 0, 4)});
        const std::string path = (Dir() / name).string();
        EXPECT_TRUE(WriteWholeFile(path, MakeWav(plan)));
        return path;
    }
    static std::vector<std::string> Column(QTreeWidget* list, int column) {
        std::vector<std::string> out;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            out.push_back(list->topLevelItem(i)->text(column).toStdString());
        return out;
    }
    int Current() const {
        return app->Editing().CurrentProgram() ? app->Editing().CurrentNumber() : -1;
    }
};

TEST_F(TPWizTest, TheWavePageAddsAndRemovesFiles) {
    TPWiz wizard(app->Bank(), app->Settings(), Current(), false);
    EXPECT_EQ(wizard.windowTitle(), "Tonal Program Wizard");
    TPWiz1& page = *wizard.WavePage();
    wizard.show();
    EXPECT_EQ(page.title(), "Tonal Program Wizard - Select Wave Files");
    EXPECT_FALSE(page.isComplete());
    EXPECT_FALSE(wizard.button(QWizard::NextButton)->isEnabled());

    std::vector<std::string> chosen{"/a/C3.wav", "/a/C4.wav", "/a/C5.wav"};
    page.chooseFiles = [&] { return chosen; };
    page.AddButton()->click();
    EXPECT_EQ(Column(page.List(), 0), chosen);
    EXPECT_TRUE(wizard.button(QWizard::NextButton)->isEnabled());

    page.List()->topLevelItem(0)->setSelected(true);
    page.List()->topLevelItem(2)->setSelected(true);
    page.RemoveButton()->click();
    EXPECT_EQ(Column(page.List(), 0), std::vector<std::string>{"/a/C4.wav"});
    page.List()->topLevelItem(0)->setSelected(true);
    page.RemoveButton()->click();
    EXPECT_FALSE(wizard.button(QWizard::NextButton)->isEnabled());
    EXPECT_TRUE(prompter.Messages().empty());
}

TEST_F(TPWizTest, TheKeyPageSetsSortsAndShiftsKeys) {
    app->Settings().WriteInt("Options", "TPKeySet", 0);
    TPWiz wizard(app->Bank(), app->Settings(), Current(), false);
    wizard.show();
    wizard.WavePage()->AddFiles({Note("Tuba C4.wav"), Note("Tuba E2.wav"), Note("Tuba.wav")});
    wizard.next();
    TPWiz2& page = *wizard.KeyPage();
    ASSERT_EQ(wizard.currentPage(), &page);
    EXPECT_FALSE(page.KeySetBox()->isChecked());
    EXPECT_EQ(Column(page.List(), 0), (std::vector<std::string>{" C4", " E2", " C4"}));
    EXPECT_EQ(Column(page.List(), 1), (std::vector<std::string>{"Tuba C4", "Tuba E2", "Tuba"}));
    EXPECT_FALSE(page.PlayButton()->isEnabled());
    EXPECT_FALSE(page.KeySpin()->isEnabled());

    // The selected row follows the spin, wrapping at the ends.
    page.List()->topLevelItem(2)->setSelected(true);
    EXPECT_TRUE(page.PlayButton()->isEnabled());
    EXPECT_EQ(page.KeySpin()->value(), 60);
    page.KeySpin()->setValue(0);
    page.KeySpin()->stepBy(-1);
    EXPECT_EQ(page.List()->topLevelItem(2)->text(0), " G9");
    page.ReSort();
    EXPECT_EQ(Column(page.List(), 1), (std::vector<std::string>{"Tuba E2", "Tuba C4", "Tuba"}));

    // Octave Shift moves every key and wraps: G9 (127) goes to B-1 (11), and back.
    page.OctaveSpin()->stepBy(1);
    EXPECT_EQ(Column(page.List(), 0), (std::vector<std::string>{" E3", " C5", " B-1"}));
    page.OctaveSpin()->stepBy(-1);
    EXPECT_EQ(Column(page.List(), 0), (std::vector<std::string>{" E2", " C4", " G9"}));

    // Notes from the keyboard only count with the box set and a row chosen.
    page.List()->topLevelItem(0)->setSelected(true);
    page.NoteOn(50);
    EXPECT_EQ(page.List()->topLevelItem(0)->text(0), " E2");
    page.KeySetBox()->setChecked(true);
    page.NoteOn(50);
    EXPECT_EQ(page.List()->topLevelItem(0)->text(0), " D3");
    EXPECT_EQ(page.KeySpin()->value(), 50);

    page.ParseNames();
    EXPECT_EQ(Column(page.List(), 0), (std::vector<std::string>{" E2", " C4", " C4"}));

    // Leaving forward sorts, stores the box and stops listening.
    page.List()->topLevelItem(0)->setSelected(true);
    page.KeySpin()->setValue(100);
    wizard.next();
    EXPECT_EQ(wizard.currentPage(), wizard.CreatePage());
    EXPECT_FALSE(page.Listening());
    EXPECT_EQ(app->Settings().GetInt("Options", "TPKeySet", 0), 1);
    std::vector<int> keys;
    for (const TonalRow& r : wizard.Choices().Rows())
        keys.push_back(r.key);
    EXPECT_EQ(keys, (std::vector<int>{60, 60, 100}));
    wizard.back();
    EXPECT_TRUE(page.Listening());
    EXPECT_EQ(Column(page.List(), 1), (std::vector<std::string>{"Tuba C4", "Tuba", "Tuba E2"}));
}

TEST_F(TPWizTest, TheCreatePageEnablesItsFieldsAndChecksTheChoices) {
    app->Settings().WriteInt("Options", "TPSlowReleaseRate", -90);
    app->Settings().WriteInt("Options", "TPTranposeBug", 0);
    Program* current = app->Editing().CurrentProgram();
    ASSERT_NE(current, nullptr);
    TPWiz wizard(app->Bank(), app->Settings(), current->Number(), true);
    wizard.show();
    wizard.WavePage()->AddFiles({Note("C4.wav")});
    wizard.next();
    wizard.next();
    TPWiz3& page = *wizard.CreatePage();
    ASSERT_EQ(wizard.currentPage(), &page);
    // AutoProgramReplace proposes the current program.
    EXPECT_EQ(page.NameEdit()->text().toStdString(), current->Name());
    EXPECT_EQ(page.NumberSpin()->value(), current->Number());
    EXPECT_TRUE(page.NewProgramRadio()->isChecked());
    EXPECT_EQ(page.AddToCurrentRadio()->isEnabled(), current->LayerCount() < kMaxLayers);
    EXPECT_FALSE(page.NoTransposeBox()->isChecked());
    EXPECT_EQ(page.RateSpin()->value(), 90);
    EXPECT_FALSE(page.RateSpin()->isEnabled());
    page.Option(TPWiz3::kSlowRelease)->setChecked(true);
    EXPECT_TRUE(page.RateSpin()->isEnabled());
    page.AddToCurrentRadio()->setChecked(true);
    EXPECT_FALSE(page.NameEdit()->isEnabled());
    EXPECT_FALSE(page.NumberSpin()->isEnabled());

    // A taken number is refused on the page.
    page.NewProgramRadio()->setChecked(true);
    page.NameEdit()->setText("Mine");
    int taken = -1;
    for (int n = 0; n < kSlotCount && taken < 0; ++n)
        if (app->Bank().GetProgram(n) && n != current->Number()) taken = n;
    ASSERT_GE(taken, 0);
    page.NumberSpin()->setValue(taken);
    page.RateSpin()->setValue(33);
    EXPECT_FALSE(wizard.validateCurrentPage());
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{
                  Fmt("Program %d is already in use. Choose a free program number.", taken)});
    EXPECT_EQ(app->Settings().GetInt("Options", "TPSlowReleaseRate", 0), 33);
    page.NumberSpin()->setValue(app->Bank().FirstFreeProgram());
    page.Option(TPWiz3::kPhat)->setChecked(true);
    EXPECT_TRUE(wizard.validateCurrentPage());
    EXPECT_EQ(wizard.Choices().name, "Mine");
    EXPECT_TRUE(wizard.Choices().phat);
    EXPECT_TRUE(wizard.Choices().slowRelease);
    EXPECT_FALSE(wizard.Choices().modVibrato);
}

TEST_F(TPWizTest, TheMenuEntryBuildsTheInstrumentAndMakesItCurrent) {
    CMainFrame frame(*app);
    QMenu* wizards = MenuOf(frame, "&Wizards");
    ASSERT_NE(wizards, nullptr);
    QAction* entry = EntryOf(wizards, "Tonal Program Wizard ...");
    ASSERT_NE(entry, nullptr);
    emit wizards->aboutToShow();
    EXPECT_TRUE(entry->isEnabled());

    const std::vector<std::string> files{Note("Horn C3.wav"), Note("Horn G3.wav")};
    const int number = app->Bank().FirstFreeProgram();
    bool finish = true;
    bool heard = false;
    auto drive = [&] {
        auto* wizard = qobject_cast<TPWiz*>(QApplication::activeModalWidget());
        ASSERT_NE(wizard, nullptr);
        wizard->WavePage()->chooseFiles = [&] { return files; };
        wizard->WavePage()->AddButton()->click();
        wizard->next();
        // A note from MIDI input reaches the key page while it is shown.
        TPWiz2* page = wizard->KeyPage();
        page->KeySetBox()->setChecked(true);
        page->List()->topLevelItem(1)->setSelected(true);
        emu->PlayExternal(0x90 | (57u << 8) | (100u << 16));
        emu->Flush();
        for (int i = 0; i < 100 && !heard; ++i) {
            app->HandleIncoming();
            heard = wizard->Choices().Rows()[1].key == 57;
            if (!heard) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        wizard->next();
        wizard->CreatePage()->NameEdit()->setText("Horns");
        wizard->button(finish ? QWizard::FinishButton : QWizard::CancelButton)->click();
    };
    finish = false;
    QTimer::singleShot(0, drive);
    entry->trigger();
    EXPECT_EQ(app->Bank().GetProgram(number), nullptr);
    finish = true;
    heard = false;
    QTimer::singleShot(0, drive);
    entry->trigger();
    EXPECT_TRUE(heard);
    const Program* made = app->Bank().GetProgram(number);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Name(), "Horns");
    ASSERT_EQ(made->LayerCount(), 1);
    const Keymap* k = app->Bank().GetKeymap(made->GetLayer(0)->keymap);
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->entries.size(), 3u);
    EXPECT_EQ(k->entries[0].topKey, 48);
    EXPECT_EQ(k->entries[1].topKey, 57);
    EXPECT_EQ(app->Editing().CurrentProgram(), made);
    EXPECT_TRUE(app->Editing().Pending().empty());
    EXPECT_TRUE(prompter.Messages().empty());
    emu->Flush();
    EXPECT_TRUE(emu->InRam(3, made->Number()));
    EXPECT_TRUE(emu->InRam(1, k->Number()));
    EXPECT_TRUE(emu->InRam(2, k->entries[0].sample));

    // A read-only bank takes no wizard.
    app->Bank().SetMergeWaveData(true);
    emit wizards->aboutToShow();
    EXPECT_FALSE(entry->isEnabled());
}

}  // namespace
}  // namespace talmeru::test
