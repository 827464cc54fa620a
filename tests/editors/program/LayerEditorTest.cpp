// The layer editor in the main window: opening it on the current program, its rows, its
// commands and the Edit menu's stereo entries, the notes it shows, the "Modulators" window
// and what is kept at exit.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "app/MainFrame.h"
#include "app/WindowFixture.h"
#include "editors/controls/RangeSelector.h"
#include "editors/keymap/KeymapEditor.h"
#include "editors/program/LayerEditor.h"
#include "editors/program/ModulatorEditor.h"
#include "widgets/MidiDisplayCtrl.h"
#include "widgets/MusicKeyboard.h"
#include "widgets/WindowPlacement.h"

namespace talmeru::test {
namespace {

QAction* FindAction(const QList<QAction*>& actions, const QString& text) {
    for (QAction* a : actions)
        if (a->text() == text) return a;
    return nullptr;
}

class LayerEditorTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        frame = std::make_unique<CMainFrame>(*app);
        ASSERT_TRUE(app->Start(*frame, {}));
        ZedoDatabase& bank = app->Bank();
        Keymap* k = bank.CreateKeymap("Mine", -1);
        k->entries = {{127, 0, 0}};
        Keymap* other = bank.CreateKeymap("Other", -1);
        other->entries = {{127, 0, 1}};
        Program* p = bank.CreateProgram("Layers", -1);
        p->AddLayer(*k, false);
        p->AddLayer(*other, false);
        p->AddLayer(*k, false);
        number = p->Number();
        app->SelectProgram(p, true);
        prompter.Clear();
    }
    void TearDown() override {
        frame.reset();
        AppTest::TearDown();
    }
    Program* Prog() const { return app->Bank().GetProgram(number); }
    LayerEditor* Open() {
        QAction* button = FindAction(frame->MainToolBar()->actions(), "Program Editor");
        EXPECT_NE(button, nullptr);
        if (button) button->trigger();
        return frame->OpenedLayerEditor();
    }
    QMenu* EditMenu() { return MenuOf(*frame, "&Edit"); }

    std::unique_ptr<CMainFrame> frame;
    int number = -1;
};

TEST_F(LayerEditorTest, OpensOnTheCurrentProgramAndFollowsTheSelection) {
    EXPECT_EQ(frame->OpenedLayerEditor(), nullptr);
    LayerEditor* editor = Open();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->ProgramNumber(), number);
    EXPECT_EQ(editor->Pages()->count(), 4);
    EXPECT_EQ(editor->Pages()->tabText(0), "Keymap");
    EXPECT_EQ(editor->Pages()->tabText(1), "Amp");
    EXPECT_EQ(editor->Page(LayerPage::kFilter)->RowCount(), 3);
    EXPECT_EQ(editor->Keymaps()->ProgramNumber(), number);
    EXPECT_EQ(editor->Keymaps()->RowCount(), 3);
    EXPECT_EQ(frame->findChild<LayerEditorFrame*>()->objectName(), "LayerEditorFrame");

    // Another program selected anywhere is shown; opening again keeps the one window.
    Program* gm = app->Bank().GetProgram(0);
    ASSERT_NE(gm, nullptr);
    app->SelectProgram(gm, true);
    EXPECT_EQ(editor->ProgramNumber(), 0);
    EXPECT_EQ(editor->Page(LayerPage::kAmp)->RowCount(), gm->LayerCount());
    EXPECT_EQ(editor->Keymaps()->RowCount(), gm->LayerCount());
    EXPECT_EQ(editor->Keymaps()->ProgramNumber(), 0);
    EXPECT_EQ(Open(), editor);
    // A deleted program leaves nothing behind to edit.
    app->SelectProgram(Prog(), true);
    app->DeleteCurrentProgram();
    EXPECT_NE(editor->ProgramNumber(), number);
}

TEST_F(LayerEditorTest, RangeSelectorsTakeTheirStepsAndDefaults) {
    struct Expected {
        LayerPage page;
        FieldId id;
        int line, page_, defaultValue;
    };
    const Expected table[] = {
        {LayerPage::kAmp, FieldId::kGain, 1, 8, 0},
        {LayerPage::kAmp, FieldId::kPan, 1, 1, 16},
        {LayerPage::kAmp, FieldId::kVelocityRange, 1, 1, 0},
        {LayerPage::kAmp, FieldId::kAmpVelocityTracking, 1, 8, 32},
        {LayerPage::kAmp, FieldId::kAmpKeyTracking, 1, 8, 0},
        {LayerPage::kPitch, FieldId::kFineTune, 1, 8, 0},
        {LayerPage::kFilter, FieldId::kFilter1Frequency, 64, 1024, 16129},
        {LayerPage::kFilter, FieldId::kFilter2Frequency, 64, 1024, 16129},
        {LayerPage::kFilter, FieldId::kFilter1VelocityTrack, 1, 1, 0},
        {LayerPage::kFilter, FieldId::kFilter2KeyTrack, 1, 1, 0},
    };
    LayerEditor* editor = Open();
    for (const Expected& e : table) {
        auto* range = qobject_cast<CRangeSelector*>(editor->Page(e.page)->Control(0, e.id));
        ASSERT_NE(range, nullptr) << FieldOf(e.id).title;
        EXPECT_EQ(range->Track().LineStep(), e.line) << FieldOf(e.id).title;
        EXPECT_EQ(range->Track().PageStep(), e.page_) << FieldOf(e.id).title;
        EXPECT_EQ(range->Track().Default(), e.defaultValue) << FieldOf(e.id).title;
    }
}

TEST(FieldMeaningTest, StoredValuesReadInTheVoiceEnginesUnits) {
    const struct {
        FieldId id;
        int value;
        const char* text;
    } cases[] = {
        {FieldId::kDelay, 0, "0.0 ms"},
        {FieldId::kDelay, 100, "60.0 ms"},
        {FieldId::kDelay, 32767, "19660.2 ms"},
        {FieldId::kFineTune, 127, "+100.0 cents"},
        {FieldId::kFineTune, -127, "-100.0 cents"},
        {FieldId::kFineTune, 0, "+0.0 cents"},
        {FieldId::kFilter1Frequency, 69 * 256, "440 Hz"},
        {FieldId::kFilter2Frequency, 0x7F00, "12.54 kHz"},
        {FieldId::kFilter1Frequency, 81 * 256, "880 Hz"},
        {FieldId::kAmpVelocityTracking, 64, "vel 1: -84.2 dB"},
        {FieldId::kAmpVelocityTracking, -32, "vel 1: +42.1 dB"},
        {FieldId::kAmpKeyTracking, 48, "+9.00 dB/oct"},
        {FieldId::kFilter1VelocityTrack, 127, "vel 127: +48.0 st"},
        {FieldId::kFilter2KeyTrack, 64, "+1.00 st/key"},
        {FieldId::kFilter1KeyTrack, -32, "-0.50 st/key"},
        {FieldId::kHeadroom2, 2, "6 dB"},
        {FieldId::kPan, 0, "L 100%"},
        {FieldId::kPan, 15, "centre"},
        {FieldId::kPan, 23, "R 50%"},
        {FieldId::kPan, 31, "R 100%"},
        {FieldId::kGain, -10, ""},
        {FieldId::kCoarseTune, 3, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldMeaning(c.id, c.value), c.text) << c.value;
}

TEST_F(LayerEditorTest, TheMeaningUnderAValueFollowsItsEdits) {
    LayerEditor* editor = Open();
    CLayerPage* filter = editor->Page(LayerPage::kFilter);
    auto* type = qobject_cast<QComboBox*>(filter->Control(0, FieldId::kFilter1Type));
    type->setCurrentIndex(3);
    emit type->activated(3);
    auto* frequency = qobject_cast<CRangeSelector*>(filter->Control(0, FieldId::kFilter1Frequency));
    ASSERT_NE(frequency, nullptr);
    auto* meaning = frequency->parentWidget()->findChild<QLabel*>("meaning");
    ASSERT_NE(meaning, nullptr);
    // A drag reports each step; the meaning follows it, not only the release.
    emit frequency->notify(kRangeFirstChanged, 69 * 256);
    EXPECT_EQ(meaning->text(), "440 Hz");
    emit frequency->notify(kRangeFirstChanged, 81 * 256);
    EXPECT_EQ(meaning->text(), "880 Hz");
    // Fields that say their unit in the title keep it alone.
    CLayerPage* amp = editor->Page(LayerPage::kAmp);
    EXPECT_EQ(amp->Control(0, FieldId::kGain)->parentWidget(), amp);
    auto* delay =
        qobject_cast<QSpinBox*>(editor->Page(LayerPage::kPitch)->Control(0, FieldId::kDelay));
    ASSERT_NE(delay, nullptr);
    delay->setValue(10);
    EXPECT_EQ(delay->parentWidget()->findChild<QLabel*>("meaning")->text(), "6.0 ms");
}

TEST_F(LayerEditorTest, RowsWriteTheirLayersAndRecordTheProgram) {
    LayerEditor* editor = Open();
    CLayerPage* amp = editor->Page(LayerPage::kAmp);
    auto* gain = qobject_cast<CRangeSelector*>(amp->Control(1, FieldId::kGain));
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->First(), -24);
    emit gain->notify(kRangeFirstChanged, -10);
    EXPECT_EQ(Prog()->GetLayer(1)->Amp().Gain(), -10);
    EXPECT_EQ(app->Editing().Pending(), std::vector<BankObject*>{Prog()});

    auto* velocity = qobject_cast<CRangeSelector*>(amp->Control(2, FieldId::kVelocityRange));
    emit velocity->notify(kRangeSecondChanged, 90);
    EXPECT_EQ(Prog()->GetLayer(2)->velocityHigh, 90);
    auto* natural = qobject_cast<QCheckBox*>(amp->Control(0, FieldId::kNaturalEnvelope));
    EXPECT_TRUE(natural->isChecked());
    natural->click();
    EXPECT_FALSE(Prog()->GetLayer(0)->NaturalEnvelope());

    // A Null filter has no frequency until a type is chosen.
    CLayerPage* filter = editor->Page(LayerPage::kFilter);
    EXPECT_FALSE(filter->Control(0, FieldId::kFilter1Frequency)->isEnabled());
    auto* type = qobject_cast<QComboBox*>(filter->Control(0, FieldId::kFilter1Type));
    type->setCurrentIndex(3);
    emit type->activated(3);
    EXPECT_EQ(Prog()->GetLayer(0)->Filter1().FilterType(), 3);
    EXPECT_TRUE(filter->Control(0, FieldId::kFilter1Frequency)->isEnabled());

    // Headrooms show three times their value.
    auto* headroom =
        qobject_cast<CHoldSpin*>(editor->Page(LayerPage::kPitch)->Control(0, FieldId::kHeadroom1));
    headroom->setValue(2);
    EXPECT_EQ(headroom->text(), "6");
    EXPECT_EQ(Prog()->GetLayer(0)->Amp().Headroom1(), 2);
    QString typed = "9";
    int at = 1;
    EXPECT_EQ(headroom->validate(typed, at), QValidator::Acceptable);
    typed = "12";
    EXPECT_EQ(headroom->validate(typed, at), QValidator::Invalid);
    EXPECT_EQ(headroom->valueFromText("9"), 3);
}

TEST_F(LayerEditorTest, StereoEntriesJoinAndSplitTheSelectedLayers) {
    LayerEditor* editor = Open();
    Prog()->GetLayer(0)->SetPan(0);
    Prog()->GetLayer(1)->SetPan(31);
    QMenu* edit = EditMenu();
    ASSERT_NE(edit, nullptr);
    QAction* stereo = FindAction(edit->actions(), "Stereo Layer Operations");
    ASSERT_NE(stereo, nullptr);
    QAction* split = FindAction(stereo->menu()->actions(), "Split");
    QAction* join = FindAction(stereo->menu()->actions(), "Join");
    ASSERT_TRUE(split && join);
    emit edit->aboutToShow();
    EXPECT_FALSE(join->isEnabled());

    editor->Page(LayerPage::kAmp)->SelectButton(0)->click();
    editor->Page(LayerPage::kPitch)->SelectButton(1)->click();
    EXPECT_EQ(editor->Selection(), (std::vector<int>{0, 1}));
    EXPECT_TRUE(editor->Page(LayerPage::kFilter)->SelectButton(1)->isChecked());
    emit edit->aboutToShow();
    EXPECT_TRUE(join->isEnabled());
    EXPECT_FALSE(split->isEnabled());
    join->trigger();
    EXPECT_EQ(Prog()->GetLayer(0)->StereoState(), kStereoLeft);
    EXPECT_EQ(Prog()->GetLayer(1)->StereoState(), kStereoRight);
    EXPECT_EQ(editor->Page(LayerPage::kAmp)->SelectButton(0)->text(), "0 L");
    // The right half takes only its own pan.
    EXPECT_FALSE(editor->Page(LayerPage::kAmp)->Control(1, FieldId::kGain)->isEnabled());
    auto* gain =
        qobject_cast<CRangeSelector*>(editor->Page(LayerPage::kAmp)->Control(0, FieldId::kGain));
    emit gain->notify(kRangeFirstChanged, 3);
    EXPECT_EQ(Prog()->GetLayer(1)->Amp().Gain(), 3);
    EXPECT_EQ(
        qobject_cast<CRangeSelector*>(editor->Page(LayerPage::kAmp)->Control(1, FieldId::kGain))
            ->First(),
        3);

    emit edit->aboutToShow();
    EXPECT_TRUE(split->isEnabled());
    split->trigger();
    EXPECT_EQ(Prog()->GetLayer(0)->StereoState(), kMono);

    // Incompatible layers are refused with the reason.
    editor->SetSelection({0, 2});
    editor->JoinStereo();
    EXPECT_TRUE(prompter.Saw(kJoinRefused));
}

TEST_F(LayerEditorTest, LayerCommandsChangeTheProgramAndTheRows) {
    LayerEditor* editor = Open();
    editor->SetSelection({1});
    editor->CommandButton(1)->click();  // Duplicate
    EXPECT_EQ(Prog()->LayerCount(), 4);
    EXPECT_EQ(editor->Page(LayerPage::kAmp)->RowCount(), 4);
    editor->SetSelection({0, 3});
    editor->CommandButton(0)->click();  // Delete
    EXPECT_EQ(Prog()->LayerCount(), 2);
    EXPECT_EQ(editor->Page(LayerPage::kPitch)->RowCount(), 2);
    EXPECT_TRUE(editor->Selection().empty());
    EXPECT_FALSE(editor->CommandButton(0)->isEnabled());
    // Edits went to the synthesizer with the refresh.
    EXPECT_TRUE(app->Editing().Pending().empty());
    emu->Flush();
    EXPECT_TRUE(emu->InRam(3, number));
}

TEST_F(LayerEditorTest, NotesShowOnTheEditorsKeyboardAndChannelDisplay) {
    LayerEditor* editor = Open();
    app->SetAuditionChannel(4);
    app->KeyEvent(60, true);
    EXPECT_TRUE(editor->Keyboard()->Layout().Sounding(60));
    EXPECT_EQ(editor->ChannelDisplay()->Counts().Count(4), 1);
    EXPECT_EQ(editor->ChannelDisplay()->Counts().Current(), 4);
    app->KeyEvent(60, false);
    EXPECT_FALSE(editor->Keyboard()->Layout().Sounding(60));
    EXPECT_EQ(editor->ChannelDisplay()->Counts().Count(4), 0);
}

TEST_F(LayerEditorTest, ModsOpensTheModulatorsOnTheRowsBlock) {
    LayerEditor* editor = Open();
    Prog()->GetLayer(1)->Amp().AddEntry({0x81, 1, 2, 127});
    editor->Page(LayerPage::kAmp)->ModsButton(1)->click();
    CModulatorEditor* mods = editor->Modulators();
    ASSERT_NE(mods, nullptr);
    EXPECT_TRUE(mods->isVisible());
    EXPECT_EQ(mods->Editing().LayerIndex(), 1);
    EXPECT_EQ(mods->CurrentPath(), std::vector<int>{4});
    EXPECT_TRUE(mods->Tree()->currentItem()->isExpanded());
    EXPECT_EQ(mods->Tree()->currentItem()->child(0)->text(0), " = Mod Wheel");
    EXPECT_EQ(mods->LayerList()->topLevelItemCount(), 3);

    // The popup's first entry adds to the block; the new entry reaches the program.
    auto menu = mods->MakeSourceMenu();
    ASSERT_FALSE(menu->actions().isEmpty());
    EXPECT_EQ(menu->actions()[0]->text(), "Add");
    QAction* fixed = FindAction(menu->actions()[0]->menu()->actions(), "Fixed Value\t-1.0 to 1.0");
    ASSERT_NE(fixed, nullptr);
    fixed->trigger();
    EXPECT_EQ(Prog()->GetLayer(1)->Amp().Entries().size(), 2u);
    EXPECT_EQ(app->Editing().Pending(), std::vector<BankObject*>{Prog()});

    // A new layer ENV from its list, then its segment counts.
    mods->RunListCommand(ModulatorKind::kEnv, kCmdNewListLayer);
    EXPECT_EQ(mods->KindTabs(ModulatorKind::kEnv)->count(), 1);
    mods->AttackSpin()->setValue(3);
    auto* env = dynamic_cast<EnvModulator*>(Prog()->GetLayer(1)->FindModulator(0));
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(env->AttackCount(), 3);
    mods->LinearBox()->click();
    EXPECT_TRUE(env->Linear());

    // Depths are edited on their items.
    mods->SelectPath({4, 0, 0});
    ASSERT_TRUE(mods->DepthSpin()->isEnabled());
    mods->DepthSpin()->setValue(-9);
    EXPECT_EQ(Prog()->GetLayer(1)->Amp().Entries()[0].baseDepth, -9);
    EXPECT_EQ(mods->Tree()->currentItem()->text(0), "Base Depth = -9");

    // Another program empties the tree.
    app->SelectProgram(app->Bank().GetProgram(0), true);
    EXPECT_EQ(mods->Editing().LayerIndex(), -1);
    EXPECT_EQ(mods->Tree()->topLevelItem(0)->text(0), "<-- Double click a layer number");
}

TEST_F(LayerEditorTest, TheOpenEditorAndItsPlacementAreKeptAtExit) {
    LayerEditorFrame* opened = frame->OpenLayerEditor();
    opened->setGeometry(10, 20, 400, 300);
    frame->close();
    Profile& s = app->Settings();
    EXPECT_TRUE(s.GetBool("State", "LayerEditorOpen", false));
    const auto placement = ParsePlacement(s.GetString("State", "LayerEditorFrame-WindowPlacement"));
    ASSERT_TRUE(placement.has_value());
    EXPECT_EQ(placement->left, 10);
    EXPECT_EQ(placement->bottom, 320);
    EXPECT_EQ(FormatPlacement(*placement), "1  -1 -1  -1 -1  10 20 410 320");

    // The next start opens it again where it was.
    frame = std::make_unique<CMainFrame>(*app);
    frame->ReopenEditors();
    ASSERT_NE(frame->OpenedLayerEditor(), nullptr);
    EXPECT_EQ(frame->findChild<LayerEditorFrame*>()->geometry().topLeft(), QPoint(10, 20));
    EXPECT_FALSE(ParsePlacement("1 2 3").has_value());
}

}  // namespace
}  // namespace talmeru::test
