// The insert, rename and purge commands against the application on the emulator: what they
// change in the bank, what reaches the synthesizer, and the dialogs' rules through their forms.
#include <functional>

#include "app/AppFixture.h"
#include "editors/insert/InsertObjects.h"
#include "model/BankLink.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "support/WavBuilder.h"

namespace talmeru::test {
namespace {

// Answers each dialog with a script; a script returning false is Cancel.
struct ScriptedAsker : InsertAsker {
    bool AskNewProgram(NewProgramForm& f) override { return Run(program, f); }
    bool AskNewKeymap(NewKeymapForm& f) override { return Run(keymap, f); }
    bool AskNewLayer(NewLayerForm& f) override { return Run(layer, f); }
    bool AskNewSample(NewSampleForm& f) override { return Run(sample, f); }
    bool AskRenumber(RenumberForm& f) override { return Run(renumber, f); }
    bool AskRename(std::string& name) override { return Run(rename, name); }
    bool AskPurge(PurgeForm& f) override { return Run(purge, f); }
    void ShowSample(int n) override { shown = n; }
    void ShowProgram(int n) override { shownProgram = n; }

    template <typename F, typename Form>
    bool Run(const F& script, Form& form) {
        ++asked;
        return script ? script(form) : false;
    }

    std::function<bool(NewProgramForm&)> program;
    std::function<bool(NewKeymapForm&)> keymap;
    std::function<bool(NewLayerForm&)> layer;
    std::function<bool(NewSampleForm&)> sample;
    std::function<bool(RenumberForm&)> renumber;
    std::function<bool(std::string&)> rename;
    std::function<bool(PurgeForm&)> purge;
    int asked = 0;
    int shown = -1;
    int shownProgram = -1;
};

class InsertObjectsTest : public StartedAppTest {
  protected:
    ZedoDatabase& Bank() { return app->Bank(); }
    InsertCommands Commands() { return InsertCommands(*app, ask); }
    std::string StereoWav(const std::string& name, int frames) {
        WavPlan s;
        s.channels = 2;
        s.data = Pcm16({Ramp(frames, 0, 3), Ramp(frames, 100, -2)});
        const std::string path = (Dir() / name).string();
        EXPECT_TRUE(WriteWholeFile(path, MakeWav(s)));
        return path;
    }
    // A new sample header loaded from a wave file at the first free number.
    int LoadSample(const std::string& path, const std::string& name) {
        ask.sample = [&](NewSampleForm& f) {
            f.name = name;
            f.path = path;
            return f.Accept();
        };
        return Commands().NewSample();
    }
    ScriptedAsker ask;
};

TEST_F(InsertObjectsTest, NewProgramAsksBeforeReplacingAndStillWantsAUniqueName) {
    const int free = Bank().FirstFreeProgram();
    ASSERT_GT(free, 1);
    const std::string taken = Bank().GetProgram(1)->Name();
    const std::string replaced = Bank().GetProgram(0)->Name();
    std::vector<bool> accepted;
    ask.program = [&](NewProgramForm& f) {
        EXPECT_EQ(f.id, free);
        f.id = 0;
        f.name = taken;
        accepted.push_back(f.Accept());  // No to the replace question
        accepted.push_back(f.Accept());  // Yes, but the name is program 1's
        f.name = replaced;               // the replaced program's own name is free again
        accepted.push_back(f.Accept());
        return accepted.back();
    };
    prompter.QueueAnswer(Answer::No);
    prompter.QueueAnswer(Answer::Yes);
    prompter.QueueAnswer(Answer::Yes);
    EXPECT_EQ(Commands().NewProgram(), 0);
    EXPECT_EQ(accepted, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(prompter.Questions().front(),
              Fmt("Replace current Program #0 \"%s\"?", replaced.c_str()));
    EXPECT_TRUE(
        prompter.Saw(Fmt("The name \"%s\" is already in use by program #1. Please choose "
                         "a unique program name.",
                         taken.c_str())));
    // The new program is empty, current, and on the synthesizer.
    Program* made = Bank().GetProgram(0);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->LayerCount(), 0);
    EXPECT_EQ(app->Editing().CurrentProgram(), made);
    EXPECT_EQ(ask.shownProgram, 0);
    EXPECT_TRUE(app->Editing().Pending().empty());
    emu->Flush();
    EXPECT_TRUE(emu->InRam(3, 0));
    EXPECT_TRUE(Bank().IsModified());
}

TEST_F(InsertObjectsTest, NewProgramRefusesAFullBankAndFieldsOutOfRange) {
    NewProgramForm form(Bank());
    ASSERT_TRUE(form.Open());
    form.name = "seventeen chars!!";
    EXPECT_FALSE(form.Accept());
    form.name = "ok";
    form.id = 512;
    EXPECT_FALSE(form.Accept());
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{kNameTooLong, kNumberOutOfRange}));

    for (int n = 0; n < kSlotCount; ++n)
        if (!Bank().GetProgram(n)) Bank().CreateProgram("filler", n);
    EXPECT_FALSE(Commands().CanInsertProgram());
    EXPECT_EQ(Commands().NewProgram(), -1);
    EXPECT_EQ(ask.asked, 0);
    EXPECT_TRUE(prompter.Saw("No free program space"));
}

TEST_F(InsertObjectsTest, NewSampleLoadsAWaveFileUnderTheTypedNameAndNumber) {
    const std::string path = Wav("violin.wav", 2000);
    const int id = Bank().FirstFreeSampleHeader();
    ask.sample = [&](NewSampleForm& f) {
        EXPECT_EQ(f.id, id);
        EXPECT_EQ(f.GetSource(), NewSampleForm::kWaveFile);
        f.path = (Dir() / "missing.wav").string();
        f.name = "Fiddle";
        EXPECT_FALSE(f.CanAccept());
        f.path = path;
        EXPECT_TRUE(f.CanAccept());
        f.id = 0;  // a ROM header's number
        EXPECT_FALSE(f.Accept());
        f.id = id + 3;
        return f.Accept();
    };
    EXPECT_EQ(Commands().NewSample(), id + 3);
    EXPECT_TRUE(prompter.Saw(Fmt("Sample #0 \"%s\" already exists. Please choose a free Id.",
                                 Bank().GetSampleHeader(0)->Name().c_str())));
    const SampleHeader* s = Bank().GetSampleHeader(id + 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Name(), "Fiddle");
    EXPECT_EQ(ask.shown, id + 3);
    emu->Flush();
    EXPECT_TRUE(emu->InRam(2, id + 3));
    ASSERT_TRUE(emu->SampleData(id + 3));
    EXPECT_FALSE(s->marked);
}

TEST_F(InsertObjectsTest, NewSampleFromAStereoFileNamesTheLeftHalfOnly) {
    const int id = LoadSample(StereoWav("pad.wav", 1000), "Pad");
    ASSERT_GE(id, 0);
    const SampleHeader* left = Bank().GetSampleHeader(id);
    ASSERT_NE(left->chained, nullptr);
    EXPECT_EQ(left->Name(), "Pad");
    EXPECT_EQ(left->stereoRole, kStereoLeft);
    EXPECT_EQ(left->chained->Name(), "padR");
    emu->Flush();
    EXPECT_TRUE(emu->InRam(2, left->chained->Number()));
}

TEST_F(InsertObjectsTest, NewSampleAliasCopiesTheHeaderAndSharesItsWaveData) {
    const int base = LoadSample(Wav("bell.wav", 1500), "Bell");
    NewSampleForm form(Bank());
    ASSERT_TRUE(form.Open());
    ASSERT_TRUE(form.CanAlias());
    // An empty name is derived from the header chosen; a typed one stays.
    EXPECT_TRUE(form.ChooseAlias(base));
    EXPECT_EQ(form.name, "Bell1");
    form.name = "Mine";
    EXPECT_FALSE(form.ChooseAlias(base));
    EXPECT_EQ(form.name, "Mine");

    ask.sample = [&](NewSampleForm& f) {
        f.SetSource(NewSampleForm::kAlias);
        f.ChooseAlias(base);
        f.name = "Bell copy";
        return f.Accept();
    };
    const int id = Commands().NewSample();
    ASSERT_GE(id, 0);
    const SampleHeader* alias = Bank().GetSampleHeader(id);
    const SampleHeader* source = Bank().GetSampleHeader(base);
    EXPECT_EQ(alias->Name(), "Bell copy");
    EXPECT_EQ(alias->Number(), id);
    EXPECT_EQ(alias->end, source->end);
    EXPECT_EQ(alias->pitch, source->pitch);
    EXPECT_EQ(alias->Wave(), source->Wave());
    EXPECT_TRUE(source->Wave()->UsedBy(id));
    emu->Flush();
    EXPECT_EQ(emu->AliasOf(id), base);
}

TEST_F(InsertObjectsTest, NewKeymapPlaysTheChosenSampleOnEveryKey) {
    const int sample = LoadSample(Wav("flute.wav", 800), "Flute");
    const int id = Bank().FirstFreeKeymap();
    ask.keymap = [&](NewKeymapForm& f) {
        EXPECT_FALSE(f.StereoFixed());
        size_t headers = 0;
        for (int n = 0; n < kSlotCount; ++n)
            headers += Bank().GetSampleHeader(n) ? 1 : 0;
        EXPECT_EQ(f.Samples().size(), headers);
        f.name = "Flute map";
        EXPECT_FALSE(f.CanAccept());  // no sample chosen yet
        f.sample = sample;
        f.id = 0;
        EXPECT_FALSE(f.Accept());  // keymap 0 exists
        f.id = id;
        return f.Accept();
    };
    EXPECT_EQ(Commands().NewKeymap(), id);
    const Keymap* k = Bank().GetKeymap(id);
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->entries.size(), 1u);
    EXPECT_EQ(k->entries[0].topKey, 127);
    EXPECT_EQ(k->SampleForKey(0), sample);
    EXPECT_EQ(k->stereoRole, kMono);
    emu->Flush();
    EXPECT_TRUE(emu->InRam(1, id));
}

TEST_F(InsertObjectsTest, StereoKeymapGetsARightHalfPlayingThePartner) {
    NewKeymapForm none(Bank(), true);
    EXPECT_FALSE(none.Open());
    EXPECT_TRUE(prompter.Saw("Please use \"Insert New Sample\" before inserting a new keymap"));

    const int sample = LoadSample(StereoWav("strings.wav", 900), "Strings");
    const int right = Bank().GetSampleHeader(sample)->chained->Number();
    ask.keymap = [&](NewKeymapForm& f) {
        EXPECT_TRUE(f.StereoFixed());
        EXPECT_TRUE(f.Stereo());
        f.SetStereo(false);  // fixed by the caller
        EXPECT_TRUE(f.Stereo());
        EXPECT_EQ(f.Samples().size(), 1u);
        f.sample = sample;
        f.name = "StringsL";
        return f.Accept();
    };
    const int id = Commands().NewKeymap(true);
    ASSERT_GE(id, 0);
    const Keymap* k = Bank().GetKeymap(id);
    ASSERT_NE(k->chained, nullptr);
    const Keymap* r = static_cast<const Keymap*>(k->chained);
    EXPECT_EQ(k->stereoRole, kStereoLeft);
    EXPECT_EQ(r->stereoRole, kStereoRight);
    EXPECT_EQ(r->Name(), "StringsR");
    EXPECT_EQ(r->SampleForKey(64), right);
    emu->Flush();
    EXPECT_TRUE(emu->InRam(1, r->Number()));
}

TEST_F(InsertObjectsTest, StereoLayerWithoutStereoKeymapsCreatesOne) {
    const int sample = LoadSample(StereoWav("choir.wav", 700), "Choir");
    const int program = app->Editing().CurrentNumber();
    ASSERT_GE(program, 0);
    const int layers = app->Editing().CurrentProgram()->LayerCount();
    ask.layer = [&](NewLayerForm& f) {
        EXPECT_TRUE(f.UseExisting());
        f.SetStereo(true);
        EXPECT_FALSE(f.CanUseExisting());
        EXPECT_FALSE(f.UseExisting());
        return f.CanAccept();
    };
    bool keymapAsked = false;
    ask.keymap = [&](NewKeymapForm& f) {
        keymapAsked = true;
        EXPECT_TRUE(f.StereoFixed() && f.Stereo());
        f.sample = sample;
        f.name = "Choir";
        return f.Accept();
    };
    EXPECT_EQ(Commands().NewLayer(), layers);
    EXPECT_TRUE(keymapAsked);
    const Program* p = Bank().GetProgram(program);
    ASSERT_EQ(p->LayerCount(), layers + 2);
    const Keymap* left = Bank().GetKeymap(p->GetLayer(layers)->keymap);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->Name(), "Choir");
    EXPECT_EQ(p->GetLayer(layers + 1)->keymap, left->chained->Number());
    // The program went to the synthesizer and was chosen there.
    EXPECT_TRUE(app->Editing().Pending().empty());
    emu->Flush();
    EXPECT_TRUE(emu->InRam(3, program));
    EXPECT_EQ(emu->ChannelProgram(app->Synth().AuditionChannel()), program % 128);
}

TEST_F(InsertObjectsTest, NewLayerOnAnExistingKeymapOrRefusedWhenFull) {
    const int program = app->Editing().CurrentNumber();
    const int layers = app->Editing().CurrentProgram()->LayerCount();
    ask.layer = [&](NewLayerForm& f) {
        EXPECT_FALSE(f.CanAccept());  // nothing chosen in the list
        f.keymap = 3;
        return f.CanAccept();
    };
    EXPECT_EQ(Commands().NewLayer(), layers);
    EXPECT_EQ(Bank().GetProgram(program)->GetLayer(layers)->keymap, 3);

    Program* p = Bank().GetProgram(program);
    while (p->LayerCount() < kMaxLayers)
        p->AddLayer(*Bank().GetKeymap(3), false);
    const int keymaps = Bank().FirstFreeKeymap();
    ask.layer = [](NewLayerForm& f) {
        f.SetUseExisting(false);
        return true;
    };
    EXPECT_EQ(Commands().NewLayer(), -1);
    EXPECT_TRUE(prompter.Saw("Could not add new layer"));
    EXPECT_EQ(Bank().FirstFreeKeymap(), keymaps);  // no keymap made for nothing
}

TEST_F(InsertObjectsTest, NewLayerWithoutACurrentProgramIsNewProgram) {
    app->SelectProgram(nullptr, false);
    ask.program = [](NewProgramForm& f) {
        f.name = "Fresh";
        return f.Accept();
    };
    const int made = Commands().NewLayer();
    ASSERT_GE(made, 0);
    EXPECT_EQ(Bank().GetProgram(made)->Name(), "Fresh");
    EXPECT_EQ(ask.asked, 1);
}

TEST_F(InsertObjectsTest, RenumberAsksBeforeReplacingAndCancelChangesNothing) {
    Bank().CreateProgram("Five", 5);
    Bank().CreateProgram("Seven", 7);
    app->SelectProgram(Bank().GetProgram(5), true);
    ask.renumber = [](RenumberForm& f) {
        EXPECT_EQ(f.name, "Five");
        EXPECT_EQ(f.number, 5);
        f.number = 7;
        f.name = "Moved";
        return false;  // Cancel
    };
    EXPECT_FALSE(Commands().RenumberCurrent());
    EXPECT_EQ(Bank().GetProgram(5)->Name(), "Five");
    EXPECT_TRUE(prompter.Questions().empty());

    ask.renumber = [](RenumberForm& f) {
        f.number = 7;
        f.name = "Moved";
        return f.Accept();
    };
    prompter.QueueAnswer(Answer::No);
    EXPECT_FALSE(Commands().RenumberCurrent());
    EXPECT_EQ(prompter.Questions(),
              (std::vector<std::string>{"Replace existing program #7 \"Seven\" with \"Moved\" ?"}));
    EXPECT_EQ(Bank().GetProgram(7)->Name(), "Seven");
    EXPECT_EQ(Bank().GetProgram(5)->Name(), "Five");

    prompter.QueueAnswer(Answer::Yes);
    Bank().SetModified(false);
    EXPECT_TRUE(Commands().RenumberCurrent());
    EXPECT_EQ(Bank().GetProgram(5), nullptr);
    ASSERT_NE(Bank().GetProgram(7), nullptr);
    EXPECT_EQ(Bank().GetProgram(7)->Name(), "Moved");
    EXPECT_EQ(app->Editing().CurrentNumber(), 7);
    EXPECT_EQ(app->Editing().CurrentProgram(), Bank().GetProgram(7));
    EXPECT_TRUE(Bank().IsModified());
    emu->Flush();
    ASSERT_TRUE(emu->Object(3, 7));
    PackedHeader h;
    ASSERT_TRUE(ReadPackedHeader(*emu->Object(3, 7), h));
    EXPECT_EQ(h.name, "Moved");
}

TEST_F(InsertObjectsTest, RenumberingToTheSameNameAndNumberDoesNothing) {
    const int n = app->Editing().CurrentNumber();
    ask.renumber = [](RenumberForm& f) { return f.Accept(); };
    Bank().SetModified(false);
    EXPECT_FALSE(Commands().RenumberCurrent());
    EXPECT_FALSE(Bank().IsModified());
    app->SelectProgram(nullptr, false);
    EXPECT_FALSE(Commands().RenumberCurrent());
    EXPECT_TRUE(prompter.Saw("Select a program first"));
    EXPECT_NE(Bank().GetProgram(n), nullptr);
}

TEST_F(InsertObjectsTest, RenameGivesAKeymapItsNewName) {
    const std::string old = Bank().GetKeymap(3)->Name();
    int tries = 0;
    ask.rename = [&](std::string& name) {
        if (tries == 0) {
            EXPECT_EQ(name, old);
        }
        name = ++tries == 1 ? "far too long a keymap name" : "Renamed";
        return true;
    };
    Bank().SetModified(false);
    EXPECT_TRUE(Commands().Rename(kTypeKeymap, 3));
    EXPECT_EQ(tries, 2);
    EXPECT_TRUE(prompter.Saw(kNameTooLong));
    EXPECT_EQ(Bank().GetKeymap(3)->Name(), "Renamed");
    EXPECT_TRUE(Bank().IsModified());
    app->FlushPendingEdits();
    emu->Flush();
    EXPECT_TRUE(emu->InRam(1, 3));
}

TEST_F(InsertObjectsTest, PurgeDeletesTheTickedUnusedObjects) {
    const int sample = LoadSample(Wav("drop.wav", 600), "Drop");
    ask.keymap = [&](NewKeymapForm& f) {
        f.sample = sample;
        f.name = "Unused";
        return f.Accept();
    };
    const int keymap = Commands().NewKeymap();
    ASSERT_GE(keymap, 0);
    emu->Flush();
    ASSERT_TRUE(emu->SampleData(sample));
    std::vector<std::string> names;
    int steps = 0;
    int romHeaders = 0;
    ask.purge = [&](PurgeForm& f) {
        EXPECT_TRUE(f.CanPurge());
        // Listed in number order, all ticked; the new sample is used only by an unused keymap.
        for (size_t i = 1; i < f.SampleHeaders().size(); ++i)
            EXPECT_LT(f.SampleHeaders()[i - 1].number, f.SampleHeaders()[i].number);
        for (auto& l : f.Keymaps())
            l.ticked = l.number == keymap;
        for (auto& l : f.SampleHeaders()) {
            EXPECT_TRUE(l.ticked);
            if (l.number == sample) {
                EXPECT_EQ(l.text, Fmt("%d - Drop", sample));
            }
            l.ticked = l.number == sample;
            if (l.number != sample) ++romHeaders;
        }
        EXPECT_EQ(f.TickedCount(), 2);
        EXPECT_EQ(f.Purge([&](const std::string& n) { names.push_back(n); }, [&] { ++steps; }), 2);
        return true;
    };
    ASSERT_TRUE(Commands().Purge());
    EXPECT_EQ(names, (std::vector<std::string>{"Unused", "Drop"}));
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(Bank().GetKeymap(keymap), nullptr);
    EXPECT_EQ(Bank().GetSampleHeader(sample), nullptr);
    for (int i = 0; i < Bank().WaveDataCount(); ++i)
        EXPECT_FALSE(Bank().GetWaveData(i)->UsedBy(sample));
    emu->Flush();
    EXPECT_FALSE(emu->InRam(1, keymap));
    EXPECT_FALSE(emu->InRam(2, sample));
    EXPECT_FALSE(emu->SampleData(sample));
    // Nothing that a program plays was offered, and nothing unticked went.
    PurgeForm again(Bank());
    again.Open();
    EXPECT_EQ(int(again.SampleHeaders().size()), romHeaders);
    for (const auto& l : again.Keymaps())
        for (int p = 0; p < kSlotCount; ++p)
            if (const Program* prog = Bank().GetProgram(p)) {
                for (int i = 0; i < prog->LayerCount(); ++i)
                    EXPECT_NE(prog->GetLayer(i)->keymap, l.number);
            }
}

TEST_F(InsertObjectsTest, PurgeOffersNothingWhenEverythingIsUploaded) {
    Bank().SetPurgeUnused(false);
    PurgeForm form(Bank());
    form.Open();
    EXPECT_FALSE(form.CanPurge());
    // Listing marks nothing for the next upload.
    for (int n = 0; n < kSlotCount; ++n)
        if (const Keymap* k = Bank().GetKeymap(n)) {
            EXPECT_FALSE(k->marked);
        }
}

// A synthesizer that refuses every deletion.
struct RefusingLink : BankLink {
    int GetObject(int, int, std::vector<uint8_t>&) override { return kNoSuchObject; }
    int QueryMemory(int) override { return 0; }
    int StoreObject(std::span<const uint8_t>) override { return 0; }
    int DeleteObject(int, int) override { return 1; }
    int UploadSampleData(int, std::span<const uint8_t>, int&, int) override { return 0; }
    int AddAlias(int, int) override { return 0; }
    int RemoveAlias(int) override { return 0; }
    int ClearRam() override { return 0; }
    uint16_t RomVersion() const override { return 0x103; }
    const MemoryFigures& Memory() const override { return memory; }
    MemoryFigures memory;
};

TEST(InsertPurge, AHeaderTheSynthesizerKeepsKeepsItsWaveData) {
    RefusingLink link;
    ZedoDatabase db(&link);
    auto header = std::make_unique<SampleHeader>();
    header->SetNumber(4);
    header->SetName("kept");
    db.PutSampleHeader(std::move(header));
    db.CreateKeymap("map", 2)->entries = {{127, 0, 4}};
    WaveData* ram = db.AddWaveData(std::make_unique<InvalidWaveData>(4));
    db.GetSampleHeader(4)->AttachWave(ram, kAttachReference);
    PurgeForm form(db);
    form.Open();
    ASSERT_EQ(form.Keymaps().size(), 1u);
    ASSERT_EQ(form.SampleHeaders().size(), 1u);
    EXPECT_EQ(form.Purge({}, {}), 0);
    EXPECT_NE(db.GetKeymap(2), nullptr);
    ASSERT_NE(db.GetSampleHeader(4), nullptr);
    EXPECT_EQ(db.WaveDataCount(), 2);
    EXPECT_EQ(db.GetSampleHeader(4)->Wave(), db.GetWaveData(1));
    EXPECT_TRUE(db.GetWaveData(1)->UsedBy(4));
}

}  // namespace
}  // namespace talmeru::test
