#include "wizards/MTWiz.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "model/Listers.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

constexpr int kNameColumnWidth = 150;
constexpr int kClassColumnWidth = 36;

}  // namespace

MTWiz2::MTWiz2(const ZedoDatabase& bank, Microtuning& choices, const ProgramNumbering& numbering,
               QWidget* parent)
    : QWizardPage(parent),
      bank_(bank),
      choices_(choices),
      templates_(new QComboBox(this)),
      name_(new QLineEdit(this)),
      number_(new QSpinBox(this)) {
    setTitle("Select program");
    auto* heading = new QLabel("Microtuning or Temperament Tuning Wizard", this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* explanation = new QLabel(
        "Select an existing program to use as a template. The template will be used to create "
        "a new 12 layer program, with each layer representing a note of the scale and "
        "independently detuned from equal temper.",
        this);
    explanation->setWordWrap(true);

    for (const ListItem& item : ListPrograms(bank_, -1, numbering).items)
        templates_->addItem(QString::fromStdString(item.text), item.object->Number());
    templates_->setCurrentIndex(-1);
    name_->setMaxLength(kNameLength);
    number_->setRange(0, kSlotCount - 1);
    choices_.number = std::max(bank_.FirstFreeProgram(), 0);
    number_->setValue(choices_.number);

    auto* form = new QFormLayout;
    form->addRow("Program to use as template", templates_);
    form->addRow("New program name", name_);
    form->addRow("New program id", number_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(explanation);
    layout->addLayout(form);
    layout->addStretch();

    connect(templates_, &QComboBox::currentIndexChanged, this, &MTWiz2::ChooseTemplate);
    connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) {
        choices_.name = text.toStdString();
        emit completeChanged();
    });
    connect(number_, &QSpinBox::valueChanged, this, [this](int n) { choices_.number = n; });
}

void MTWiz2::ChooseTemplate(int index) {
    choices_.templateNumber = index < 0 ? -1 : templates_->itemData(index).toInt();
    if (const Program* p = bank_.GetProgram(choices_.templateNumber)) {
        if (name_->text().isEmpty())
            name_->setText(QString::fromStdString(Microtuning::ProposedName(bank_, *p)));
        if (!Microtuning::TemplateUsable(*p))
            ShowMessage("Template program must be either 1 or 2 layers");
    }
    emit completeChanged();
}

bool MTWiz2::isComplete() const {
    const Program* p = bank_.GetProgram(choices_.templateNumber);
    return p && Microtuning::TemplateUsable(*p) && !choices_.name.empty();
}

bool MTWiz2::validatePage() {
    const std::string problem = choices_.ProgramProblem(bank_);
    if (problem.empty()) return true;
    ShowMessage(problem);
    return false;
}

MTWiz1::MTWiz1(const ZedoDatabase& bank, Microtuning& choices, QWidget* parent)
    : QWizardPage(parent),
      bank_(bank),
      choices_(choices),
      list_(new QTreeWidget(this)),
      load_(new QPushButton("Load Custom Tempre File", this)) {
    setTitle("Select temperament");
    QStringList headings{"OrigKey"};
    for (int c = 0; c < kPitchClasses; ++c)
        headings << PitchClassName(c);
    list_->setColumnCount(static_cast<int>(headings.size()));
    list_->setHeaderLabels(headings);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setColumnWidth(0, kNameColumnWidth);
    for (int c = 1; c <= kPitchClasses; ++c)
        list_->setColumnWidth(c, kClassColumnWidth);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(load_, 0, Qt::AlignLeft);
    Fill();

    chooseFile = [this] {
        QFileDialog dialog(this, "Load Custom Tempre File");
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix("tempre");
        dialog.setNameFilters({"Tempre or Text Files (*.tempre *.txt)", "All Files (*)"});
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().front();
    };
    connect(load_, &QPushButton::clicked, this, [this] {
        if (const QString path = chooseFile(); !path.isEmpty()) LoadFile(path);
    });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> chosen = list_->selectedItems();
        choices_.temperament = chosen.size() == 1 ? list_->indexOfTopLevelItem(chosen.front()) : -1;
        emit completeChanged();
    });
}

void MTWiz1::Fill() {
    const int chosen = choices_.temperament;
    list_->clear();
    for (const Temperament& t : choices_.Temperaments()) {
        QStringList cells{QString::fromStdString(t.name)};
        for (int v : t.cents)
            cells << (v == kNotInScale ? QString("-") : QString::number(v));
        list_->addTopLevelItem(new QTreeWidgetItem(cells));
    }
    if (QTreeWidgetItem* row = list_->topLevelItem(chosen)) row->setSelected(true);
}

void MTWiz1::LoadFile(const QString& path) {
    choices_.LoadTuningFile(path.toStdString());
    Fill();
}

bool MTWiz1::isComplete() const {
    return list_->selectedItems().size() == 1;
}

bool MTWiz1::validatePage() {
    const std::string problem = choices_.Problem(bank_);
    if (problem.empty()) return true;
    ShowMessage(problem);
    return false;
}

MTWiz::MTWiz(const ZedoDatabase& bank, const ProgramNumbering& numbering, QWidget* parent)
    : QWizard(parent),
      programPage_(new MTWiz2(bank, choices_, numbering, this)),
      temperamentPage_(new MTWiz1(bank, choices_, this)) {
    setWindowTitle("Microtuning Wizard");
    addPage(programPage_);
    addPage(temperamentPage_);
}

}  // namespace talmeru
