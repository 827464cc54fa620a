// The bank commands, the pending edits and the notes, against the emulator.
#include <filesystem>
#include <thread>

#include "app/AppFixture.h"
#include "application/AbortGuard.h"
#include "files/BankFile.h"
#include "files/Pbf.h"
#include "files/WaveImport.h"
#include "model/Keymap.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Profile.h"

namespace talmeru::test {
namespace {

namespace fs = std::filesystem;

class BankCommands : public StartedAppTest {
  protected:
    bool Received(uint32_t message) {
        emu->Flush();
        const auto shorts = emu->ReceivedShort();
        return std::find(shorts.begin(), shorts.end(), message) != shorts.end();
    }
};

TEST_F(BankCommands, OpeningABankWithRamSamplesLoadsThemIntoTheSynth) {
    const std::string bankPath = (Dir() / "waves.pbf").string();
    {
        ZedoDatabase db;
        ASSERT_NE(BuildProgramFromWave(db, Wav("a.wav", 40000), false, nullptr), nullptr);
        ASSERT_EQ(SaveBank(db, bankPath, 0), 0);
    }
    const uint32_t before = emu->Memory().sampleFree;
    ASSERT_TRUE(app->OpenDocumentFile(bankPath));
    const SampleHeader* header = nullptr;
    for (int n = 0; n < kSlotCount && !header; ++n) {
        const SampleHeader* s = app->Bank().GetSampleHeader(n);
        if (s && s->Name() == "a") header = s;
    }
    ASSERT_NE(header, nullptr);
    ASSERT_TRUE(emu->SampleData(header->Number()).has_value());
    EXPECT_GE(emu->SampleData(header->Number())->size(), 80000u);
    const emulator::Ma1Memory m = emu->Memory();
    EXPECT_LT(m.sampleFree, before);
    EXPECT_EQ(app->Synth().SampleGauge(),
              Fmt("Sample RAM %d%% (%4.1f MB)", int(m.sampleFree / (m.sampleTotal / 100)),
                  m.sampleFree / 1048576.0));
    EXPECT_EQ(app->Synth().ProgramGauge(),
              Fmt("Program RAM %d%% (%4.1f KB)", int(m.programFree / (m.programTotal / 100)),
                  m.programFree / 1024.0));
    EXPECT_EQ(app->RecentFiles().front(), bankPath);
    EXPECT_EQ(window.title, "Talmeru - [waves]");
}

TEST_F(BankCommands, TheNinthMarkFlushesTheFirstEight) {
    const int stores = emu->Requests(0x03);
    for (int n = 0; n < 8; ++n) {
        app->Changed(*app->Bank().GetProgram(n));
        app->Changed(*app->Bank().GetProgram(n));  // held once
    }
    EXPECT_EQ(app->Editing().Pending().size(), 8u);
    EXPECT_EQ(emu->Requests(0x03), stores);
    EXPECT_TRUE(app->Bank().IsModified());
    app->Changed(*app->Bank().GetProgram(8));
    ASSERT_EQ(app->Editing().Pending().size(), 1u);
    EXPECT_EQ(app->Editing().Pending()[0], app->Bank().GetProgram(8));
    for (int n = 0; n < 8; ++n)
        EXPECT_TRUE(emu->InRam(3, n)) << n;
    EXPECT_FALSE(emu->InRam(3, 8));
}

// Every edit passes through the application: a change drops the stale packed form (the
// synthesizer would get the old object) and waits for the flush; a made object waits for the
// upload of marked objects.
TEST_F(BankCommands, TheEditSeamDropsPackedFormsAndSendsWhatItRecords) {
    Program* p = app->Bank().GetProgram(0);
    ASSERT_EQ(p->PackCached(), 0);
    ASSERT_FALSE(p->PackedCopy().empty());
    p->SetName("Renamed");
    app->Changed(*p);
    EXPECT_TRUE(p->PackedCopy().empty());
    ASSERT_EQ(app->Editing().Pending(), std::vector<BankObject*>{p});

    Keymap* k = app->Bank().CreateKeymap("Made", 300);
    k->entries = {{127, 0, 1}};
    app->Bank().ClearMarks();
    app->MarkForUpload(*k);
    EXPECT_TRUE(k->marked);
    EXPECT_FALSE(emu->InRam(1, 300));
    EXPECT_EQ(app->UploadMarked(), 0);
    emu->Flush();
    EXPECT_TRUE(emu->InRam(1, 300));
}

TEST_F(BankCommands, AReadOnlyBankRefusesEdits) {
    app->Bank().SetMergeWaveData(true);
    app->Changed(*app->Bank().GetProgram(0));
    EXPECT_TRUE(app->Editing().Pending().empty());
    EXPECT_TRUE(prompter.Saw(
        "Bank becomes read-only if the merge wave data option is on.\nYou must turn off the option "
        "(in File|Properties) and reload the bank if you want to make edits."));
}

TEST_F(BankCommands, SelectingAProgramSendsBankSelectAndProgramChange) {
    app->SetAuditionChannel(2);
    Program* p = app->Bank().CreateProgram("High", 130);
    ASSERT_NE(p, nullptr);
    app->SelectProgram(p, true);
    EXPECT_EQ(app->Editing().CurrentNumber(), 130);
    EXPECT_TRUE(Received(0xB2 | (0u << 8) | (1u << 16)));
    EXPECT_TRUE(Received(0xC2 | (2u << 8)));
    EXPECT_EQ(window.channel, 2);
}

TEST_F(BankCommands, SaveIfWantedAnswers) {
    app->Bank().SetModified(true);
    const std::string path = (Dir() / "mine.pbf").string();
    window.savePath = path;

    prompter.QueueAnswer(Answer::Cancel);
    EXPECT_EQ(app->SaveIfWanted(), 1);
    EXPECT_TRUE(prompter.Saw("\"MA-1 GM Bank 0103.pbf\" is unsaved. Save it?"));
    prompter.QueueAnswer(Answer::No);
    EXPECT_EQ(app->SaveIfWanted(), 0);
    EXPECT_EQ(window.saveDialogs, 0);
    EXPECT_FALSE(fs::exists(path));

    prompter.QueueAnswer(Answer::Yes);
    EXPECT_EQ(app->SaveIfWanted(), 0);
    EXPECT_EQ(window.saveDialogs, 1);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_FALSE(app->Bank().IsModified());
    EXPECT_EQ(app->SaveIfWanted(), 0);
    EXPECT_EQ(window.saveDialogs, 1);

    // Yes, then a cancelled dialog or a save that fails: the edits stay and nothing goes on.
    for (std::optional<std::string> chosen :
         {std::optional<std::string>{},
          std::optional<std::string>{(Dir() / "no" / "x.pbf").string()}}) {
        app->Bank().SetModified(true);
        window.savePath = chosen;
        prompter.QueueAnswer(Answer::Yes);
        EXPECT_EQ(app->SaveIfWanted(), 1);
        EXPECT_TRUE(app->Bank().IsModified());
        prompter.QueueAnswer(Answer::Yes);
        app->NewBank();
        EXPECT_EQ(app->Bank().Path(), path);
    }

    app->Bank().SetPath({});
    app->Bank().SetModified(true);
    prompter.QueueAnswer(Answer::Cancel);
    EXPECT_FALSE(app->CanExit());
    EXPECT_TRUE(prompter.Saw("Bank is unsaved. Save it?"));
}

TEST_F(BankCommands, SaveAsTakesTheDialogsWaveFileOption) {
    ASSERT_NE(BuildProgramFromWave(app->Bank(), Wav("tone.wav", 3000), false, nullptr), nullptr);
    fs::create_directories(Dir() / "plain");
    fs::create_directories(Dir() / "withwaves");
    window.savePath = (Dir() / "plain" / "bank.pbf").string();
    app->SaveAs();
    EXPECT_TRUE(fs::exists(Dir() / "plain" / "bank.pbf"));
    EXPECT_FALSE(fs::exists(Dir() / "plain" / "tone.wav"));

    window.savePath = (Dir() / "withwaves" / "bank.pbf").string();
    window.saveOptions = kSaveWriteWavs;
    app->SaveAs();
    EXPECT_TRUE(fs::exists(Dir() / "withwaves" / "bank.pbf"));
    EXPECT_TRUE(fs::exists(Dir() / "withwaves" / "tone.wav"));
    EXPECT_EQ(app->RecentFiles().front(), window.savePath);
}

// Save As a SoundFont is an export: the file is written and the log shown, but the bank
// stays in its own file and unsaved, so neither the next Save nor the unsaved-bank question
// takes the SoundFont for the bank.
TEST_F(BankCommands, SaveAsSoundFontExportsAndKeepsTheBankUnsavedInItsFile) {
    Program* p = BuildProgramFromWave(app->Bank(), Wav("tone.wav", 3000), false, nullptr);
    ASSERT_NE(p, nullptr);
    p->GetLayer(0)->AddModulator(std::make_unique<FunModulator>());
    const std::string own = (Dir() / "mine.pbf").string();
    app->Bank().SetPath(own);
    app->Bank().SetModified(true);
    const std::string sf2 = (Dir() / "mine.sf2").string();
    window.savePath = sf2;
    window.logsShown = 0;
    EXPECT_TRUE(app->SaveAs());
    EXPECT_TRUE(fs::exists(sf2));
    EXPECT_EQ(app->Bank().Path(), own);
    EXPECT_TRUE(app->Bank().IsModified());
    EXPECT_EQ(window.logsShown, 1);
    EXPECT_TRUE(window.log.Has(Fmt("X Program %d tone, layer 0: FUN 0 (%s) not exported\r\n",
                                   p->Number(), FunOperatorName(0))))
        << window.log.Text();
    EXPECT_TRUE(app->RecentFiles().empty() || app->RecentFiles().front() != sf2);

    // Yes to the question, then an export: the bank is still unsaved, nothing goes on.
    prompter.QueueAnswer(Answer::Yes);
    EXPECT_EQ(app->SaveIfWanted(), 1);
    EXPECT_TRUE(app->Bank().IsModified());
    // Save writes the bank's own file.
    EXPECT_TRUE(app->Save());
    EXPECT_TRUE(fs::exists(own));
    EXPECT_FALSE(app->Bank().IsModified());
}

TEST_F(BankCommands, WithNobodyToAskTheBankGoesToSavedbank) {
    // Started from Dir(); start-up then moves to the last session's folder.
    fs::create_directory(Dir() / "elsewhere");
    {
        Profile p(Dir() / "talmeru.ini");
        p.WriteString("State", "CurrentDir", (Dir() / "elsewhere").string());
        ASSERT_TRUE(p.Save());
    }
    const fs::path before = fs::current_path();
    fs::current_path(Dir());
    Make();
    ASSERT_TRUE(app->Start(window, {}));
    EXPECT_EQ(fs::current_path(), Dir() / "elsewhere");
    fs::current_path(before);
    prompter.Clear();
    // Nothing unsaved: nothing written.
    EXPECT_EQ(app->SaveIfWanted(false), 0);
    EXPECT_FALSE(fs::exists(Dir() / "savedbank.pbf"));

    app->Bank().SetModified(true);
    EXPECT_EQ(app->SaveIfWanted(false), 0);
    EXPECT_TRUE(prompter.All().empty());
    EXPECT_EQ(window.saveDialogs, 0);
    ASSERT_TRUE(fs::exists(Dir() / "savedbank.pbf"));
    EXPECT_FALSE(app->Bank().IsModified());
    EXPECT_EQ(fs::path(app->RecentFiles().front()), Dir() / "savedbank.pbf");
    ZedoDatabase reread;
    ASSERT_EQ(OpenBank(reread, (Dir() / "savedbank.pbf").string(), kOpenQuiet), 0);
    ASSERT_NE(reread.GetProgram(0), nullptr);
    EXPECT_EQ(reread.GetProgram(0)->Name(), app->Bank().GetProgram(0)->Name());
}

TEST_F(BankCommands, AbortOfASilentSynthFirstAsksAboutTheUnsavedBank) {
    AbortGuard guard(prompter, [this] { return app->SaveIfWanted() == 0; });
    ScopedPrompter guarded(guard);
    app->Synth().Link().SetTickPeriod(std::chrono::milliseconds(1));
    app->Bank().SetModified(true);
    emu->InjectFault(emulator::Ma1Fault::kSilent, -1);
    // Abort, then Cancel at the save question: the request is given up, the program stays.
    prompter.QueueAnswer(Answer::Abort);
    prompter.QueueAnswer(Answer::Cancel);
    EXPECT_NE(app->Synth().Link().QueryMemory(1), 0);
    EXPECT_TRUE(prompter.Saw("\"MA-1 GM Bank 0103.pbf\" is unsaved. Save it?"));
    EXPECT_EQ(window.saveDialogs, 0);
    // Other questions pass unchanged.
    prompter.QueueAnswer(Answer::Abort);
    EXPECT_EQ(guard.Ask("x", Buttons::YesNoCancel), Answer::Abort);
    app->Bank().SetModified(false);
    prompter.QueueAnswer(Answer::Abort);
    EXPECT_EQ(guard.Ask("x", Buttons::AbortRetryIgnore), Answer::Abort);
}

TEST_F(BankCommands, KeysAndIncomingNotesReachTheSynthAndTheBars) {
    app->Synth().SetAuditionVelocity(77);
    app->SetAuditionChannel(4);
    app->KeyEvent(13, true);
    EXPECT_TRUE(Received(0x94 | (13u << 8) | (77u << 16)));
    EXPECT_EQ(window.notes[4], 1);
    app->KeyEvent(13, false);
    EXPECT_TRUE(Received(0x94 | (13u << 8)));
    EXPECT_EQ(window.notes[4], 0);

    // From the audition input: a note-off for a silent channel leaves the count at 0.
    std::vector<std::pair<int, bool>> heard;
    app->SetNoteListener([&](int key, bool on) { heard.emplace_back(key, on); });
    emu->PlayExternal(0x91 | (60u << 8) | (100u << 16));
    emu->PlayExternal(0x85 | (61u << 8));
    emu->Flush();
    for (int i = 0; i < 100 && heard.size() < 2; ++i) {
        app->HandleIncoming();
        if (heard.size() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0], std::make_pair(60, true));
    EXPECT_EQ(heard[1], std::make_pair(61, false));
    EXPECT_EQ(window.notes[1], 1);
    EXPECT_EQ(window.notes[5], -1);                     // the channel display keeps its count at 0
    EXPECT_EQ(std::get<2>(window.keys.back()), false);  // channel 5 is not the audition channel
}

// The window keeps handling events while an upload runs: a note from the audition input must
// not send the pending edits over the link the upload's worker is using.
TEST_F(BankCommands, PendingEditsWaitForTheUploadToEnd) {
    struct NoteDuringUpload : UploadHost {
        std::function<void()> during;
        bool RunUpload(const Work& work) override {
            ThreadUploadHost worker;
            during();
            return worker.RunUpload(work);
        }
    } noteHost;
    window.uploads = &noteHost;
    app->Changed(*app->Bank().GetProgram(0));
    size_t pendingDuring = 0;
    noteHost.during = [&] {
        bool heard = false;
        app->SetNoteListener([&](int, bool) { heard = true; });
        emu->PlayExternal(0x90 | (60u << 8) | (100u << 16));
        emu->Flush();
        for (int i = 0; i < 200 && !heard; ++i) {
            app->HandleIncoming();
            if (!heard) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_TRUE(heard);
        pendingDuring = app->Editing().Pending().size();
    };
    EXPECT_EQ(app->UploadMarked(), 0);
    EXPECT_EQ(pendingDuring, 1u);
    EXPECT_TRUE(app->Editing().Pending().empty());
}

TEST_F(BankCommands, TheCopyDialogListsAndDuplicatesTheTickedObjects) {
    Program* source = nullptr;
    for (int n = 0; n < kSlotCount && !source; ++n) {
        Program* p = app->Bank().GetProgram(n);
        if (p && p->LayerCount() > 0 && app->Bank().GetKeymap(p->GetLayer(0)->keymap)) source = p;
    }
    ASSERT_NE(source, nullptr);
    CopyList list(app->Bank(), *source);
    ASSERT_GE(list.Lines().size(), 2u);
    EXPECT_EQ(list.Lines()[0].text, source->Name());
    EXPECT_TRUE(list.Lines()[0].ticked);
    const Keymap* k = app->Bank().GetKeymap(source->GetLayer(0)->keymap);
    EXPECT_EQ(list.Lines()[1].text, Fmt("    K[%d] : %s", k->Number(), k->Name().c_str()));
    EXPECT_FALSE(list.Lines()[1].ticked);
    EXPECT_FALSE(list.TicksOrphans());
    list.Lines()[0].ticked = false;
    list.Lines()[1].ticked = true;
    EXPECT_TRUE(list.TicksOrphans());
    list.SelectAll(true);
    EXPECT_FALSE(list.TicksOrphans());

    app->SelectProgram(source, true);
    const int free = app->Bank().FirstFreeProgram();
    window.copyOk = false;
    EXPECT_EQ(app->DuplicateCurrentProgram(), nullptr);
    EXPECT_EQ(app->Bank().GetProgram(free), nullptr);
    window.copyOk = true;
    Program* copy = app->DuplicateCurrentProgram();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Number(), free);
    EXPECT_EQ(app->Editing().CurrentProgram(), copy);
    EXPECT_TRUE(emu->InRam(3, free));
    // Only the program was ticked: the copy plays the same keymap.
    EXPECT_EQ(copy->GetLayer(0)->keymap, source->GetLayer(0)->keymap);
}

TEST_F(BankCommands, DeleteAndImportChangeTheBank) {
    Program* first = app->Editing().CurrentProgram();
    ASSERT_NE(first, nullptr);
    app->DeleteCurrentProgram();
    EXPECT_EQ(app->Bank().GetProgram(0), nullptr);
    ASSERT_NE(app->Editing().CurrentProgram(), nullptr);  // refresh takes the next program
    EXPECT_EQ(app->Editing().CurrentNumber(), 1);

    const int free = app->Bank().FirstFreeProgram();
    EXPECT_EQ(app->ImportWaves({Wav("one.wav", 1000), Wav("two.wav", 1000)}), 2);
    ASSERT_NE(app->Bank().GetProgram(free), nullptr);
    EXPECT_EQ(app->Editing().CurrentProgram(), app->Bank().GetProgram(free));
    EXPECT_TRUE(emu->InRam(3, free));
}

// A failed import or export is reported once, by what failed.
TEST_F(BankCommands, FailedImportsAndExportsSayItOnce) {
    const std::string junk = (Dir() / "junk.wav").string();
    ASSERT_TRUE(WriteWholeFile(junk, std::vector<uint8_t>(64, 'x')));
    const std::string missing = (Dir() / "missing.wav").string();
    for (const std::string& path : {junk, missing}) {
        prompter.Clear();
        EXPECT_EQ(app->ImportWaves({path}), 0);
        EXPECT_EQ(prompter.Messages().size(), 1u) << ::testing::PrintToString(prompter.Messages());
    }
    for (bool instrument : {true, false}) {
        prompter.Clear();
        EXPECT_NE(app->ExportBank((Dir() / "no" / "bank.ins").string(), instrument), 0);
        EXPECT_EQ(prompter.Messages().size(), 1u) << instrument;
    }
}

}  // namespace
}  // namespace talmeru::test
