#pragma once
// A stand-in for the application's edit seam: records what the code under test changed,
// marked, flushed and refreshed, without a synthesizer or windows.
#include <memory>
#include <vector>

#include "application/BankEdits.h"
#include "model/BankObject.h"
#include "model/Keymap.h"
#include "model/ZedoDatabase.h"

namespace talmeru::test {

class RecordingEdits : public BankEdits {
  public:
    explicit RecordingEdits(ZedoDatabase& bank) : bank_(bank) {}
    ZedoDatabase& Bank() override { return bank_; }
    bool Editable() const override { return !bank_.ReadOnly(); }
    void Changed(BankObject& object) override {
        object.DropPackedCopy();
        changed.push_back(&object);
    }
    void MarkForUpload(BankObject& object) override {
        object.DropPackedCopy();
        object.marked = true;
    }
    void FlushPendingEdits() override { ++flushes; }
    int UploadMarked() override { return ++uploads, 0; }
    void Refresh(RefreshHint hint) override { hints.push_back(hint); }
    void KeepUndoKeymap(const Keymap& keymap) override {
        undoKeymap = std::make_unique<Keymap>();
        undoKeymap->CopyFrom(keymap);
    }

    std::vector<BankObject*> changed;
    std::vector<RefreshHint> hints;
    std::unique_ptr<Keymap> undoKeymap;
    int flushes = 0;
    int uploads = 0;

  private:
    ZedoDatabase& bank_;
};

}  // namespace talmeru::test
