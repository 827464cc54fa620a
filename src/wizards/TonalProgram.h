#pragma once
// The tonal program wizard without its window: the wave files, the original key of each,
// the choices of the last page and the build of a multisampled program that spreads the
// samples over the keyboard.
#include <string>
#include <string_view>
#include <vector>

namespace talmeru {

class BankEdits;
class Profile;
class Program;
class ZedoDatabase;

inline constexpr int kMaxTonalWaves = 128;
inline constexpr int kDefaultOrigKey = 60;
inline constexpr int kDefaultSlowReleaseRate = 250;
inline constexpr int kMaxReleaseRate = 32767;
inline constexpr int kTonalReleaseSlope = -6818;

// The first note name in a path ("C4", "A#3", "Eb4", "Fs2"): its key, or -1.
int KeyFromPath(std::string_view path);

// The highest key of each sample's range, in key order, from the original keys and the
// highest key each sample can play. A sample whose range would start above its top key (a
// repeated original key) gets -1: the sample before it already covers its keys.
std::vector<int> SpreadKeys(const std::vector<int>& keys, const std::vector<int>& highest,
                            bool noTransposeUp);

struct TonalRow {
    int wave = 0;  // index into Waves()
    int key = kDefaultOrigKey;
};

class TonalProgram {
  public:
    // Appends paths; at 128 waves "Only 128 Waves allowed" is shown and the rest dropped.
    // The count added.
    int AddWaves(const std::vector<std::string>& paths);
    // Removes the waves at these indices, with their rows.
    void RemoveWaves(std::vector<int> indices);
    const std::vector<std::string>& Waves() const { return waves_; }
    // The file name without folder and extension.
    std::string SampleName(const TonalRow& row) const;

    // Gives every wave without a row one (all waves with parseNames, then sorted): the
    // original note stored in the file unless parseNames, else a note in its path, else 60.
    // A file whose header cannot be read is reported and still gets its row.
    void FillRows(bool parseNames);
    const std::vector<TonalRow>& Rows() const { return rows_; }
    // Stable, by original key.
    void Sort();
    // Moves a row's key, wrapping within 0..127.
    void ShiftKey(int row, int by);
    void SetKey(int row, int key);
    // Moves every key by octaves, wrapping within 0..127.
    void ShiftOctaves(int octaves);

    // The starting name and number: the current program's with AutoProgramReplace, else a
    // new name and the first free number.
    void ProposeProgram(const ZedoDatabase& db, int currentProgram, bool autoReplace);
    // Whether the first placement (adding layers to the current program) is open.
    static bool CanAddToCurrent(const ZedoDatabase& db, int currentProgram);

    void LoadKeySetting(const Profile& settings);
    void SaveKeySetting(Profile& settings) const;
    void LoadFinishSettings(const Profile& settings);
    void SaveFinishSettings(Profile& settings) const;

    // Why the instrument cannot be built as chosen, or empty. Checked before anything is
    // put into the bank.
    std::string Problem(const ZedoDatabase& db, int currentProgram, bool autoReplace) const;
    // Builds the keymap(s), samples and layer(s), marked for upload, and marks the bank
    // unsaved. The target program, or nullptr (reason shown, the bank as it was).
    Program* Build(BankEdits& edits, int currentProgram, bool autoReplace) const;

    // The choices.
    std::string name;
    int number = 0;
    bool newProgram = true;
    bool keySet = true;  // "Set OrigKey with Keyboard"
    bool modVibrato = false;
    bool modTremolo = false;
    bool slowAttack = false;
    bool slowRelease = false;
    bool velocityBrightness = false;
    bool phat = false;
    bool noTransposeUp = true;
    int rate = kDefaultSlowReleaseRate;

  private:
    std::vector<std::string> waves_;
    std::vector<TonalRow> rows_;
};

}  // namespace talmeru
