#pragma once
// The application object: the settings, the bank session (the bank, the current program, the
// edits not yet sent, undo) and the synth session (the link, the emulator, audio), and the
// commands that need both. It holds no Qt types; the main window reaches the user through
// ShellWindow, and tests put a scripted window in its place.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "application/BankEdits.h"
#include "application/BankSession.h"
#include "application/SynthSession.h"
#include "model/Program.h"
#include "platform/Profile.h"
#include "platform/Version.h"

namespace talmeru {

class BankObject;
class ConversionLog;
class CopyList;
class DownloadObserver;
class EventPump;
class UploadHost;
namespace emulator {
class Ma1Emulator;
}

inline constexpr int kRecentFileCount = 6;

enum class WelcomeChoice { DownloadPrograms, ResetSynth, Closed };

// A path chosen in the save dialog, with the save options the dialog sets.
struct SaveChoice {
    std::string path;
    int options = 0;
};

// What the application asks of its main window.
class ShellWindow {
  public:
    virtual ~ShellWindow() = default;
    virtual void RefreshViews(RefreshHint hint) = 0;
    virtual void FillProgramBox() = 0;
    virtual void ShowCurrentProgram() = 0;
    virtual void ShowChannel(int channel) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual WelcomeChoice AskWelcome() = 0;
    virtual std::optional<std::string> AskOpenPath() = 0;
    virtual std::optional<SaveChoice> AskSavePath(const std::string& current) = 0;
    // True when the sheet closed with OK and reports a change.
    virtual bool ShowProperties() = 0;
    virtual UploadHost& Uploads() = 0;
    // Progress of a whole-bank download (none: no window).
    virtual DownloadObserver* Downloads() = 0;
    virtual ConversionLog* Log() = 0;
    // The copy dialog over the list; true on OK (the ticks are in the list).
    virtual bool AskCopy(CopyList& list) = 0;
    // After an open: shows the conversion log when an import wrote one.
    virtual void ShowLog() = 0;
    // A key shown pressed or released on the keyboard bar, and the channel display's count.
    virtual void ShowKey(int key, bool pressed, bool onCurrentChannel) = 0;
    virtual void AddChannelNotes(int channel, int delta) = 0;
    // The current program was selected (again): editors that show it follow.
    virtual void ProgramSelected() {}
    // An object of the bank was edited in some window: the others that show it follow.
    virtual void ObjectEdited(BankObject& /*object*/) {}
};

// The Options keys that the Properties sheet edits besides the bank options.
struct MiscOptions {
    bool importPrompt = true;
    std::string waveEditorPath;
    bool autoProgramSwitch = true;
    bool autoProgramReplace = false;
    bool bankPrefix = true;
    int numberStyle = 0;
    // Opens the bank the user worked on last when no file is named at start.
    bool reopenLastBank = true;

    void Read(const Profile& p);
    void Write(Profile& p) const;
};

// Where the application finds its settings and devices, and how it shows work done before
// the main window exists.
struct AppEnvironment {
    std::filesystem::path folder;
    std::unique_ptr<MidiSystem> midi;
    std::shared_ptr<emulator::Ma1Emulator> emulator;  // kept alive while its devices are used
    // Where the emulator is heard (none: nowhere).
    std::unique_ptr<AudioOutput> audio;
    // Keeps windows painting while the link waits (none: the link waits alone).
    EventPump* pump = nullptr;
    // The progress window of the ROM bank cache's first download; cancel gives it up.
    std::function<std::unique_ptr<DownloadObserver>(std::function<void()> cancel)> cacheProgress;
};
// The settings folder, the system's MIDI devices and then a fresh emulator's, and the
// system's audio output.
AppEnvironment DefaultEnvironment();

class TalmeruApp : public BankEdits {
  public:
    // Start-up before any window: settings, link, devices, ROM bank.
    explicit TalmeruApp(AppEnvironment env);
    ~TalmeruApp();
    TalmeruApp(const TalmeruApp&) = delete;
    TalmeruApp& operator=(const TalmeruApp&) = delete;

    // Start-up once the main window exists: notices, the devices question, the reset or the
    // welcome question, the file named on the command line. False ends the program.
    bool Start(ShellWindow& window, const std::vector<std::string>& files);

    Profile& Settings() { return settings_; }
    // The main window once Start has run (none before).
    ShellWindow* Window() const { return window_; }
    // The bank, the current program, the edits not yet sent and undo.
    BankSession& Editing() { return *bank_; }
    // The link, the emulator, its audio and the audition settings.
    SynthSession& Synth() { return *synth_; }
    ZedoDatabase& Bank() override { return bank_->Bank(); }
    MiscOptions& Options() { return options_; }
    int RomVersion() const { return romVersion_; }
    bool CacheBuilt() const { return cacheBuilt_; }
    ProgramNumbering Numbering() const;

    // The channel display shows the change.
    void SetAuditionChannel(int channel);
    // The bank options from the settings, after the Properties sheet changed them.
    void ApplyBankOptions();

    const std::vector<std::string>& RecentFiles() const { return recent_; }
    bool Editable() const override { return bank_->Editable(); }

    // Bank commands.
    void NewBank();
    void OpenBankCommand();
    // Opens a bank or converts an import. A SoundFont asks how to convert it first; a cancel
    // there fails the open without an error box or a log and keeps the bank that was open.
    bool OpenDocumentFile(const std::string& path);
    // True when the bank went to its file.
    bool Save();
    bool SaveAs();
    // 0 continue, 1 cancelled. Without canAsk (the system is ending the program and nobody
    // can answer) an unsaved bank goes to "savedbank.pbf" in the folder the program was
    // started from.
    int SaveIfWanted(bool canAsk = true);
    void RestoreRomCommand();
    void DeleteCurrentProgram();
    // Duplicates the current program and the objects ticked with it; the copy, or nullptr.
    Program* DuplicateCurrentProgram();
    // A Cakewalk instrument file or a text report of the bank; 0 on success. A failure has
    // been reported once.
    int ExportBank(const std::string& path, bool instrument);
    // One program per wave file; the count of programs made.
    int ImportWaves(const std::vector<std::string>& files);
    // After a wizard's Finish: what it made goes to the synthesizer, the views refresh and,
    // with AutoProgramSwitch, the program it made becomes current. Nothing when it made none.
    void FinishWizard(Program* made);
    void Panic();
    void Sync();
    // The emulator's sample RAM (see SynthSession): a change goes to the emulator at once, and
    // what did not fit before is sent again.
    void SetSampleRamMiB(int mib);
    void Refresh(RefreshHint hint) override;
    void SelectProgram(Program* program, bool updateToolbar);
    // Read-only banks (merged wave data) refuse the change with a message.
    void Changed(BankObject& object) override;
    void MarkForUpload(BankObject& object) override;
    void FlushPendingEdits() override;
    int UploadMarked() override;
    // Sends the whole bank to the synthesizer under the upload window.
    void UploadBank() { Upload(); }

    // The keymap editor's drags are named as one kind of step in the history.
    void KeepUndoKeymap(const Keymap& keymap) override;
    void BeginStep(std::string_view name) override;
    void EndStep() override;
    // Undo and redo: refused while the bank is read-only. What they write back goes to the
    // synthesizer and the views refresh.
    void Undo() { UndoTo(bank_->History().Position() - 1); }
    void Redo() { UndoTo(bank_->History().Position() + 1); }
    // Undoes or redoes until position steps of the history are done.
    void UndoTo(int position);

    // Notes: the virtual keyboard's key events and the audition input's messages.
    void KeyEvent(int key, bool down);
    void HandleIncoming();
    // Called on the MIDI thread when audition messages wait; the window schedules
    // HandleIncoming on the main thread.
    void SetIncomingNotify(std::function<void()> notify) {
        synth_->SetIncomingNotify(std::move(notify));
    }
    void SetNoteListener(std::function<void(int, bool)> listener) {
        noteListener_ = std::move(listener);
    }

    // Closing: false when the user keeps the bank open; otherwise the state is saved.
    bool CanExit();
    void SaveState(const std::vector<std::string>& openEditors);
    // Keeps the ROM bank cache out of the list.
    void AddRecentFile(const std::string& path);
    // The bank to reopen at start: the newest recent file while it exists and the option is on.
    std::string LastBank() const;

  private:
    void Phase1(AppEnvironment& env);
    void ResetSequence();
    void ResetToRom();
    void DownloadPrograms();
    void AllNotesOff();
    bool SaveTo(const std::string& path, int options);
    void Upload();
    // Runs an upload under the window's upload host; a flush asked for meanwhile (a note
    // played, a program chosen while the window keeps painting) runs when it has ended.
    int RunUpload(const std::function<int(UploadHost&)>& upload);
    ShellWindow* window_ = nullptr;
    bool uploading_ = false;
    bool openCancelled_ = false;  // the last open was cancelled by the user
    bool flushWaiting_ = false;

    std::filesystem::path folder_;
    std::filesystem::path startFolder_;
    Profile settings_;
    MiscOptions options_;
    std::unique_ptr<SynthSession> synth_;
    // Goes before the synth session, whose link the bank holds.
    std::unique_ptr<BankSession> bank_;
    int romVersion_ = 0;
    bool cacheBuilt_ = false;
    std::vector<std::string> recent_;
    std::function<void(int, bool)> noteListener_;
};

// The main window's title for a bank path.
// "Talmeru - [name]"; a bank without a file (new, or converted where it could not be kept) is
// "Untitled".
std::string WindowTitle(const std::string& bankPath);
// The ROM bank cache ("Rombank%04x.pbf") is the program's own file, not a bank the user opened.
bool IsRomBankCache(const std::string& path);

// Where a bank converted from an import file is saved: beside the import when that folder
// is writable, else under the same name in the user's current folder, else nowhere (empty,
// so Save asks for a path).
std::string ConvertedBankPath(const std::string& converted, const std::filesystem::path& current,
                              const std::function<bool(const std::filesystem::path&)>& writable);

}  // namespace talmeru
