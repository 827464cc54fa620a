#include "application/TalmeruApp.h"

#include <algorithm>
#include <cctype>

#include "application/CopyList.h"
#include "emulator/Ma1Emulator.h"
#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/Exports.h"
#include "files/RomBankCache.h"
#include "files/Sf2Import.h"
#include "files/WaveImport.h"
#include "model/BankTransfer.h"
#include "model/ZedoException.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Locations.h"
#include "platform/PathText.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

constexpr const char* kRecentSection = "Recent File List";

}  // namespace

void MiscOptions::Read(const Profile& p) {
    importPrompt = p.GetBool("Options", "ImportPrompt", true);
    waveEditorPath = p.GetString("Options", "WaveEditorPath");
    autoProgramSwitch = p.GetBool("Options", "AutoProgramSwitch", true);
    autoProgramReplace = p.GetBool("Options", "AutoProgramReplace", false);
    bankPrefix = p.GetBool("Options", "BankPrefix", true);
    numberStyle = p.GetInt("Options", "NumberStyle", 0);
    reopenLastBank = p.GetBool("Options", "ReopenLastBank", true);
}

void MiscOptions::Write(Profile& p) const {
    p.WriteBool("Options", "ImportPrompt", importPrompt);
    p.WriteString("Options", "WaveEditorPath", waveEditorPath);
    p.WriteBool("Options", "AutoProgramSwitch", autoProgramSwitch);
    p.WriteBool("Options", "AutoProgramReplace", autoProgramReplace);
    p.WriteBool("Options", "BankPrefix", bankPrefix);
    p.WriteInt("Options", "NumberStyle", numberStyle);
    p.WriteBool("Options", "ReopenLastBank", reopenLastBank);
}

AppEnvironment DefaultEnvironment() {
    AppEnvironment env;
    env.folder = SettingsDirectory();
    env.emulator = emulator::Ma1Emulator::Create();
    env.midi = std::make_unique<MidiSystem>(MakeRtMidiDevices());
    env.midi->AddVirtualDevices(env.emulator->Devices());
    env.audio = MakeRtAudioOutput();
    return env;
}

std::string WindowTitle(const std::string& bankPath) {
    std::string name = StemOf(bankPath);
    if (name.empty()) name = "Untitled";
    return "Talmeru - [" + name + "]";
}

bool IsRomBankCache(const std::string& path) {
    const std::string name = FileNameOf(path);
    if (name.size() != 15 || name.compare(0, 7, "Rombank") != 0 || name.compare(11, 4, ".pbf") != 0)
        return false;
    return std::all_of(name.begin() + 7, name.begin() + 11,
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

std::string ConvertedBankPath(const std::string& converted, const std::filesystem::path& current,
                              const std::function<bool(const std::filesystem::path&)>& writable) {
    const std::filesystem::path path = PathFromUtf8(converted);
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    if (writable(folder)) return converted;
    if (!current.empty() && writable(current)) return Utf8FromPath(current / path.filename());
    return {};
}

TalmeruApp::TalmeruApp(AppEnvironment env)
    : folder_(std::move(env.folder)),
      bank_(std::make_unique<BankSession>([this] { FlushPendingEdits(); })) {
    // Start-up moves to the folder of the last session; what the command line names is
    // relative to the folder the program was started from.
    std::error_code ec;
    startFolder_ = std::filesystem::current_path(ec);
    if (ec) startFolder_ = UserHomeDirectory();
    Phase1(env);
    bank_->StartHistory();
}

TalmeruApp::~TalmeruApp() {
    // The bank holds the link; it goes first, then the link before the devices it uses.
    bank_.reset();
    synth_.reset();
}

void TalmeruApp::Phase1(AppEnvironment& env) {
    settings_.SetPath(folder_ / "talmeru.ini");
    if (!settings_.Load())
        ShowMessage("Could not read the settings file " + Utf8FromPath(settings_.Path()));
    options_.Read(settings_);
    synth_ = std::make_unique<SynthSession>(settings_, std::move(env.midi), std::move(env.emulator),
                                            std::move(env.audio), env.pump);
    ZedoDatabase& bank = bank_->Bank();
    MidiSynthLink& link = synth_->Link();
    bank.SetLink(&link);
    ApplyBankOptions();

    BankLink* romSource = link.IsReady() ? &link : nullptr;
    RomBankCache cache(folder_, settings_);
    std::unique_ptr<DownloadObserver> progress;
    if (romSource && env.cacheProgress &&
        !std::filesystem::exists(cache.PathFor(romSource->RomVersion())))
        progress = env.cacheProgress([&link] { link.Cancel(); });
    bank_->SetRomBank(cache.Load(romSource, bank, progress.get()));
    progress.reset();
    cacheBuilt_ = cache.Built();
    if (!bank_->RomBank()) return;  // the synthesizer's ROM version could not be told
    romVersion_ = romSource ? romSource->RomVersion() : kDefaultRomVersion;
    bank.Clear(false);  // the ROM wave data stays element 0
    bank.SetModified(false);

    // The design's "C:\" stands for the user's home.
    const std::string dir =
        settings_.GetString("State", "CurrentDir", Utf8FromPath(UserHomeDirectory()));
    std::error_code ec;
    std::filesystem::current_path(dir, ec);
    settings_.Save();
}

void TalmeruApp::ApplyBankOptions() {
    ZedoDatabase& bank = bank_->Bank();
    bank.SetMergeWaveData(settings_.GetBool("Options", "MergeWaveData", false));
    bank.SetLoadWaveData(settings_.GetBool("Options", "LoadWaveData", true));
    bank.SetPurgeUnused(settings_.GetBool("Options", "PurgeUnused", true));
}

ProgramNumbering TalmeruApp::Numbering() const {
    return ProgramNumbering{options_.bankPrefix, options_.numberStyle};
}

bool TalmeruApp::Start(ShellWindow& window, const std::vector<std::string>& files) {
    window_ = &window;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const std::string path = settings_.GetString(kRecentSection, Fmt("File%d", i));
        if (!path.empty() && !IsRomBankCache(path)) recent_.push_back(path);
    }
    window.ShowChannel(synth_->AuditionChannel());

    const int last = settings_.GetInt("Install", "Version", 0);
    if (last == 0) {
        ShowMessage(
            "Welcome to Talmeru!\n\nThe Object Browser on the left lists the programs, keymaps "
            "and samples of the current bank; the Program Editor shows the current program.\n"
            "Play it with the keyboard bar or a MIDI keyboard, and open a bank with File > Open.");
        settings_.WriteInt("Install", "Version", kTalmeruVersion);
    } else if (last != kTalmeruVersion) {
        ShowMessage(
            Fmt("New Version Detected!\n\nThis is the first time you have used this version "
                "of Talmeru.\n\nGood Luck!\n\nLast version: %03x\nThis version: %03x",
                last, kTalmeruVersion));
        settings_.WriteInt("Install", "Version", kTalmeruVersion);
    }
    if (!synth_->Link().IsReady() &&
        AskYesNo("Talmeru could not find the MA-1 drivers it was expecting.  If the drivers are "
                 "not working, you are out of luck.  However, would you like to see the "
                 "Properties Sheet to see what devices are available?") &&
        window.ShowProperties()) {
        Refresh(kHintAll);
    }

    if (!files.empty()) {
        // A file that cannot be read ends the program; one whose import the user cancelled
        // leaves it running on an empty bank.
        if (!OpenDocumentFile(Utf8FromPath(startFolder_ / PathFromUtf8(files.front()))) &&
            !openCancelled_)
            return false;
    } else if (const std::string bank = LastBank(); bank.empty() || !OpenDocumentFile(bank)) {
        // Without the last session's bank (an option; one that no longer reads counts as
        // none) the synthesizer's memory decides.
        const MemoryFigures& m = synth_->Link().Memory();
        if (m.programFree == m.programTotal && m.sampleFree == m.sampleTotal) {
            ResetToRom();
        } else {
            switch (window.AskWelcome()) {
                case WelcomeChoice::ResetSynth:
                    ResetToRom();
                    break;
                case WelcomeChoice::DownloadPrograms:
                    DownloadPrograms();
                    break;
                case WelcomeChoice::Closed:
                    break;
            }
        }
    }
    AllNotesOff();
    settings_.Save();
    return true;
}

void TalmeruApp::ResetSequence() {
    FlushPendingEdits();
    bank_->SetCurrent(nullptr);
    if (window_) window_->RefreshViews(kHintAll);
    ZedoDatabase& bank = bank_->Bank();
    bank.Clear(false);
    bank.SetModified(false);
    bank.SetPath({});
    synth_->Link().ClearRam();
    synth_->Link().SystemReset();
    if (window_) {
        window_->FillProgramBox();
        window_->RefreshViews(kHintAll);
    }
}

void TalmeruApp::ResetToRom() {
    ResetSequence();
    if (const ZedoDatabase* rom = bank_->RomBank()) {
        ZedoDatabase& bank = bank_->Bank();
        RestoreRom(bank, *rom, kRestoreRename | kRestorePrograms);
        bank.SetPath(Fmt("MA-1 GM Bank %04x.pbf", romVersion_));
        bank.SetModified(false);
    }
    // The steps belong to the bank being replaced.
    bank_->History().Reset();
    Refresh(kHintAll);
}

void TalmeruApp::DownloadPrograms() {
    FlushPendingEdits();
    if (DownloadAll(Bank(), synth_->Link(), window_ ? window_->Downloads() : nullptr) != 0)
        ShowMessage("Download failed.");
    bank_->History().Reset();
    Refresh(kHintAll);
}

void TalmeruApp::AllNotesOff() {
    FlushPendingEdits();
    synth_->AllNotesOff();
}

void TalmeruApp::Panic() {
    AllNotesOff();
}

void TalmeruApp::Upload() {
    RunUpload([this](UploadHost& host) { return Synchronise(Bank(), bank_->RomBank(), host); });
}

int TalmeruApp::RunUpload(const std::function<int(UploadHost&)>& upload) {
    if (!window_) return 1;
    uploading_ = true;
    const int rc = upload(window_->Uploads());
    uploading_ = false;
    if (flushWaiting_) {
        flushWaiting_ = false;
        FlushPendingEdits();
    }
    return rc;
}

void TalmeruApp::NewBank() {
    if (SaveIfWanted() != 0) return;
    ResetSequence();
    bank_->History().Reset();
    Refresh(kHintAll);
}

void TalmeruApp::OpenBankCommand() {
    if (SaveIfWanted() != 0 || !window_) return;
    if (auto path = window_->AskOpenPath()) OpenDocumentFile(*path);
}

bool TalmeruApp::OpenDocumentFile(const std::string& path) {
    openCancelled_ = false;
    // A SoundFont asks how to convert it before the open bank is cleared: a cancel keeps it.
    if (!AskSf2Choice(path)) {
        openCancelled_ = true;
        return false;
    }
    ResetSequence();
    ConversionLog* log = window_ ? window_->Log() : nullptr;
    if (log) log->Clear();
    const bool ok = OpenBank(Bank(), path, 0, log) == 0;
    // An import converted in a system folder must not keep a path that Save cannot write.
    if (ok && Bank().Path() != path)
        Bank().SetPath(ConvertedBankPath(Bank().Path(), startFolder_, FolderWritable));
    if (window_) window_->ShowLog();
    if (!ok) ShowMessage("Could not read file properly.");
    bank_->History().Reset();
    // A converted bank is in no file until it is saved.
    if (ok && Bank().Path() != path) {
        Bank().SetModified(true);
        bank_->History().MarkUnsaved();
    }
    Upload();
    Refresh(kHintAll);
    if (ok) AddRecentFile(path);
    return ok;
}

bool TalmeruApp::SaveTo(const std::string& path, int options) {
    ConversionLog* log = window_ ? window_->Log() : nullptr;
    if (log) log->Clear();
    const bool saved = SaveBank(Bank(), path, options, log) == 0;
    // An export (.sf2) reports what its format could not hold.
    if (window_) window_->ShowLog();
    if (saved && !Bank().IsModified()) bank_->History().MarkSaved();
    if (!saved) {
        ShowMessage("Could not save file properly");
    } else if (!Bank().Path().empty()) {
        // After an export the bank's own file is still the one to reopen.
        AddRecentFile(Bank().Path());
    }
    if (window_) window_->SetTitle(WindowTitle(Bank().Path()));
    return saved;
}

bool TalmeruApp::Save() {
    return Bank().Path().empty() ? SaveAs() : SaveTo(Bank().Path(), 0);
}

bool TalmeruApp::SaveAs() {
    if (!window_) return false;
    const std::optional<SaveChoice> choice = window_->AskSavePath(Bank().Path());
    return choice && SaveTo(choice->path, choice->options);
}

int TalmeruApp::SaveIfWanted(bool canAsk) {
    if (!Bank().IsModified()) return 0;
    if (!canAsk) {
        SaveTo((startFolder_ / "savedbank.pbf").string(), 0);
        return 0;
    }
    const std::string text = Bank().Path().empty()
                                 ? std::string("Bank is unsaved. Save it?")
                                 : Fmt("\"%s\" is unsaved. Save it?", Bank().Path().c_str());
    switch (CurrentPrompter().Ask(text, Buttons::YesNoCancel)) {
        case Answer::Cancel:
            return 1;
        case Answer::Yes:
            // A cancelled dialog or a failed save keeps the edits: the operation stops. So
            // does an export, which leaves the bank unsaved in its own file.
            return SaveAs() && !Bank().IsModified() ? 0 : 1;
        default:
            return 0;
    }
}

void TalmeruApp::RestoreRomCommand() {
    if (SaveIfWanted() != 0) return;
    ResetToRom();
}

void TalmeruApp::DeleteCurrentProgram() {
    const Program* current = bank_->CurrentProgram();
    if (!current) {
        ShowMessage("Select a program first");
        return;
    }
    EditStep step(*this, "Delete Program " + current->Name());
    bank_->DeleteCurrent();
    Refresh(kHintPrograms);
}

Program* TalmeruApp::DuplicateCurrentProgram() {
    Program* current = bank_->CurrentProgram();
    if (!current || !window_) return nullptr;
    CopyList list(Bank(), *current);
    if (!window_->AskCopy(list)) return nullptr;
    list.MarkTicked(Bank());
    EditStep step(*this, "Duplicate Program " + current->Name());
    Program* copy = Bank().DuplicateMarked(*current, true);
    if (!copy) return nullptr;
    Bank().SetModified(true);
    Upload();
    Refresh(kHintPrograms);
    if (options_.autoProgramSwitch) SelectProgram(copy, true);
    return copy;
}

int TalmeruApp::ExportBank(const std::string& path, bool instrument) {
    // The writers say what went wrong themselves.
    return instrument ? ExportInstrumentDefinition(Bank(), path) : ExportBankReport(Bank(), path);
}

int TalmeruApp::ImportWaves(const std::vector<std::string>& files) {
    FlushPendingEdits();
    EditStep step(*this, files.size() == 1 ? "Import Sample" : "Import Samples");
    Bank().ClearMarks();
    int count = 0;
    Program* first = nullptr;
    Program* current = bank_->CurrentProgram();
    for (const std::string& path : files) {
        Program* made = nullptr;
        std::string failure;
        {
            MessageWatch watch;
            try {
                made = BuildProgramFromWave(Bank(), path, options_.autoProgramReplace, current);
            } catch (const ZedoException& e) {
                if (!watch.Shown()) failure = e.what();
            }
        }
        if (!failure.empty()) ShowMessage(failure);
        // Whatever stopped the import has been said once, by the importer or just above.
        if (!made) break;
        if (!first) first = made;
        ++count;
    }
    if (count != 1 && options_.autoProgramReplace)
        ShowMessage("Warning: Auto Program Replace option on, but you selected more than 1 sample");
    if (count > 0) Bank().SetModified(true);
    Upload();
    Refresh(kHintAll);
    if (first && options_.autoProgramSwitch) SelectProgram(first, true);
    return count;
}

void TalmeruApp::FinishWizard(Program* made) {
    if (!made) return;
    Upload();
    FlushPendingEdits();
    Refresh(kHintAll);
    if (options_.autoProgramSwitch) SelectProgram(made, true);
}

void TalmeruApp::SetSampleRamMiB(int mib) {
    const int was = synth_->SampleRamMiB();
    if (!synth_->SetSampleRamMiB(mib)) return;
    FlushPendingEdits();
    synth_->Link().QueryMemory(0);
    synth_->Link().QueryMemory(1);
    if (synth_->SampleRamMiB() > was) Upload();
}

void TalmeruApp::Sync() {
    FlushPendingEdits();
    if (synth_->Link().QueryMemory(1) != 0) ShowMessage("Unable to determine available memory");
}

void TalmeruApp::Refresh(RefreshHint hint) {
    if (bank_->CurrentStale()) SelectProgram(Bank().GetProgram(bank_->CurrentNumber()), false);
    bank_->SelectFirstWhenNone();
    if (window_) {
        window_->RefreshViews(hint);
        if (hint & kHintPrograms) window_->FillProgramBox();
    }
    SelectProgram(bank_->CurrentProgram(), true);
    Sync();
    if (window_) window_->SetTitle(WindowTitle(Bank().Path()));
}

void TalmeruApp::SelectProgram(Program* program, bool updateToolbar) {
    FlushPendingEdits();
    bank_->SetCurrent(program);
    if (program) synth_->SendProgram(bank_->CurrentNumber());
    if (updateToolbar && window_) window_->ShowCurrentProgram();
    if (window_) window_->ProgramSelected();
}

void TalmeruApp::Changed(BankObject& object) {
    bank_->Changed(object);
    if (window_ && Editable()) window_->ObjectEdited(object);
}

void TalmeruApp::MarkForUpload(BankObject& object) {
    bank_->MarkForUpload(object);
}

int TalmeruApp::UploadMarked() {
    return RunUpload(
        [this](UploadHost& host) { return talmeru::UploadMarked(Bank(), bank_->RomBank(), host); });
}

void TalmeruApp::KeepUndoKeymap(const Keymap&) {
    bank_->History().NameFieldStep("Keymap change");
}

void TalmeruApp::BeginStep(std::string_view name) {
    bank_->History().Begin(name);
}

void TalmeruApp::EndStep() {
    bank_->History().End();
}

void TalmeruApp::UndoTo(int position) {
    if (!Editable()) return;
    // Nothing queued may point at an object the undo deletes.
    FlushPendingEdits();
    UndoHistory::Applied applied;
    if (!bank_->StepTo(position, applied)) return;
    if (!applied.created.empty()) UploadMarked();
    FlushPendingEdits();
    if (bank_->History().AtSaved()) Bank().SetModified(false);
    Refresh(applied.hint);
}

void TalmeruApp::FlushPendingEdits() {
    // The upload's worker owns the link until it ends; the edits follow it.
    if (uploading_) {
        flushWaiting_ = true;
        return;
    }
    if (bank_->SendPending(synth_->Link()) && bank_->CurrentProgram())
        synth_->SendProgram(bank_->CurrentNumber());
}

void TalmeruApp::SetAuditionChannel(int channel) {
    if (synth_->SetAuditionChannel(channel) && window_)
        window_->ShowChannel(synth_->AuditionChannel());
}

void TalmeruApp::KeyEvent(int key, bool down) {
    if (down) FlushPendingEdits();
    synth_->PlayKey(key, down);
    if (window_) {
        window_->ShowKey(key, down, true);
        window_->AddChannelNotes(synth_->AuditionChannel(), down ? 1 : -1);
    }
}

void TalmeruApp::HandleIncoming() {
    for (const IncomingNote& note : synth_->TakeIncomingNotes()) {
        if (note.pressed) FlushPendingEdits();
        if (window_) {
            window_->ShowKey(note.key, note.pressed, note.channel == synth_->AuditionChannel());
            window_->AddChannelNotes(note.channel, note.pressed ? 1 : -1);
        }
        if (noteListener_) noteListener_(note.key, note.pressed);
    }
}

std::string TalmeruApp::LastBank() const {
    if (!options_.reopenLastBank || recent_.empty()) return {};
    std::error_code ec;
    return std::filesystem::is_regular_file(recent_.front(), ec) ? recent_.front() : std::string();
}

void TalmeruApp::AddRecentFile(const std::string& path) {
    if (IsRomBankCache(path)) return;
    std::erase(recent_, path);
    recent_.insert(recent_.begin(), path);
    if (int(recent_.size()) > kRecentFileCount) recent_.resize(kRecentFileCount);
    for (int i = 0; i < kRecentFileCount; ++i) {
        if (i < int(recent_.size())) {
            settings_.WriteString(kRecentSection, Fmt("File%d", i + 1), recent_[i]);
        } else {
            settings_.DeleteKey(kRecentSection, Fmt("File%d", i + 1));
        }
    }
}

bool TalmeruApp::CanExit() {
    return SaveIfWanted() == 0;
}

void TalmeruApp::SaveState(const std::vector<std::string>& openEditors) {
    std::error_code ec;
    const std::string dir = Utf8FromPath(std::filesystem::current_path(ec));
    if (!ec && dir.size() < 256) settings_.WriteString("State", "CurrentDir", dir);
    for (const char* editor : {"ObjectBrowser", "BankEditor", "SampleEditor", "LayerEditor"}) {
        const bool open =
            std::find(openEditors.begin(), openEditors.end(), editor) != openEditors.end();
        settings_.WriteBool("State", std::string(editor) + "Open", open);
    }
    options_.Write(settings_);
    if (!settings_.Save())
        ShowMessage("Could not save the settings file " + Utf8FromPath(settings_.Path()));
}

}  // namespace talmeru
