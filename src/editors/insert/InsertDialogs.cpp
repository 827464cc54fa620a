#include "editors/insert/InsertDialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "model/BankObject.h"
#include "platform/Prompter.h"
#include "widgets/WaveFileDialog.h"

namespace talmeru {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* NameField(const std::string& text, QWidget* parent) {
    auto* edit = new QLineEdit(Q(text), parent);
    edit->setMaxLength(kNameLength);
    return edit;
}

QSpinBox* NumberField(int value, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(0, kSlotCount - 1);
    spin->setValue(value < 0 ? 0 : value);
    return spin;
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// Fills a list with the choices, each carrying its object's number, and selects `current`.
void FillList(QListWidget* list, const std::vector<ObjectChoice>& choices, int current) {
    list->clear();
    for (const ObjectChoice& c : choices) {
        auto* item = new QListWidgetItem(Q(c.text), list);
        item->setData(Qt::UserRole, c.number);
        if (c.number == current) list->setCurrentItem(item);
    }
}

int ChosenNumber(const QListWidget* list) {
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toInt() : -1;
}

}  // namespace

std::string ChooseWaveFile(Profile& settings, QWidget* parent) {
    const std::vector<std::string> chosen = CWaveFileDialog::Ask(settings, false, parent);
    return chosen.empty() ? std::string() : chosen.front();
}

// ---- New Program

CNewProgramDialog::CNewProgramDialog(NewProgramForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setWindowTitle("New Program");
    name_ = NameField(form.name, this);
    id_ = NumberField(form.id, this);
    buttons_ = OkCancel(this);
    auto* note = new QLabel(
        "This feature is for advanced users. Typically you will need to also insert a new keymap "
        "and new sample before you will hear results.\n\nTo make a program, keymap and sample "
        "from a wave file in one step, use Wizards | One-step wave import...",
        this);
    note->setWordWrap(true);
    auto* fields = new QFormLayout;
    fields->addRow("Name", name_);
    fields->addRow("Id", id_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(fields);
    layout->addWidget(buttons_);
    connect(name_, &QLineEdit::textChanged, this, &CNewProgramDialog::Gather);
    connect(id_, &QSpinBox::valueChanged, this, &CNewProgramDialog::Gather);
    Gather();
}

QPushButton* CNewProgramDialog::OkButton() const {
    return buttons_->button(QDialogButtonBox::Ok);
}

void CNewProgramDialog::Gather() {
    form_.name = name_->text().toStdString();
    form_.id = id_->value();
    OkButton()->setEnabled(form_.CanAccept());
}

void CNewProgramDialog::accept() {
    Gather();
    if (form_.CanAccept() && form_.Accept()) QDialog::accept();
}

// ---- New Keymap

CNewKeymapDialog::CNewKeymapDialog(NewKeymapForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setWindowTitle("New Keymap");
    name_ = NameField(form.name, this);
    id_ = NumberField(form.id, this);
    stereo_ = new QCheckBox("Stereo Keymap", this);
    stereo_->setChecked(form.Stereo());
    stereo_->setEnabled(!form.StereoFixed());
    samples_ = new QListWidget(this);
    buttons_ = OkCancel(this);
    auto* fields = new QFormLayout;
    fields->addRow("Name", name_);
    fields->addRow("Id", id_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(stereo_);
    layout->addWidget(new QLabel("Sample to use", this));
    layout->addWidget(samples_);
    layout->addWidget(buttons_);
    Fill();
    connect(name_, &QLineEdit::textChanged, this, &CNewKeymapDialog::Gather);
    connect(id_, &QSpinBox::valueChanged, this, &CNewKeymapDialog::Gather);
    connect(samples_, &QListWidget::itemSelectionChanged, this, &CNewKeymapDialog::Gather);
    connect(stereo_, &QCheckBox::toggled, this, [this](bool on) {
        form_.SetStereo(on);
        Fill();
    });
    Gather();
}

QPushButton* CNewKeymapDialog::OkButton() const {
    return buttons_->button(QDialogButtonBox::Ok);
}

void CNewKeymapDialog::Fill() {
    const QSignalBlocker quiet(samples_);
    FillList(samples_, form_.Samples(), form_.sample);
    Gather();
}

void CNewKeymapDialog::Gather() {
    form_.name = name_->text().toStdString();
    form_.id = id_->value();
    form_.sample = ChosenNumber(samples_);
    OkButton()->setEnabled(!form_.name.empty() && form_.id >= 0);
}

void CNewKeymapDialog::accept() {
    Gather();
    if (form_.sample < 0) {
        QApplication::beep();
        return;
    }
    if (form_.Accept()) QDialog::accept();
}

// ---- New Layer

CNewLayerDialog::CNewLayerDialog(NewLayerForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setWindowTitle("New Layer");
    stereo_ = new QCheckBox("Stereo Layer (requires stereo keymaps)", this);
    stereo_->setChecked(form.Stereo());
    existing_ = new QRadioButton("Use Existing Keymap", this);
    create_ = new QRadioButton("Create New Keymap ...", this);
    auto* group = new QButtonGroup(this);
    group->addButton(existing_);
    group->addButton(create_);
    keymaps_ = new QListWidget(this);
    buttons_ = OkCancel(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(stereo_);
    layout->addWidget(existing_);
    layout->addWidget(keymaps_);
    layout->addWidget(create_);
    layout->addWidget(buttons_);
    Fill();
    connect(stereo_, &QCheckBox::toggled, this, [this](bool on) {
        form_.SetStereo(on);
        Fill();
    });
    connect(existing_, &QRadioButton::toggled, this, [this](bool on) {
        form_.SetUseExisting(on);
        keymaps_->setEnabled(on);
        Gather();
    });
    connect(keymaps_, &QListWidget::itemSelectionChanged, this, &CNewLayerDialog::Gather);
}

QPushButton* CNewLayerDialog::OkButton() const {
    return buttons_->button(QDialogButtonBox::Ok);
}

void CNewLayerDialog::Fill() {
    {
        const QSignalBlocker quiet(keymaps_);
        FillList(keymaps_, form_.Keymaps(), form_.keymap);
    }
    const bool can = form_.CanUseExisting();
    existing_->setEnabled(can);
    keymaps_->setEnabled(can && form_.UseExisting());
    {
        const QSignalBlocker a(existing_), b(create_);
        existing_->setChecked(form_.UseExisting());
        create_->setChecked(!form_.UseExisting());
    }
    Gather();
}

void CNewLayerDialog::Gather() {
    form_.keymap = ChosenNumber(keymaps_);
    OkButton()->setEnabled(form_.CanAccept());
}

void CNewLayerDialog::accept() {
    Gather();
    if (form_.CanAccept()) QDialog::accept();
}

// ---- New Sample

CNewSampleDialog::CNewSampleDialog(NewSampleForm& form, Chooser choose, QWidget* parent)
    : QDialog(parent), form_(form), choose_(std::move(choose)) {
    setWindowTitle("New Sample");
    name_ = NameField(form.name, this);
    id_ = NumberField(form.id, this);
    auto* source = new QGroupBox("Wavedata Source", this);
    wave_ = new QRadioButton("Load New Wave File", source);
    alias_ = new QRadioButton("Alias to Existing Sample", source);
    path_ = new QLineEdit(Q(form.path), source);
    browse_ = new QPushButton("Browse", source);
    aliases_ = new QListWidget(source);
    FillList(aliases_, form.Aliases(), form.aliasOf);
    alias_->setEnabled(form.CanAlias());
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_);
    pathRow->addWidget(browse_);
    auto* inner = new QVBoxLayout(source);
    inner->addWidget(wave_);
    inner->addLayout(pathRow);
    inner->addWidget(alias_);
    inner->addWidget(aliases_);
    buttons_ = OkCancel(this);
    auto* fields = new QFormLayout;
    fields->addRow("Name", name_);
    fields->addRow("Id", id_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(source);
    layout->addWidget(buttons_);
    ShowSource();
    connect(wave_, &QRadioButton::toggled, this, [this](bool on) {
        form_.SetSource(on ? NewSampleForm::kWaveFile : NewSampleForm::kAlias);
        ShowSource();
    });
    connect(name_, &QLineEdit::textChanged, this, &CNewSampleDialog::Gather);
    connect(id_, &QSpinBox::valueChanged, this, &CNewSampleDialog::Gather);
    connect(path_, &QLineEdit::textChanged, this, &CNewSampleDialog::Gather);
    connect(browse_, &QPushButton::clicked, this, &CNewSampleDialog::Browse);
    connect(aliases_, &QListWidget::itemSelectionChanged, this, [this] {
        form_.name = name_->text().toStdString();
        ShowName(form_.ChooseAlias(ChosenNumber(aliases_)));
    });
}

QPushButton* CNewSampleDialog::OkButton() const {
    return buttons_->button(QDialogButtonBox::Ok);
}

void CNewSampleDialog::ShowSource() {
    const bool wave = form_.GetSource() == NewSampleForm::kWaveFile;
    {
        const QSignalBlocker a(wave_), b(alias_);
        wave_->setChecked(wave);
        alias_->setChecked(!wave);
    }
    path_->setEnabled(wave);
    browse_->setEnabled(wave);
    aliases_->setEnabled(!wave);
    Gather();
}

void CNewSampleDialog::ShowName(bool filled) {
    if (filled) {
        const QSignalBlocker quiet(name_);
        name_->setText(Q(form_.name));
        name_->selectAll();
        name_->setFocus();
    }
    Gather();
}

void CNewSampleDialog::Browse() {
    const std::string chosen = choose_ ? choose_(this) : std::string();
    if (chosen.empty()) return;
    form_.name = name_->text().toStdString();
    const bool filled = form_.ChoosePath(chosen);
    {
        const QSignalBlocker quiet(path_);
        path_->setText(Q(chosen));
    }
    ShowName(filled);
}

void CNewSampleDialog::Gather() {
    form_.name = name_->text().toStdString();
    form_.id = id_->value();
    form_.path = path_->text().toStdString();
    form_.aliasOf = ChosenNumber(aliases_);
    OkButton()->setEnabled(form_.CanAccept());
}

void CNewSampleDialog::accept() {
    Gather();
    if (form_.Accept()) QDialog::accept();
}

// ---- Renumber and rename

CRenumberDialog::CRenumberDialog(RenumberForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
    setWindowTitle("Renumber or Rename Program");
    name_ = NameField(form.name, this);
    number_ = NumberField(form.number, this);
    auto* fields = new QFormLayout;
    fields->addRow("Program", name_);
    fields->addRow("Number", number_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    auto* buttons = OkCancel(this);
    layout->addWidget(buttons);
    connect(name_, &QLineEdit::textChanged, this, [buttons](const QString& text) {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!text.isEmpty());
    });
    // The fields alone are narrower than the title: room for it, bolder in some title bars,
    // and for the bar's icon and buttons.
    QFont bold = font();
    bold.setBold(true);
    setMinimumWidth(QFontMetrics(bold).horizontalAdvance(windowTitle()) * 5 / 4 + 120);
}

void CRenumberDialog::accept() {
    form_.name = name_->text().toStdString();
    form_.number = number_->value();
    if (form_.Accept()) QDialog::accept();
}

CRenameDialog::CRenameDialog(const std::string& name, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Rename");
    name_ = NameField(name, this);
    auto* fields = new QFormLayout;
    fields->addRow("Name", name_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    auto* buttons = OkCancel(this);
    layout->addWidget(buttons);
    connect(name_, &QLineEdit::textChanged, this, [buttons](const QString& text) {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!text.isEmpty());
    });
}

std::string CRenameDialog::Name() const {
    return name_->text().toStdString();
}

void CRenameDialog::accept() {
    if (ValidObjectName(Name())) {
        QDialog::accept();
    } else if (!Name().empty()) {
        ShowMessage(kNameTooLong);
    }
}

// ---- Purge

CPurgeDialog::CPurgeDialog(PurgeForm& form, QWidget* parent) : QDialog(parent), form_(form) {
    setWindowTitle("Purge Unused Keymaps and Samples");
    auto* note = new QLabel(
        "Mark objects for deletion by checking the box.  The listed objects are not used by any "
        "program.  (ROM objects can not be deleted.)",
        this);
    note->setWordWrap(true);
    keymaps_ = new QListWidget(this);
    samples_ = new QListWidget(this);
    auto fill = [](QListWidget* list, const std::vector<PurgeForm::Line>& lines) {
        for (const PurgeForm::Line& l : lines) {
            auto* item = new QListWidgetItem(Q(l.text), list);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(l.ticked ? Qt::Checked : Qt::Unchecked);
        }
    };
    fill(keymaps_, form.Keymaps());
    fill(samples_, form.SampleHeaders());
    progress_ = new QProgressBar(this);
    progress_->setValue(0);
    current_ = new QLabel(this);
    purge_ = new QPushButton("Purge", this);
    cancel_ = new QPushButton("Cancel", this);
    purge_->setEnabled(form.CanPurge());
    auto* lists = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel("Unused Keymaps", this));
    left->addWidget(keymaps_);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel("Unused Sample Headers", this));
    right->addWidget(samples_);
    lists->addLayout(left);
    lists->addLayout(right);
    auto* bar = new QHBoxLayout;
    bar->addWidget(progress_);
    bar->addWidget(current_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(purge_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(lists);
    layout->addLayout(bar);
    layout->addLayout(buttons);
    connect(purge_, &QPushButton::clicked, this, &CPurgeDialog::Purge);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CPurgeDialog::Purge() {
    auto take = [](QListWidget* list, std::vector<PurgeForm::Line>& lines) {
        for (int i = 0; i < list->count() && size_t(i) < lines.size(); ++i)
            lines[size_t(i)].ticked = list->item(i)->checkState() == Qt::Checked;
    };
    take(keymaps_, form_.Keymaps());
    take(samples_, form_.SampleHeaders());
    progress_->setRange(0, form_.TickedCount());
    progress_->setValue(0);
    purge_->setEnabled(false);
    cancel_->setEnabled(false);
    form_.Purge(
        [this](const std::string& name) {
            current_->setText(Q(name));
            current_->repaint();
        },
        [this] { progress_->setValue(progress_->value() + 1); });
    QDialog::accept();
}

// ---- The main window's dialogs

bool QtInsertAsker::AskNewProgram(NewProgramForm& form) {
    return CNewProgramDialog(form, parent_).exec() == QDialog::Accepted;
}

bool QtInsertAsker::AskNewKeymap(NewKeymapForm& form) {
    return CNewKeymapDialog(form, parent_).exec() == QDialog::Accepted;
}

bool QtInsertAsker::AskNewLayer(NewLayerForm& form) {
    return CNewLayerDialog(form, parent_).exec() == QDialog::Accepted;
}

bool QtInsertAsker::AskNewSample(NewSampleForm& form) {
    CNewSampleDialog dialog(
        form, [this](QWidget* parent) { return ChooseWaveFile(settings_, parent); }, parent_);
    return dialog.exec() == QDialog::Accepted;
}

bool QtInsertAsker::AskRenumber(RenumberForm& form) {
    return CRenumberDialog(form, parent_).exec() == QDialog::Accepted;
}

bool QtInsertAsker::AskRename(std::string& name) {
    CRenameDialog dialog(name, parent_);
    if (dialog.exec() != QDialog::Accepted) return false;
    name = dialog.Name();
    return true;
}

bool QtInsertAsker::AskPurge(PurgeForm& form) {
    return CPurgeDialog(form, parent_).exec() == QDialog::Accepted;
}

void QtInsertAsker::Working(bool on) {
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

}  // namespace talmeru
