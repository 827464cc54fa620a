#pragma once
// Undo and redo for every change to the bank. The history keeps each object's packed form as
// it was at the end of the last step; when a step closes it compares the bank with that and
// records, slot by slot, the packed form before and after (an empty side is an empty slot),
// with the stereo pairing and the wave data each sample header plays. Undo and redo write
// the recorded side back into the slots, so every command is covered by one mechanism, as
// long as the command changes the bank between a step's opening and its close.
//
// A step closes when a named command ends (Begin/End, or EditStep around it), or, for the
// field edits that report through Changed outside any command, at the next question asked of
// the history (Settle), so that what one user action changes becomes one step.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "application/BankEdits.h"
#include "model/BankObject.h"

namespace talmeru {

class WaveData;
class ZedoDatabase;

inline constexpr int kUndoStepLimit = 200;

class UndoHistory {
  public:
    explicit UndoHistory(ZedoDatabase& bank, int limit = kUndoStepLimit);
    ~UndoHistory();
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Forgets every step and takes the bank as it is now as the starting point (a bank was
    // opened, reset or downloaded: what came before is no edit of it).
    void Reset();

    // Where the bank is as its file holds it: set when it was opened (Reset) and saved; a bank
    // converted from another format is in no file, so no step brings it back.
    void MarkSaved();
    void MarkUnsaved() { saved_.reset(); }
    bool AtSaved() const { return saved_ == position_; }

    // An object reported changed (Changed, MarkForUpload): outside a command it opens a
    // field step, named after the first object that really changed.
    void Touched(const BankObject& object);
    // The name of the field step under way (the keymap editor names its drags).
    void NameFieldStep(std::string name);
    // A named command: changes between the outermost Begin and its End make one step.
    void Begin(std::string_view name);
    void End();
    bool InCommand() const { return depth_ > 0; }
    // Closes the field step under way, if any.
    void Settle();

    bool CanUndo();
    bool CanRedo();
    std::string UndoName();
    std::string RedoName();
    // The steps, oldest first, and how many of them are done (the rest can be redone).
    int Count();
    int Position();
    std::string StepName(int i) const;

    // What an undo or redo changed, for the synthesizer and the views.
    struct Applied {
        std::vector<BankObject*> changed;  // written back in place
        std::vector<BankObject*> created;  // put back into an empty slot
        RefreshHint hint = RefreshHint(0);
    };
    // Undoes or redoes steps until position steps are done. False when nothing moved.
    bool GoTo(int position, Applied& out);
    bool Undo(Applied& out) { return GoTo(Position() - 1, out); }
    bool Redo(Applied& out) { return GoTo(Position() + 1, out); }

    // Called (at most once per change, never while restoring) when the steps or the field
    // step under way change; the window refreshes its undo list from it.
    void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }
    // How many wave data the history keeps out of the bank for undo.
    size_t KeptWaveData() const { return attic_.size(); }

  private:
    struct ObjectState {
        std::shared_ptr<const std::vector<uint8_t>> bytes;
        int role = kMono;
        int partner = -1;  // number of the right half a left half chains to
        const WaveData* wave = nullptr;
        bool operator==(const ObjectState& o) const;
    };
    struct WaveState {
        const WaveData* wave = nullptr;
        int base = -1;
        std::vector<int> links;
        bool operator==(const WaveState& o) const = default;
    };
    using Slot = std::optional<ObjectState>;
    struct SlotChange {
        int type = 0;
        int number = 0;
        Slot before, after;
    };
    struct Step {
        std::string name;
        std::vector<SlotChange> changes;
        bool wavesChanged = false;
        std::vector<WaveState> wavesBefore, wavesAfter;
        bool field = false;
        std::chrono::steady_clock::time_point when;
    };

    Slot Capture(int type, int n) const;
    std::vector<WaveState> CaptureWaves() const;
    Slot& Baseline(int type, int n) { return baseline_[size_t(type - 1)][size_t(n)]; }
    void TakeBaseline();
    void Close(std::string name, bool field);
    bool MergesWithLast(const Step& step) const;
    void Apply(const Step& step, bool undo, Applied& out);
    void RestoreWaves(const std::vector<WaveState>& target);
    void Trim();
    void Notify();

    ZedoDatabase& bank_;
    int limit_;
    std::array<std::array<Slot, kSlotCount>, 3> baseline_;
    std::vector<WaveState> baselineWaves_;
    std::vector<Step> steps_;
    size_t position_ = 0;
    std::optional<size_t> saved_ = 0;
    int depth_ = 0;
    std::string commandName_;
    bool fieldPending_ = false;
    std::string fieldName_;
    std::vector<std::pair<int, int>> touched_;  // type and number, in the order reported
    bool restoring_ = false;
    // Wave data the bank let go of, kept while a step may put it back.
    std::vector<std::unique_ptr<WaveData>> attic_;
    std::function<void()> observer_;
};

// A named command on the seam: the changes it makes while it lives are one step.
class EditStep {
  public:
    EditStep(BankEdits& edits, std::string_view name) : edits_(edits) { edits_.BeginStep(name); }
    ~EditStep() { edits_.EndStep(); }
    EditStep(const EditStep&) = delete;
    EditStep& operator=(const EditStep&) = delete;

  private:
    BankEdits& edits_;
};

}  // namespace talmeru
