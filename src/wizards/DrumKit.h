#pragma once
// The drum kit wizard without its window: the wave files chosen, their layout on the keys,
// their pan groups and pitch shifts, and the build of the kit as one layer per pan group,
// each sample on a key of its own.
#include <map>
#include <string>
#include <vector>

namespace talmeru {

class BankEdits;
class Profile;
class Program;
class ZedoDatabase;

inline constexpr int kMaxDrumSamples = 128;
inline constexpr int kMaxDrumShift = 36;
inline constexpr int kMaxPanGroup = 3;
inline constexpr int kDrumLayerGain = -10;
inline constexpr const char* kQuietKeyText = "-----Nil------";
inline constexpr const char* kDrumKitName = "DrumKit";

enum DrumSpacing : int { kWhiteKeysOnly = 0, kWhiteAndBlackKeys = 1 };
enum DrumShiftMode : int { kShiftSamples = 0, kDontShift = 1 };
enum DrumPlacement : int { kAddLayers = 0, kNewProgram = 1 };

// One key of the layout: the file it plays (an index into the file list, -1 for a quiet
// key), its pitch shift in semitones and its pan group (-3..+3).
struct DrumSlot {
    int file = -1;
    int shift = 0;
    int pan = 0;
    bool operator==(const DrumSlot&) const = default;
};

// The key of slot n from the lowest note; in "White Keys Only" spacing each further slot
// moves past the black keys.
int DrumSlotKey(int lowest, int spacing, int slot);
// "-------" with "|" at pan group + 3.
std::string PanText(int pan);
// The layer pan of a pan group: 1, 6, ... 31 on the layer's 0..31 scale.
int LayerPanOf(int panGroup);

class DrumKit {
  public:
    // The program choices' starting values: a new "DrumKit" at the first free number, or
    // with autoProgramReplace the current program's name and number.
    void Begin(const ZedoDatabase& db, const Program* current, bool autoProgramReplace);

    void ReadLayoutSettings(const Profile& settings);
    void WriteLayoutSettings(Profile& settings) const;
    void ReadFinishSettings(const Profile& settings);
    void WriteFinishSettings(Profile& settings) const;

    // Files. Appends paths until the list holds 128 ("Only 128 Drum Samples allowed" for
    // the rest); the count added.
    static int AppendFiles(std::vector<std::string>& list, const std::vector<std::string>& add);
    const std::vector<std::string>& Files() const { return files_; }
    // Replaces the file list. A laid-out kit keeps its slots for the files still listed
    // (their keys, shifts and pans), loses the slots of files gone and gets a slot at the end
    // for each new file while there is room ("Only 128 Drum Samples allowed" when not).
    void SetFiles(std::vector<std::string> paths);

    // Layout.
    const std::vector<DrumSlot>& Slots() const { return slots_; }
    int SlotKey(int slot) const { return DrumSlotKey(lowest, spacing, slot); }
    // The row's text: the file name without folder and extension, or the quiet-key text.
    std::string SlotText(int slot) const;
    // The path a slot plays, or empty for a quiet key.
    std::string SlotPath(int slot) const;
    // Entering the layout: the first time each file gets its slot; the lowest note is moved
    // down so that the slots fit, and when they cannot fit even from 0 the spacing becomes
    // "White and Black Keys" and is locked (true).
    bool EnterLayout();
    bool SpacingLocked() const { return spacingLocked_; }
    // The lowest note after a click of the spin by delta (+1 or -1); unchanged when refused.
    int StepLowest(int delta) const;
    // Leaving the layout: moves the lowest note down to fit, with "Lowest key changed
    // because there are too many samples to fit". True when it moved.
    bool LeaveLayout();
    // Row commands; each returns the row to select afterwards, or -1 when refused.
    int Duplicate(int row);
    int Remove(int row);
    int InsertQuietKey(int row);
    bool Swap(int a, int b);

    // Pan and pitch over the selected rows. A shift stops at the first row it would take
    // past +-36; the count changed.
    int ShiftRows(const std::vector<int>& rows, int delta);
    void SetPanPosition(const std::vector<int>& rows, int position);

    // Why the kit cannot be built as chosen, or empty. current: the current program or none.
    std::string Problem(const ZedoDatabase& db, const Program* current) const;
    // Builds the kit into the bank: the target program (marked), its new keymaps and sample
    // headers (marked), the bank marked unsaved. A file that cannot be loaded is reported and
    // its key stays silent. When Problem() is not empty its text is shown, the bank is left
    // alone and the result is nullptr.
    Program* Build(BankEdits& edits, Program* current) const;

    // The choices.
    std::string name = kDrumKitName;
    int number = 0;
    int placement = kNewProgram;
    bool autoReplace = false;
    int lowest = 36;
    int spacing = kWhiteKeysOnly;
    int shiftMode = kShiftSamples;
    bool useLoops = false;
    bool noteOffStops = false;

  private:
    struct Probe {
        bool ok = false;
        bool stereo = false;
    };
    const Probe& ProbeFile(const std::string& path) const;
    int HighestLowest() const;

    std::vector<std::string> files_;
    std::vector<DrumSlot> slots_;
    bool laidOut_ = false;
    bool spacingLocked_ = false;
    // What each file turned out to be when first read; files are read once per wizard.
    mutable std::map<std::string, Probe> probes_;
};

}  // namespace talmeru
