#pragma once
// What the sample editor shows of the bank's sample headers and what its commands change:
// the list rows, the field texts, the edits of one header (copied to its stereo partner),
// loops, aliases, new samples from wave files, extraction to WAV files and the round trip
// through an external wave editor. Headers are named by number and looked up on use.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editors/sample/SampleAnalysis.h"
#include "editors/sample/WavePeaks.h"
#include "model/Listers.h"

namespace talmeru {

class SampleHeader;
class TalmeruApp;
class WaveData;
class ZedoDatabase;

// A fractional key number as "%s%d (%+5.1f)" (nearest key, then the cents-like remainder),
// or "N/A" when it is negative.
std::string FractionalNoteText(double key);
// The highest note a pitch value plays, as "%s%d (%+5.1f)".
std::string MaxNoteText(int pitch);
// The root key a header's pitch stands for (the inverse of SetPitch), floored at 0.
double RootKeyOf(const SampleHeader& header);

// Aliases play wave data that another header owns; ROM headers play the ROM.
bool IsAliasHeader(const SampleHeader& header);
bool IsRomHeader(const SampleHeader& header);
// The right half of a left header, or none.
SampleHeader* StereoPartner(const SampleHeader& header);
// Copies what the editor edits (points, amplitude, flags, pitch, envelope) from one half
// of a stereo pair to the other, which keeps its own name, number and wave data.
void CopySampleSettings(const SampleHeader& from, SampleHeader& to);

enum SampleIcon : int { kIconRamMono = 0, kIconRamStereo = 1, kIconRom = 2 };
inline constexpr int kSampleColumns = 7;
inline constexpr std::array<const char*, kSampleColumns> kSampleColumnTitles = {
    "#", "Sample", "Format", "Bits", "Rate", "Bytes", "File"};
inline constexpr std::array<int, kSampleColumns> kSampleColumnWidths = {50, 100, 64, 32,
                                                                        64, 64,  400};

struct SampleRow {
    int number = 0;
    int icon = kIconRamMono;
    std::array<std::string, kSampleColumns> cells;
};
// Every header with wave data except right halves of stereo pairs, as the filter (all, RAM
// or ROM, SampleFilter) shows them.
std::vector<SampleRow> ListSampleRows(const ZedoDatabase& db, int filter);

// The field texts for one header (none: nothing or several selected).
struct SampleFieldsView {
    bool enabled = false;
    std::string caption = "Sample Points (in 8-bit Bytes)";
    std::array<std::string, 3> points = {"-", "-", "-"};     // start, loop, end
    std::array<std::string, 3> originals = {"-", "-", "-"};  // as loaded
    std::string maxNote = "?";
    std::string originalNote = "?";
    std::string actualNote = "?";
    int amp = 0;
    std::array<bool, 3> flags = {false, false, false};
    int attackSegs = 0;
    bool canPlay = false;  // also the wave editor: a WAV file
    bool canSpectrum = false;
};
SampleFieldsView DescribeSample(const SampleHeader* header, bool busy);

// The loop field of a sample that does not loop.
inline constexpr const char* kNoLoopText = "no loop";

enum SamplePoint : int { kPointStart = 0, kPointLoop = 1, kPointEnd = 2 };

// What the wave editor's changes dialog offers.
struct WaveEditOffer {
    std::string noteText;
    bool noteAvailable = false;
    std::string pointsText;
    bool pointsAvailable = false;
};
// The dialog's choice: a set of these bits.
enum WaveEditUpdate : int {
    kUpdatePoints = 1,  // as AttachWave's kAttachPoints
    kUpdateNote = 4,    // as AttachWave's kAttachPitch
    kUpdateWaveform = 0x100,
};

// What the selection's file name rules give when extracting.
struct ExtractPlan {
    std::vector<int> numbers;  // the headers that own file-loaded wave data
    std::string proposedName;
    std::string warning;
};
// The file for one sample of an extraction to `chosen`: chosen itself for a single sample,
// else chosen with its first "$$" replaced by the sample's name (or the name added before
// the extension when there is no "$$"), the name made safe for a file name.
std::string ExtractFileName(const std::string& chosen, const std::string& sampleName, bool several);

class SampleEditing {
  public:
    // Runs the wave editor on a file and waits for its end; when it cannot be started, the
    // runner shows the system's reason itself.
    using EditorRunner = std::function<void(const std::string& editor, const std::string& file)>;
    // Shows the changes dialog for the file; the chosen WaveEditUpdate bits, none to cancel.
    using ChangesChooser =
        std::function<std::optional<int>(const std::string& path, const WaveEditOffer& offer)>;

    explicit SampleEditing(TalmeruApp& app);

    ZedoDatabase& Bank() const;
    void SetBusyTest(std::function<bool()> busy) { busy_ = std::move(busy); }
    bool Busy() const { return busy_ && busy_(); }

    int Filter() const { return filter_; }
    void SetFilter(int filter) { filter_ = filter; }
    std::vector<SampleRow> Rows() const;

    // The selection, by header numbers; the current header only while exactly one is chosen.
    void Select(std::vector<int> numbers);
    const std::vector<int>& Selected() const { return selected_; }
    SampleHeader* Current() const;
    SampleFieldsView Fields() const { return DescribeSample(Current(), Busy()); }

    // Field edits of the current header; each returns 1 when the header changed.
    int SetPoint(int which, const std::string& text);
    int ResetPoints();
    int StepPitch(int delta, bool coarse);
    int SetAmp(int dB);
    int SetFlag(int bit, bool on);
    int SetAttackSegs(int count);

    // The sample view. A header's points in frames of its wave data (loop -1: no loop).
    struct FramePoints {
        int64_t start = 0;
        int64_t loop = -1;
        int64_t end = 0;
    };
    static FramePoints PointsInFrames(const SampleHeader& header);
    // What the sample view shows of a wave data of `frames` frames: the header's sample, start
    // to end with a margin either side, since the data may hold other samples around it.
    struct FrameSpan {
        double start = 0;
        double span = 1;
    };
    static FrameSpan SampleSpan(const FramePoints& points, int64_t frames);
    // Where a zoom keeps its place: the loop's middle while the loop is in view, else the
    // middle of the view.
    static double ZoomAnchor(const FramePoints& points, double viewStart, double viewSpan);
    // A header's wave data decoded, with its peaks; none without readable data. Each wave data
    // is read once; ForgetWaves reads them again (after the wave editor changed a file).
    std::shared_ptr<const WavePeaks> Frames(const SampleHeader& header);
    void ForgetWaves() { peaks_.Clear(); }
    // A marker of the current header dropped at a frame: the same edit as typing the frame
    // into the point's field.
    int MovePoint(int which, int64_t frame);
    // Loop points near the current header's where its waveform joins best (near the middle
    // when it does not loop), or none.
    std::optional<LoopProposal> ProposeLoop();
    // Find Loop: the proposal written into the header as one edit; 1 when it changed.
    int FindLoop();
    // The root key that the current header's frames sound at (fractional), or none.
    std::optional<double> DetectRootKey();
    // Detect Pitch: the header's pitch set from the detected root key as one edit; 1 when
    // it changed.
    int DetectPitch();

    // Commands on every selected header.
    void ToggleLoops();
    // The number of the last alias made, or -1.
    int MakeAliases();
    // A preset list entry (the built-ins first, then stored presets by name) on every
    // selected header; the count of headers changed.
    int ApplyPreset(int index, const std::string& name);
    // Stores the current header's envelope under the name: the preset's list index or -1.
    int AddPreset(const std::string& name);
    // 0 deleted; 1 nothing deleted (a built-in shows why).
    int DeletePreset(int index, const std::string& name);
    void DeleteCommand() const;

    // New headers from wave files: the number of the last one made, or -1.
    int NewSamples(const std::vector<std::string>& paths);

    ExtractPlan PlanExtract() const;
    // Writes each planned header's wave (with its stereo partner's as the second channel):
    // the count of files written.
    int Extract(const ExtractPlan& plan, const std::string& chosen);

    // The external wave editor round trip on the first selected header. True when anything
    // was taken back into the bank.
    bool RunWaveEditor(const EditorRunner& run, const ChangesChooser& choose);
    // The offer of the changes dialog for a header whose wave data was read again.
    WaveEditOffer OfferFor(const SampleHeader& header) const;
    // Takes the chosen changes into the header (and its partner) and uploads them. True
    // when anything was updated.
    bool ApplyWaveEdit(int number, int what);

  private:
    // Writes the edit through: the partner copies the header, both are marked changed.
    void Record(SampleHeader& header);
    std::vector<SampleHeader*> SelectedHeaders() const;

    TalmeruApp& app_;
    std::function<bool()> busy_;
    int filter_ = kSamplesAll;
    std::vector<int> selected_;
    WavePeakCache peaks_;
};

}  // namespace talmeru
