#pragma once
// The microtuning wizard's sheet: the template page (MTWiz2) and the temperament page
// (MTWiz1). It only gathers the choices into a Microtuning; the caller builds the program.
#include <QString>
#include <QWizard>
#include <QWizardPage>
#include <functional>

#include "model/Program.h"
#include "wizards/Microtuning.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace talmeru {

class ZedoDatabase;

// Template program, new name and number.
class MTWiz2 : public QWizardPage {
    Q_OBJECT
  public:
    MTWiz2(const ZedoDatabase& bank, Microtuning& choices, const ProgramNumbering& numbering,
           QWidget* parent = nullptr);

    bool isComplete() const override;
    bool validatePage() override;

    QComboBox* TemplateBox() const { return templates_; }
    QLineEdit* NameEdit() const { return name_; }
    QSpinBox* NumberSpin() const { return number_; }

  private:
    void ChooseTemplate(int index);

    const ZedoDatabase& bank_;
    Microtuning& choices_;
    QComboBox* templates_;
    QLineEdit* name_;
    QSpinBox* number_;
};

// The temperament list and the tuning-file loader.
class MTWiz1 : public QWizardPage {
    Q_OBJECT
  public:
    MTWiz1(const ZedoDatabase& bank, Microtuning& choices, QWidget* parent = nullptr);

    bool isComplete() const override;
    bool validatePage() override;

    // Reads a tuning file into the list.
    void LoadFile(const QString& path);
    // Asks for the tuning file to load; empty when none was chosen. Tests replace it.
    std::function<QString()> chooseFile;

    QTreeWidget* List() const { return list_; }
    QPushButton* LoadButton() const { return load_; }

  private:
    void Fill();

    const ZedoDatabase& bank_;
    Microtuning& choices_;
    QTreeWidget* list_;
    QPushButton* load_;
};

class MTWiz : public QWizard {
    Q_OBJECT
  public:
    MTWiz(const ZedoDatabase& bank, const ProgramNumbering& numbering, QWidget* parent = nullptr);

    // The choices; after Finish they have been checked against the bank.
    const Microtuning& Choices() const { return choices_; }
    MTWiz2* ProgramPage() const { return programPage_; }
    MTWiz1* TemperamentPage() const { return temperamentPage_; }

  private:
    Microtuning choices_;
    MTWiz2* programPage_;
    MTWiz1* temperamentPage_;
};

}  // namespace talmeru
