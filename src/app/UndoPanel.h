#pragma once
// The Edit menu's and the toolbar's Undo and Redo, and the undo history: a dock listing the steps, where a
// click undoes or redoes to the step clicked.
#include <QDockWidget>

class QAction;
class QListWidget;
class QMenu;
class QToolBar;

namespace talmeru {

class TalmeruApp;

class UndoPanel : public QDockWidget {
  public:
    UndoPanel(TalmeruApp& app, QWidget* parent);
    // Adds Undo, Redo and the history's toggle to the menu.
    void AddActions(QMenu& edit);
    // Puts Undo and Redo on the toolbar before `before`; their tooltips name the step.
    void AddButtons(QToolBar& bar, QAction* before);
    // The actions' texts and enabled state, from the history now.
    void UpdateActions();
    QAction* UndoAction() const { return undo_; }
    QAction* RedoAction() const { return redo_; }
    QListWidget* List() const { return list_; }
    // Refills the list (row 0 is the bank as opened, row i the state after step i).
    void Fill();

  private:
    TalmeruApp& app_;
    QListWidget* list_;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    bool fillQueued_ = false;
};

}  // namespace talmeru
