#pragma once
// The object browser window: the whole current bank as a tree, with rename, delete,
// duplicate and the editors on a context menu. The tree and the commands are BrowserTree's;
// this only shows them and gathers the clicks.
#include <QDockWidget>
#include <QTreeWidget>
#include <memory>

#include "app/BrowserTree.h"
#include "application/BankEdits.h"

class QLineEdit;
class QMenu;

namespace talmeru {

class CMainFrame;
class QtInsertAsker;
class TalmeruApp;

class BrowserObject : public QTreeWidget {
    Q_OBJECT
  public:
    BrowserObject(TalmeruApp& app, BrowserEditors& editors, QWidget* parent = nullptr);
    ~BrowserObject() override;

    // Rebuilds the tree when the hint names programs, sample headers or keymaps.
    void Refresh(RefreshHint hint);
    void Rebuild();
    // The object of the selected item (none for groups, layers and modulators).
    ObjectRef Selected() const { return selected_; }
    static ObjectRef RefOf(const QTreeWidgetItem* item);
    // The context menu for an object: Rename, Delete, Duplicate and Edit, each acting on it.
    QMenu* MakeContextMenu(ObjectRef target, QWidget* parent);
    BrowserCommands& Commands() { return *commands_; }
    // Shows only the objects whose label holds the text (letter case aside); all for "".
    void SetFilter(const QString& text);
    QString Filter() const { return filter_; }
    // The tooltip of a keymap or sample item: what plays it.
    QString UsedByTip(const QTreeWidgetItem* item) const;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

  private:
    void ShowContextMenu(ObjectRef target, QPoint global);
    void Highlight(QTreeWidgetItem* item, bool on);
    void AddNodes(QTreeWidgetItem* parent, const std::vector<BrowserNode>& nodes);

    TalmeruApp& app_;
    std::unique_ptr<QtInsertAsker> ask_;
    std::unique_ptr<BrowserCommands> commands_;
    std::vector<QIcon> images_;
    ObjectRef selected_;
    QString filter_;
    // Counts rebuilds: an item noted before a command ran is gone when this moved on.
    int generation_ = 0;
};

// Docked beside the editors (at the left unless the user moved it); the main window's state
// keeps where it stands, the placement key only what it last covered.
class CObjectBrowserFrame : public QDockWidget {
    Q_OBJECT
  public:
    static constexpr const char* kName = "ObjectBrowserFrame";
    CObjectBrowserFrame(TalmeruApp& app, CMainFrame& main, QWidget* parent = nullptr);
    ~CObjectBrowserFrame() override;
    BrowserObject* Browser() const { return browser_; }
    QLineEdit* SearchBox() const { return search_; }
    void SavePlacement();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    TalmeruApp& app_;
    std::unique_ptr<BrowserEditors> editors_;
    BrowserObject* browser_;
    QLineEdit* search_;
};

}  // namespace talmeru
