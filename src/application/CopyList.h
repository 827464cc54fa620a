#pragma once
// The lines of the copy dialog: a program, then layer by layer its keymap and under it the
// keymap's sample headers, each with a tick; only the program starts ticked.
#include <string>
#include <vector>

namespace talmeru {

class BankObject;
class Program;
class ZedoDatabase;

struct CopyLine {
    std::string text;
    BankObject* object = nullptr;
    int level = 0;  // 0 program, 1 keymap, 2 sample header
    bool ticked = false;
};

class CopyList {
  public:
    CopyList(const ZedoDatabase& db, const Program& program);
    std::vector<CopyLine>& Lines() { return lines_; }
    void SelectAll(bool on);
    // A keymap ticked without its program, or a sample header without its keymap.
    bool TicksOrphans() const;
    // Clears every mark of the bank and marks the ticked objects.
    void MarkTicked(ZedoDatabase& db) const;

  private:
    std::vector<CopyLine> lines_;
};

}  // namespace talmeru
