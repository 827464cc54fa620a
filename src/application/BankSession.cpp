#include "application/BankSession.h"

#include <algorithm>
#include <unordered_set>

#include "model/BankLink.h"
#include "model/Program.h"
#include "platform/Prompter.h"

namespace talmeru {

BankSession::BankSession(std::function<void()> flushWhenFull)
    : flushWhenFull_(std::move(flushWhenFull)) {}

BankSession::~BankSession() = default;

void BankSession::StartHistory() {
    history_ = std::make_unique<UndoHistory>(bank_);
}

void BankSession::SetCurrent(Program* program) {
    current_ = program;
    currentNumber_ = program ? program->Number() : -1;
}

bool BankSession::CurrentStale() const {
    return current_ && bank_.GetProgram(currentNumber_) != current_;
}

void BankSession::SelectFirstWhenNone() {
    for (int n = 0; n < kSlotCount && !current_; ++n)
        if (Program* p = bank_.GetProgram(n)) SetCurrent(p);
}

void BankSession::DeleteCurrent() {
    std::erase(pending_, static_cast<BankObject*>(current_));
    bank_.DeleteObject(current_);
    SetCurrent(nullptr);
}

void BankSession::Changed(BankObject& object) {
    object.DropPackedCopy();
    if (!Editable()) {
        ShowMessage(
            "Bank becomes read-only if the merge wave data option is on.\nYou must turn off the "
            "option (in File|Properties) and reload the bank if you want to make edits.");
        return;
    }
    if (!applyingUndo_) history_->Touched(object);
    if (std::find(pending_.begin(), pending_.end(), &object) != pending_.end()) return;
    if (int(pending_.size()) >= kPendingLimit) flushWhenFull_();
    pending_.push_back(&object);
    bank_.SetModified(true);
}

void BankSession::MarkForUpload(BankObject& object) {
    object.DropPackedCopy();
    object.marked = true;
    if (!applyingUndo_) history_->Touched(object);
}

bool BankSession::SendPending(BankLink& link) {
    if (pending_.empty()) return false;
    std::unordered_set<const BankObject*> sent;
    for (BankObject* object : pending_) {
        int allowance = 4096;
        object->Upload(link, nullptr, allowance, &sent);
    }
    pending_.clear();
    return true;
}

bool BankSession::StepTo(int position, UndoHistory::Applied& applied) {
    if (!history_->GoTo(position, applied)) return false;
    applyingUndo_ = true;
    for (BankObject* o : applied.changed)
        Changed(*o);
    for (BankObject* o : applied.created)
        MarkForUpload(*o);
    applyingUndo_ = false;
    return true;
}

}  // namespace talmeru
