#pragma once
// The program table: every layer of the current program side by side, a column each, with
// one row per setting in physical units. A cell is edited in place; with several layers
// selected (click their column headers), the value typed goes to all of them as one step of
// undo. What the table shows and sets is ProgramTable's.
#include <QWidget>

#include "editors/program/ProgramTable.h"

class QLabel;
class QTableWidget;
class QTableWidgetItem;

namespace talmeru {

class TalmeruApp;

inline constexpr const char* kProgramTableFrameName = "ProgramTableFrame";

class ProgramTableWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ProgramTableWindow(TalmeruApp& app, QWidget* parent = nullptr);

    // The program shown, by number; looked up on every use.
    void SetProgram(int number);
    // Every cell reads its layer again.
    void Refill();
    ProgramTable& Logic() { return table_; }
    QTableWidget* Table() const { return grid_; }
    QLabel* Caption() const { return caption_; }

  private:
    void CellEdited(QTableWidgetItem* item);

    TalmeruApp& app_;
    ProgramTable table_;
    QLabel* caption_ = nullptr;
    QTableWidget* grid_ = nullptr;
    bool filling_ = false;
};

}  // namespace talmeru
