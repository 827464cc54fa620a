#include "editors/program/ProgramTableWindow.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <set>

#include "application/TalmeruApp.h"
#include "model/Program.h"

namespace talmeru {

ProgramTableWindow::ProgramTableWindow(TalmeruApp& app, QWidget* parent)
    : QWidget(parent), app_(app), table_(app, app.Editing().CurrentNumber()) {
    setWindowTitle("Program Table");
    auto* layout = new QVBoxLayout(this);
    caption_ = new QLabel(this);
    layout->addWidget(caption_);
    grid_ = new QTableWidget(this);
    grid_->setToolTip("Type a value in its unit (dB, ms or s, ct, Hz or kHz, st, %; pan as L 30 "
                      "or R 30). Select several layers by their column headers, then type or "
                      "press F2: the value goes to all of them.");
    // Editing starts from the keyboard, so that a selection of several layers stays.
    grid_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::DoubleClicked);
    grid_->horizontalHeader()->setDefaultSectionSize(120);
    layout->addWidget(grid_, 1);
    connect(grid_, &QTableWidget::itemChanged, this, &ProgramTableWindow::CellEdited);
    Refill();
}

void ProgramTableWindow::SetProgram(int number) {
    table_.SetProgram(number);
    Refill();
}

void ProgramTableWindow::ObjectEdited(const BankObject& object) {
    if (refillQueued_ || &object != table_.CurrentProgram()) return;
    refillQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        refillQueued_ = false;
        Refill();
    });
}

void ProgramTableWindow::Refill() {
    filling_ = true;
    const Program* p = table_.CurrentProgram();
    caption_->setText(p ? QString("Program %1: %2 (%3 layers)")
                              .arg(p->Number())
                              .arg(QString::fromStdString(p->Name()))
                              .arg(p->LayerCount())
                        : QString("No program"));
    const std::span<const TableRow> rows = ProgramTableRows();
    const int columns = table_.LayerCount();
    grid_->setRowCount(static_cast<int>(rows.size()));
    grid_->setColumnCount(columns);
    QStringList titles;
    for (const TableRow& r : rows)
        titles << r.title;
    grid_->setVerticalHeaderLabels(titles);
    const bool editable = app_.Editable();
    for (int c = 0; c < columns; ++c) {
        const Layer* layer = table_.LayerAt(c);
        grid_->setHorizontalHeaderItem(
            c, new QTableWidgetItem(QString::fromStdString(TableColumnTitle(*layer))));
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            const std::string text = TableCellText(*layer, rows[size_t(r)]);
            // Cells are written over, never replaced: Refill runs inside a cell's own edit.
            QTableWidgetItem* item = grid_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                grid_->setItem(r, c, item);
            }
            item->setText(QString::fromStdString(text));
            const bool canEdit = editable && text != "-";
            item->setFlags(canEdit ? item->flags() | Qt::ItemIsEditable
                                   : item->flags() & ~Qt::ItemIsEditable);
        }
    }
    filling_ = false;
}

void ProgramTableWindow::CellEdited(QTableWidgetItem* item) {
    if (filling_) return;
    // The edited layer and every other selected layer, in the edited row.
    std::set<int> layers = {item->column()};
    for (const QModelIndex& index : grid_->selectionModel()->selectedIndexes())
        layers.insert(index.column());
    const int row = item->row();
    table_.Set(row, {layers.begin(), layers.end()}, item->text().toStdString());
    // The cells show what was stored (a value out of range is limited, a word is refused).
    Refill();
}

}  // namespace talmeru
