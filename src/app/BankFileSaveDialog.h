#pragma once
// The save-bank dialog: the file type sets the name's extension, and the tick box that also
// writes every RAM sample as a WAV file is offered for Pinnacle Bank Files only.
#include <QFileDialog>
#include <string>

class QCheckBox;

namespace talmeru {

// The dialog's rules without a window. Types in the order of the filter: 0 .pbf, 1 .tmb,
// 2 .syx, 3 all files.
struct SaveBankTypes {
    static constexpr int kAllFiles = 3;
    // The type whose pattern matches the name's extension (case ignored); all files if none.
    static int TypeForName(const std::string& name);
    // The name with the type's extension in place of its own; all files keeps the name.
    static std::string WithType(const std::string& name, int type);
    static bool WavBoxEnabled(int type) { return type == 0; }
    // The save options for the chosen path: writing WAV files only for a ticked .pbf save.
    static int SaveOptions(const std::string& path, bool ticked);
};

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
