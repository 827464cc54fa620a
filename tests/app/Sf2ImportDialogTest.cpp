// The SoundFont import dialog: the remembered mode, the choice its ticks make, the budget
// meter, and the dialog itself over a built file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include "app/AppFixture.h"
#include "app/Sf2ImportDialog.h"
#include "platform/FileUtil.h"
#include "platform/Profile.h"
#include "support/Sf2Builder.h"
#include "support/WavBuilder.h"

namespace talmeru::test {
namespace {

using namespace sf2gen;

Sf2CatalogEntry Entry(const std::string& name, int bank = -1, int preset = -1) {
    return {name, bank, preset, 1, 1, 4096};
}

Sf2Catalog ThreePresetsTwoInstruments() {
    return {{Entry("Grand", 0, 0), Entry("Kit", 128, 0), Entry("Strings", 0, 48)},
            {Entry("Piano"), Entry("Drums")}};
}

// Two looped samples, an instrument on each, and three presets over them.
std::string WriteSoundFont(const std::filesystem::path& dir) {
    Sf2Plan plan;
    plan.sampleData = Pcm16({Ramp(600, 0, 7)});
    plan.samples = {{"S0", 0, 280, 40, 240, 44100, 60, 0}, {"S1", 300, 580, 340, 540, 44100, 60, 0}};
    auto zone = [](int sample) {
        return Sf2Zone{{RangeGen(kKeyRange, 0, 127), Gen(kSampleModes, 1), Gen(kSampleId, sample)}};
    };
    plan.instruments = {{"Piano", {zone(0)}}, {"Drums", {zone(1)}}};
    auto preset = [](const char* name, int bank, int number, int instrument) {
        return Sf2Preset{name, number, bank, {Sf2Zone{{Gen(kInstrumentGen, instrument)}}}};
    };
    plan.presetList = {preset("Grand", 0, 0, 0), preset("Kit", 128, 0, 1),
                       preset("Piano 2", 0, 1, 0)};
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "font.sf2").string();
    EXPECT_TRUE(WriteWholeFile(path, plan.Build()));
    return path;
}

TEST(Sf2ImportChoiceTest, TheModeIsRememberedAndPresetsComeFirst) {
    const struct {
        const char* ini;
        Sf2Programs mode;
    } cases[] = {{"", Sf2Programs::kPresets},
                 {"[Options]\nSf2Programs=instruments\n", Sf2Programs::kInstruments},
                 {"[options]\nsf2programs=presets\n", Sf2Programs::kPresets},
                 {"[Options]\nSf2Programs=junk\n", Sf2Programs::kPresets}};
    for (const auto& c : cases) {
        Profile p;
        p.LoadFromText(c.ini);
        EXPECT_EQ(Sf2ImportChoice::StoredMode(p), c.mode) << c.ini;
    }
    Profile p;
    Sf2ImportChoice::StoreMode(p, Sf2Programs::kInstruments);
    EXPECT_EQ(p.GetString("Options", "Sf2Programs"), "instruments");
    EXPECT_EQ(Sf2ImportChoice::StoredMode(p), Sf2Programs::kInstruments);
}

TEST(Sf2ImportChoiceTest, TheChoiceFollowsTheTicksOfEachList) {
    Sf2ImportChoice c(ThreePresetsTwoInstruments(), Sf2Programs::kPresets,
                      Sf2ImportChoice::BudgetFor(1 << 20), nullptr);
    EXPECT_EQ(c.Entries().size(), 3u);
    EXPECT_TRUE(c.Choice().chosen.empty());  // all ticked: all converted
    EXPECT_EQ(c.Choice().budget.sampleBytes, 1 << 20);
    c.SetChecked(1, false);
    EXPECT_EQ(c.Choice().chosen, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(c.Choice().mode, Sf2Programs::kPresets);

    // Presets are listed by bank and number, instruments as the file holds them.
    EXPECT_EQ(c.Order(), (std::vector<size_t>{0, 2, 1}));
    c.SetMode(Sf2Programs::kInstruments);
    EXPECT_EQ(c.Order(), (std::vector<size_t>{0, 1}));
    EXPECT_EQ(c.Entries()[1].name, "Drums");
    EXPECT_TRUE(c.Choice().chosen.empty());
    c.SetAll(false);
    EXPECT_EQ(c.CheckedCount(), 0);
    EXPECT_EQ(c.Choice().chosen, (std::vector<bool>{false, false}));
    // The presets' ticks were kept while the instruments were shown.
    c.SetMode(Sf2Programs::kPresets);
    EXPECT_EQ(c.CheckedCount(), 2);
    EXPECT_FALSE(c.Checked(1));
}

TEST(Sf2ImportChoiceTest, TheMeterIsOverWhereANeedPassesItsLimit) {
    const struct {
        Sf2Needs needs;
        int64_t ram;
        std::vector<bool> over;
        std::vector<std::string> texts;
    } cases[] = {
        {{412, 300, 128, 2 << 20}, 16 << 20, {false, false, false, false},
         {"412 / 512", "300 / 512", "128 / 512", "2.0 MB / 16.0 MB"}},
        {{513, 512, 512, 17 << 20}, 16 << 20, {true, false, false, true},
         {"513 / 512", "512 / 512", "512 / 512", "17.0 MB / 16.0 MB"}},
        {{1, 1, 600, 40 << 20}, 0, {false, false, true, false},
         {"1 / 512", "1 / 512", "600 / 512", "40.0 MB (no limit known)"}},
    };
    for (const auto& c : cases) {
        Sf2ImportChoice choice(ThreePresetsTwoInstruments(), Sf2Programs::kPresets,
                               Sf2ImportChoice::BudgetFor(c.ram),
                               [&c](const Sf2Choice&) { return c.needs; });
        const auto& meter = choice.Meter();
        ASSERT_EQ(meter.size(), 4u);
        bool anyOver = false;
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(meter[i].over, c.over[i]) << meter[i].label;
            EXPECT_EQ(meter[i].text, c.texts[i]);
            anyOver = anyOver || c.over[i];
        }
        EXPECT_EQ(choice.OverBudget(), anyOver);
    }
}

TEST(Sf2ImportChoiceTest, TheFileIsEstimatedAgainOnlyWhenTheTicksChange) {
    int asked = 0;
    Sf2ImportChoice c(ThreePresetsTwoInstruments(), Sf2Programs::kPresets, {},
                      [&asked](const Sf2Choice& choice) {
                          ++asked;
                          return Sf2Needs{int(choice.chosen.size()), 0, 0, 0};
                      });
    c.Meter();
    c.OverBudget();
    EXPECT_EQ(asked, 1);
    c.SetChecked(0, false);
    EXPECT_EQ(c.Meter()[0].needed, 3);
    EXPECT_EQ(asked, 2);
    c.SetAll(false);  // nothing ticked needs nothing, without reading the file
    EXPECT_EQ(c.Meter()[0].needed, 0);
    EXPECT_EQ(asked, 2);
}

TEST(Sf2ImportChoiceTest, LabelsAndSizes) {
    EXPECT_EQ(Sf2ImportChoice::EntryLabel(Entry("Grand", 0, 4), Sf2Programs::kPresets),
              "000:004 Grand");
    EXPECT_EQ(Sf2ImportChoice::EntryLabel(Entry("Kit", 128, 25), Sf2Programs::kPresets),
              "128:025 Kit");
    EXPECT_EQ(Sf2ImportChoice::EntryLabel(Entry("Piano"), Sf2Programs::kInstruments), "Piano");
    const std::pair<int64_t, const char*> sizes[] = {
        {0, "0 KB"}, {1, "1 KB"}, {36 * 1024, "36 KB"}, {1048575, "1024 KB"}, {1468006, "1.4 MB"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(Sf2ImportChoice::SizeText(bytes), text) << bytes;
}

class Sf2ImportDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { path = WriteSoundFont(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "talmeru-sf2-dialog";
    std::string path;
};

TEST_F(Sf2ImportDialogTest, OpensOnThePresetsAndSwitchesToTheInstruments) {
    const std::optional<Sf2Catalog> catalog = ReadSf2Catalog(path);
    ASSERT_TRUE(catalog);
    Profile settings;
    Sf2ImportDialog dialog(path,
                           Sf2ImportChoice(*catalog, Sf2ImportChoice::StoredMode(settings),
                                           Sf2ImportChoice::BudgetFor(16 << 20),
                                           [this](const Sf2Choice& c) {
                                               return EstimateSf2Needs(path, c);
                                           }));
    EXPECT_EQ(dialog.windowTitle(), "SoundFont Import");
    EXPECT_TRUE(dialog.PresetsButton()->isChecked());
    QTreeWidget* list = dialog.List();
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(1)->text(0), "000:001 Piano 2");
    EXPECT_EQ(list->topLevelItem(2)->text(0), "128:000 Kit");
    EXPECT_EQ(list->topLevelItem(2)->checkState(0), Qt::Checked);
    EXPECT_EQ(dialog.MeterText(2)->text(), "3 / 512");  // a program per preset
    EXPECT_FALSE(dialog.OverText()->isVisibleTo(&dialog));

    dialog.InstrumentsButton()->click();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), "Instrument");
    EXPECT_EQ(list->topLevelItem(0)->text(0), "Piano");
    list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    dialog.UpdateMeter();
    EXPECT_EQ(dialog.MeterText(2)->text(), "1 / 512");
}

TEST_F(Sf2ImportDialogTest, OkGivesTheChoiceAndRemembersTheMode) {
    const std::optional<Sf2Catalog> catalog = ReadSf2Catalog(path);
    ASSERT_TRUE(catalog);
    Profile settings;
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<Sf2ImportDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->List()->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    const std::optional<Sf2Choice> choice =
        Sf2ImportDialog::Ask(path, *catalog, settings, 8 << 20, nullptr);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->mode, Sf2Programs::kPresets);
    // The third row listed is the file's second preset.
    EXPECT_EQ(choice->chosen, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(choice->budget.sampleBytes, 8 << 20);
    EXPECT_EQ(settings.GetString("Options", "Sf2Programs"), "presets");

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_FALSE(Sf2ImportDialog::Ask(path, *catalog, settings, 8 << 20, nullptr));
}

// A cancelled import fails the open quietly and keeps the bank that was open; at start-up the
// program goes on running.
TEST_F(StartedAppTest, ACancelledSoundFontOpenKeepsTheOpenBank) {
    const std::string font = WriteSoundFont(Dir());
    bool cancel = false;
    SetSf2Chooser([&](const std::string&, const Sf2Catalog&) {
        return cancel ? std::optional<Sf2Choice>() : std::optional<Sf2Choice>(Sf2Choice{});
    });
    ASSERT_TRUE(app->OpenDocumentFile(font));
    const std::string opened = app->Bank().Path();
    ASSERT_NE(app->Bank().GetProgram(0), nullptr);
    cancel = true;
    prompter.Clear();
    window.logsShown = 0;
    EXPECT_FALSE(app->OpenDocumentFile(font));
    EXPECT_FALSE(prompter.Saw("Could not read file properly."));
    EXPECT_EQ(window.logsShown, 0);
    EXPECT_EQ(app->Bank().Path(), opened);
    EXPECT_NE(app->Bank().GetProgram(0), nullptr);
    SetSf2Chooser(nullptr);
}

// A converted bank is in no file: it opens unsaved, and no undo makes it saved; once saved
// beside the original, undoing back to that point clears the mark again.
TEST_F(StartedAppTest, AConvertedBankIsUnsavedUntilSavedAndUndoReturnsToTheSave) {
    const std::string font = WriteSoundFont(Dir());
    SetSf2Chooser([](const std::string&, const Sf2Catalog&) { return Sf2Choice{}; });
    ASSERT_TRUE(app->OpenDocumentFile(font));
    SetSf2Chooser(nullptr);
    EXPECT_TRUE(app->Bank().IsModified());
    EXPECT_EQ(app->Bank().Path(), (Dir() / "font.pbf").string());
    const auto rename = [&](const char* name) {
        app->BeginStep("Rename");
        app->Bank().GetProgram(0)->SetName(name);
        app->Changed(*app->Bank().GetProgram(0));
        app->EndStep();
    };
    rename("Changed");
    app->Undo();
    EXPECT_TRUE(app->Bank().IsModified());
    ASSERT_TRUE(app->Save());
    EXPECT_FALSE(app->Bank().IsModified());
    rename("Again");
    EXPECT_TRUE(app->Bank().IsModified());
    app->Undo();
    EXPECT_FALSE(app->Bank().IsModified());
    app->Redo();
    EXPECT_TRUE(app->Bank().IsModified());
}

TEST_F(AppTest, ASoundFontNamedAtStartAndCancelledKeepsTheProgramRunning) {
    const std::string font = WriteSoundFont(Dir());
    SetSf2Chooser([&](const std::string&, const Sf2Catalog&) { return std::optional<Sf2Choice>(); });
    Make();
    EXPECT_TRUE(app->Start(window, {font}));
    SetSf2Chooser(nullptr);
}

}  // namespace
}  // namespace talmeru::test
