#pragma once
// The insert, rename and purge dialogs over their forms (InsertObjects.h): each gathers the
// name, number and choices into its form and closes only when the form accepts them.
#include <QDialog>
#include <functional>
#include <string>

#include "editors/insert/InsertObjects.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace talmeru {

class Profile;

// "Browse": one file from the "Open Wave File" chooser with its preview, or empty when
// cancelled.
std::string ChooseWaveFile(Profile& settings, QWidget* parent);

class CNewProgramDialog : public QDialog {
    Q_OBJECT
  public:
    CNewProgramDialog(NewProgramForm& form, QWidget* parent = nullptr);
    void accept() override;
    QLineEdit* NameEdit() const { return name_; }
    QSpinBox* IdSpin() const { return id_; }
    QPushButton* OkButton() const;

  private:
    void Gather();
    NewProgramForm& form_;
    QLineEdit* name_;
    QSpinBox* id_;
    QDialogButtonBox* buttons_;
};

class CNewKeymapDialog : public QDialog {
    Q_OBJECT
  public:
    CNewKeymapDialog(NewKeymapForm& form, QWidget* parent = nullptr);
    void accept() override;
    QLineEdit* NameEdit() const { return name_; }
    QSpinBox* IdSpin() const { return id_; }
    QCheckBox* StereoBox() const { return stereo_; }
    QListWidget* SampleList() const { return samples_; }
    QPushButton* OkButton() const;

  private:
    void Fill();
    void Gather();
    NewKeymapForm& form_;
    QLineEdit* name_;
    QSpinBox* id_;
    QCheckBox* stereo_;
    QListWidget* samples_;
    QDialogButtonBox* buttons_;
};

class CNewLayerDialog : public QDialog {
    Q_OBJECT
  public:
    CNewLayerDialog(NewLayerForm& form, QWidget* parent = nullptr);
    void accept() override;
    QCheckBox* StereoBox() const { return stereo_; }
    QRadioButton* ExistingButton() const { return existing_; }
    QRadioButton* CreateButton() const { return create_; }
    QListWidget* KeymapList() const { return keymaps_; }
    QPushButton* OkButton() const;

  private:
    void Fill();
    void Gather();
    NewLayerForm& form_;
    QCheckBox* stereo_;
    QRadioButton* existing_;
    QRadioButton* create_;
    QListWidget* keymaps_;
    QDialogButtonBox* buttons_;
};

class CNewSampleDialog : public QDialog {
    Q_OBJECT
  public:
    using Chooser = std::function<std::string(QWidget*)>;
    CNewSampleDialog(NewSampleForm& form, Chooser choose, QWidget* parent = nullptr);
    void accept() override;
    // "Browse": the chooser's file goes into the path field.
    void Browse();
    QLineEdit* NameEdit() const { return name_; }
    QSpinBox* IdSpin() const { return id_; }
    QRadioButton* WaveButton() const { return wave_; }
    QRadioButton* AliasButton() const { return alias_; }
    QLineEdit* PathEdit() const { return path_; }
    QPushButton* BrowseButton() const { return browse_; }
    QListWidget* AliasList() const { return aliases_; }
    QPushButton* OkButton() const;

  private:
    void ShowSource();
    void Gather();
    void ShowName(bool filled);
    NewSampleForm& form_;
    Chooser choose_;
    QLineEdit* name_;
    QSpinBox* id_;
    QRadioButton* wave_;
    QRadioButton* alias_;
    QLineEdit* path_;
    QPushButton* browse_;
    QListWidget* aliases_;
    QDialogButtonBox* buttons_;
};

class CRenumberDialog : public QDialog {
    Q_OBJECT
  public:
    CRenumberDialog(RenumberForm& form, QWidget* parent = nullptr);
    void accept() override;
    QLineEdit* NameEdit() const { return name_; }
    QSpinBox* NumberSpin() const { return number_; }

  private:
    RenumberForm& form_;
    QLineEdit* name_;
    QSpinBox* number_;
};

class CRenameDialog : public QDialog {
    Q_OBJECT
  public:
    CRenameDialog(const std::string& name, QWidget* parent = nullptr);
    void accept() override;
    std::string Name() const;
    QLineEdit* NameEdit() const { return name_; }

  private:
    QLineEdit* name_;
};

class CPurgeDialog : public QDialog {
    Q_OBJECT
  public:
    CPurgeDialog(PurgeForm& form, QWidget* parent = nullptr);
    // "Purge": deletes the ticked objects under the progress bar and closes as accepted.
    void Purge();
    QListWidget* KeymapList() const { return keymaps_; }
    QListWidget* SampleList() const { return samples_; }
    QPushButton* PurgeButton() const { return purge_; }
    QProgressBar* Progress() const { return progress_; }

  private:
    PurgeForm& form_;
    QListWidget* keymaps_;
    QListWidget* samples_;
    QPushButton* purge_;
    QPushButton* cancel_;
    QProgressBar* progress_;
    QLabel* current_;
};

// The main window's dialogs for the insert commands.
// The editors a new program or sample is shown in (none: not shown).
struct EditorOpeners {
    std::function<void(int number)> program;
    std::function<void(int number)> sample;
};

class QtInsertAsker : public InsertAsker {
  public:
    QtInsertAsker(QWidget* parent, Profile& settings, EditorOpeners openers = {})
        : parent_(parent), settings_(settings), openers_(std::move(openers)) {}
    bool AskNewProgram(NewProgramForm& form) override;
    bool AskNewKeymap(NewKeymapForm& form) override;
    bool AskNewLayer(NewLayerForm& form) override;
    bool AskNewSample(NewSampleForm& form) override;
    bool AskRenumber(RenumberForm& form) override;
    bool AskRename(std::string& name) override;
    bool AskPurge(PurgeForm& form) override;
    void Working(bool on) override;
    void ShowProgram(int number) override {
        if (openers_.program) openers_.program(number);
    }
    void ShowSample(int number) override {
        if (openers_.sample) openers_.sample(number);
    }

  private:
    QWidget* parent_;
    Profile& settings_;
    EditorOpeners openers_;
};

}  // namespace talmeru
