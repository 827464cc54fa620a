#pragma once
// The layer editor: the current program's layers as rows on the pages Amp, Pitch and Filter,
// the commands on the selected layers, the "Modulators" window, and a keyboard and channel
// display that show the notes sounding. LayerEditorFrame is its window in the main window.
#include <QMdiSubWindow>
#include <QPointer>
#include <QSpinBox>
#include <QWidget>
#include <array>
#include <vector>

#include "application/BankEdits.h"
#include "editors/program/LayerCommands.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace talmeru {

class KeymapPage;

class CMidiDisplayCtrl;
class CModulatorEditor;
class CMusicKeyboard;
class CRangeSelector;
class LayerEditor;
class TalmeruApp;

// A spin whose step grows while an arrow is held, and which can show its value its own way.
class CHoldSpin : public QSpinBox {
    Q_OBJECT
  public:
    CHoldSpin(FieldId id, bool accelerate, QWidget* parent = nullptr);
    void stepBy(int steps) override;
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    // Typed text is taken as shown (headrooms as 0, 3, 6 or 9).
    QValidator::State validate(QString& text, int& pos) const override;

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    FieldId id_;
    bool accelerate_;
    qint64 heldSince_ = -1;
    qint64 lastStep_ = -1;
};

// One page: a header of column titles and a row of controls per layer.
class CLayerPage : public QWidget {
    Q_OBJECT
  public:
    CLayerPage(LayerEditor& editor, LayerPage page, QWidget* parent = nullptr);
    LayerPage Page() const { return page_; }
    // Rows for the program's layers, each showing its layer's values; with originals, those
    // values become what the range selectors restore as the original.
    void ShowLayers(bool originals);
    void ShowRow(int row, bool originals = false);
    // Only the physical meanings under the values (the controls show the values already).
    void ShowMeanings(int row);
    int RowCount() const { return shown_; }

    // The controls of a row, for the column of the field.
    QWidget* Control(int row, FieldId id) const;
    QToolButton* SelectButton(int row) const;
    QPushButton* ModsButton(int row, int which = 0) const;

  private:
    struct Row {
        QToolButton* select = nullptr;
        std::vector<QWidget*> controls;  // one per field of the page
        std::vector<QLabel*> meanings;   // under the control; null where the value says it
        std::vector<QPushButton*> mods;
    };
    void AddRow();
    void Edit(int row, FieldId id, int value, int handle);

    LayerEditor& editor_;
    LayerPage page_;
    std::vector<Row> rows_;
    int shown_ = 0;
    int firstRow_ = 2;
    std::vector<int> modsColumns_;
};

class LayerEditor : public QWidget {
    Q_OBJECT
  public:
    explicit LayerEditor(TalmeruApp& app, QWidget* parent = nullptr);
    ~LayerEditor() override;

    TalmeruApp& App() { return app_; }
    // The program shown, by number (-1 none); looked up on every use.
    void SetProgram(int number);
    int ProgramNumber() const { return program_; }
    Program* CurrentProgram() const;
    // Every row reads its layer again.
    void RefreshRows(bool originals = false);

    // The selected layers by index, in the order of selection.
    const std::vector<int>& Selection() const { return selection_; }
    void SetSelection(std::vector<int> selection);
    void ToggleSelected(int index);
    LayerCommands Commands();

    void DeleteLayers();
    void DuplicateLayers();
    void DuplicateKeymaps();
    void JoinStereo();
    void SplitStereo();
    bool CanJoin();
    bool CanSplit();

    // Opens the "Modulators" window, on a layer and block when given.
    CModulatorEditor* OpenModulators(int layer = -1, int block = -1);
    CModulatorEditor* Modulators() const;

    // Notes that sound, from the virtual keyboard and the audition input.
    void ShowKey(int key, bool pressed, bool onCurrentChannel);
    void AddChannelNotes(int channel, int delta);
    void SetCurrentChannel(int channel);

    QTabWidget* Pages() const { return pages_; }
    // The "Keymap" page: the keymap editor's rows for this program's layers.
    KeymapPage* Keymaps() const { return keymaps_; }
    CLayerPage* Page(LayerPage page) const;
    CMusicKeyboard* Keyboard() const { return keyboard_; }
    CMidiDisplayCtrl* ChannelDisplay() const { return display_; }
    QPushButton* CommandButton(int which) const { return buttons_[static_cast<size_t>(which)]; }

    // After an edit of a layer in a row: the right half follows, the program is recorded; the
    // row itself is shown again when asked (its controls may have changed).
    void LayerEdited(int index, bool showRow);

  signals:
    // A key shown sounding or silent, for pages that mark keys of their own.
    void keyShown(int key, bool pressed);
    void selectionChanged();

  private:
    void UpdateCommands();
    void AfterCommand(int rc, RefreshHint hint);

    TalmeruApp& app_;
    int program_ = -1;
    std::vector<int> selection_;
    QLabel* title_;
    QTabWidget* pages_;
    KeymapPage* keymaps_;
    std::array<CLayerPage*, 3> layerPages_{};
    std::array<QPushButton*, 6> buttons_{};
    CMusicKeyboard* keyboard_;
    CMidiDisplayCtrl* display_;
    QPointer<CModulatorEditor> modulators_;
};

// Its window among the main window's editors: named "LayerEditorFrame", placed where it was.
class LayerEditorFrame : public QMdiSubWindow {
    Q_OBJECT
  public:
    static constexpr const char* kName = "LayerEditorFrame";
    explicit LayerEditorFrame(TalmeruApp& app, QWidget* parent = nullptr);
    LayerEditor* Editor() const { return editor_; }
    // Applies the stored placement; maximised when the editor before was.
    void RestorePlacement(bool maximised);
    void SavePlacement();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    TalmeruApp& app_;
    LayerEditor* editor_;
};

}  // namespace talmeru
