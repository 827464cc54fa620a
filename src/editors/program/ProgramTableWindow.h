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

class BankObject;
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
    // An edit in another window: the cells read their layers again once the events of the
    // moment are handled, once for all the steps of a drag.
    void ObjectEdited(const BankObject& object);
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
    bool refillQueued_ = false;
};

}  // namespace talmeru
