// The program table: every row's value in its unit and back, and one value set on several
// layers at once.
#include <gtest/gtest.h>

#include "editors/program/ProgramTable.h"
#include "model/Ma1Units.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "support/RecordingEdits.h"

namespace talmeru::test {
namespace {

int RowOf(const char* title) {
    const auto rows = ProgramTableRows();
    for (size_t i = 0; i < rows.size(); ++i)
        if (std::string_view(rows[i].title) == title) return static_cast<int>(i);
    ADD_FAILURE() << "no row " << title;
    return 0;
}

const TableRow& Row(const char* title) {
    return ProgramTableRows()[size_t(RowOf(title))];
}

class ProgramTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mono = bank.CreateKeymap("Mono", 1);
        left = bank.CreateKeymap("Pair L", 2);
        right = bank.CreateKeymap("Pair R", 3);
        PairStereo(*left, *right);
        program = bank.CreateProgram("Test", 5);
        program->AddLayer(*mono, false);  // 0
        program->AddLayer(*left, true);   // 1, 2
    }
    Layer& L(int i) { return *program->GetLayer(i); }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    ZedoDatabase bank;
    Keymap *mono = nullptr, *left = nullptr, *right = nullptr;
    Program* program = nullptr;
    RecordingEdits edits{bank};
    ProgramTable table{edits, 5};
};

TEST_F(ProgramTableTest, CellsShowPhysicalUnits) {
    struct Case {
        const char* row;
        int stored;
        const char* text;
    };
    L(0).Filter1().SetFilterType(1);
    for (const Case& c : {Case{"Gain", -6, "-6 dB"}, Case{"Pan", 0, "L 100 %"},
                          Case{"Pan", 15, "C"}, Case{"Pan", 31, "R 100 %"},
                          Case{"Delay", 100, "60.0 ms"}, Case{"Delay", 2000, "1.20 s"},
                          Case{"Filter 1 frequency", 69 * 256, "440 Hz"},
                          Case{"Filter 1 frequency", 93 * 256, "1.76 kHz"},
                          Case{"Fine tune", 127, "+100.0 ct"}, Case{"Coarse tune", -12, "-12 st"},
                          Case{"Filter 1 key tracking", 64, "+100 %"},
                          Case{"Amp key tracking", 32, "+6.00 dB/oct"},
                          Case{"Headroom before filter 2", 2, "+6 dB"},
                          Case{"Velocity high", 100, "100"}}) {
        const TableRow& row = Row(c.row);
        ASSERT_TRUE(SetFieldValue(L(0), row.field, c.stored, row.handle) ||
                    FieldValue(L(0), row.field, row.handle) == c.stored);
        EXPECT_EQ(TableCellText(L(0), row), c.text) << c.row;
        // What the cell shows, typed back, is what is stored.
        EXPECT_EQ(ParseTableCell(row, c.text), c.stored) << c.row;
    }
    // A Null filter has no frequency; a right half shows only its pan.
    L(0).Filter2().SetFilterType(0);
    EXPECT_EQ(TableCellText(L(0), Row("Filter 2 frequency")), "-");
    EXPECT_EQ(TableCellText(L(2), Row("Gain")), "-");
    EXPECT_NE(TableCellText(L(2), Row("Pan")), "-");
}

TEST_F(ProgramTableTest, TypedValuesAreReadInTheirUnits) {
    struct Case {
        const char* row;
        const char* text;
        std::optional<int> stored;
    };
    for (const Case& c :
         {Case{"Filter 1 frequency", "1.2 kHz", units::FilterSetting(1200)},
          Case{"Filter 1 frequency", "800", units::FilterSetting(800)},
          Case{"Delay", "250 ms", 417}, Case{"Delay", "0.5 s", 833}, Case{"Delay", "6", 10},
          Case{"Pan", "L 50", units::PanForPosition(-0.5)},
          Case{"Pan", "R 50 %", units::PanForPosition(0.5)},
          Case{"Pan", "-50", units::PanForPosition(-0.5)}, Case{"Pan", "c", 15},
          Case{"Fine tune", "+30 ct", 38}, Case{"Fine tune", "-30", -38},
          Case{"Gain", "loud", std::nullopt}, Case{"Coarse tune", "", std::nullopt}}) {
        EXPECT_EQ(ParseTableCell(Row(c.row), c.text), c.stored) << c.row << " " << c.text;
    }
}

TEST_F(ProgramTableTest, OneValueGoesToEverySelectedLayerThatTakesIt) {
    ASSERT_EQ(table.LayerCount(), 3);
    EXPECT_EQ(table.Set(RowOf("Gain"), {0, 1, 2}, "-9 dB"), 2);  // the right half follows its left
    EXPECT_EQ(L(0).Amp().Gain(), -9);
    EXPECT_EQ(L(1).Amp().Gain(), -9);
    EXPECT_EQ(L(2).Amp().Gain(), -9);
    EXPECT_FALSE(edits.changed.empty());
    EXPECT_EQ(table.Set(RowOf("Gain"), {0}, "-9"), 0);  // nothing new
    EXPECT_EQ(table.Set(RowOf("Gain"), {0}, "much"), -1);
    EXPECT_EQ(table.Set(RowOf("Gain"), {0}, "-200 dB"), 1);  // limited to the range
    EXPECT_EQ(L(0).Amp().Gain(), -64);
    EXPECT_EQ(table.Set(RowOf("Delay"), {0, 7}, "60 ms"), 1);  // no layer 7
    EXPECT_EQ(L(0).delay, 100);
}

}  // namespace
}  // namespace talmeru::test
