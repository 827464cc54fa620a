#pragma once
// The bank side of the application: the bank being edited and the ROM bank it stands on, the
// current program, the edits recorded but not yet sent, and the undo history. It sends
// nothing by itself: the edits go to whatever link the application hands to SendPending.
#include <functional>
#include <memory>
#include <vector>

#include "application/UndoHistory.h"
#include "model/ZedoDatabase.h"

namespace talmeru {

class BankLink;
class BankObject;
class Program;

// Edits recorded before they are sent at once, so that a drag does not send every step.
inline constexpr int kPendingLimit = 8;

class BankSession {
  public:
    // flushWhenFull sends the recorded edits when one more would pass kPendingLimit.
    explicit BankSession(std::function<void()> flushWhenFull);
    ~BankSession();
    BankSession(const BankSession&) = delete;
    BankSession& operator=(const BankSession&) = delete;

    ZedoDatabase& Bank() { return bank_; }
    const ZedoDatabase& Bank() const { return bank_; }
    const ZedoDatabase* RomBank() const { return rom_.get(); }
    void SetRomBank(std::unique_ptr<ZedoDatabase> rom) { rom_ = std::move(rom); }
    // False while the bank is read-only (merged wave data).
    bool Editable() const { return !bank_.ReadOnly(); }

    Program* CurrentProgram() const { return current_; }
    int CurrentNumber() const { return currentNumber_; }
    // None makes no program current.
    void SetCurrent(Program* program);
    // True when the current program's slot now holds another program or none (an undo or a
    // replace put it there).
    bool CurrentStale() const;
    // With no program current, the first program of the bank becomes current.
    void SelectFirstWhenNone();
    // Deletes the current program; none is current after it.
    void DeleteCurrent();

    // Records a change to the object, to be sent with the next SendPending; refused with a
    // message while the bank is read-only.
    void Changed(BankObject& object);
    // Marks a made or rebuilt object for the next upload of marked objects.
    void MarkForUpload(BankObject& object);
    const std::vector<BankObject*>& Pending() const { return pending_; }
    // Sends the recorded changes through the link, each object and its partner once; false
    // when none were waiting.
    bool SendPending(BankLink& link);

    // The history starts from the bank as it is once start-up has read it: what start-up
    // loads and clears is no step, and its wave data are not kept for undo.
    void StartHistory();
    UndoHistory& History() { return *history_; }
    // Undo and redo are refused while the bank is read-only.
    bool CanUndo() { return Editable() && history_->CanUndo(); }
    bool CanRedo() { return Editable() && history_->CanRedo(); }
    // Undoes or redoes until position steps are done and records what that wrote back (the
    // changed objects pending, the recreated ones marked), without making steps of it. False
    // when nothing moved.
    bool StepTo(int position, UndoHistory::Applied& applied);

  private:
    ZedoDatabase bank_;
    std::unique_ptr<ZedoDatabase> rom_;
    std::unique_ptr<UndoHistory> history_;  // goes before the bank it watches
    std::function<void()> flushWhenFull_;
    Program* current_ = nullptr;
    int currentNumber_ = -1;
    std::vector<BankObject*> pending_;
    bool applyingUndo_ = false;
};

}  // namespace talmeru
