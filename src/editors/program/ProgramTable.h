#pragma once
// The program table's logic without a window: every layer of a program side by side, one row
// per setting, each value written in what it means (dB, ms and s, cents, Hz, semitones, %),
// and a value typed in those units set on several layers as one step of undo.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "editors/program/LayerCommands.h"

namespace talmeru {

class BankEdits;
class Layer;
class Program;

// How a row turns a stored value into a physical one and back.
enum class TableUnit {
    kPlain,    // the value itself
    kLinear,   // value x scale, in the row's unit
    kPan,      // -100 % (left) .. +100 % (right)
    kHertz,    // the filter frequency setting as Hz (kHz typed or shown above 1000)
    kDelay,    // 0.6 ms steps, shown in ms below a second and in s above
};

struct TableRow {
    FieldId field;
    int handle;  // 1: the high value of a range
    const char* title;
    TableUnit unit;
    double scale = 1;       // kLinear: the physical value of one step
    const char* suffix = "";  // kPlain and kLinear
    int decimals = 0;
};

// The rows, top to bottom.
std::span<const TableRow> ProgramTableRows();
// A layer's value in a row as the table shows it; "-" where the row does not apply (a Null
// filter's frequency, a right half's settings other than its pan).
std::string TableCellText(const Layer& layer, const TableRow& row);
// The stored value for text typed into a row, in its unit ("-6", "-6 dB", "1.2 kHz", "250 ms",
// "L 30", "-30 %", "+12 ct"); none when the text holds no number.
std::optional<int> ParseTableCell(const TableRow& row, const std::string& text);

// The layers' column headers: "Layer #1", with the keymap and key range below.
std::string TableColumnTitle(const Layer& layer);

class ProgramTable {
  public:
    ProgramTable(BankEdits& edits, int program) : edits_(edits), program_(program) {}
    void SetProgram(int program) { program_ = program; }
    int ProgramNumber() const { return program_; }
    Program* CurrentProgram() const;
    int LayerCount() const;
    const Layer* LayerAt(int index) const;

    // Sets the typed value on the layers (by index) as one step of undo named after the row:
    // the count of layers changed, or -1 when the text holds no number.
    int Set(int row, const std::vector<int>& layers, const std::string& text);

  private:
    BankEdits& edits_;
    int program_;
};

}  // namespace talmeru
