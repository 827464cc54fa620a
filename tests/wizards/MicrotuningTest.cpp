// The microtuning wizard's logic: temperaments, tuning files and the program it builds.
#include <gtest/gtest.h>

#include <string>

#include "model/Keymap.h"
#include "model/Modulator.h"
#include "model/NoteNames.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "support/RecordingEdits.h"
#include "support/TempDir.h"
#include "wizards/Microtuning.h"

namespace talmeru::test {
namespace {

const Temperament& BuiltIn(const std::string& name) {
    for (const Temperament& t : BuiltInTemperaments())
        if (t.name == name) return t;
    throw std::runtime_error("no temperament " + name);
}

int IndexOf(const Microtuning& m, const std::string& name) {
    for (size_t i = 0; i < m.Temperaments().size(); ++i)
        if (m.Temperaments()[i].name == name) return static_cast<int>(i);
    return -1;
}

std::string TextOf(const std::array<int, 12>& cents, const std::string& name) {
    std::string s;
    for (int v : cents)
        s += std::to_string(v) + " ";
    return s + name + "\n";
}

TEST(MicrotuningTune, DetuneIsTheDistanceFromEqualTemperament) {
    EXPECT_EQ(DetuneFor(114, 1), (Tune{0, 17}));  // Pythag C#
    EXPECT_EQ(DetuneFor(76, 1), (Tune{0, -30}));  // quarter-comma mean tone C#
    EXPECT_EQ(DetuneFor(1083, 11), (Tune{0, -21}));
    EXPECT_EQ(DetuneFor(1300, 0), (Tune{13, 0}));
    EXPECT_EQ(DetuneFor(0, 11), (Tune{-11, 0}));
    EXPECT_EQ(DetuneFor(250, 1), (Tune{1, 63}));
    for (int c = 0; c < kPitchClasses; ++c)
        EXPECT_EQ(DetuneFor(BuiltIn("Equal").cents[size_t(c)], c), Tune{}) << c;
}

TEST(MicrotuningTune, AddingCarriesWholeSemitones) {
    EXPECT_EQ(AddTune({2, 100}, {0, 17}), (Tune{2, 117}));
    EXPECT_EQ(AddTune({0, 120}, {0, 17}), (Tune{1, 10}));
    EXPECT_EQ(AddTune({0, -120}, {0, -30}), (Tune{-1, -23}));
    EXPECT_EQ(AddTune({-12, 0}, {1, -5}), (Tune{-11, -5}));
}

TEST(MicrotuningTable, HoldsTheTwelveTemperamentsInOrder) {
    const auto& table = BuiltInTemperaments();
    ASSERT_EQ(table.size(), 12u);
    EXPECT_EQ(table.front().name, "Equal");
    EXPECT_EQ(table[3].name, "Mean tone 1/4 comma Sharp");
    EXPECT_EQ(table.back().name, "Bhatkhande");
    EXPECT_EQ(BuiltIn("Persion 1").Notes(), 8);
    EXPECT_EQ(BuiltIn("Natural").cents[9], 884);
    for (const Temperament& t : table)
        EXPECT_EQ(t.cents[0], 0) << t.name;
    EXPECT_STREQ(PitchClassName(0), " C");
    EXPECT_STREQ(PitchClassName(10), "A#");
    EXPECT_STREQ(PitchClassName(12), "??");
}

TEST(MicrotuningTuningText, ReadsRecordsUntilTheFirstFault) {
    const std::string first = TextOf(BuiltIn("Equal").cents, "Flat");
    TuningFileRead r = ParseTuningText(first +
                                       "1400 100 200 300 400 500 600 700 800 900 1000 "
                                       "1100 Too high\n");
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(r.records[0].name, "Flat");
    EXPECT_EQ(r.records[0].cents, BuiltIn("Equal").cents);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.position, long(first.size()));

    // Any white space separates; the name may follow on the next line; CR LF line ends.
    r = ParseTuningText(
        "0\t-1 +204\r\n-1 386 498 -1 702 -1 884 -1 1088\r\n  Sparse scale \r\n"
        "0 1 2 3 4 5 6 7 8 9 10 11 Second\r\n\r\n");
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[0].name, "Sparse scale");
    EXPECT_EQ(r.records[0].cents[1], -1);
    EXPECT_EQ(r.records[0].cents[2], 204);
    EXPECT_EQ(r.records[0].Notes(), 7);
    EXPECT_EQ(r.records[1].name, "Second");

    r = ParseTuningText("\xEF\xBB\xBF" + TextOf(BuiltIn("Pythag").cents, "With mark"));
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.records.size(), 1u);
    EXPECT_EQ(r.records[0].cents, BuiltIn("Pythag").cents);

    r = ParseTuningText("");
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.records.empty());
}

TEST(MicrotuningTuningText, ReportsWhereTheReaderStopped) {
    struct Case {
        std::string text;
        long position;
    };
    const Case cases[] = {
        {"0 100 2x0 300", 7},                                       // not white space
        {"0 100 abc", 6},                                           // not a number
        {"0 100 -", 6},                                             // a sign alone
        {"0 -2 200", 2},                                            // below -1
        {"0 1301 200", 2},                                          // above 1300
        {"0 99999999999999999999999 1", 2},                         // far too big
        {"0 1 2 3 4 5 6 7 8 9 10", 22},                             // end of file
        {"0 1 2 3 4 5 6 7 8 9 10 11", 25},                          // no name
        {"0 1 2 3 4 5 6 7 8 9 10 11  \n  ", 30},                    // blanks only
        {std::string("0 1 2 3 4 5 6 7 8 9 10 11 ok\n\0", 30), 29},  // a NUL
    };
    for (const Case& c : cases) {
        const TuningFileRead r = ParseTuningText(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.position, c.position) << c.text;
    }
}

TEST(MicrotuningTuningText, LongNamesAreCut) {
    const TuningFileRead r = ParseTuningText(TextOf(BuiltIn("Equal").cents, std::string(300, 'n')) +
                                             TextOf(BuiltIn("Pythag").cents, "Next"));
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[0].name, std::string(kMaxTemperamentName, 'n'));
    EXPECT_EQ(r.records[1].name, "Next");
}

class MicrotuningFile : public TempDirTest {
  protected:
    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    Microtuning m;
};

TEST_F(MicrotuningFile, AppendsRecordsAndKeepsThemAfterAFault) {
    const std::string good = TextOf(BuiltIn("Natural").cents, "Mine");
    const std::string path = Put("a.tempre", std::vector<uint8_t>(good.begin(), good.end()));
    EXPECT_EQ(m.LoadTuningFile(path), 1);
    EXPECT_TRUE(prompter.All().empty());
    ASSERT_EQ(m.Temperaments().size(), 13u);
    EXPECT_EQ(m.Temperaments().back().name, "Mine");

    const std::string bad = good + "0 1 2 x";
    const std::string badPath = Put("b.txt", std::vector<uint8_t>(bad.begin(), bad.end()));
    EXPECT_EQ(m.LoadTuningFile(badPath), 1);
    EXPECT_EQ(m.Temperaments().size(), 14u);
    EXPECT_EQ(prompter.Messages(),
              std::vector<std::string>{Fmt("Error loading \"%s\" at character position %d. "
                                           "Probably illegal character or end of file.",
                                           badPath.c_str(), int(good.size()) + 6)});
}

TEST_F(MicrotuningFile, MissingAndOversizedFilesAddNothing) {
    const std::string missing = Path("none.tempre");
    EXPECT_EQ(m.LoadTuningFile(missing), 0);
    std::string big;
    while (big.size() <= kMaxTuningFileSize)
        big += TextOf(BuiltIn("Equal").cents, "Again");
    const std::string bigPath = Put("big.txt", std::vector<uint8_t>(big.begin(), big.end()));
    EXPECT_EQ(m.LoadTuningFile(bigPath), 0);
    EXPECT_EQ(m.Temperaments().size(), 12u);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{
                  Fmt("Could not open \"%s\".", missing.c_str()),
                  Fmt("\"%s\" is too large to be a tuning file.", bigPath.c_str())}));
}

// A bank with a one-layer template (program 5) whose keymap (7) plays sample 100 up to key
// 59 and sample 101 with amp -3 from 60 to 100, nothing above.
class MicrotuningBuild : public ::testing::Test {
  protected:
    void SetUp() override {
        Keymap* k = db.CreateKeymap("Grand Piano Keymap", 7);
        k->entries = {{59, 0, 100}, {100, -3, 101}, {127, 0, kNoSample}};
        Program* p = db.CreateProgram("Grand", 5);
        Layer* l = p->AddLayer(*k, false);
        l->keyLow = 21;
        l->Pitch().SetCoarseTune(0);
        l->Filter1().SetFilterType(2);
        db.SetModified(false);
        m.templateNumber = 5;
        m.name = "Grand Pythag";
        m.number = 9;
        m.temperament = IndexOf(m, "Pythag");
    }
    // Objects in the bank, to see that a refused build changed nothing.
    std::string Census() const {
        std::string s = db.IsModified() ? "modified" : "saved";
        for (int n = 0; n < kSlotCount; ++n) {
            if (const Program* p = db.GetProgram(n)) s += Fmt(" P%d:%d", n, p->LayerCount());
            if (db.GetKeymap(n)) s += Fmt(" K%d", n);
        }
        return s;
    }

    ScriptedPrompter prompter;
    ScopedPrompter scope{prompter};
    ZedoDatabase db;
    RecordingEdits edits{db};
    Microtuning m;
};

TEST_F(MicrotuningBuild, EqualTemperamentPlaysTheTemplateOnEveryKey) {
    m.temperament = IndexOf(m, "Equal");
    Program* made = m.Build(edits);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made, db.GetProgram(9));
    EXPECT_EQ(made->Name(), "Grand Pythag");
    ASSERT_EQ(made->LayerCount(), 12);
    std::array<int, 128> plays;
    plays.fill(-1);
    for (int c = 0; c < 12; ++c) {
        const Layer& l = *made->GetLayer(c);
        EXPECT_EQ(l.StereoState(), kMono);
        EXPECT_EQ(l.keyLow, 21);
        EXPECT_EQ(l.Filter1().FilterType(), 2);
        EXPECT_EQ(l.Pitch().CoarseTune(), 0);
        EXPECT_EQ(l.Pitch().FineTune(), 0);
        const Keymap* k = db.GetKeymap(l.keymap);
        ASSERT_NE(k, nullptr);
        EXPECT_NE(k->Number(), 7);
        EXPECT_EQ(k->Name(), std::string("Grand Piano K-") + PitchClassName(c));
        EXPECT_TRUE(k->marked);
        for (int key = 0; key < 128; ++key) {
            const int s = k->SampleForKey(key);
            if (key % 12 != c) {
                EXPECT_EQ(s, kNoSample) << c << " " << key;
            } else if (s != kNoSample) {
                EXPECT_EQ(plays[size_t(key)], -1);
                plays[size_t(key)] = s;
            }
        }
    }
    for (int key = 0; key < 128; ++key)
        EXPECT_EQ(plays[size_t(key)], key <= 59 ? 100 : key <= 100 ? 101 : -1) << key;
    // The entry's amp comes along with its sample.
    const Keymap& e = *db.GetKeymap(made->GetLayer(0)->keymap);
    for (const KeymapEntry& entry : e.entries)
        EXPECT_EQ(entry.amp, entry.sample == 101 ? -3 : 0);
    EXPECT_TRUE(made->marked);
    EXPECT_FALSE(db.GetProgram(5)->marked);
    EXPECT_FALSE(db.GetKeymap(7)->marked);
    EXPECT_TRUE(db.IsModified());
    EXPECT_TRUE(prompter.All().empty());
}

TEST_F(MicrotuningBuild, EachLayerIsDetunedByItsClass) {
    db.GetProgram(5)->GetLayer(0)->Pitch().SetFineTune(120);
    m.temperament = IndexOf(m, "Persion 1");
    Program* made = m.Build(edits);
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->LayerCount(), 8);
    const Temperament& t = BuiltIn("Persion 1");
    int layer = 0;
    for (int c = 0; c < 12; ++c) {
        if (t.cents[size_t(c)] == -1) continue;
        const Layer& l = *made->GetLayer(layer++);
        const Tune want = AddTune({0, 120}, DetuneFor(t.cents[size_t(c)], c));
        EXPECT_EQ(l.Pitch().CoarseTune(), want.coarse) << c;
        EXPECT_EQ(l.Pitch().FineTune(), want.fine) << c;
        EXPECT_EQ(db.GetKeymap(l.keymap)->Name(),
                  std::string("Grand Piano K-") + PitchClassName(c));
    }
    // C# at 130 cents: 30 cents sharp, 38 steps on top of the template's 120.
    EXPECT_EQ(made->GetLayer(1)->Pitch().CoarseTune(), 1);
    EXPECT_EQ(made->GetLayer(1)->Pitch().FineTune(), 31);
}

TEST_F(MicrotuningBuild, KeymapNamesKeepThirteenCharactersOfTheTemplates) {
    db.GetKeymap(7)->SetName("ABCDEFGHIJKLMNOPQR");
    ASSERT_EQ(db.GetKeymap(7)->Name().size(), 16u);
    Program* made = m.Build(edits);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(db.GetKeymap(made->GetLayer(1)->keymap)->Name(), "ABCDEFGHIJKLM-C#");
    EXPECT_EQ(db.GetKeymap(made->GetLayer(0)->keymap)->Name(), "ABCDEFGHIJKLM- C");
}

TEST_F(MicrotuningBuild, ProgramModulatorsComeWithTheTemplate) {
    Program& source = *db.GetProgram(5);
    ASSERT_GE(source.AddModulator(std::make_unique<LfoModulator>()), 0);
    ASSERT_GE(source.GetLayer(0)->AddModulator(std::make_unique<EnvModulator>()), 0);
    Program* made = m.Build(edits);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->ModulatorCount(), 1);
    EXPECT_EQ(made->GetLayer(3)->Modulators().size(), 1u);
    EXPECT_EQ(source.GetLayer(0)->Modulators().size(), 1u);
}

TEST_F(MicrotuningBuild, RefusesWhatCannotBeBuiltAndLeavesTheBankAlone) {
    auto refused = [&](const std::string& message) {
        prompter.Clear();
        const std::string before = Census();
        EXPECT_EQ(m.Build(edits), nullptr) << message;
        EXPECT_EQ(Census(), before) << message;
        EXPECT_EQ(prompter.Messages(), std::vector<std::string>{message});
        EXPECT_EQ(m.Problem(db), message);
    };
    const Microtuning good = m;

    m.templateNumber = -1;
    refused("Select a program to use as a template");
    m.templateNumber = 6;
    refused("Select a program to use as a template");
    m = good;
    db.GetProgram(5)->DuplicateLayer(0);
    db.GetProgram(5)->DuplicateLayer(0);
    refused("Template program must be either 1 or 2 layers");
    db.GetProgram(5)->DeleteLayer(2);
    db.GetProgram(5)->DeleteLayer(1);
    db.GetProgram(5)->GetLayer(0)->keymap = 8;
    refused("Keymap 8, played by the template program, is not in the bank");
    db.GetProgram(5)->GetLayer(0)->keymap = 7;
    m.name = "";
    refused("Enter a name for the new program");
    m.name = std::string(17, 'x');
    refused("A program name has at most 16 characters");
    m = good;
    m.number = 512;
    refused("The program number must be from 0 to 511");
    m.number = 5;  // the template itself
    refused("Program 5 is already in use. Choose a free program number.");
    m = good;
    m.temperament = 12;
    refused("Select a temperament");
    m = good;
    db.SetMergeWaveData(true);
    refused(
        "Bank becomes read-only if the merge wave data option is on.\nYou must turn off the "
        "option (in File|Properties) and reload the bank if you want to make edits.");
    db.SetMergeWaveData(false);
    for (int n = 0; n < kSlotCount; ++n)
        if (!db.GetProgram(n)) db.CreateProgram("filler", n);
    db.SetModified(false);
    refused("Every program slot is in use. Delete a program to make room for the new one.");
    db.DeleteObject(db.GetProgram(good.number));
    db.SetModified(false);

    m = good;
    EXPECT_EQ(m.ProgramProblem(db), "");
    EXPECT_EQ(m.Problem(db), "");
}

TEST_F(MicrotuningBuild, RefusesWhenKeymapsOrProgramSpaceRunOut) {
    // Eleven keymaps free: enough for Persion 1's eight, not for twelve.
    for (int n = 0; n < kSlotCount - 11; ++n)
        if (!db.GetKeymap(n)) db.CreateKeymap("filler", n);
    db.SetModified(false);
    const std::string before = Census();
    EXPECT_EQ(m.Build(edits), nullptr);
    EXPECT_EQ(Census(), before);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Not enough free keymaps: the new "
                                                            "program needs 12, the bank has 11"});
    m.temperament = IndexOf(m, "Persion 1");
    EXPECT_NE(m.Build(edits), nullptr);

    // Twelve copies of a layer with sixteen long envelopes do not fit in one program.
    ZedoDatabase other;
    RecordingEdits otherEdits{other};
    Keymap* k = other.CreateKeymap("k", 0);
    Layer* l = other.CreateProgram("Rich", 0)->AddLayer(*k, false);
    for (int i = 0; i < 16; ++i) {
        auto env = std::make_unique<EnvModulator>();
        env->SetAttackCount(EnvModulator::kMaxAttack);
        env->SetDecayCount(EnvModulator::kMaxDecay);
        env->SetReleaseCount(EnvModulator::kMaxRelease);
        ASSERT_GE(l->AddModulator(std::move(env)), 0);
    }
    m.templateNumber = 0;
    m.number = 1;
    m.temperament = IndexOf(m, "Equal");
    prompter.Clear();
    EXPECT_EQ(m.Build(otherEdits), nullptr);
    EXPECT_EQ(other.GetProgram(1), nullptr);
    EXPECT_EQ(other.GetKeymap(1), nullptr);
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("The new program would take"), std::string::npos);
}

}  // namespace
}  // namespace talmeru::test
