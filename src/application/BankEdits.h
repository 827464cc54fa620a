#pragma once
// The one way editors, wizards and commands change the bank. The application object
// implements it; tests put a recorder in its place. Every change passes through Changed, so
// the packed copy is dropped and the edit reaches the synthesizer in one place, and undo has
// one place to record its steps.
#include <string_view>

namespace talmeru {

class BankObject;
class Keymap;
class ZedoDatabase;

// What changed, for the views that show it; hints combine.
enum RefreshHint : int {
    kHintLayers = 1,
    kHintPrograms = 2,
    kHintSamples = 4,
    kHintKeymaps = 8,
    kHintAll = -1,
};
constexpr RefreshHint operator|(RefreshHint a, RefreshHint b) {
    return RefreshHint(int(a) | int(b));
}

class BankEdits {
  public:
    virtual ~BankEdits() = default;
    virtual ZedoDatabase& Bank() = 0;
    // False while the bank is read-only (merged wave data): edits are refused.
    virtual bool Editable() const = 0;
    // The object's contents changed: its packed copy is dropped and the change is recorded,
    // to go to the synthesizer with the next flush.
    virtual void Changed(BankObject& object) = 0;
    // A made or rebuilt object: its packed copy is dropped and it is marked to go to the
    // synthesizer with the next UploadMarked.
    virtual void MarkForUpload(BankObject& object) = 0;
    // Sends the recorded changes now: before anything that deletes, replaces or re-reads
    // objects of the bank.
    virtual void FlushPendingEdits() = 0;
    // Sends the objects marked for upload (and their flagged wave data); 0 on success.
    virtual int UploadMarked() = 0;
    virtual void Refresh(RefreshHint hint) = 0;
    // A keymap as it was before a drag changes it, for the keymap editor's undo.
    virtual void KeepUndoKeymap(const Keymap& keymap) = 0;
    // A named command begins and ends: what it changes is one step of undo (see EditStep).
    // Nested commands belong to the outermost one.
    virtual void BeginStep(std::string_view /*name*/) {}
    virtual void EndStep() {}
};

}  // namespace talmeru
