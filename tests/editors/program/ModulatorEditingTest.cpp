// The modulator editor's logic: the layer list, the tree's texts and images, the source popup
// with its greyed entries, and what its commands and the list menus change in the program.
#include <gtest/gtest.h>

#include "editors/program/ModulatorEditing.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "support/RecordingEdits.h"

namespace talmeru::test {
namespace {

const MenuItem* FindEntry(const std::vector<MenuItem>& items, const std::string& text) {
    for (const MenuItem& m : items) {
        if (m.text == text) return &m;
        if (const MenuItem* inner = FindEntry(m.items, text)) return inner;
    }
    return nullptr;
}

class ModulatorEditingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Keymap* piano = bank.CreateKeymap("Piano", 4);
        piano->entries = {{127, 0, 0}};
        Keymap* left = bank.CreateKeymap("Strings L", 6);
        Keymap* right = bank.CreateKeymap("Strings R", 7);
        PairStereo(*left, *right);
        program = bank.CreateProgram("Test", 9);
        program->AddLayer(*piano, false);    // 0
        program->AddLayer(*left, true);      // 1, 2
        program->GetLayer(0)->keymap = 300;  // no such keymap
        program->GetLayer(1)->flags = Layer::kFlagDirection;
        editing.SetProgram(9);
    }

    std::vector<std::string> TopTexts() const {
        std::vector<std::string> out;
        for (const ModTreeItem& item : editing.Tree())
            out.push_back(item.text);
        return out;
    }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    ZedoDatabase bank;
    Program* program = nullptr;
    RecordingEdits edits{bank};
    std::vector<BankObject*>& recorded = edits.changed;
    ModulatorEditing editing{edits};
};

TEST_F(ModulatorEditingTest, LayerListLeavesOutRightHalvesAndFollowsTheProgram) {
    const auto rows = editing.LayerRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, "0");
    EXPECT_EQ(rows[0].direction, "-->");
    EXPECT_EQ(rows[0].keymap, "invalid");
    EXPECT_EQ(rows[1].number, "1");
    EXPECT_EQ(rows[1].direction, "<--");
    EXPECT_EQ(rows[1].keymap, "Strings L");
    EXPECT_FALSE(rows[1].current);

    EXPECT_EQ(TopTexts(), std::vector<std::string>{"<-- Double click a layer number"});
    EXPECT_FALSE(editing.SetLayer(2));
    EXPECT_TRUE(editing.SetLayer(1));
    EXPECT_TRUE(editing.LayerRows()[1].current);
    EXPECT_EQ(editing.Tree().size(), 6u);

    // The same program keeps the layer; another one clears it.
    editing.SetProgram(9);
    EXPECT_EQ(editing.LayerIndex(), 1);
    Program* other = bank.CreateProgram("Other", 10);
    other->AddLayer(*bank.GetKeymap(4), false);
    editing.SetProgram(10);
    EXPECT_EQ(editing.LayerIndex(), -1);
    EXPECT_EQ(editing.Tree().size(), 1u);
    // A layer that went away is forgotten.
    editing.SetLayer(0);
    other->DeleteLayer(0);
    editing.SetProgram(10);
    EXPECT_EQ(editing.CurrentLayer(), nullptr);
}

TEST_F(ModulatorEditingTest, TreeNamesBlocksSourcesAndModulatorInputs) {
    Layer& layer = *program->GetLayer(0);
    layer.Filter2().SetFilterType(3);
    auto fun = std::make_unique<FunModulator>();
    fun->SetOperator(9);  // Diode: Input, Threshold
    const int funId = program->AddModulator(std::move(fun));
    const int envId = layer.AddModulator(MakeModulator(ModulatorKind::kEnv));
    *program->FindModulator(funId)->Input(0) = LayerModulatorSource(envId);  // never resolves
    layer.Pitch().AddEntry({ProgramModulatorSource(funId), 5, -3, 0x81});
    layer.Amp().AddEntry({LayerModulatorSource(envId), 20, 20, 127});
    layer.Amp().AddEntry({0xF5, 0, 0, 0});
    *layer.Amp().FixedControl() = 0xD1;
    editing.SetLayer(0);

    EXPECT_EQ(TopTexts(), (std::vector<std::string>{
                              "Pitch Modulators", "Detune Ctrl = 64 or  0.00",
                              "Filter #1 (Null) Modulators", "Filter #2 (2P LP) Modulators",
                              "Amp Modulators", "Cross-Fade Ctrl = Attack Velocity"}));
    const auto& tree = editing.Tree();
    EXPECT_EQ(tree[0].role, TreeRole::kBlock);
    EXPECT_EQ(tree[1].image, kImageConstant);
    EXPECT_EQ(tree[5].image, kImageSource);

    const ModTreeItem& entry = tree[0].children.at(0);
    EXPECT_EQ(entry.text, " = P0 FUN (Diode)");
    EXPECT_EQ(entry.image, kImageFun);
    EXPECT_TRUE(entry.entryItem);
    ASSERT_EQ(entry.children.size(), 5u);
    EXPECT_EQ(entry.children[0].text, "Base Depth = 5");
    EXPECT_EQ(entry.children[0].image, kImageBaseDepth);
    EXPECT_EQ(entry.children[1].text, "Adjusted Depth = -3");
    EXPECT_EQ(entry.children[1].image, kImageAdjustedDepth);
    EXPECT_EQ(entry.children[2].text, "Depth Adjust = Mod Wheel");
    // A program modulator's input never reads a layer modulator.
    EXPECT_EQ(entry.children[3].text, "Input = Invalid ctrl (0xF0)");
    EXPECT_EQ(entry.children[3].image, kImageInvalid);
    EXPECT_EQ(entry.children[4].text, "Threshold = 127 or  1.00");

    const ModTreeItem& env = tree[4].children.at(0);
    EXPECT_EQ(env.text, " = L0 ENV");
    EXPECT_EQ(env.image, kImageEnv);
    ASSERT_EQ(env.children.size(), 3u + 4u);
    EXPECT_EQ(env.children[3].text, "Trigger = 127 or  1.00");
    EXPECT_EQ(tree[4].children.at(1).text, " = Invalid ctrl (0xF5)");
    EXPECT_EQ(editing.ItemAt(ModulatorEditing::BlockPath(3)), &tree[4]);
    EXPECT_EQ(editing.ItemAt({4, 0, 3}), &env.children[3]);
    EXPECT_EQ(editing.ItemAt({4, 9}), nullptr);
}

TEST_F(ModulatorEditingTest, ACycleOfModulatorsStillMakesAFiniteTree) {
    Layer& layer = *program->GetLayer(0);
    const int a = layer.AddModulator(MakeModulator(ModulatorKind::kFun));
    const int b = layer.AddModulator(MakeModulator(ModulatorKind::kFun));
    *layer.FindModulator(a)->Input(0) = LayerModulatorSource(b);
    *layer.FindModulator(b)->Input(0) = LayerModulatorSource(a);
    layer.Pitch().AddEntry({LayerModulatorSource(a), 0, 0, 64});
    editing.SetLayer(0);
    const ModTreeItem& entry = editing.Tree()[0].children.at(0);
    const ModTreeItem& second = entry.children.at(3);
    EXPECT_EQ(second.text, "A = L1 FUN (A+B+C)");
    EXPECT_EQ(second.children.at(0).text, "A = L0 FUN (A+B+C)");
    EXPECT_TRUE(second.children.at(0).children.empty());
}

TEST_F(ModulatorEditingTest, AddReplaceAndRemoveRunTheChangeSteps) {
    editing.SetLayer(1);
    Layer& left = *program->GetLayer(1);
    Layer& right = *program->GetLayer(2);
    // Add on the Amp block: the control chosen, depths of 20 adjusted by the constant 1.0.
    ASSERT_EQ(editing.Command(kCmdUseSource + 0x81, editing.ItemAt({4})), 0);
    ASSERT_EQ(left.Amp().Entries().size(), 1u);
    EXPECT_EQ(left.Amp().Entries()[0], (ModulationEntry{0x81, 20, 20, 127}));
    EXPECT_EQ(right.Amp().Entries(), left.Amp().Entries());
    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(recorded.back(), program);
    EXPECT_EQ(editing.Tree()[4].children.at(0).text, " = Mod Wheel");

    // Replacing the entry's control on a left half changes the right half's entry too.
    ASSERT_EQ(editing.Command(kCmdNewLayerLfo, editing.ItemAt({4, 0})), 0);
    ASSERT_EQ(left.Modulators().size(), 1u);
    EXPECT_EQ(left.Amp().Entries()[0].controlSource, 0xF0);
    EXPECT_EQ(right.Amp().Entries()[0].controlSource, 0xF0);
    EXPECT_EQ(right.Modulators().size(), 1u);
    EXPECT_EQ(right.Pan(), 31);
    // The new LFO's input is a source of its own.
    ASSERT_EQ(editing.Command(kCmdNewProgramFun + 16, editing.ItemAt({4, 0, 3})), 0);
    EXPECT_EQ(left.Modulators()[0]->InputSource(0), 0xC0);
    EXPECT_EQ(editing.Selected(ModulatorKind::kFun), (ModRef{kProgramModulator, 0}));
    EXPECT_EQ(editing.Tree()[4].children.at(0).children.at(3).text,
              "Rate Adjust = P0 FUN (Cosine)");

    // Depths, the fixed controls and removal.
    EXPECT_EQ(editing.SetDepth(*editing.ItemAt({4, 0, 0}), -7), 0);
    EXPECT_EQ(right.Amp().Entries()[0].baseDepth, -7);
    EXPECT_NE(editing.SetDepth(*editing.ItemAt({4, 0, 2}), 3), 0);
    ASSERT_EQ(editing.Command(kCmdUseSource + 0xB1, editing.ItemAt({1})), 0);
    EXPECT_EQ(left.Pitch().FixedControlSource(), 0xB1);
    EXPECT_NE(editing.Command(kCmdRemoveEntry, editing.ItemAt({4, 0, 0})), 0);
    ASSERT_EQ(editing.Command(kCmdRemoveEntry, editing.ItemAt({4, 0})), 0);
    EXPECT_TRUE(right.Amp().Entries().empty());
}

TEST_F(ModulatorEditingTest, APopupOffersOnlyWhatFitsTheItem) {
    Layer& layer = *program->GetLayer(0);
    const int progFun = program->AddModulator(MakeModulator(ModulatorKind::kFun));
    const int progLfo = program->AddModulator(MakeModulator(ModulatorKind::kLfo));
    const int layerFun = layer.AddModulator(MakeModulator(ModulatorKind::kFun));
    *program->FindModulator(progFun)->Input(1) = ProgramModulatorSource(progLfo);
    layer.Pitch().AddEntry({ProgramModulatorSource(progFun), 0, 0, 64});
    editing.SetLayer(0);

    // On a block: Add, and no Remove.
    auto menu = editing.SourceMenu(editing.ItemAt({0}));
    EXPECT_EQ(menu[0].text, "Add");
    EXPECT_TRUE(menu[0].enabled);
    EXPECT_FALSE(menu[1].enabled);
    EXPECT_EQ(FindEntry(menu, "Fixed Value")->command, kCmdUseSource + 127);
    EXPECT_EQ(FindEntry(menu, "Fixed Value")->detail, "-1.0 to 1.0");
    EXPECT_EQ(FindEntry(menu, "Midi Statistics")->items.size(), 6u);
    EXPECT_EQ(FindEntry(menu, Fmt("L%d A+B+C ", layerFun))->command,
              kCmdUseSource + 0xF0 + layerFun);
    EXPECT_EQ(FindEntry(menu, Fmt("P%d Sine", progLfo))->command, kCmdUseSource + 0xC0 + progLfo);
    EXPECT_FALSE(FindEntry(menu, "ENV")->enabled);
    EXPECT_EQ(FindEntry(menu, "New FUN (Program)")->items.size(), 22u);
    // A Null filter packs no entries.
    EXPECT_FALSE(editing.SourceMenu(editing.ItemAt({2}))[0].enabled);

    // On a program modulator's input: layer modulators and new layer ones are greyed, and so
    // are the holder itself and what would close a loop.
    const ModTreeItem* input = editing.ItemAt({0, 0, 3});
    ASSERT_NE(input, nullptr);
    menu = editing.SourceMenu(input);
    EXPECT_EQ(menu[0].text, "Replace");
    EXPECT_FALSE(menu[1].enabled);
    EXPECT_FALSE(FindEntry(menu, Fmt("L%d A+B+C ", layerFun))->enabled);
    EXPECT_FALSE(FindEntry(menu, "New LFO (Layer)")->enabled);
    EXPECT_FALSE(FindEntry(menu, "New FUN (Layer)")->enabled);
    EXPECT_TRUE(FindEntry(menu, "New FUN (Program)")->enabled);
    EXPECT_FALSE(FindEntry(menu, Fmt("P%d A+B+C", progFun))->enabled);
    EXPECT_FALSE(FindEntry(menu, Fmt("P%d Sine", progLfo))->enabled);
    EXPECT_NE(editing.Command(kCmdNewLayerEnv, input), 0);
    EXPECT_EQ(layer.Modulators().size(), 1u);
    EXPECT_NE(editing.Command(kCmdUseSource + 0xF0 + layerFun, input), 0);
    EXPECT_EQ(program->FindModulator(progFun)->InputSource(0), 127);
    // An LFO that reads nothing may feed the FUN.
    auto lfoMenu = editing.SourceMenu(editing.ItemAt({0, 0, 4}));
    EXPECT_TRUE(FindEntry(lfoMenu, "Replace")->enabled);

    // A full block takes no 17th entry.
    for (int i = 1; i < kMaxEntries; ++i)
        layer.Pitch().AddEntry();
    editing.RebuildTree();
    EXPECT_FALSE(editing.SourceMenu(editing.ItemAt({0}))[0].enabled);
    EXPECT_NE(editing.Command(kCmdUseSource + 127, editing.ItemAt({0})), 0);
    EXPECT_EQ(layer.Pitch().Entries().size(), 16u);
}

TEST_F(ModulatorEditingTest, ListMenusCreateFindAndDeleteModulators) {
    editing.SetLayer(0);
    Layer& layer = *program->GetLayer(0);
    auto menu = editing.ListMenu(ModulatorKind::kEnv);
    EXPECT_EQ(menu[0].text, "Find All Instances");
    EXPECT_FALSE(menu[0].enabled);
    EXPECT_EQ(menu[1].text, "Delete");
    EXPECT_EQ(menu[2].text, "New ENV (Program)");
    EXPECT_EQ(menu[3].text, "New ENV (Layer)");

    ASSERT_EQ(editing.ListCommand(ModulatorKind::kEnv, kCmdNewListLayer), 0);
    ASSERT_EQ(editing.ListCommand(ModulatorKind::kLfo, kCmdNewListProgram), 0);
    EXPECT_EQ(editing.ModulatorsOf(ModulatorKind::kEnv),
              (std::vector<ModRef>{{kLayerModulator, 0}}));
    EXPECT_EQ(editing.Selected(ModulatorKind::kLfo), (ModRef{kProgramModulator, 0}));
    EXPECT_EQ(editing.ListMenu(ModulatorKind::kLfo)[1].text, "Delete P0 LFO (Sine)");

    // Used twice: both items are found.
    ASSERT_EQ(editing.Command(kCmdUseSource + 0xF0, editing.ItemAt({0})), 0);
    ASSERT_EQ(editing.Command(kCmdUseSource + 0xF0, editing.ItemAt({4})), 0);
    std::vector<std::vector<int>> found;
    ASSERT_EQ(editing.ListCommand(ModulatorKind::kEnv, kCmdFindInstances, &found), 0);
    EXPECT_EQ(found, (std::vector<std::vector<int>>{{0, 0}, {4, 0}}));

    // Deleting leaves the sources naming nothing.
    ASSERT_EQ(editing.ListCommand(ModulatorKind::kEnv, kCmdDeleteModulator), 0);
    EXPECT_TRUE(layer.Modulators().empty());
    EXPECT_EQ(editing.Tree()[0].children.at(0).text, " = Invalid ctrl (0xF0)");
    EXPECT_FALSE(editing.Selected(ModulatorKind::kEnv).Valid());

    // Sixteen modulators fill a layer.
    for (int i = 0; i < kMaxModulators; ++i)
        editing.ListCommand(ModulatorKind::kFun, kCmdNewListLayer);
    EXPECT_EQ(layer.Modulators().size(), 16u);
    EXPECT_FALSE(editing.ListMenu(ModulatorKind::kFun)[3].enabled);
    EXPECT_NE(editing.ListCommand(ModulatorKind::kFun, kCmdNewListLayer), 0);
    EXPECT_FALSE(FindEntry(editing.SourceMenu(editing.ItemAt({0})), "New ENV (Layer)")->enabled);
}

TEST(LfoWaveTest, ShapesStartAtTheirPhase) {
    EXPECT_NEAR(LfoWaveValue(1, 0, 0.25), 1.0, 1e-9);
    EXPECT_NEAR(LfoWaveValue(1, 4, 0.0), 1.0, 1e-9);  // 90 degrees on
    EXPECT_EQ(LfoWaveValue(2, 0, 0.6), -1.0);
    EXPECT_NEAR(LfoWaveValue(3, 0, 1.75), 0.5, 1e-9);
    EXPECT_NEAR(LfoWaveValue(4, 0, 0.5), 0.0, 1e-9);
    EXPECT_NEAR(LfoWaveValue(4, 8, 0.25), -1.0, 1e-9);
    EXPECT_EQ(LfoWaveValue(9, 0, 0.3), 0.0);
}

}  // namespace
}  // namespace talmeru::test
