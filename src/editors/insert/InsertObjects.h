#pragma once
// The logic of the dialogs that insert a program, layer, keymap or sample header by hand,
// rename or renumber a program, rename any object, and purge the keymaps and sample headers
// no program uses: what each dialog proposes and accepts, and what the commands behind them
// change in the bank. Objects are held by number and looked up on use.
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talmeru {

class TalmeruApp;
class ZedoDatabase;

// The texts of the field checks, shown before a dialog may close.
inline constexpr const char* kNameTooLong = "Please enter no more than 16 characters.";
inline constexpr const char* kNumberOutOfRange = "Please enter an integer between 0 and 511.";

// A name the bank can hold: 1..16 bytes. A number: 0..511.
bool ValidObjectName(const std::string& name);
bool ValidObjectNumber(int number);
// The field check of a name and a number: true when both pass, else the reason is shown.
bool CheckNameAndNumber(const std::string& name, int number);

// A line of a dialog's object list: the object's number and its text.
struct ObjectChoice {
    int number = -1;
    std::string text;
};

class NewProgramForm {
  public:
    explicit NewProgramForm(const ZedoDatabase& db);
    // Proposes the first free number; false ("No free program space" shown) when there is none.
    bool Open();
    bool CanAccept() const { return !name.empty() && id >= 0; }
    // OK: the replace question and the unique-name rule. False keeps the dialog open.
    bool Accept();

    std::string name;
    int id = -1;

  private:
    const ZedoDatabase& db_;
};

class NewKeymapForm {
  public:
    // forcedStereo: the caller's fixed choice of a mono or stereo keymap.
    NewKeymapForm(const ZedoDatabase& db, std::optional<bool> forcedStereo);
    // Proposes the first free number and fills the sample list; false (the reason shown)
    // when no keymap slot is free or no sample header can be mapped.
    bool Open();
    bool StereoFixed() const { return forced_.has_value(); }
    // The stereo box changed: the list is refilled and the choice dropped.
    void SetStereo(bool on);
    bool Stereo() const { return stereo_; }
    const std::vector<ObjectChoice>& Samples() const { return samples_; }
    bool CanAccept() const { return !name.empty() && id >= 0 && sample >= 0; }
    // OK: the field checks, and the number must be free. False keeps the dialog open.
    bool Accept();

    std::string name;
    int id = -1;
    int sample = -1;  // the chosen sample header's number

  private:
    void Fill();

    const ZedoDatabase& db_;
    std::optional<bool> forced_;
    bool stereo_ = false;
    std::vector<ObjectChoice> samples_;
};

class NewLayerForm {
  public:
    explicit NewLayerForm(const ZedoDatabase& db);
    // The stereo box changed: the keymap list is refilled and the choice dropped.
    void SetStereo(bool on);
    bool Stereo() const { return stereo_; }
    const std::vector<ObjectChoice>& Keymaps() const { return keymaps_; }
    // "Use Existing Keymap" is offered only while a keymap is listed.
    bool CanUseExisting() const { return !keymaps_.empty(); }
    void SetUseExisting(bool on) { useExisting_ = on && CanUseExisting(); }
    bool UseExisting() const { return useExisting_; }
    bool CanAccept() const { return !useExisting_ || keymap >= 0; }

    int keymap = -1;  // the chosen keymap's number

  private:
    void Fill();

    const ZedoDatabase& db_;
    bool stereo_ = false;
    bool useExisting_ = false;
    std::vector<ObjectChoice> keymaps_;
};

class NewSampleForm {
  public:
    explicit NewSampleForm(const ZedoDatabase& db);
    enum Source { kWaveFile, kAlias };
    // Proposes the first free number; false ("No free sample space" shown) when none is free.
    bool Open();
    bool CanAlias() const { return !aliases_.empty(); }
    const std::vector<ObjectChoice>& Aliases() const { return aliases_; }
    void SetSource(Source s) { source_ = s == kAlias && CanAlias() ? kAlias : kWaveFile; }
    Source GetSource() const { return source_; }
    // A chosen wave file or header: an empty name becomes a unique one derived from it.
    // True when the name was filled.
    bool ChoosePath(const std::string& chosen);
    bool ChooseAlias(int number);
    bool CanAccept() const;
    // OK: the field checks, and the number must be free. False keeps the dialog open.
    bool Accept();

    std::string name;
    int id = -1;
    std::string path;
    int aliasOf = -1;

  private:
    const ZedoDatabase& db_;
    Source source_ = kWaveFile;
    std::vector<ObjectChoice> aliases_;
};

class RenumberForm {
  public:
    RenumberForm(std::string oldName, int oldNumber)
        : name(std::move(oldName)), number(oldNumber) {}
    bool Accept() const { return CheckNameAndNumber(name, number); }

    std::string name;
    int number;
};

class PurgeForm {
  public:
    explicit PurgeForm(ZedoDatabase& db);
    // Lists the keymaps and sample headers that no program uses, all ticked.
    void Open();
    struct Line {
        int number = -1;
        std::string text;
        bool ticked = true;
    };
    std::vector<Line>& Keymaps() { return keymaps_; }
    std::vector<Line>& SampleHeaders() { return samples_; }
    bool CanPurge() const { return !keymaps_.empty() || !samples_.empty(); }
    int TickedCount() const;
    // Deletes the ticked objects, keymaps first, then sample headers from the last; before
    // each deletion `before` gets the object's name, after it `step` is called. The count of
    // objects deleted (the synthesizer may refuse one; it then stays).
    int Purge(const std::function<void(const std::string&)>& before,
              const std::function<void()>& step);

  private:
    ZedoDatabase& db_;
    std::vector<Line> keymaps_;
    std::vector<Line> samples_;
};

// What the commands ask of the user. The main window shows the dialogs; tests answer them.
// Each Ask* returns true for OK, after the form's Accept has let the dialog close.
class InsertAsker {
  public:
    virtual ~InsertAsker() = default;
    virtual bool AskNewProgram(NewProgramForm& form) = 0;
    virtual bool AskNewKeymap(NewKeymapForm& form) = 0;
    virtual bool AskNewLayer(NewLayerForm& form) = 0;
    virtual bool AskNewSample(NewSampleForm& form) = 0;
    virtual bool AskRenumber(RenumberForm& form) = 0;
    virtual bool AskRename(std::string& name) = 0;
    // Runs the purge dialog; true when it purged.
    virtual bool AskPurge(PurgeForm& form) = 0;
    // Opens a new program in the program editor.
    virtual void ShowProgram(int /*number*/) {}
    // Shows a new sample header in the sample editor when that is open.
    virtual void ShowSample(int /*number*/) {}
    // A long piece of work (loading a wave file) starts or ends: the wait cursor.
    virtual void Working(bool /*on*/) {}
};

class InsertCommands {
  public:
    InsertCommands(TalmeruApp& app, InsertAsker& ask);

    // Each returns the new object's number (the layer's index for NewLayer), or -1 when
    // cancelled or refused.
    int NewProgram();
    int NewKeymap(std::optional<bool> forcedStereo = std::nullopt);
    // Without a current program this is NewProgram.
    int NewLayer();
    int NewSample();
    // Renames or renumbers the current program. True when anything changed.
    bool RenumberCurrent();
    // The program rename of the object browser, on any program.
    bool RenumberProgram(int number);
    // Renames a keymap or sample header (a program goes through RenumberProgram).
    bool Rename(int type, int number);
    // The purge dialog; true when it purged (the views are then refreshed).
    bool Purge();

    // Enable rules of the menu entries.
    bool CanInsertProgram() const;
    bool CanInsertLayer() const;
    bool CanInsertKeymap() const;
    bool CanInsertSample() const;
    bool CanRenumber() const;

  private:
    ZedoDatabase& Bank() const;

    TalmeruApp& app_;
    InsertAsker& ask_;
};

}  // namespace talmeru
