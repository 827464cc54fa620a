#pragma once
// The sample editor: the bank's sample headers in a list, the fields of the one selected,
// and the sample commands. What each command does is SampleEditing's; this form gathers the
// input and shows the result. It keeps header numbers only, never header pointers.
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "editors/sample/SampleAudition.h"
#include "editors/sample/SampleEditing.h"

class QSplitter;
class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace talmeru {

class CEnvelopeCtrl;
class LoopJoinView;
class TalmeruApp;
class TimeAxis;
class TuningPane;
class WaveView;

inline constexpr const char* kSampleEditorFrameName = "SampleEditorFrame";

class EditorSample : public QWidget {
    Q_OBJECT
  public:
    explicit EditorSample(TalmeruApp& app, QWidget* parent = nullptr);
    ~EditorSample() override;

    // The samples changed: the list is filled again and the selection shown again.
    void Refill();
    // Selects one header (scrolled into view); a right half selects its pair's row.
    void SelectSample(int number);

    SampleEditing& Logic() { return edit_; }
    QTreeWidget* List() const { return list_; }
    QPushButton* Button(const char* text) const;
    QLineEdit* PointEdit(int which) const { return points_[size_t(which)]; }
    QLabel* OriginalLabel(int which) const { return originals_[size_t(which)]; }
    QGroupBox* PointsGroup() const { return pointsGroup_; }
    QLabel* MaxNoteLabel() const { return maxNote_; }
    QLabel* OriginalNoteLabel() const { return originalNote_; }
    QLabel* ActualNoteLabel() const { return actualNote_; }
    QSpinBox* CoarseSpin() const { return coarse_; }
    QSpinBox* FineSpin() const { return fine_; }
    QSpinBox* AmpSpin() const { return amp_; }
    QCheckBox* FlagBox(int bit) const { return flags_[size_t(bit)]; }
    QSpinBox* AttackSpin() const { return attack_; }
    CEnvelopeCtrl* Envelope() const { return envelope_; }
    QListWidget* PresetList() const { return presets_; }
    QLineEdit* PresetName() const { return presetName_; }
    QRadioButton* FilterButton(int filter) const { return filters_[size_t(filter)]; }
    WaveView* Wave() const { return wave_; }
    LoopJoinView* JoinView() const { return join_; }
    QScrollBar* WaveScroll() const { return scroll_; }
    QCheckBox* SnapBox() const { return snap_; }
    TimeAxis* Axis() const { return axis_; }
    TuningPane* Tuning() const { return tuning_; }
    QLabel* LengthLabel() const { return length_; }
    QCheckBox* LoopPlayBox() const { return loopPlay_; }
    SampleAudition& Audition() { return audition_; }

    // The dialogs, which tests answer instead of a user.
    using FilesAsker = std::function<std::vector<std::string>()>;
    using SavePathAsker = std::function<std::optional<std::string>(const std::string& proposed)>;
    void SetFilesAsker(FilesAsker f) { askFiles_ = std::move(f); }
    void SetSavePathAsker(SavePathAsker f) { askSavePath_ = std::move(f); }
    void SetEditorRunner(SampleEditing::EditorRunner f) { runEditor_ = std::move(f); }
    void SetChangesChooser(SampleEditing::ChangesChooser f) { chooseChanges_ = std::move(f); }

  signals:
    // "Spectrum" on a header with file-loaded wave data.
    void spectrumRequested(int number);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void BuildForm();
    // The waveform, its markers and zoom, the loop join and the commands that read the wave.
    void BuildView(QSplitter* into);
    void ShowWave(bool enabled);
    QHBoxLayout* BuildPlayRow(QWidget* group);
    // The time axis, length and tuning of the header shown (none: cleared).
    void ShowMeasures(const SampleHeader* header, const WavePeaks* left);
    // Plays the sample shown at its own rate, its loop repeating while the Loop box is on.
    void PlayView();
    void FillList();
    void SelectionChanged();
    void ShowFields();
    void FillPresets();
    void Play();
    void NewSamples();
    void MakeAlias();
    void Extract();
    void WaveEditor();
    void PresetChosen(int row);
    void AddPreset();
    void DeletePreset();
    void PitchSpin(QSpinBox* spin, int& last, int value, bool coarse);
    bool EnvelopeIsCurrent() const;
    std::vector<int> SelectedNumbers() const;

    // The external editor started and awaited; the changes dialog.
    void RunEditorProcess(const std::string& editor, const std::string& file);
    std::optional<int> AskChanges(const std::string& path, const WaveEditOffer& offer);

    TalmeruApp& app_;
    SampleEditing edit_;
    bool showing_ = false;
    QSplitter* split_ = nullptr;
    bool sized_ = false;
    int coarseLast_ = 0;
    int fineLast_ = 0;

    std::array<QRadioButton*, 3> filters_{};
    QTreeWidget* list_ = nullptr;
    std::vector<std::pair<const char*, QPushButton*>> buttons_;
    QGroupBox* pointsGroup_ = nullptr;
    std::array<QLineEdit*, 3> points_{};
    std::array<QLabel*, 3> originals_{};
    QLabel* maxNote_ = nullptr;
    QLabel* originalNote_ = nullptr;
    QLabel* actualNote_ = nullptr;
    QSpinBox* coarse_ = nullptr;
    QSpinBox* fine_ = nullptr;
    QSpinBox* amp_ = nullptr;
    std::array<QCheckBox*, 3> flags_{};
    QSpinBox* attack_ = nullptr;
    CEnvelopeCtrl* envelope_ = nullptr;
    QListWidget* presets_ = nullptr;
    QLineEdit* presetName_ = nullptr;
    std::vector<QWidget*> fieldControls_;
    WaveView* wave_ = nullptr;
    int shownHeader_ = -1;  // the header the wave view shows
    LoopJoinView* join_ = nullptr;
    QScrollBar* scroll_ = nullptr;
    QCheckBox* snap_ = nullptr;
    TimeAxis* axis_ = nullptr;
    TuningPane* tuning_ = nullptr;
    QLabel* length_ = nullptr;
    QCheckBox* loopPlay_ = nullptr;
    SampleAudition audition_;

    FilesAsker askFiles_;
    SavePathAsker askSavePath_;
    SampleEditing::EditorRunner runEditor_;
    SampleEditing::ChangesChooser chooseChanges_;
};

}  // namespace talmeru
