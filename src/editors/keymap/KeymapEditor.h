#pragma once
// The keymap editor: one row per layer of a program, each with a keymap chooser and a key
// matrix, under a shared scroll bar over the keys, the "Expanded view" switch and the choice
// of what a drag edits. Rows name their layer by program number and layer index and look it
// up again on every refresh. It can be a page of another window or a window of its own
// (KeymapEditorWindow).
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "editors/keymap/KeymapCommands.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QRadioButton;
class QScrollBar;
class QVBoxLayout;

namespace talmeru {

class CKeyMatrix;
class TalmeruApp;

inline constexpr int kExpandedRowHeight = 128;
inline constexpr int kCompactRowHeight = 24;

class KeymapRow : public QWidget {
    Q_OBJECT
  public:
    KeymapRow(BankEdits& edits, QWidget* parent = nullptr);
    // layer -1: the row shows the keymap alone.
    void Show(int program, int layer, int keymap);
    // Re-reads the layer (its keymap may have changed) and repaints.
    void Refresh();
    // The chooser's item at index was chosen (-1: none).
    void Choose(int index);
    int LayerIndex() const { return layer_; }
    int KeymapNumber() const { return keymap_; }
    CKeyMatrix* Matrix() const { return matrix_; }
    QComboBox* Chooser() const { return chooser_; }
    void SetRowHeight(int h);

  signals:
    void edited();
    void scrolled();

  private:
    void FillChooser();
    BankEdits& edits_;
    int program_ = -1;
    int layer_ = -1;
    int keymap_ = -1;
    QLabel* label_;
    QComboBox* chooser_;
    CKeyMatrix* matrix_;
};

class KeymapPage : public QWidget {
    Q_OBJECT
  public:
    explicit KeymapPage(TalmeruApp& app, QWidget* parent = nullptr);
    ~KeymapPage() override;

    // Shows the layers of program number `program` (-1: none).
    void ShowProgram(int program);
    // Adds a row of its own for keymap number `keymap` unless a layer row shows it already
    // (-1: no such row).
    void ShowKeymap(int keymap);
    // Every row looks its layer and keymap up again and repaints.
    void RefreshRows();
    void SetStartKey(int start);
    // A key sounds or stops on every row.
    void MarkKey(int key, bool on);

    int ProgramNumber() const { return program_; }
    int RowCount() const { return int(rows_.size()); }
    KeymapRow* Row(int i) const { return rows_[size_t(i)]; }
    QScrollBar* ScrollBar() const { return scroll_; }
    QCheckBox* ExpandedBox() const { return expanded_; }
    QRadioButton* ModeButton(int mode) const { return modes_[size_t(mode & 1)]; }
    int RowHeight() const;
    // Writes "KeymapBigView" and, in a window of its own, the window's placement.
    void SaveSettings();

  private:
    void Rebuild();
    void SyncScrollBar();
    void RepaintRows();

    TalmeruApp& app_;
    int program_ = -1;
    int extraKeymap_ = -1;
    std::vector<KeymapRow*> rows_;
    QWidget* rowArea_;
    QVBoxLayout* rowLayout_;
    QScrollBar* scroll_;
    QCheckBox* expanded_;
    std::array<QRadioButton*, 2> modes_{};
    bool syncing_ = false;
};

// The keymap editor as an editor window of the main frame, at most one.
class KeymapEditorWindow {
  public:
    // Opens (or brings up) the window on the current program; a keymap number other than -1
    // gets a row of its own when no layer of the program plays it.
    static KeymapPage* Open(TalmeruApp& app, QMdiArea& area, int keymap = -1);
    // The open window's page, or nullptr.
    static KeymapPage* Current();
};

}  // namespace talmeru
