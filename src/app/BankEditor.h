#pragma once
// The bank editor: two program lists side by side in the "BankFrame" window, the current
// bank on the left and a scratch bank on the right. What the commands do is BankPane's; the
// widgets gather the rows, buttons, menus and drags.
#include <QListWidget>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/BankPane.h"
#include "application/BankEdits.h"

class QLabel;
class QMdiSubWindow;
class QMenu;
class QPushButton;
class QSplitter;
class QTabBar;

namespace talmeru {

class BankEditor;
class Profile;
class TalmeruApp;

inline constexpr const char* kBankFrameName = "BankFrame";
inline constexpr const char* kDragMimeType = "text/plain";

// The program list: one row per program number, with drags of the selected programs and
// drops onto a range of rows.
class CProgramList : public QListWidget {
    Q_OBJECT
  public:
    CProgramList(BankEditor& editor, QWidget* parent);
    // Selected rows, in row order.
    std::vector<int> SelectedRows() const;
    void SelectOnly(int row);
    // The first row shown as drop target, or -1.
    int DropRow() const { return dropRow_; }
    // The drag text for the selected rows; empty when none of them holds a program.
    QString DragText() const;

  protected:
    void startDrag(Qt::DropActions actions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void ShowDropTarget(int row, int count);
    std::optional<ProgramDrag> Accepts(const QMimeData* mime) const;
    BankEditor& editor_;
    int dropRow_ = -1;
    int dropCount_ = 0;
};

class BankEditor : public QWidget {
    Q_OBJECT
  public:
    BankEditor(TalmeruApp& app, bool main, QWidget* parent);
    ~BankEditor() override;

    BankPane& Pane() { return *pane_; }
    CProgramList* List() const { return list_; }
    QTabBar* Tabs() const { return tabs_; }
    QLabel* NameText() const { return name_; }
    QPushButton* CopyButton() const { return copy_; }
    QPushButton* DuplicateButton() const { return duplicate_; }
    QPushButton* DeleteButton() const { return delete_; }
    QPushButton* RenumberButton() const { return renumber_; }
    const PaneEnables& Enables() const { return enables_; }
    // The other pane of the frame, or nullptr.
    BankEditor* Other() const;
    void SetOther(BankEditor* other) { other_ = other; }

    // From the application's refresh: the name, and the rows when the hint asks.
    void Refresh(RefreshHint hint);
    void Fill();
    void UpdateEnables();
    void ChooseTab(int tab);
    // The row's image: 0 a program, 1 an empty number, 2 a drop target.
    static QIcon StateImage(int index);

    // Commands.
    void LoadBank();
    void CopyToOther();
    void Duplicate();
    void Delete();
    void Renumber();
    void SwitchTo();
    void RestoreRom();
    void Dropped(const ProgramDrag& drag, int row);
    // The in-place editor's text for a row.
    void Renamed(int row, const QString& text);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void ShowPlaced(BankEditor& where, const Placed& placed);

    TalmeruApp& app_;
    std::unique_ptr<BankPane> pane_;
    BankEditor* other_ = nullptr;
    QTabBar* tabs_;
    QLabel* name_;
    QPushButton* copy_;
    QPushButton* duplicate_;
    QPushButton* delete_;
    QPushButton* renumber_;
    CProgramList* list_;
    PaneEnables enables_;
};

// The frame: a splitter with the main pane on the left and the scratch pane on the right.
class CBankFrame : public QWidget {
    Q_OBJECT
  public:
    explicit CBankFrame(TalmeruApp& app, QWidget* parent = nullptr);
    BankEditor* MainPane() const { return main_; }
    BankEditor* ScratchPane() const { return scratch_; }
    QSplitter* Splitter() const { return splitter_; }
    void Refresh(RefreshHint hint);
    // Gives the left column its stored width; again once the frame is shown at its size.
    void ApplySplitter();
    // Writes the left column's width to the settings.
    void StoreSplitter();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    TalmeruApp& app_;
    QSplitter* splitter_;
    BankEditor* main_;
    BankEditor* scratch_;
};

// The rename and renumber question on a pane's program; true when the program changed.
bool AskRenameRenumber(QWidget* parent, BankPane& pane, int number);

}  // namespace talmeru
