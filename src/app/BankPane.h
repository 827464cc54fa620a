#pragma once
// What the bank editor's panes do to their banks, without a window: the left pane works on
// the current bank, the right one on a scratch bank of its own. Rows are program numbers;
// programs are looked up by number whenever they are used, so nothing here outlives a
// refresh of the bank.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "application/BankEdits.h"

namespace talmeru {

class TalmeruApp;
class ZedoDatabase;

inline constexpr const char* kDragWord = "TalmeruProgramDrag";
inline constexpr int kBankRows = 512;
inline constexpr int kBankTabs = 4;

// A drag of programs: the pane they come from (by its identity, valid only inside this
// process) and their numbers in row order.
struct ProgramDrag {
    std::string bank;
    std::vector<int> numbers;
};
std::string EncodeDrag(const ProgramDrag& drag);
// None when the text does not start with the drag word or is not a drag of this process.
std::optional<ProgramDrag> DecodeDrag(std::string_view text);

// Where the widget should look after a command: the first program placed (-1 none).
struct Placed {
    int first = -1;
    int count = 0;
};

struct PaneEnables {
    bool copy = false;
    bool switchTo = false;
    bool duplicate = false;
    bool remove = false;
    bool renumber = false;
};

class BankPane {
  public:
    // The main pane works on the application's current bank; the other on a scratch bank
    // without a link.
    BankPane(TalmeruApp& app, bool main);
    ~BankPane();
    BankPane(const BankPane&) = delete;
    BankPane& operator=(const BankPane&) = delete;

    bool IsMain() const { return main_; }
    ZedoDatabase& Bank();
    const ZedoDatabase& Bank() const;
    // Identity for drags; unique among the panes of this process.
    const std::string& Identity() const { return identity_; }
    // The live pane with that identity, or nullptr.
    static BankPane* Find(std::string_view identity);

    std::string Title() const;
    std::string BankName() const;
    std::string RowText(int number) const;
    bool HasProgram(int number) const;
    // The program's name, for the in-place editor; empty for an empty row.
    std::string ProgramName(int number) const;
    PaneEnables Enables(const std::vector<int>& selected) const;
    // Whether a refresh with these hint flags refills the rows.
    bool RefillsOn(RefreshHint hint) const;
    // The tab's label, and the rows to make visible (first the middle, then the top).
    std::string TabLabel(int tab) const;
    static std::pair<int, int> TabRows(int tab) { return {128 * tab + 64, 128 * tab}; }

    // Scratch pane: a bank file replaces the scratch bank. 0, or nonzero with the failure
    // shown.
    int LoadScratch(const std::string& path);
    // Scratch pane: the ROM bank's programs with their keymaps and sample headers.
    void RestoreScratchRom();

    Placed CopyTo(BankPane& target, const std::vector<int>& rows);
    Placed Duplicate(const std::vector<int>& rows);
    // The count of programs deleted.
    int Delete(const std::vector<int>& rows);
    // The trimmed text becomes the name; false when the row holds no program or the bank
    // cannot be edited.
    bool Rename(int number, std::string_view text);
    // The program at from takes the name and the number to; refused (false) when another
    // program holds to, the row is empty or the bank cannot be edited.
    bool Renumber(int from, int to, std::string_view name);
    // Main pane: the row's program becomes current.
    void SwitchTo(int number);
    bool CanDrop(const ProgramDrag& drag) const;
    // Same pane: rearranging moves; from the other pane: copies.
    bool DropMoves(const ProgramDrag& drag) const { return drag.bank == identity_; }
    Placed Drop(const ProgramDrag& drag, int row);

  private:
    void Upload();
    void Changed(RefreshHint hint);
    // Records an edit of an object of this pane's bank.
    void Touch(BankObject& object);

    TalmeruApp& app_;
    bool main_;
    std::unique_ptr<ZedoDatabase> scratch_;
    std::string identity_;
};

}  // namespace talmeru
