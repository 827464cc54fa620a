#include "app/BankPane.h"

#include "application/UndoHistory.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <random>

#include "application/TalmeruApp.h"
#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "model/BankTransfer.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

// Drags name their pane by this process's token and the pane's serial number, so that a drag
// from another running instance (whose numbers mean another bank) is never accepted.
const std::string& ProcessToken() {
    static const std::string token = [] {
        std::random_device random;
        return Fmt("%08x%08x", unsigned(random()), unsigned(random()));
    }();
    return token;
}

std::vector<BankPane*>& LivePanes() {
    static std::vector<BankPane*> panes;
    return panes;
}

std::string Trim(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

// The distinct program numbers among rows, in row order.
std::vector<int> ProgramRows(const ZedoDatabase& bank, const std::vector<int>& rows) {
    std::vector<int> out;
    for (int n : rows)
        if (bank.GetProgram(n) && std::find(out.begin(), out.end(), n) == out.end())
            out.push_back(n);
    return out;
}

}  // namespace

std::string EncodeDrag(const ProgramDrag& drag) {
    std::string text = Fmt("%s %s %d ", kDragWord, drag.bank.c_str(), int(drag.numbers.size()));
    for (int n : drag.numbers)
        text += Fmt("%d ", n);
    return text;
}

std::optional<ProgramDrag> DecodeDrag(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (words.size() < 3 || words[0] != kDragWord) return std::nullopt;
    ProgramDrag drag;
    drag.bank = std::string(words[1]);
    if (drag.bank.substr(0, drag.bank.find('.')) != ProcessToken()) return std::nullopt;
    auto number = [](std::string_view w, int& out) {
        auto [p, ec] = std::from_chars(w.data(), w.data() + w.size(), out);
        return ec == std::errc() && p == w.data() + w.size();
    };
    int count = 0;
    if (!number(words[2], count) || count < 1 || size_t(count) != words.size() - 3)
        return std::nullopt;
    for (size_t i = 3; i < words.size(); ++i) {
        int n = 0;
        if (!number(words[i], n) || n < 0 || n >= kBankRows) return std::nullopt;
        drag.numbers.push_back(n);
    }
    return drag;
}

BankPane::BankPane(TalmeruApp& app, bool main) : app_(app), main_(main) {
    if (!main_) scratch_ = std::make_unique<ZedoDatabase>();
    static int serial = 0;
    identity_ = Fmt("%s.%d", ProcessToken().c_str(), ++serial);
    LivePanes().push_back(this);
}

BankPane::~BankPane() {
    std::erase(LivePanes(), this);
}

BankPane* BankPane::Find(std::string_view identity) {
    for (BankPane* p : LivePanes())
        if (p->identity_ == identity) return p;
    return nullptr;
}

ZedoDatabase& BankPane::Bank() {
    return main_ ? app_.Bank() : *scratch_;
}

const ZedoDatabase& BankPane::Bank() const {
    return main_ ? app_.Bank() : *scratch_;
}

std::string BankPane::Title() const {
    return main_ ? "Currently Loaded MA-1 Bank" : "Scratch Bank";
}

std::string BankPane::BankName() const {
    return Bank().Path();
}

std::string BankPane::RowText(int number) const {
    const Program* p = Bank().GetProgram(number);
    return Program::DisplayText(number, p ? p->Name() : std::string(), app_.Numbering());
}

bool BankPane::HasProgram(int number) const {
    return Bank().GetProgram(number) != nullptr;
}

std::string BankPane::ProgramName(int number) const {
    const Program* p = Bank().GetProgram(number);
    return p ? p->Name() : std::string();
}

PaneEnables BankPane::Enables(const std::vector<int>& selected) const {
    const bool any = !selected.empty() && app_.Editable();
    const bool one = selected.size() == 1;
    // Renumbering changes the bank, so it follows the same rule as the other edits.
    return {any, one && main_, any, any, one && app_.Editable()};
}

bool BankPane::RefillsOn(RefreshHint hint) const {
    if (hint == kHintAll) return true;
    return main_ && (hint & (kHintLayers | kHintPrograms)) != 0;
}

std::string BankPane::TabLabel(int tab) const {
    std::string text = Program::DisplayText(128 * tab, "", app_.Numbering());
    if (auto dash = text.rfind(" - "); dash != std::string::npos) text.resize(dash);
    return text;
}

int BankPane::LoadScratch(const std::string& path) {
    if (main_) return 1;
    // An import converted on the way reports like one opened as the main bank.
    ShellWindow* window = app_.Window();
    ConversionLog* log = window ? window->Log() : nullptr;
    if (log) log->Clear();
    const int rc = OpenBank(*scratch_, path, 0, log);
    if (window) window->ShowLog();
    if (rc != 0) ShowMessage("Could not read file properly.");
    return rc;
}

void BankPane::RestoreScratchRom() {
    if (main_ || !app_.Editing().RomBank()) return;
    RestoreRom(*scratch_, *app_.Editing().RomBank(), kRestoreRename | kRestorePrograms);
}

void BankPane::Upload() {
    // A scratch bank has no synthesizer behind it.
    if (main_) app_.UploadBank();
}

void BankPane::Changed(RefreshHint hint) {
    Bank().SetModified(true);
    if (main_) app_.Refresh(hint);
}

void BankPane::Touch(BankObject& object) {
    if (main_) {
        app_.Changed(object);
    } else {
        // A scratch bank has no synthesizer behind it: an edit only makes it unsaved.
        object.DropPackedCopy();
        Bank().SetModified(true);
    }
}

Placed BankPane::CopyTo(BankPane& target, const std::vector<int>& rows) {
    EditStep undoStep(app_, "Copy Programs");
    Placed placed;
    if (&target == this) {
        ShowMessage(
            "An internal error was caught and the copy procedure failed.  It is possible that "
            "this error is due to a bad windows .DLL. Please contact the author for more "
            "information");
        return placed;
    }
    if (!app_.Editable()) return placed;
    ZedoDatabase& to = target.Bank();
    // Edits waiting for the synthesizer go first: the upload below starts from a clean RAM.
    if (target.main_) app_.FlushPendingEdits();
    to.ClearMarks();
    try {
        for (int n : ProgramRows(Bank(), rows)) {
            const Program* source = Bank().GetProgram(n);
            Program* copy = to.CopyProgramFrom(*source, Bank(), -1);
            if (!copy) break;
            if (placed.first < 0) placed.first = copy->Number();
            ++placed.count;
        }
    } catch (const ZedoException& e) {
        // What was copied so far stays and is sent below.
        ShowMessage(e.what());
    }
    if (placed.count == 0) return placed;
    target.Upload();
    to.SetModified(true);
    if (target.main_) app_.Refresh(kHintAll);
    return placed;
}

Placed BankPane::Duplicate(const std::vector<int>& rows) {
    EditStep undoStep(app_, "Duplicate Programs");
    Placed placed;
    if (!app_.Editable()) return placed;
    ZedoDatabase& bank = Bank();
    if (main_) app_.FlushPendingEdits();
    bank.ClearMarks();
    for (int n : ProgramRows(bank, rows)) {
        Program* source = bank.GetProgram(n);
        source->marked = true;
        Program* copy = bank.DuplicateMarked(*source, true);
        if (!copy) break;  // no free program number left
        copy->marked = true;
        if (placed.first < 0) placed.first = copy->Number();
        ++placed.count;
    }
    if (placed.count == 0) return placed;
    Upload();
    Changed(kHintPrograms);
    return placed;
}

int BankPane::Delete(const std::vector<int>& rows) {
    EditStep undoStep(app_, "Delete Programs");
    if (!app_.Editable()) return 0;
    ZedoDatabase& bank = Bank();
    const std::vector<int> numbers = ProgramRows(bank, rows);
    if (numbers.empty()) return 0;
    if (main_) {
        // Pending edits and the current program may be among the programs that go.
        app_.FlushPendingEdits();
        app_.SelectProgram(nullptr, false);
    }
    int deleted = 0;
    for (int n : numbers)
        if (bank.DeleteObject(bank.GetProgram(n)) == 0) ++deleted;
    if (deleted) bank.SetModified(true);
    if (main_) app_.Refresh(kHintPrograms);
    return deleted;
}

bool BankPane::Rename(int number, std::string_view text) {
    EditStep undoStep(app_, "Rename Program");
    Program* p = Bank().GetProgram(number);
    if (!p || !app_.Editable()) return false;
    p->SetName(Trim(text));
    // The synthesizer learns the new name with the next flush of pending edits.
    Touch(*p);
    if (main_) app_.Refresh(kHintPrograms);
    return true;
}

bool BankPane::Renumber(int from, int to, std::string_view name) {
    EditStep undoStep(app_, "Renumber Program");
    ZedoDatabase& bank = Bank();
    Program* p = bank.GetProgram(from);
    if (!p || !app_.Editable() || to < 0 || to >= kBankRows) return false;
    // As Edit > Renumber: a taken number is replaced only when the user agrees.
    if (const Program* other = to != from ? bank.GetProgram(to) : nullptr;
        other && !AskYesNo(Fmt("Replace existing program #%d \"%s\" with \"%s\" ?", to,
                               other->Name().c_str(), Trim(name).c_str())))
        return false;
    const bool wasCurrent =
        main_ && (app_.Editing().CurrentNumber() == from || app_.Editing().CurrentNumber() == to);
    if (main_) app_.FlushPendingEdits();
    p->SetName(Trim(name));
    // Moving (also to the same number) sends the program under its new name; a program the
    // synthesizer keeps at its old number is recorded as renamed.
    bank.MoveProgram(from, to);
    bank.SetModified(true);
    if (bank.GetProgram(to) != p) Touch(*p);
    if (main_) {
        if (wasCurrent) app_.SelectProgram(bank.GetProgram(to), false);
        app_.Refresh(kHintPrograms);
    }
    return bank.GetProgram(to) == p;
}

void BankPane::SwitchTo(int number) {
    if (!main_) return;
    Program* p = Bank().GetProgram(number);
    if (!p) {
        ShowMessage("There is no program defined there.");
        return;
    }
    app_.SelectProgram(p, true);
}

bool BankPane::CanDrop(const ProgramDrag& drag) const {
    return !drag.numbers.empty() && Find(drag.bank) != nullptr;
}

Placed BankPane::Drop(const ProgramDrag& drag, int row) {
    EditStep undoStep(app_, "Drop Programs");
    Placed placed;
    BankPane* source = Find(drag.bank);
    if (!source || !app_.Editable() || row < 0 || row >= kBankRows) return placed;
    ZedoDatabase& bank = Bank();
    const bool same = source == this;
    const int count = int(drag.numbers.size());
    int restore = -1;
    int follow = -1;
    if (main_) {
        app_.FlushPendingEdits();
        const int current = app_.Editing().CurrentNumber();
        if (current >= row && current < row + count) {
            // Its slot is about to be replaced: take it back by number afterwards.
            restore = current;
            app_.SelectProgram(nullptr, false);
        } else {
            follow = current;
        }
    }
    bank.ClearMarks();
    // Where each dragged program is now; swaps move the ones not yet placed.
    std::vector<int> at = drag.numbers;
    bool copied = false;
    try {
        for (int i = 0; i < count && row + i < kBankRows; ++i) {
            const int target = row + i;
            if (!same) {
                const Program* p = source->Bank().GetProgram(at[size_t(i)]);
                if (!p || !bank.CopyProgramFrom(*p, source->Bank(), target)) continue;
                copied = true;
            } else {
                const int from = at[size_t(i)];
                const Program* moving = bank.GetProgram(from);
                if (!moving) continue;
                if (from != target) {
                    bank.SwapPrograms(from, target);
                    // The synthesizer refused to forget a number: nothing moved.
                    if (bank.GetProgram(target) != moving) continue;
                    for (int j = i + 1; j < count; ++j)
                        if (at[size_t(j)] == target) at[size_t(j)] = from;
                    if (follow == from)
                        follow = target;
                    else if (follow == target)
                        follow = from;
                }
            }
            if (placed.first < 0) placed.first = target;
            ++placed.count;
        }
    } catch (const ZedoException& e) {
        ShowMessage(e.what());
    }
    if (copied) Upload();
    if (placed.count > 0) bank.SetModified(true);
    if (main_) {
        app_.Refresh(kHintAll);
        if (restore >= 0) {
            app_.SelectProgram(bank.GetProgram(restore), true);
        } else if (follow >= 0 && follow != app_.Editing().CurrentNumber() &&
                   bank.GetProgram(follow)) {
            app_.SelectProgram(bank.GetProgram(follow), true);
        }
    }
    return placed;
}

}  // namespace talmeru
