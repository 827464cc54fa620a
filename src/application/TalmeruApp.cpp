#include "application/TalmeruApp.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

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
#include "platform/Format.h"
#include "platform/Locations.h"
#include "platform/Memory.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

constexpr const char* kRecentSection = "Recent File List";

std::filesystem::path HomeDirectory() {
    const char* home = std::getenv("HOME");
    return home ? std::filesystem::path(home) : std::filesystem::current_path();
}

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
    std::string name = std::filesystem::path(bankPath).stem().string();
    if (name.empty()) name = "Untitled";
    return "Talmeru - [" + name + "]";
}

bool IsRomBankCache(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    if (name.size() != 15 || name.compare(0, 7, "Rombank") != 0 || name.compare(11, 4, ".pbf") != 0)
        return false;
    return std::all_of(name.begin() + 7, name.begin() + 11,
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

std::string ConvertedBankPath(const std::string& converted, const std::filesystem::path& current,
                              const std::function<bool(const std::filesystem::path&)>& writable) {
    const std::filesystem::path path(converted);
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    if (writable(folder)) return converted;
    if (!current.empty() && writable(current)) return (current / path.filename()).string();
    return {};
}

TalmeruApp::TalmeruApp(AppEnvironment env)
    : folder_(std::move(env.folder)),
      emulator_(std::move(env.emulator)),
      midi_(std::move(env.midi)),
      audio_(std::make_unique<EmulatorAudio>(emulator_, std::move(env.audio))) {
    // Start-up moves to the folder of the last session; what the command line names is
    // relative to the folder the program was started from.
    std::error_code ec;
    startFolder_ = std::filesystem::current_path(ec);
    if (ec) startFolder_ = HomeDirectory();
    Phase1(env);
    history_ = std::make_unique<UndoHistory>(bank_);
}

TalmeruApp::~TalmeruApp() {
    history_.reset();
    audio_.reset();
    // The link goes before the devices it uses, and with it the bank's pointer to it.
    bank_.SetLink(nullptr);
    link_.reset();
    midi_.reset();
}

void TalmeruApp::Phase1(const AppEnvironment& env) {
    settings_.SetPath(folder_ / "talmeru.ini");
    if (!settings_.Load())
        ShowMessage("Could not read the settings file " + settings_.Path().string());
    options_.Read(settings_);
    if (emulator_) emulator_->SetSampleRamBytes(uint32_t(SampleRamMiB()) << 20);
    link_ = std::make_unique<MidiSynthLink>(*midi_, settings_);
    link_->SetIncomingNotify([this] {
        std::lock_guard lock(notifyMutex_);
        if (incomingNotify_) incomingNotify_();
    });
    link_->SetEventPump(env.pump);
    bank_.SetLink(link_.get());
    ApplyBankOptions();
    link_->LogDevices();
    link_->ChooseDevices();

    BankLink* romSource = nullptr;
    if (link_->IsReady()) {
        velocity_ = settings_.GetInt("Audition", "Velocity", 96);
        channel_ = settings_.GetInt("Audition", "Channel", 0) & 15;
        const int stored = settings_.GetInt("Audition", "InEnabled", 1);
        auditionIn_ = stored == 1;
        if (stored != (auditionIn_ ? 1 : 0))
            settings_.WriteBool("Audition", "InEnabled", auditionIn_);
        if (auditionIn_) {
            link_->StartAudition();
        } else {
            link_->StopAudition();
        }
        romSource = link_.get();
    } else {
        link_->LogDevices();
    }
    RomBankCache cache(folder_, settings_);
    std::unique_ptr<DownloadObserver> progress;
    if (romSource && env.cacheProgress &&
        !std::filesystem::exists(cache.PathFor(romSource->RomVersion())))
        progress = env.cacheProgress([this] { link_->Cancel(); });
    rom_ = cache.Load(romSource, bank_, progress.get());
    progress.reset();
    cacheBuilt_ = cache.Built();
    if (!rom_) return;  // the synthesizer's ROM version could not be told
    romVersion_ = romSource ? romSource->RomVersion() : kDefaultRomVersion;
    bank_.Clear(false);  // the ROM wave data stays element 0
    bank_.SetModified(false);

    // The design's "C:\" stands for the user's home.
    const std::string dir = settings_.GetString("State", "CurrentDir", HomeDirectory().string());
    std::error_code ec;
    std::filesystem::current_path(dir, ec);
    settings_.Save();
}

void TalmeruApp::ApplyBankOptions() {
    bank_.SetMergeWaveData(settings_.GetBool("Options", "MergeWaveData", false));
    bank_.SetLoadWaveData(settings_.GetBool("Options", "LoadWaveData", true));
    bank_.SetPurgeUnused(settings_.GetBool("Options", "PurgeUnused", true));
}

bool TalmeruApp::PlaysOnEmulator() const {
    const int out = link_->SynthOutIndex();
    const auto& outputs = link_->Outputs();
    return emulator_ && out >= 0 && size_t(out) < outputs.size() &&
           outputs[size_t(out)].name == emulator::kSynthOutName;
}

const AudioStatus& TalmeruApp::UpdateAudio(const AudioConfig& config, bool reopen) {
    if (!PlaysOnEmulator()) {
        audio_->Stop();
    } else if (reopen || !audio_->Playing()) {
        audio_->Play(config);
    }
    return audio_->Status();
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
    window.ShowChannel(channel_);

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
    if (!link_->IsReady() &&
        AskYesNo("Talmeru could not find the MA-1 drivers it was expecting.  If the drivers are "
                 "not working, you are out of luck.  However, would you like to see the "
                 "Properties Sheet to see what devices are available?") &&
        window.ShowProperties()) {
        Refresh(kHintAll);
    }

    if (!files.empty()) {
        // A file that cannot be read ends the program; one whose import the user cancelled
        // leaves it running on an empty bank.
        if (!OpenDocumentFile((startFolder_ / files.front()).string()) && !openCancelled_)
            return false;
    } else if (const std::string bank = LastBank(); bank.empty() || !OpenDocumentFile(bank)) {
        // Without the last session's bank (an option; one that no longer reads counts as
        // none) the synthesizer's memory decides.
        const MemoryFigures& m = link_->Memory();
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
    current_ = nullptr;
    currentNumber_ = -1;
    if (window_) window_->RefreshViews(kHintAll);
    bank_.Clear(false);
    bank_.SetModified(false);
    bank_.SetPath({});
    link_->ClearRam();
    link_->SystemReset();
    if (window_) {
        window_->FillProgramBox();
        window_->RefreshViews(kHintAll);
    }
}

void TalmeruApp::ResetToRom() {
    ResetSequence();
    if (rom_) {
        RestoreRom(bank_, *rom_, kRestoreRename | kRestorePrograms);
        bank_.SetPath(Fmt("MA-1 GM Bank %04x.pbf", romVersion_));
        bank_.SetModified(false);
    }
    // The steps belong to the bank being replaced.
    if (history_) history_->Reset();
    Refresh(kHintAll);
}

void TalmeruApp::DownloadPrograms() {
    FlushPendingEdits();
    if (DownloadAll(bank_, *link_, window_ ? window_->Downloads() : nullptr) != 0)
        ShowMessage("Download failed.");
    history_->Reset();
    Refresh(kHintAll);
}

void TalmeruApp::AllNotesOff() {
    FlushPendingEdits();
    link_->SendShort(0xFC, 0, 0, 0);
    for (int ch = 0; ch < 16; ++ch) {
        link_->SendShort(uint8_t(0xB0 | ch), 120, 0, 0);
        link_->SendShort(uint8_t(0xB0 | ch), 123, 0, 0);
    }
}

void TalmeruApp::Panic() {
    AllNotesOff();
}

void TalmeruApp::Upload() {
    RunUpload([this](UploadHost& host) { return Synchronise(bank_, rom_.get(), host); });
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
    history_->Reset();
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
    const bool ok = OpenBank(bank_, path, 0, log) == 0;
    // An import converted in a system folder must not keep a path that Save cannot write.
    if (ok && bank_.Path() != path)
        bank_.SetPath(ConvertedBankPath(bank_.Path(), startFolder_, FolderWritable));
    if (window_) window_->ShowLog();
    if (!ok) ShowMessage("Could not read file properly.");
    history_->Reset();
    // A converted bank is in no file until it is saved.
    if (ok && bank_.Path() != path) {
        bank_.SetModified(true);
        history_->MarkUnsaved();
    }
    Upload();
    Refresh(kHintAll);
    if (ok) AddRecentFile(path);
    return ok;
}

bool TalmeruApp::SaveTo(const std::string& path, int options) {
    ConversionLog* log = window_ ? window_->Log() : nullptr;
    if (log) log->Clear();
    const bool saved = SaveBank(bank_, path, options, log) == 0;
    // An export (.sf2) reports what its format could not hold.
    if (window_) window_->ShowLog();
    if (saved && !bank_.IsModified()) history_->MarkSaved();
    if (!saved) {
        ShowMessage("Could not save file properly");
    } else if (!bank_.Path().empty()) {
        // After an export the bank's own file is still the one to reopen.
        AddRecentFile(bank_.Path());
    }
    if (window_) window_->SetTitle(WindowTitle(bank_.Path()));
    return saved;
}

bool TalmeruApp::Save() {
    return bank_.Path().empty() ? SaveAs() : SaveTo(bank_.Path(), 0);
}

bool TalmeruApp::SaveAs() {
    if (!window_) return false;
    const std::optional<SaveChoice> choice = window_->AskSavePath(bank_.Path());
    return choice && SaveTo(choice->path, choice->options);
}

int TalmeruApp::SaveIfWanted(bool canAsk) {
    if (!bank_.IsModified()) return 0;
    if (!canAsk) {
        SaveTo((startFolder_ / "savedbank.pbf").string(), 0);
        return 0;
    }
    const std::string text = bank_.Path().empty()
                                 ? std::string("Bank is unsaved. Save it?")
                                 : Fmt("\"%s\" is unsaved. Save it?", bank_.Path().c_str());
    switch (CurrentPrompter().Ask(text, Buttons::YesNoCancel)) {
        case Answer::Cancel:
            return 1;
        case Answer::Yes:
            // A cancelled dialog or a failed save keeps the edits: the operation stops. So
            // does an export, which leaves the bank unsaved in its own file.
            return SaveAs() && !bank_.IsModified() ? 0 : 1;
        default:
            return 0;
    }
}

void TalmeruApp::RestoreRomCommand() {
    if (SaveIfWanted() != 0) return;
    ResetToRom();
}

void TalmeruApp::DeleteCurrentProgram() {
    if (!current_) {
        ShowMessage("Select a program first");
        return;
    }
    EditStep step(*this, "Delete Program " + current_->Name());
    std::erase(pending_, static_cast<BankObject*>(current_));
    bank_.DeleteObject(current_);
    current_ = nullptr;
    currentNumber_ = -1;
    Refresh(kHintPrograms);
}

Program* TalmeruApp::DuplicateCurrentProgram() {
    if (!current_ || !window_) return nullptr;
    CopyList list(bank_, *current_);
    if (!window_->AskCopy(list)) return nullptr;
    list.MarkTicked(bank_);
    EditStep step(*this, "Duplicate Program " + current_->Name());
    Program* copy = bank_.DuplicateMarked(*current_, true);
    if (!copy) return nullptr;
    bank_.SetModified(true);
    Upload();
    Refresh(kHintPrograms);
    if (options_.autoProgramSwitch) SelectProgram(copy, true);
    return copy;
}

int TalmeruApp::ExportBank(const std::string& path, bool instrument) {
    // The writers say what went wrong themselves.
    return instrument ? ExportInstrumentDefinition(bank_, path) : ExportBankReport(bank_, path);
}

int TalmeruApp::ImportWaves(const std::vector<std::string>& files) {
    FlushPendingEdits();
    EditStep step(*this, files.size() == 1 ? "Import Sample" : "Import Samples");
    bank_.ClearMarks();
    int count = 0;
    Program* first = nullptr;
    for (const std::string& path : files) {
        Program* made = nullptr;
        std::string failure;
        {
            MessageWatch watch;
            try {
                made = BuildProgramFromWave(bank_, path, options_.autoProgramReplace, current_);
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
    if (count > 0) bank_.SetModified(true);
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

int TalmeruApp::MaxSampleRamMiB() {
    // The bank counts free sample RAM in an int.
    constexpr int kCountable = 2047;
    const auto machine = static_cast<int64_t>(PhysicalMemoryBytes() >> 20);
    return machine > 0 ? int(std::min<int64_t>(machine, kCountable)) : kCountable;
}

int TalmeruApp::SampleRamMiB() {
    return std::clamp(settings_.GetInt("Emulator", "SampleRamMiB", kDefaultSampleRamMiB), 0,
                      MaxSampleRamMiB());
}

void TalmeruApp::SetSampleRamMiB(int mib) {
    mib = std::clamp(mib, 0, MaxSampleRamMiB());
    const int was = SampleRamMiB();
    settings_.WriteInt("Emulator", "SampleRamMiB", mib);
    if (mib == was || !emulator_) return;
    emulator_->SetSampleRamBytes(uint32_t(mib) << 20);
    FlushPendingEdits();
    link_->QueryMemory(0);
    link_->QueryMemory(1);
    if (mib > was) Upload();
}

void TalmeruApp::Sync() {
    FlushPendingEdits();
    if (link_->QueryMemory(1) != 0) ShowMessage("Unable to determine available memory");
}

void TalmeruApp::Refresh(RefreshHint hint) {
    if (current_ && bank_.GetProgram(currentNumber_) != current_) {
        SelectProgram(bank_.GetProgram(currentNumber_), false);
    }
    if (!current_) {
        for (int n = 0; n < kSlotCount && !current_; ++n) {
            if (Program* p = bank_.GetProgram(n)) {
                current_ = p;
                currentNumber_ = n;
            }
        }
    }
    if (window_) {
        window_->RefreshViews(hint);
        if (hint & kHintPrograms) window_->FillProgramBox();
    }
    SelectProgram(current_, true);
    Sync();
    if (window_) window_->SetTitle(WindowTitle(bank_.Path()));
}

void TalmeruApp::SelectProgram(Program* program, bool updateToolbar) {
    FlushPendingEdits();
    current_ = program;
    if (program) {
        currentNumber_ = program->Number();
        SendShort(0xB0, 0, uint8_t(currentNumber_ / 128));
        SendShort(0xC0, uint8_t(currentNumber_ % 128), 0);
    } else {
        currentNumber_ = -1;
    }
    if (updateToolbar && window_) window_->ShowCurrentProgram();
    if (window_) window_->ProgramSelected();
}

void TalmeruApp::Changed(BankObject& object) {
    object.DropPackedCopy();
    if (!Editable()) {
        ShowMessage(
            "Bank becomes read-only if the merge wave data option is on.\nYou must turn off the "
            "option (in File|Properties) and reload the bank if you want to make edits.");
        return;
    }
    if (!applyingUndo_) history_->Touched(object);
    if (std::find(pending_.begin(), pending_.end(), &object) != pending_.end()) return;
    if (int(pending_.size()) >= kPendingLimit) FlushPendingEdits();
    pending_.push_back(&object);
    bank_.SetModified(true);
}

void TalmeruApp::MarkForUpload(BankObject& object) {
    object.DropPackedCopy();
    object.marked = true;
    if (!applyingUndo_) history_->Touched(object);
}

int TalmeruApp::UploadMarked() {
    return RunUpload(
        [this](UploadHost& host) { return talmeru::UploadMarked(bank_, rom_.get(), host); });
}

void TalmeruApp::KeepUndoKeymap(const Keymap&) {
    history_->NameFieldStep("Keymap change");
}

void TalmeruApp::BeginStep(std::string_view name) {
    history_->Begin(name);
}

void TalmeruApp::EndStep() {
    history_->End();
}

void TalmeruApp::UndoTo(int position) {
    if (!Editable()) return;
    // Nothing queued may point at an object the undo deletes.
    FlushPendingEdits();
    UndoHistory::Applied applied;
    if (!history_->GoTo(position, applied)) return;
    applyingUndo_ = true;
    for (BankObject* o : applied.changed)
        Changed(*o);
    for (BankObject* o : applied.created)
        MarkForUpload(*o);
    applyingUndo_ = false;
    if (!applied.created.empty()) UploadMarked();
    FlushPendingEdits();
    if (history_->AtSaved()) bank_.SetModified(false);
    Refresh(applied.hint);
}

void TalmeruApp::FlushPendingEdits() {
    // The upload's worker owns the link until it ends; the edits follow it.
    if (uploading_) {
        flushWaiting_ = true;
        return;
    }
    if (pending_.empty()) return;
    std::unordered_set<const BankObject*> sent;
    for (BankObject* object : pending_) {
        int allowance = 4096;
        object->Upload(*link_, nullptr, allowance, &sent);
    }
    pending_.clear();
    if (current_) {
        SendShort(0xB0, 0, uint8_t(currentNumber_ / 128));
        SendShort(0xC0, uint8_t(currentNumber_ % 128), 0);
    }
}

void TalmeruApp::SendShort(uint8_t status, uint8_t data1, uint8_t data2) {
    link_->SendShort(uint8_t(status | channel_), data1, data2, 0);
}

void TalmeruApp::SendRpn(uint8_t msb, uint8_t lsb, uint8_t value) {
    SendShort(0xB0, 101, msb);
    SendShort(0xB0, 100, lsb);
    SendShort(0xB0, 6, value);
}

void TalmeruApp::SendNrpn(uint8_t msb, uint8_t lsb, uint8_t value) {
    SendShort(0xB0, 99, msb);
    SendShort(0xB0, 98, lsb);
    SendShort(0xB0, 6, value);
}

void TalmeruApp::SetAuditionVelocity(int v) {
    if (v == velocity_) return;
    velocity_ = v;
    settings_.WriteInt("Audition", "Velocity", v);
}

void TalmeruApp::SetAuditionChannel(int channel) {
    if (channel == channel_) return;
    channel_ = channel & 15;
    settings_.WriteInt("Audition", "Channel", channel_);
    if (window_) window_->ShowChannel(channel_);
}

void TalmeruApp::SetAuditionInEnabled(bool on) {
    if (on == auditionIn_) return;
    auditionIn_ = on;
    settings_.WriteBool("Audition", "InEnabled", on);
    if (on) {
        link_->StartAudition();
    } else {
        link_->StopAudition();
    }
}

void TalmeruApp::SetThru(bool on) {
    link_->SetThruEnabled(on);
}

void TalmeruApp::KeyEvent(int key, bool down) {
    if (down) FlushPendingEdits();
    link_->PlayNote(uint8_t(key), down ? uint8_t(velocity_) : 0, uint8_t(channel_));
    if (window_) {
        window_->ShowKey(key, down, true);
        window_->AddChannelNotes(channel_, down ? 1 : -1);
    }
}

void TalmeruApp::SetIncomingNotify(std::function<void()> notify) {
    std::lock_guard lock(notifyMutex_);
    incomingNotify_ = std::move(notify);
}

void TalmeruApp::HandleIncoming() {
    for (uint32_t message : link_->TakeIncomingMessages()) {
        const int status = message & 0xF0;
        const int channel = message & 0x0F;
        const int key = (message >> 8) & 0x7F;
        int velocity = (message >> 16) & 0x7F;
        if (status == 0x80) {
            velocity = 0;
        } else if (status != 0x90) {
            continue;
        }
        const bool pressed = velocity > 0;
        if (pressed) FlushPendingEdits();
        if (window_) {
            window_->ShowKey(key, pressed, channel == channel_);
            window_->AddChannelNotes(channel, pressed ? 1 : -1);
        }
        if (noteListener_) noteListener_(key, pressed);
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
    const std::string dir = std::filesystem::current_path(ec).string();
    if (!ec && dir.size() < 256) settings_.WriteString("State", "CurrentDir", dir);
    for (const char* editor : {"ObjectBrowser", "BankEditor", "SampleEditor", "LayerEditor"}) {
        const bool open =
            std::find(openEditors.begin(), openEditors.end(), editor) != openEditors.end();
        settings_.WriteBool("State", std::string(editor) + "Open", open);
    }
    options_.Write(settings_);
    if (!settings_.Save())
        ShowMessage("Could not save the settings file " + settings_.Path().string());
}

std::string TalmeruApp::SampleGauge() const {
    const MemoryFigures& m = link_->Memory();
    if (m.sampleTotal == 0) return "No Sample RAM";
    // A total under 100 bytes would divide by zero: count it as full.
    const int percent = m.sampleTotal < 100 ? 100 : int(m.sampleFree / (m.sampleTotal / 100));
    return Fmt("Sample RAM %d%% (%4.1f MB)", percent, m.sampleFree / 1048576.0);
}

std::string TalmeruApp::ProgramGauge() const {
    const MemoryFigures& m = link_->Memory();
    if (m.programTotal == 0) return "No Program RAM";
    const int percent = m.programTotal < 100 ? 100 : int(m.programFree / (m.programTotal / 100));
    return Fmt("Program RAM %d%% (%4.1f KB)", percent, m.programFree / 1024.0);
}

std::vector<std::string> TalmeruApp::AboutLines() const {
    const MemoryFigures& m = link_->Memory();
    return {Fmt("Talmeru version %04x", kTalmeruVersion),
            Fmt("MA-1 identity %04x %04x %04x", link_->IdentityWord(0), link_->IdentityWord(1),
                link_->IdentityWord(2)),
            Fmt("Program RAM %d bytes, %d free", int(m.programTotal), int(m.programFree)),
            Fmt("Sample RAM %d bytes, %d free", int(m.sampleTotal), int(m.sampleFree))};
}

}  // namespace talmeru
