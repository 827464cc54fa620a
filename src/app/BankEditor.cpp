#include "app/BankEditor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QVBoxLayout>

#include "app/BankFileDialog.h"
#include "application/TalmeruApp.h"
#include "editors/insert/InsertDialogs.h"
#include "model/BankObject.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"
#include "platform/Profile.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

constexpr int kMinFirstColumn = 144;
constexpr int kDefaultSplitter = 330;
constexpr int kSmallestSplitter = 50;

// Waits with the busy cursor for as long as it lives.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// The in-place editor: the program's name, at most 16 characters; the text goes to the pane
// instead of the list's own data.
class RenameDelegate : public QStyledItemDelegate {
  public:
    RenameDelegate(BankEditor& editor, QObject* parent)
        : QStyledItemDelegate(parent), editor_(editor) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* edit = new QLineEdit(parent);
        edit->setMaxLength(kNameLength);
        return edit;
    }
    void setEditorData(QWidget* widget, const QModelIndex& index) const override {
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            edit->setText(Q(editor_.Pane().ProgramName(index.row())));
    }
    void setModelData(QWidget* widget, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(widget);
        if (!edit) return;
        // The rename refreshes the views, which refills this list: not while its editor is
        // still committing.
        const QString text = edit->text();
        const int row = index.row();
        BankEditor* editor = &editor_;
        QMetaObject::invokeMethod(
            editor, [editor, row, text] { editor->Renamed(row, text); }, Qt::QueuedConnection);
    }

  private:
    BankEditor& editor_;
};

}  // namespace

CProgramList::CProgramList(BankEditor& editor, QWidget* parent)
    : QListWidget(parent), editor_(editor) {
    setViewMode(QListView::ListMode);
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setItemDelegate(new RenameDelegate(editor, this));
}

std::vector<int> CProgramList::SelectedRows() const {
    std::vector<int> rows;
    for (int r = 0; r < count(); ++r)
        if (item(r)->isSelected()) rows.push_back(r);
    return rows;
}

void CProgramList::SelectOnly(int row) {
    clearSelection();
    if (QListWidgetItem* it = item(row)) {
        setCurrentItem(it);
        it->setSelected(true);
        scrollToItem(it);
    }
}

QString CProgramList::DragText() const {
    ProgramDrag drag{editor_.Pane().Identity(), {}};
    for (int r : SelectedRows())
        if (editor_.Pane().HasProgram(r)) drag.numbers.push_back(r);
    if (drag.numbers.empty()) return {};
    return Q(EncodeDrag(drag));
}

void CProgramList::startDrag(Qt::DropActions) {
    const QString text = DragText();
    if (text.isEmpty()) return;
    auto* mime = new QMimeData;
    mime->setText(text);
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    ShowDropTarget(-1, 0);
}

std::optional<ProgramDrag> CProgramList::Accepts(const QMimeData* mime) const {
    if (!mime || !mime->hasText()) return std::nullopt;
    auto drag = DecodeDrag(mime->text().toStdString());
    if (!drag || !editor_.Pane().CanDrop(*drag)) return std::nullopt;
    return drag;
}

void CProgramList::dragEnterEvent(QDragEnterEvent* event) {
    if (Accepts(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CProgramList::dragMoveEvent(QDragMoveEvent* event) {
    const auto drag = Accepts(event->mimeData());
    if (!drag) {
        event->ignore();
        return;
    }
    const QListWidgetItem* over = itemAt(event->position().toPoint());
    if (!over) {
        ShowDropTarget(-1, 0);
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
        return;
    }
    ShowDropTarget(row(over), int(drag->numbers.size()));
    event->setDropAction(editor_.Pane().DropMoves(*drag) ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
}

void CProgramList::dragLeaveEvent(QDragLeaveEvent* event) {
    ShowDropTarget(-1, 0);
    QListWidget::dragLeaveEvent(event);
}

void CProgramList::dropEvent(QDropEvent* event) {
    const auto drag = Accepts(event->mimeData());
    const QListWidgetItem* over = itemAt(event->position().toPoint());
    ShowDropTarget(-1, 0);
    if (!drag || !over) {
        event->ignore();
        return;
    }
    event->setDropAction(editor_.Pane().DropMoves(*drag) ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
    // The drop changes the banks the lists show; the lists are refilled, not moved by Qt.
    const int at = row(over);
    const ProgramDrag dropped = *drag;
    QMetaObject::invokeMethod(
        &editor_, [this, dropped, at] { editor_.Dropped(dropped, at); }, Qt::QueuedConnection);
}

void CProgramList::ShowDropTarget(int first, int rows) {
    if (first == dropRow_ && rows == dropCount_) return;
    // Rows left behind get their own image back.
    for (int r = dropRow_; r >= 0 && r < dropRow_ + dropCount_ && r < count(); ++r) {
        item(r)->setIcon(BankEditor::StateImage(editor_.Pane().HasProgram(r) ? 0 : 1));
        item(r)->setBackground(QBrush());
    }
    dropRow_ = first;
    dropCount_ = first < 0 ? 0 : rows;
    for (int r = dropRow_; r >= 0 && r < dropRow_ + dropCount_ && r < count(); ++r) {
        item(r)->setIcon(BankEditor::StateImage(2));
        item(r)->setBackground(palette().highlight());
    }
}

BankEditor::BankEditor(TalmeruApp& app, bool main, QWidget* parent)
    : QWidget(parent), app_(app), pane_(std::make_unique<BankPane>(app, main)) {
    setObjectName(main ? "MainBankPane" : "ScratchBankPane");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(Q(pane_->Title()), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    name_ = new QLabel(this);
    name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* load = new QPushButton("Load Bank ...", this);
    auto* restore = new QPushButton("Restore ROM", this);
    copy_ = new QPushButton(main ? "Copy to Scratch ->" : "<- Copy to Main Bank", this);
    duplicate_ = new QPushButton("Duplicate", this);
    delete_ = new QPushButton("Delete", this);
    renumber_ = new QPushButton("Renumber", this);
    tabs_ = new QTabBar(this);
    for (int t = 0; t < kBankTabs; ++t)
        tabs_->addTab(Q(pane_->TabLabel(t)));
    list_ = new CProgramList(*this, this);

    auto* top = new QHBoxLayout;
    top->addWidget(load);
    top->addWidget(restore);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {copy_, duplicate_, delete_, renumber_})
        buttons->addWidget(b);
    buttons->addStretch();
    layout->addWidget(title);
    layout->addWidget(name_);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(tabs_);
    layout->addWidget(list_, 1);

    connect(load, &QPushButton::clicked, this, &BankEditor::LoadBank);
    connect(restore, &QPushButton::clicked, this, &BankEditor::RestoreRom);
    connect(copy_, &QPushButton::clicked, this, &BankEditor::CopyToOther);
    connect(duplicate_, &QPushButton::clicked, this, &BankEditor::Duplicate);
    connect(delete_, &QPushButton::clicked, this, &BankEditor::Delete);
    connect(renumber_, &QPushButton::clicked, this, &BankEditor::Renumber);
    connect(tabs_, &QTabBar::tabBarClicked, this, &BankEditor::ChooseTab);
    connect(list_, &QListWidget::itemSelectionChanged, this, &BankEditor::UpdateEnables);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* it) {
        list_->SelectOnly(list_->row(it));
        SwitchTo();
    });
    Fill();
}

BankEditor::~BankEditor() = default;

BankEditor* BankEditor::Other() const {
    return other_;
}

QIcon BankEditor::StateImage(int index) {
    static const QColor colours[3] = {QColor(0, 128, 0), QColor(192, 192, 192), QColor(0, 0, 192)};
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::white);
    QPainter paint(&pixmap);
    const QColor c = colours[std::clamp(index, 0, 2)];
    if (index == 1) {
        paint.setPen(c);
        paint.drawRect(3, 3, 9, 9);
    } else {
        paint.fillRect(3, 3, 10, 10, c);
    }
    return QIcon(pixmap);
}

void BankEditor::Refresh(RefreshHint hint) {
    name_->setText(Q(pane_->BankName()));
    if (pane_->RefillsOn(hint)) Fill();
}

void BankEditor::Fill() {
    name_->setText(Q(pane_->BankName()));
    const std::vector<int> selected = list_->SelectedRows();
    const int top = list_->count() ? list_->row(list_->itemAt(4, 4)) : -1;
    list_->clear();
    const QIcon program = StateImage(0);
    const QIcon empty = StateImage(1);
    int widest = kMinFirstColumn;
    for (int n = 0; n < kBankRows; ++n) {
        auto* it = new QListWidgetItem(Q(pane_->RowText(n)), list_);
        const bool has = pane_->HasProgram(n);
        it->setIcon(has ? program : empty);
        // Only rows with a program can be renamed in place.
        if (has) it->setFlags(it->flags() | Qt::ItemIsEditable);
        widest = std::max(widest, list_->fontMetrics().horizontalAdvance(it->text()) + 28);
    }
    list_->setGridSize(QSize(widest, list_->fontMetrics().height() + 6));
    for (int r : selected)
        if (QListWidgetItem* it = list_->item(r)) it->setSelected(true);
    if (top >= 0) list_->scrollToItem(list_->item(top), QAbstractItemView::PositionAtTop);
    UpdateEnables();
}

void BankEditor::UpdateEnables() {
    enables_ = pane_->Enables(list_->SelectedRows());
    copy_->setEnabled(enables_.copy);
    duplicate_->setEnabled(enables_.duplicate);
    delete_->setEnabled(enables_.remove);
    renumber_->setEnabled(enables_.renumber);
}

void BankEditor::ChooseTab(int tab) {
    if (tab < 0 || tab >= kBankTabs) return;
    const auto [middle, first] = BankPane::TabRows(tab);
    list_->scrollToItem(list_->item(middle));
    list_->scrollToItem(list_->item(first));
}

void BankEditor::ShowPlaced(BankEditor& where, const Placed& placed) {
    where.Fill();
    if (placed.first >= 0) where.list_->SelectOnly(placed.first);
    where.UpdateEnables();
}

void BankEditor::LoadBank() {
    if (pane_->IsMain()) {
        app_.OpenBankCommand();
        return;
    }
    CBankFileDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenPath().empty()) return;
    {
        WaitCursor wait;
        pane_->LoadScratch(dialog.ChosenPath());
    }
    Fill();
}

void BankEditor::CopyToOther() {
    BankEditor* other = Other();
    if (!other) {
        ShowMessage(
            "An internal error was caught and the copy procedure failed.  It is possible that "
            "this error is due to a bad windows .DLL. Please contact the author for more "
            "information");
        return;
    }
    const Placed placed = pane_->CopyTo(other->Pane(), list_->SelectedRows());
    if (placed.count == 0) return;
    ShowPlaced(*other, placed);
}

void BankEditor::Duplicate() {
    const Placed placed = pane_->Duplicate(list_->SelectedRows());
    if (placed.count == 0) return;
    ShowPlaced(*this, placed);
}

void BankEditor::Delete() {
    {
        WaitCursor wait;
        pane_->Delete(list_->SelectedRows());
    }
    list_->clearSelection();
    Fill();
}

void BankEditor::Renumber() {
    const std::vector<int> rows = list_->SelectedRows();
    if (rows.size() != 1) return;
    if (!pane_->HasProgram(rows.front())) {
        ShowMessage("There is no program defined there.");
        return;
    }
    if (AskRenameRenumber(this, *pane_, rows.front())) Fill();
    UpdateEnables();
}

void BankEditor::SwitchTo() {
    const std::vector<int> rows = list_->SelectedRows();
    if (rows.size() != 1 || !pane_->IsMain()) return;
    pane_->SwitchTo(rows.front());
}

void BankEditor::RestoreRom() {
    WaitCursor wait;
    if (pane_->IsMain()) {
        app_.RestoreRomCommand();
    } else {
        pane_->RestoreScratchRom();
        Fill();
    }
}

void BankEditor::Dropped(const ProgramDrag& drag, int row) {
    BankPane* source = BankPane::Find(drag.bank);
    if (!source) return;
    const Placed placed = pane_->Drop(drag, row);
    ShowPlaced(*this, placed);
    // Rows the programs left behind belong to this list too when they were moved.
    if (other_ && &other_->Pane() == source) other_->Fill();
}

void BankEditor::Renamed(int row, const QString& text) {
    if (!pane_->Rename(row, text.toStdString())) return;
    if (QListWidgetItem* it = list_->item(row)) it->setText(Q(pane_->RowText(row)));
}

void BankEditor::contextMenuEvent(QContextMenuEvent* event) {
    UpdateEnables();
    QMenu menu("Current List", this);
    QAction* switchTo = menu.addAction("Switch To", this, &BankEditor::SwitchTo);
    switchTo->setEnabled(enables_.switchTo);
    menu.addAction("Copy Program(s) to other window", this, &BankEditor::CopyToOther)
        ->setEnabled(enables_.copy);
    menu.addAction("Duplicate", this, &BankEditor::Duplicate)->setEnabled(enables_.duplicate);
    menu.addAction("Delete", this, &BankEditor::Delete)->setEnabled(enables_.remove);
    menu.addAction("Renumber", this, &BankEditor::Renumber)->setEnabled(enables_.renumber);
    menu.addSeparator();
    menu.addAction("Load Bank ...", this, &BankEditor::LoadBank);
    menu.addAction("Restore ROM bank", this, &BankEditor::RestoreRom);
    menu.exec(event->globalPos());
}

CBankFrame::CBankFrame(TalmeruApp& app, QWidget* parent)
    : QWidget(parent), app_(app), splitter_(new QSplitter(Qt::Horizontal, this)) {
    setObjectName(kBankFrameName);
    setWindowTitle("Bank Editor");
    setAttribute(Qt::WA_DeleteOnClose);
    main_ = new BankEditor(app, true, splitter_);
    scratch_ = new BankEditor(app, false, splitter_);
    main_->SetOther(scratch_);
    scratch_->SetOther(main_);
    splitter_->addWidget(main_);
    splitter_->addWidget(scratch_);
    splitter_->setChildrenCollapsible(false);
    main_->setMinimumWidth(kSmallestSplitter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter_);
    // The two banks are peers: they share the width evenly until the user moves the bar.
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 1);
    const int left =
        std::max(kSmallestSplitter,
                 app_.Settings().GetInt("Settings", "BankSplitterWidth", kDefaultSplitter));
    splitter_->setSizes({left, std::max(left, 400)});
    // Small enough to arrange, large enough to keep every button of both panes reachable.
    setMinimumSize(main_->minimumSizeHint().width() + 10, 200);
}

void CBankFrame::ApplySplitter() {
    if (layout()) layout()->activate();
    const int room = splitter_->width() - splitter_->handleWidth();
    const int stored = app_.Settings().GetInt("Settings", "BankSplitterWidth", 0);
    const int left = std::max(kSmallestSplitter, stored > 0 ? stored : room / 2);
    splitter_->setSizes({left, std::max(1, splitter_->width() - splitter_->handleWidth() - left)});
}

void CBankFrame::Refresh(RefreshHint hint) {
    main_->Refresh(hint);
    scratch_->Refresh(hint);
}

void CBankFrame::StoreSplitter() {
    const QList<int> sizes = splitter_->sizes();
    if (!sizes.isEmpty() && sizes.front() > 0)
        app_.Settings().WriteInt("Settings", "BankSplitterWidth", sizes.front());
}

void CBankFrame::closeEvent(QCloseEvent* event) {
    StoreSplitter();
    QWidget::closeEvent(event);
}

bool AskRenameRenumber(QWidget* parent, BankPane& pane, int number) {
    RenumberForm form(pane.ProgramName(number), number);
    CRenumberDialog dialog(form, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    return pane.Renumber(number, form.number, form.name);
}

}  // namespace talmeru
