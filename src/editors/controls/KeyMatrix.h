#pragma once
// The key matrix control: the 128 keys with the sample ranges of one keymap above them, the
// sounding keys, and the drag that marks a span of keys. It paints KeyMatrixModel, hands it
// the mouse, and runs the range commands of its context menu through KeymapCommands.
#include <QBasicTimer>
#include <QDialog>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editors/controls/KeyMatrixModel.h"
#include "editors/keymap/KeymapCommands.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QRadioButton;
class QSlider;

namespace talmeru {

// The context menu's commands.
enum KeyMatrixCommand : int {
    kCmdDeleteRange = 0x7000,
    kCmdReplaceSample = 0x7001,
    kCmdEditSample = 0x7002,
    kCmdSplitRange = 0x7004,
    kCmdAdjustAmplitude = 0x7005,
    kCmdSilentRange = 0x7006,
};

// Opens the sample editor on a sample header number (-1: no sample). Set by whoever owns the
// sample editor; while none is set, the matrices offer no "Edit Sample".
void SetSampleEditorOpener(std::function<void(int sample)> opener);
bool HasSampleEditorOpener();
// Makes new samples from WAV files: the number of the last one made, or -1. Set by whoever
// owns the sample commands; while none is set, files dropped on a range are refused.
using SampleImporter = std::function<int(const std::vector<std::string>& files)>;
void SetSampleImporter(SampleImporter importer);

class CKeyMatrix : public QWidget {
    Q_OBJECT
  public:
    CKeyMatrix(BankEdits& edits, QWidget* parent = nullptr);
    ~CKeyMatrix() override;

    // Shows a layer (program number, layer index) and keymap; -1 for none.
    void Show(int program, int layer, int keymap);
    // Re-reads the keymap and repaints.
    void Reload();
    // Sets a key's sounding flag and repaints its cell.
    void MarkKey(int key, bool on);
    KeyMatrixModel& Model() { return model_; }
    const KeyMatrixModel& Model() const { return model_; }

    // Runs a context-menu command on the selected range.
    void Command(int id);
    // The context menu for the selected range as it would open now.
    std::unique_ptr<QMenu> MakeContextMenu();
    // The choice of the "Select Sample" dialog: a sample number, or nothing (cancelled, or
    // OK without a choice). Tests put their own answer here.
    std::function<std::optional<int>(SampleChoice&)> askSample;
    // The "Amp" pop-up, run on the selected range; tests put their own here.
    std::function<void(int keymap, size_t entry)> askAmplitude;
    bool AutoScrolling() const { return timer_.isActive(); }
    // One auto-scroll tick, as the timer gives it.
    void AutoScrollTick();
    // WAV files dropped on the range at the point: imported, and the range plays the sample.
    void DropSample(const std::vector<std::string>& files, QPoint at);

  signals:
    // The keymap or the layer changed: every row shows it again.
    void edited();
    // The shared key window moved: every row repaints and the scroll bar follows.
    void scrolled();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void PressAt(QPoint at);
    void CommitDrag(int lo, int hi);
    void EditSample();
    void RepaintKeys(int a, int b);
    const MatrixRange* SelectedRange() const;

    BankEdits& edits_;
    KeyMatrixModel model_;
    QBasicTimer timer_;
};

// The "Amp" pop-up: a slider from -127 to +127 whose every move is written into the entry.
class AmpPopup : public QWidget {
    Q_OBJECT
  public:
    AmpPopup(BankEdits& edits, int program, int keymap, size_t entry, QWidget* parent = nullptr);
    QSlider* Slider() const { return slider_; }
    QLabel* Readout() const { return readout_; }
    QCheckBox* FullRange() const { return fullRange_; }

  signals:
    void changed();

  private:
    void Moved(int value);
    BankEdits& edits_;
    int program_;
    int keymap_;
    size_t entry_;
    QSlider* slider_;
    QLabel* readout_;
    QCheckBox* fullRange_;
};

// The "Select Sample" dialog: the bank's sample headers, filtered by "View only".
class SelectSampleDialog : public QDialog {
    Q_OBJECT
  public:
    SelectSampleDialog(SampleChoice& choice, QWidget* parent = nullptr);
    QListWidget* List() const { return list_; }
    QRadioButton* ViewButton(int view) const { return views_[size_t(view)]; }
    // The chosen sample number, or -1.
    int Chosen() const;

  private:
    void Fill();
    SampleChoice& choice_;
    QListWidget* list_;
    std::array<QRadioButton*, 3> views_{};
};

}  // namespace talmeru
