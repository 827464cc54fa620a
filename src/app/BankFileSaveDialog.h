#pragma once
// The save-bank dialog: the file type sets the name's extension, and the tick box that also
// writes every RAM sample as a WAV file is offered for Pinnacle Bank Files only.
#include <QFileDialog>
#include <string>

#include "app/SaveBankTypes.h"

class QCheckBox;

namespace talmeru {

class CBankFileSaveDialog : public QFileDialog {
    Q_OBJECT
  public:
    CBankFileSaveDialog(const std::string& current, QWidget* parent);
    QCheckBox* WavBox() const { return wavBox_; }
    int Type() const;
    std::string ChosenPath() const;
    int SaveOptions() const;
    // As when the user picks a file type in the list.
    void ChooseType(int type);

  private:
    std::string CurrentName() const;
    void TypeChosen(int type);
    QCheckBox* wavBox_;
};

}  // namespace talmeru
