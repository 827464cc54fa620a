#pragma once
// The SoundFont import dialog, asked when a .sf2 or .sf3 file is opened: by presets or by
// instruments, which of them, and what they need of the synthesizer against what it holds.
// Its rules live in Sf2ImportChoice.
#include <QDialog>
#include <optional>
#include <string>

#include "application/Sf2ImportChoice.h"

class QLabel;
class QProgressBar;
class QRadioButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace talmeru {

class Profile;

class Sf2ImportDialog : public QDialog {
    Q_OBJECT
  public:
    Sf2ImportDialog(const std::string& path, Sf2ImportChoice choice, QWidget* parent = nullptr);

    // Shows the dialog for the file: the mode from the settings, the budget from the
    // synthesizer's sample RAM. OK stores the mode and gives the choice; Cancel nullopt.
    static std::optional<Sf2Choice> Ask(const std::string& path, const Sf2Catalog& catalog,
                                        Profile& settings, int64_t sampleRamTotal,
                                        QWidget* parent);

    Sf2ImportChoice& Model() { return choice_; }
    QRadioButton* PresetsButton() const { return presets_; }
    QRadioButton* InstrumentsButton() const { return instruments_; }
    QTreeWidget* List() const { return list_; }
    QLabel* MeterText(int row) const { return meterText_[row]; }
    QLabel* OverText() const { return over_; }
    // Recomputes the meter now instead of after the pause that gathers quick ticks.
    void UpdateMeter();

  private:
    QWidget* MakeList();
    QWidget* MakeMeter();
    void FillList();
    void ModeChosen();
    void ItemChanged(QTreeWidgetItem* item);
    void SetAll(bool on);
    void ShowCount();

    Sf2ImportChoice choice_;
    QRadioButton* presets_;
    QRadioButton* instruments_;
    QTreeWidget* list_ = nullptr;
    QLabel* count_ = nullptr;
    QProgressBar* meterBar_[4] = {};
    QLabel* meterText_[4] = {};
    QLabel* over_ = nullptr;
    QTimer* pause_;
    bool filling_ = false;
};

}  // namespace talmeru
