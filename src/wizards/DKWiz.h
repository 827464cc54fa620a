#pragma once
// The drum kit wizard's sheet: the files (DKWiz0), their layout on the keys (DKWiz1), pan
// and pitch (DKWiz3) and the program choices (DKWiz2). It only gathers the choices into a
// DrumKit; the caller builds the kit.
#include <QListWidget>
#include <QWizard>
#include <QWizardPage>
#include <functional>
#include <string>
#include <vector>

#include "wizards/DrumKit.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QToolButton;
class QTreeWidget;

namespace talmeru {

class Profile;
class ZedoDatabase;

// The file list.
class DKWiz0 : public QWizardPage {
    Q_OBJECT
  public:
    DKWiz0(DrumKit& kit, Profile& settings, QWidget* parent = nullptr);

    bool isComplete() const override;
    bool validatePage() override;

    // Appends files as "Add" does after the chooser.
    void AddFiles(const std::vector<std::string>& paths);
    void RemoveSelected();
    std::vector<std::string> Paths() const;
    // Asks for the wave files to add; none when cancelled. Tests replace it.
    std::function<std::vector<std::string>()> chooseFiles;

    QTreeWidget* List() const { return list_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    DrumKit& kit_;
    QTreeWidget* list_;
    QPushButton* add_;
    QPushButton* remove_;
};

// The layout rows: each drawn as the piano key it sits on; dropping one row onto another
// swaps them.
class CDrumSlotList : public QListWidget {
    Q_OBJECT
  public:
    explicit CDrumSlotList(QWidget* parent = nullptr);

  signals:
    void SwapRows(int from, int to);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    int pressed_ = -1;
};

// Lowest note, spacing and the slot rows.
class DKWiz1 : public QWizardPage {
    Q_OBJECT
  public:
    DKWiz1(DrumKit& kit, Profile& settings, QWidget* parent = nullptr);
    ~DKWiz1() override;

    void initializePage() override;
    bool validatePage() override;
    // Keeps the spacing, lowest note and shift mode for the next time.
    void SaveSettings();

    CDrumSlotList* Rows() const { return rows_; }
    QLabel* NoteLabel() const { return note_; }
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }
    QRadioButton* WhiteOnly() const { return whiteOnly_; }
    QRadioButton* WhiteAndBlack() const { return whiteAndBlack_; }
    QRadioButton* ShiftRadio() const { return shift_; }
    QRadioButton* NoShiftRadio() const { return noShift_; }
    QPushButton* PlayButton() const { return play_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* DuplicateButton() const { return duplicate_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPushButton* QuietButton() const { return quiet_; }

  private:
    void Fill(int select);
    void UpdateButtons();
    void ShowLowest();
    void Step(int delta);
    void Play(int row);
    int Selected() const;

    DrumKit& kit_;
    Profile& settings_;
    QLabel* lowestLabel_;
    QLabel* note_;
    QToolButton* up_;
    QToolButton* down_;
    QRadioButton* whiteOnly_;
    QRadioButton* whiteAndBlack_;
    CDrumSlotList* rows_;
    QPushButton* play_;
    QPushButton* stop_;
    QPushButton* duplicate_;
    QPushButton* remove_;
    QPushButton* quiet_;
    QRadioButton* shift_;
    QRadioButton* noShift_;
    bool played_ = false;
};

// Pan group and pitch shift per slot.
class DKWiz3 : public QWizardPage {
    Q_OBJECT
  public:
    explicit DKWiz3(DrumKit& kit, QWidget* parent = nullptr);

    void initializePage() override;

    QTreeWidget* List() const { return list_; }
    QToolButton* ShiftUp() const { return up_; }
    QToolButton* ShiftDown() const { return down_; }
    QSlider* PanSlider() const { return pan_; }

  private:
    void Fill();
    std::vector<int> SelectedRows() const;
    void Shift(int delta);

    DrumKit& kit_;
    QTreeWidget* list_;
    QToolButton* up_;
    QToolButton* down_;
    QSlider* pan_;
};

// Where the kit goes: new layers of the current program, or a new program.
class DKWiz2 : public QWizardPage {
    Q_OBJECT
  public:
    DKWiz2(DrumKit& kit, const ZedoDatabase& bank, int currentNumber, Profile& settings,
           QWidget* parent = nullptr);

    void initializePage() override;
    bool validatePage() override;

    QRadioButton* AddRadio() const { return addLayers_; }
    QRadioButton* NewRadio() const { return newProgram_; }
    QLineEdit* NameEdit() const { return name_; }
    QSpinBox* NumberSpin() const { return number_; }
    QCheckBox* NoteOffBox() const { return noteOff_; }
    QCheckBox* LoopBox() const { return loop_; }

  private:
    void UpdateEnabled();

    DrumKit& kit_;
    const ZedoDatabase& bank_;
    int currentNumber_;
    Profile& settings_;
    QRadioButton* addLayers_;
    QRadioButton* newProgram_;
    QLineEdit* name_;
    QSpinBox* number_;
    QCheckBox* noteOff_;
    QCheckBox* loop_;
};

class DKWiz : public QWizard {
    Q_OBJECT
  public:
    // currentNumber: the current program's number, or -1.
    DKWiz(const ZedoDatabase& bank, int currentNumber, Profile& settings, bool autoProgramReplace,
          QWidget* parent = nullptr);
    ~DKWiz() override;

    // The choices; after Finish they have been checked against the bank.
    const DrumKit& Kit() const { return kit_; }
    DKWiz0* FilePage() const { return filePage_; }
    DKWiz1* LayoutPage() const { return layoutPage_; }
    DKWiz3* PanPage() const { return panPage_; }
    DKWiz2* FinishPage() const { return finishPage_; }

  private:
    DrumKit kit_;
    DKWiz0* filePage_;
    DKWiz1* layoutPage_;
    DKWiz3* panPage_;
    DKWiz2* finishPage_;
};

}  // namespace talmeru
