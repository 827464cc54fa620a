// The object browser's tree for a bank and its commands against the application on the
// emulator.
#include <functional>
#include <map>
#include <memory>

#include "app/AppFixture.h"
#include "app/BankOverview.h"
#include "app/BrowserTree.h"
#include "editors/insert/InsertObjects.h"
#include "files/WaveImport.h"
#include "model/BankLink.h"
#include "model/Modulator.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "support/WavBuilder.h"

namespace talmeru::test {
namespace {

struct RecordingEditors : BrowserEditors {
    void OpenLayerEditor() override { ++layers; }
    void OpenKeymapEditor(int n) override { keymap = n; }
    void OpenSampleEditor(int n) override { sample = n; }
    int layers = 0, keymap = -1, sample = -1;
};

struct RenameAsker : InsertAsker {
    bool AskNewProgram(NewProgramForm&) override { return false; }
    bool AskNewKeymap(NewKeymapForm&) override { return false; }
    bool AskNewLayer(NewLayerForm&) override { return false; }
    bool AskNewSample(NewSampleForm&) override { return false; }
    bool AskRenumber(RenumberForm& f) override {
        ++renumbers;
        f.name = name;
        return f.Accept();
    }
    bool AskRename(std::string& n) override {
        ++renames;
        n = name;
        return true;
    }
    bool AskPurge(PurgeForm&) override { return false; }
    std::string name = "Renamed";
    int renames = 0, renumbers = 0;
};

class BrowserTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Make();
        ASSERT_TRUE(app->Start(window, {}));
        commands = std::make_unique<BrowserCommands>(*app, ask, editors);
        prompter.Clear();
    }
    void TearDown() override {
        commands.reset();
        AppTest::TearDown();
    }
    ZedoDatabase& Bank() { return app->Bank(); }
    // A program on a wave file (a stereo file gives a stereo layer pair), sent to the
    // synthesizer.
    Program* WaveProgram(const std::string& name, bool stereo) {
        std::string path = Wav(name + ".wav", 400);
        if (stereo) {
            WavPlan s;
            s.channels = 2;
            s.data = Pcm16({Ramp(400, 0, 3), Ramp(400, 100, -2)});
            path = (Dir() / (name + ".wav")).string();
            EXPECT_TRUE(WriteWholeFile(path, MakeWav(s)));
        }
        Program* p = BuildProgramFromWave(Bank(), path, false, nullptr);
        EXPECT_NE(p, nullptr);
        app->UploadBank();
        return p;
    }
    static const BrowserNode* Node(const BrowserNode& group, ObjectRef ref) {
        for (const BrowserNode& n : group.children)
            if (n.object == ref) return &n;
        return nullptr;
    }
    static int Count(const ZedoDatabase& bank, int type) {
        int n = 0;
        for (int i = 0; i < kSlotCount; ++i)
            if (bank.GetObject(type, i)) ++n;
        return n;
    }
    RecordingEditors editors;
    RenameAsker ask;
    std::unique_ptr<BrowserCommands> commands;
};

TEST_F(BrowserTest, TheTreeShowsEveryObjectWithItsPartsAndMarksMissingSamples) {
    // A program of our own with a layer modulator and a program modulator.
    const int pn = Bank().FirstFreeProgram();
    Program* p = Bank().CreateProgram("Browsed", pn);
    Layer* layer = p->AddLayer(*Bank().GetKeymap(Bank().GetProgram(0)->GetLayer(0)->keymap), false);
    ASSERT_NE(layer, nullptr);
    ASSERT_GE(layer->AddModulator(std::make_unique<FunModulator>()), 0);
    ASSERT_GE(layer->AddModulator(std::make_unique<EnvModulator>()), 0);
    ASSERT_GE(p->AddModulator(std::make_unique<LfoModulator>()), 0);
    // A keymap whose upper half names a sample header that does not exist.
    const int missing = Bank().FirstFreeSampleHeader();
    int existing = 0;
    while (!Bank().GetSampleHeader(existing))
        ++existing;
    Keymap* k = Bank().CreateKeymap("Half", Bank().FirstFreeKeymap());
    k->entries = {{59, 0, existing}, {127, 0, missing}};

    const std::vector<BrowserNode> tree = BuildBrowserTree(Bank());
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[0].text, "Programs");
    EXPECT_EQ(tree[1].text, "Keymaps");
    EXPECT_EQ(tree[2].text, "Samples");
    EXPECT_EQ(tree[0].image, kImageProgram);
    EXPECT_EQ(tree[1].image, kImageKeymap);
    EXPECT_EQ(tree[2].image, kImageSample);
    for (const BrowserNode& group : tree)
        EXPECT_FALSE(group.object.IsObject());
    EXPECT_EQ(int(tree[0].children.size()), Count(Bank(), kTypeProgram));
    EXPECT_EQ(int(tree[1].children.size()), Count(Bank(), kTypeKeymap));
    EXPECT_EQ(int(tree[2].children.size()), Count(Bank(), kTypeSampleHeader));

    const BrowserNode& first = tree[0].children.front();
    EXPECT_EQ(first.text, Fmt("0-%s", Bank().GetProgram(0)->Name().c_str()));
    EXPECT_EQ(first.object, (ObjectRef{kTypeProgram, 0}));

    ASSERT_NE(Node(tree[0], {kTypeProgram, pn}), nullptr);
    const BrowserNode& mine = *Node(tree[0], {kTypeProgram, pn});
    EXPECT_EQ(mine.text, Fmt("%d-Browsed", pn));
    ASSERT_EQ(mine.children.size(), 2u);  // the layer, then the program modulator
    EXPECT_EQ(mine.children[0].text, layer->DisplayName());
    EXPECT_EQ(mine.children[0].image, kImageLayer);
    EXPECT_FALSE(mine.children[0].object.IsObject());
    ASSERT_EQ(mine.children[0].children.size(), 2u);
    // Newest first: the envelope took id 1 and went to the front.
    EXPECT_EQ(mine.children[0].children[0].text, "L1 ENV");
    EXPECT_EQ(mine.children[0].children[1].text, "L0 FUN");
    EXPECT_EQ(mine.children[0].children[1].image, kImageModulator);
    EXPECT_EQ(mine.children[1].text, "P0 LFO");
    EXPECT_FALSE(mine.children[1].object.IsObject());

    ASSERT_NE(Node(tree[1], {kTypeKeymap, k->Number()}), nullptr);
    const BrowserNode& half = *Node(tree[1], {kTypeKeymap, k->Number()});
    EXPECT_EQ(half.text, Fmt("%d-Half", k->Number()));
    ASSERT_EQ(half.children.size(), 2u);
    EXPECT_EQ(half.children[0].text, ObjectLabel(*Bank().GetSampleHeader(existing)));
    EXPECT_EQ(half.children[0].object, (ObjectRef{kTypeSampleHeader, existing}));
    EXPECT_EQ(half.children[1].text, "Empty/Bad sample");
    EXPECT_FALSE(half.children[1].object.IsObject());
    EXPECT_EQ(commands->Find(half.children[1].object), nullptr);

    // Numbers ascend within each group.
    for (const BrowserNode& group : tree)
        for (size_t i = 1; i < group.children.size(); ++i)
            EXPECT_LT(group.children[i - 1].object.number, group.children[i].object.number);

    Keymap loose;
    loose.SetName("Loose");
    loose.SetNumber(-1);
    EXPECT_EQ(ObjectLabel(loose), "Loose");
}

TEST_F(BrowserTest, DeletingTheCurrentProgramLeavesNoneUntilTheRefreshPicksTheFirst) {
    app->SelectProgram(Bank().GetProgram(0), true);
    Program* first = Bank().GetProgram(0);
    first->SetName("Pending");
    app->Changed(*first);
    window.refreshes = 0;
    ASSERT_TRUE(commands->Delete({kTypeProgram, 0}));
    EXPECT_EQ(Bank().GetProgram(0), nullptr);
    EXPECT_TRUE(app->Editing().Pending().empty());
    EXPECT_TRUE(Bank().IsModified());
    EXPECT_GT(window.refreshes, 0);
    EXPECT_EQ(app->Editing().CurrentNumber(), 1);
    EXPECT_TRUE(prompter.All().empty());
    // A program in the synthesizer's RAM goes from there too.
    emu->Flush();
    EXPECT_FALSE(emu->InRam(kTypeProgram, 0));
    EXPECT_FALSE(commands->Delete({kTypeProgram, 0}));

    // When the synthesizer does not answer, the program stays, and stays current.
    prompter.Clear();
    emu->InjectFault(emulator::Ma1Fault::kWrongCommand, -1);
    EXPECT_FALSE(commands->Delete({kTypeProgram, 1}));
    emu->InjectFault(emulator::Ma1Fault::kNone, 0);
    EXPECT_NE(Bank().GetProgram(1), nullptr);
    EXPECT_EQ(app->Editing().CurrentNumber(), 1);
    EXPECT_TRUE(prompter.Saw("The synthesizer did not delete Program #1; it stays in the bank."));
}

TEST_F(BrowserTest, ObjectsThatOthersPlayAreDeletedOnlyWhenTheUserAgrees) {
    const int used = Bank().GetProgram(0)->GetLayer(0)->keymap;
    const Keymap* loose = Bank().CreateKeymap("Loose", -1);
    EXPECT_FALSE(commands->Delete({kTypeKeymap, used}));
    EXPECT_NE(Bank().GetKeymap(used), nullptr);
    ASSERT_EQ(prompter.All().size(), 1u);
    EXPECT_NE(prompter.All()[0].text.find("Delete it anyway?"), std::string::npos);
    prompter.QueueAnswer(Answer::Yes);
    EXPECT_TRUE(commands->Delete({kTypeKeymap, used}));
    EXPECT_EQ(Bank().GetKeymap(used), nullptr);

    // Nobody plays a new keymap: it goes without a question.
    prompter.Clear();
    EXPECT_TRUE(commands->Delete({kTypeKeymap, loose->Number()}));
    EXPECT_TRUE(prompter.All().empty());

    // A RAM sample takes its wave data with it.
    Program* p = WaveProgram("Gone", false);
    const int sample = Bank().GetKeymap(p->GetLayer(0)->keymap)->entries[0].sample;
    const int waves = Bank().WaveDataCount();
    emu->Flush();
    ASSERT_TRUE(emu->SampleData(sample));
    prompter.QueueAnswer(Answer::Yes);
    EXPECT_TRUE(commands->Delete({kTypeSampleHeader, sample}));
    EXPECT_EQ(Bank().GetSampleHeader(sample), nullptr);
    EXPECT_EQ(Bank().WaveDataCount(), waves - 1);
    emu->Flush();
    EXPECT_FALSE(emu->SampleData(sample));
}

TEST_F(BrowserTest, DuplicatingAProgramCopiesOnlyTheProgram) {
    Program* source = Bank().GetProgram(0);
    const int keymaps = Count(Bank(), kTypeKeymap);
    const int free = Bank().FirstFreeProgram();
    // Marks left over from an earlier synchronisation must not drag the keymaps along.
    Bank().MarkForSync();
    EXPECT_EQ(commands->Duplicate({kTypeProgram, 0}), free);
    Program* copy = Bank().GetProgram(free);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->Name(), source->Name());
    EXPECT_EQ(copy->LayerCount(), source->LayerCount());
    EXPECT_EQ(copy->GetLayer(0)->keymap, source->GetLayer(0)->keymap);
    EXPECT_EQ(Count(Bank(), kTypeKeymap), keymaps);
    EXPECT_TRUE(Bank().IsModified());
    emu->Flush();
    EXPECT_TRUE(emu->InRam(kTypeProgram, free));
}

TEST_F(BrowserTest, DuplicatedStereoKeymapsAndSamplesStayPairsAndShareTheWave) {
    Program* p = WaveProgram("Wide", true);
    Keymap* left = Bank().GetKeymap(p->GetLayer(0)->keymap);
    ASSERT_EQ(left->stereoRole, kStereoLeft);
    ASSERT_NE(left->chained, nullptr);

    const int k = commands->Duplicate({kTypeKeymap, left->Number()});
    ASSERT_GE(k, 0);
    Keymap* kc = Bank().GetKeymap(k);
    ASSERT_NE(kc->chained, nullptr);
    EXPECT_EQ(kc->chained->stereoRole, kStereoRight);
    EXPECT_NE(kc->chained, left->chained);
    emu->Flush();
    EXPECT_TRUE(emu->InRam(kTypeKeymap, k));
    EXPECT_TRUE(emu->InRam(kTypeKeymap, kc->chained->Number()));

    SampleHeader* s = Bank().GetSampleHeader(left->entries[0].sample);
    ASSERT_EQ(s->stereoRole, kStereoLeft);
    auto* right = static_cast<SampleHeader*>(s->chained);
    const int n = commands->Duplicate({kTypeSampleHeader, s->Number()});
    ASSERT_GE(n, 0);
    SampleHeader* sc = Bank().GetSampleHeader(n);
    EXPECT_NE(sc->Name(), s->Name());
    EXPECT_EQ(sc->Wave(), s->Wave());
    EXPECT_TRUE(s->Wave()->UsedBy(n));
    ASSERT_NE(sc->chained, nullptr);
    auto* rc = static_cast<SampleHeader*>(sc->chained);
    EXPECT_EQ(rc->stereoRole, kStereoRight);
    EXPECT_EQ(rc->Wave(), right->Wave());
    emu->Flush();
    EXPECT_TRUE(emu->AliasOf(n).has_value());
    EXPECT_TRUE(emu->AliasOf(rc->Number()).has_value());
    EXPECT_TRUE(emu->InRam(kTypeSampleHeader, n));
    EXPECT_TRUE(emu->InRam(kTypeSampleHeader, rc->Number()));

    // The right half alone is a sample of its own.
    const int alone = commands->Duplicate({kTypeSampleHeader, right->Number()});
    ASSERT_GE(alone, 0);
    EXPECT_EQ(Bank().GetSampleHeader(alone)->stereoRole, kMono);

    // One free slot is not enough for a pair: nothing is made.
    for (int free = Bank().FirstFreeSampleHeader(); free >= 0;
         free = Bank().FirstFreeSampleHeader()) {
        if (Count(Bank(), kTypeSampleHeader) == kSlotCount - 1) break;
        auto filler = std::make_unique<SampleHeader>();
        filler->SetNumber(free);
        Bank().PutSampleHeader(std::move(filler));
    }
    const int last = Bank().FirstFreeSampleHeader();
    ASSERT_GE(last, 0);
    prompter.Clear();
    EXPECT_EQ(commands->Duplicate({kTypeSampleHeader, s->Number()}), -1);
    EXPECT_TRUE(prompter.Saw("No free sample space"));
    EXPECT_EQ(Bank().GetSampleHeader(last), nullptr);
    EXPECT_FALSE(s->Wave()->UsedBy(last));
}

TEST_F(BrowserTest, RenamingGoesThroughTheDialogOfTheObjectsKind) {
    ASSERT_TRUE(commands->Rename({kTypeKeymap, Bank().GetProgram(0)->GetLayer(0)->keymap}));
    EXPECT_EQ(ask.renames, 1);
    EXPECT_EQ(Bank().GetKeymap(Bank().GetProgram(0)->GetLayer(0)->keymap)->Name(), "Renamed");
    EXPECT_TRUE(Bank().IsModified());

    ask.name = "Program";
    ASSERT_TRUE(commands->Rename({kTypeProgram, 1}));
    EXPECT_EQ(ask.renumbers, 1);
    EXPECT_EQ(ask.renames, 1);
    EXPECT_EQ(Bank().GetProgram(1)->Name(), "Program");

    // Nothing of a layer or a missing object, and nothing while the bank cannot be edited.
    EXPECT_FALSE(commands->Rename({}));
    EXPECT_FALSE(commands->Rename({kTypeProgram, Bank().FirstFreeProgram()}));
    Bank().SetMergeWaveData(true);
    EXPECT_FALSE(commands->CanChange({kTypeProgram, 1}));
    EXPECT_FALSE(commands->Rename({kTypeProgram, 1}));
    EXPECT_FALSE(commands->Delete({kTypeProgram, 1}));
    EXPECT_EQ(commands->Duplicate({kTypeProgram, 1}), -1);
    EXPECT_NE(Bank().GetProgram(1), nullptr);
    EXPECT_EQ(ask.renumbers, 1);
    EXPECT_TRUE(commands->CanOpenEditor({kTypeProgram, 1}));
}

TEST_F(BrowserTest, DoubleClicksAndEditOpenTheRightEditor) {
    commands->Activate({kTypeProgram, 4});
    EXPECT_EQ(app->Editing().CurrentNumber(), 4);
    commands->Activate({kTypeKeymap, Bank().GetProgram(0)->GetLayer(0)->keymap});
    EXPECT_EQ(editors.keymap, -1);
    commands->Activate({kTypeSampleHeader, 7});
    EXPECT_EQ(editors.sample, 7);
    commands->Activate({});
    EXPECT_EQ(editors.layers, 0);

    commands->OpenEditor({kTypeProgram, 2});
    EXPECT_EQ(app->Editing().CurrentNumber(), 2);
    EXPECT_EQ(editors.layers, 1);
    const int keymap = Bank().GetProgram(1)->GetLayer(0)->keymap;
    commands->OpenEditor({kTypeKeymap, keymap});
    EXPECT_EQ(editors.keymap, keymap);
    commands->OpenEditor({kTypeSampleHeader, Bank().FirstFreeSampleHeader()});
    EXPECT_EQ(editors.sample, 7);
}


// A sample on two keymaps, one of them played by two layers of a program.
struct UsedBank {
    UsedBank() {
        auto s = std::make_unique<SampleHeader>();
        s->SetNumber(4);
        s->SetName("Bell");
        bank.PutSampleHeader(std::move(s));
        keys = bank.CreateKeymap("Keys", 3);
        keys->entries = {{60, 0, 9}, {127, 0, 4}};
        spare = bank.CreateKeymap("Spare", 5);
        spare->entries = {{127, 0, 4}};
        bank.CreateKeymap("Unused", 6);
        program = bank.CreateProgram("Bells", 9);
        program->AddLayer(*keys, false);
        program->AddLayer(*spare, false);
        program->AddLayer(*keys, false);
    }
    ZedoDatabase bank;
    Keymap *keys = nullptr, *spare = nullptr;
    Program* program = nullptr;
};

TEST(BrowserSearch, KeepsTheObjectsWhoseLabelHoldsTheTextInAnyCase) {
    UsedBank b;
    const auto all = BuildBrowserTree(b.bank);
    struct Case {
        const char* text;
        size_t programs, keymaps, samples;
    };
    for (const Case& c : {Case{"", 1, 3, 1}, Case{"BEL", 1, 0, 1}, Case{"k", 0, 1, 0},
                          Case{"6-", 0, 1, 0}, Case{"zebra", 0, 0, 0}}) {
        const auto shown = FilterBrowserTree(all, c.text);
        ASSERT_EQ(shown.size(), 3u);
        EXPECT_EQ(shown[0].children.size(), c.programs) << c.text;
        EXPECT_EQ(shown[1].children.size(), c.keymaps) << c.text;
        EXPECT_EQ(shown[2].children.size(), c.samples) << c.text;
    }
    // A program found keeps its layers.
    EXPECT_EQ(FilterBrowserTree(all, "bells")[0].children[0].children.size(), 3u);
}

TEST(BrowserSearch, UsedByNamesTheProgramsAndLayersThatPlayAnObject) {
    UsedBank b;
    const std::string bells = ObjectLabel(*b.program);
    const std::string l0 = b.program->GetLayer(0)->DisplayName();
    const std::string l1 = b.program->GetLayer(1)->DisplayName();
    const std::string l2 = b.program->GetLayer(2)->DisplayName();
    EXPECT_EQ(UsedBy(b.bank, {kTypeKeymap, 3}),
              std::vector<std::string>{bells + ": " + l0 + ", " + l2});
    EXPECT_EQ(UsedBy(b.bank, {kTypeSampleHeader, 4}),
              (std::vector<std::string>{"Keymap 3-Keys in " + bells + ": " + l0 + ", " + l2,
                                        "Keymap 5-Spare in " + bells + ": " + l1}));
    EXPECT_TRUE(UsedBy(b.bank, {kTypeKeymap, 6}).empty());
    b.program->GetLayer(1)->keymap = 6;
    EXPECT_EQ(UsedBy(b.bank, {kTypeSampleHeader, 4}).back(), "Keymap 5-Spare (no program)");
    EXPECT_TRUE(UsedBy(b.bank, {kTypeProgram, 9}).empty());
}


TEST(BankOverviewTest, CountsAndMemoryInUse) {
    UsedBank b;
    b.bank.SetComment("Bells and more");
    const MemoryFigures memory{1024, 1048576, 4096, 3 * 1048576};
    std::map<std::string, std::string> lines;
    for (const auto& [label, value] : BankOverview(b.bank, &memory))
        lines[label] = value;
    EXPECT_EQ(lines["Programs"], "1 (3 layers)");
    EXPECT_EQ(lines["Keymaps"], "3");
    EXPECT_EQ(lines["Samples"], "1 (0 on ROM, 0 wave data in RAM)");
    EXPECT_EQ(lines["Program RAM in use on the synthesizer"],
              "3.0 KB (3072 bytes) of 4.0 KB (4096 bytes)");
    EXPECT_EQ(lines["Sample RAM in use on the synthesizer"],
              "2.00 MB (2097152 bytes) of 3.00 MB (3145728 bytes)");
    EXPECT_EQ(lines["Comment"], "Bells and more");
    EXPECT_EQ(lines["Path"], "-");
    EXPECT_EQ(BytesText(100), "100 bytes");
    // Without a synthesizer's figures, the bank's own.
    EXPECT_EQ(BankOverview(b.bank, nullptr).size(), lines.size() - 2);
}

}  // namespace
}  // namespace talmeru::test
