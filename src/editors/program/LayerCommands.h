#pragma once
// The layer editor's logic without a window: the commands on the selected layers (delete,
// duplicate, duplicate keymap, stereo join and split), the columns of the Amp, Pitch and
// Filter pages with what each writes into its layer, and the spin step that grows while an
// arrow is held. Layers are named by index and the program by number, looked up on use.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace talmeru {

class BankEdits;
class BankObject;
class Layer;
class Program;
class ZedoDatabase;

inline constexpr const char* kJoinRefused =
    "The two selected layers are not compatible for joining into a stereo layer.  All "
    "parameters must be identical, except for Pan and Keymap settings (see help)";

class LayerCommands {
  public:
    LayerCommands(BankEdits& edits, int program) : edits_(edits), program_(program) {}
    Program* CurrentProgram() const;

    // The selected layers' indexes, in the order they were selected.
    bool CanDelete(const std::vector<int>& selected) const;
    bool CanDuplicate(const std::vector<int>& selected) const;
    bool CanDuplicateKeymaps(const std::vector<int>& selected) const;
    bool CanJoin(const std::vector<int>& selected) const;
    bool CanSplit(const std::vector<int>& selected) const;

    // Each returns 0 when the program changed (then recorded), 1 when nothing was done.
    int Delete(const std::vector<int>& selected);
    int Duplicate(const std::vector<int>& selected);
    // Each layer plays a copy of its keymap (a right half the copy's partner).
    int DuplicateKeymaps(const std::vector<int>& selected);
    int Join(const std::vector<int>& selected);
    int Split(const std::vector<int>& selected);

  private:
    std::vector<Layer*> Layers(const std::vector<int>& selected) const;
    void Record(BankObject* object) const;

    BankEdits& edits_;
    int program_;
};

enum class LayerPage { kAmp, kPitch, kFilter };
enum class FieldKind { kRange, kRangePair, kChoice, kCheck, kSpin };
enum class FieldId {
    kGain,
    kPan,
    kPanMode,
    kVelocityRange,
    kAmpVelocityTracking,
    kAmpKeyTracking,
    kIgnoreNoteOff,
    kNaturalEnvelope,
    kCoarseTune,
    kFineTune,
    kTimbreShift,
    kExclusiveZone,
    kDelay,
    kWhiteNoise,
    kHeadroom1,
    kHeadroom2,
    kFilter1Type,
    kFilter1Frequency,
    kFilter1VelocityTrack,
    kFilter1KeyTrack,
    kFilter2Type,
    kFilter2Frequency,
    kFilter2VelocityTrack,
    kFilter2KeyTrack,
};

struct FieldInfo {
    FieldId id;
    const char* heading;  // over one or more columns; empty for none
    const char* title;
    FieldKind kind;
    int minimum;
    int maximum;
    int defaultValue;  // what a range selector's "Restore Default" gives
    int lineStep = 1;  // a range selector's arrow keys
    int pageStep = 1;  // and its Page Up / Page Down
};

const char* PageTitle(LayerPage page);
std::span<const FieldInfo> PageFields(LayerPage page);
const FieldInfo& FieldOf(FieldId id);
// The block a field belongs to for the "Mods" buttons (0 Pitch, 1 Filter #1, 2 Filter #2,
// 3 Amp), or -1.
int FieldBlock(FieldId id);

// handle 1 is the high value of a two-handle field.
int FieldValue(const Layer& layer, FieldId id, int handle = 0);
// Clamps to the field's range; true when the layer changed.
bool SetFieldValue(Layer& layer, FieldId id, int value, int handle = 0);
std::vector<std::string> FieldChoices(FieldId id);
// A spin's value as shown: headrooms 3 x value, the others "%d".
std::string SpinText(FieldId id, int value);
// What a stored value means in the voice engine's units, shown beside it ("72.0 ms",
// "1.25 kHz", "+12.6 cents"); empty for fields whose value says it already.
std::string FieldMeaning(FieldId id, int value);
// A right half takes only its own pan; a Null filter has no frequency or tracking.
bool FieldEnabled(const Layer& layer, FieldId id);

// The step of a spin whose arrow has been held this long: 1, then 10 after 2 s, 100 after
// 4 s and 1000 after 6 s.
int HoldStep(int64_t heldMilliseconds);

// The changes that follow an edit of a layer: a left half hands its content to its right
// half, and the program is recorded as changed.
void LayerChanged(Layer& layer, BankEdits& edits);

}  // namespace talmeru
