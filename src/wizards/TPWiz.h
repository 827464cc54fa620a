#pragma once
// The tonal program wizard's sheet: the wave list (TPWiz1), the original keys (TPWiz2) and
// the instrument's placement and options (TPWiz3). It only gathers the choices into a
// TonalProgram; the caller builds the instrument.
#include <QWizard>
#include <QWizardPage>
#include <functional>
#include <string>
#include <vector>

#include "wizards/TonalProgram.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;

namespace talmeru {

class Profile;
class ZedoDatabase;

class TPWiz1 : public QWizardPage {
    Q_OBJECT
  public:
    TPWiz1(Profile& settings, TonalProgram& choices, QWidget* parent = nullptr);

    bool isComplete() const override;
    // Asks for the wave files to add; none when cancelled. Tests replace it.
    std::function<std::vector<std::string>()> chooseFiles;
    void AddFiles(const std::vector<std::string>& paths);
    void RemoveSelected();

    QTreeWidget* List() const { return list_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }

  private:
    void Fill();

    TonalProgram& choices_;
    QTreeWidget* list_;
    QPushButton* add_;
    QPushButton* remove_;
};

class TPWiz2 : public QWizardPage {
    Q_OBJECT
  public:
    TPWiz2(Profile& settings, TonalProgram& choices, QWidget* parent = nullptr);

    void initializePage() override;
    void cleanupPage() override;
    bool validatePage() override;

    // A note-on from MIDI input: with "Set OrigKey with Keyboard" it becomes the selected
    // row's key while this page is shown.
    void NoteOn(int key);
    bool Listening() const;
    void ParseNames();
    void ReSort();
    void PlaySelected();

    QTreeWidget* List() const { return list_; }
    QSpinBox* KeySpin() const { return key_; }
    QSpinBox* OctaveSpin() const { return octave_; }
    QPushButton* PlayButton() const { return play_; }
    QCheckBox* KeySetBox() const { return keySet_; }

  private:
    void Fill(int select);
    int SelectedRow() const;
    void ShowRow(int row);
    void UpdateButtons();

    Profile& settings_;
    TonalProgram& choices_;
    QTreeWidget* list_;
    QPushButton* play_;
    QPushButton* stop_;
    QSpinBox* key_;
    QSpinBox* octave_;
    QCheckBox* keySet_;
    int octaveShown_ = 0;
    bool filling_ = false;
};

class TPWiz3 : public QWizardPage {
    Q_OBJECT
  public:
    TPWiz3(const ZedoDatabase& bank, Profile& settings, TonalProgram& choices, int currentProgram,
           bool autoReplace, QWidget* parent = nullptr);

    bool validatePage() override;

    QRadioButton* AddToCurrentRadio() const { return addToCurrent_; }
    QRadioButton* NewProgramRadio() const { return newProgram_; }
    QLineEdit* NameEdit() const { return name_; }
    QSpinBox* NumberSpin() const { return number_; }
    QCheckBox* Option(int i) const { return options_[static_cast<size_t>(i)]; }
    QCheckBox* NoTransposeBox() const { return noTranspose_; }
    QSpinBox* RateSpin() const { return rate_; }

    // The quick options' order.
    enum QuickOption : int {
        kVibrato,
        kTremolo,
        kSlowAttack,
        kSlowRelease,
        kVelocityBrightness,
        kPhat,
        kQuickOptions
    };

  private:
    void UpdateEnabled();
    void Gather();

    const ZedoDatabase& bank_;
    Profile& settings_;
    TonalProgram& choices_;
    int current_;
    bool autoReplace_;
    QRadioButton* addToCurrent_;
    QRadioButton* newProgram_;
    QLineEdit* name_;
    QSpinBox* number_;
    std::vector<QCheckBox*> options_;
    QCheckBox* noTranspose_;
    QSpinBox* rate_;
};

class TPWiz : public QWizard {
    Q_OBJECT
  public:
    TPWiz(const ZedoDatabase& bank, Profile& settings, int currentProgram, bool autoReplace,
          QWidget* parent = nullptr);

    // The choices; after Finish they have been checked against the bank.
    const TonalProgram& Choices() const { return choices_; }
    TPWiz1* WavePage() const { return wavePage_; }
    TPWiz2* KeyPage() const { return keyPage_; }
    TPWiz3* CreatePage() const { return createPage_; }

  private:
    TonalProgram choices_;
    TPWiz1* wavePage_;
    TPWiz2* keyPage_;
    TPWiz3* createPage_;
};

}  // namespace talmeru
