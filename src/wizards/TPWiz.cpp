#include "wizards/TPWiz.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "model/NoteNames.h"
#include "model/Program.h"
#include "model/ZedoDatabase.h"
#include "platform/Prompter.h"
#include "platform/SoundPlayer.h"
#include "widgets/WaveFileDialog.h"

namespace talmeru {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* Text(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

// Octave Shift is a pair of arrows: only the clicks count, never the value shown.
constexpr int kOctaveSpinRange = 1000;

}  // namespace

TPWiz1::TPWiz1(Profile& settings, TonalProgram& choices, QWidget* parent)
    : QWizardPage(parent),
      choices_(choices),
      list_(new QTreeWidget(this)),
      add_(new QPushButton("Add", this)),
      remove_(new QPushButton("Remove", this)) {
    setTitle("Tonal Program Wizard - Select Wave Files");
    list_->setColumnCount(1);
    list_->setHeaderLabels({"Wave Filename"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        Text("Select the wave files that make up the instrument, each sampled at a different "
             "pitch. Up to 128 files can be used.",
             this));
    layout->addWidget(
        Text("Name the files by their pitch (for example \"Piano C4.wav\" or \"Str_A#3.wav\") and "
             "the wizard finds each sample's original key by itself.",
             this));
    layout->addWidget(list_);
    layout->addLayout(buttons);

    chooseFiles = [this, &settings] { return CWaveFileDialog::Ask(settings, true, this); };
    connect(add_, &QPushButton::clicked, this, [this] { AddFiles(chooseFiles()); });
    connect(remove_, &QPushButton::clicked, this, &TPWiz1::RemoveSelected);
    Fill();
}

void TPWiz1::Fill() {
    list_->clear();
    for (const std::string& path : choices_.Waves())
        list_->addTopLevelItem(new QTreeWidgetItem(QStringList{Q(path)}));
    emit completeChanged();
}

void TPWiz1::AddFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    choices_.AddWaves(paths);
    Fill();
}

void TPWiz1::RemoveSelected() {
    std::vector<int> chosen;
    for (QTreeWidgetItem* item : list_->selectedItems())
        chosen.push_back(list_->indexOfTopLevelItem(item));
    if (chosen.empty()) return;
    choices_.RemoveWaves(chosen);
    Fill();
}

bool TPWiz1::isComplete() const {
    return !choices_.Waves().empty();
}

TPWiz2::TPWiz2(Profile& settings, TonalProgram& choices, QWidget* parent)
    : QWizardPage(parent),
      settings_(settings),
      choices_(choices),
      list_(new QTreeWidget(this)),
      play_(new QPushButton("Play", this)),
      stop_(new QPushButton("Stop", this)),
      key_(new QSpinBox(this)),
      octave_(new QSpinBox(this)),
      keySet_(new QCheckBox("Set OrigKey with Keyboard", this)) {
    setTitle("Tonal Program Wizard - Set Original Notes");
    list_->setColumnCount(2);
    list_->setHeaderLabels({"OrigKey", "Sample"});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    key_->setRange(0, 127);
    key_->setWrapping(true);
    octave_->setRange(-kOctaveSpinRange, kOctaveSpinRange);
    octave_->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    choices_.LoadKeySetting(settings_);
    keySet_->setChecked(choices_.keySet);

    auto* resort = new QPushButton("Re-Sort", this);
    auto* parse = new QPushButton("Parse Names for OrigKey", this);
    auto* global = new QGroupBox("Global", this);
    auto* globalLayout = new QFormLayout(global);
    globalLayout->addRow("Octave Shift", octave_);
    globalLayout->addRow(resort);
    globalLayout->addRow(parse);

    auto* side = new QVBoxLayout;
    auto* playRow = new QHBoxLayout;
    playRow->addWidget(play_);
    playRow->addWidget(stop_);
    side->addLayout(playRow);
    auto* keyForm = new QFormLayout;
    keyForm->addRow("Original Key", key_);
    side->addLayout(keyForm);
    side->addWidget(global);
    side->addWidget(keySet_);
    side->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(side);

    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        UpdateButtons();
        if (const int row = SelectedRow(); row >= 0) {
            filling_ = true;
            key_->setValue(choices_.Rows()[static_cast<size_t>(row)].key);
            filling_ = false;
        }
    });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { PlaySelected(); });
    connect(play_, &QPushButton::clicked, this, &TPWiz2::PlaySelected);
    connect(stop_, &QPushButton::clicked, this, [] { CurrentSoundPlayer().Stop(); });
    connect(key_, &QSpinBox::valueChanged, this, [this](int key) {
        if (filling_) return;
        const int row = SelectedRow();
        choices_.SetKey(row, key);
        ShowRow(row);
    });
    connect(octave_, &QSpinBox::valueChanged, this, [this](int value) {
        const int by = value - octaveShown_;
        octaveShown_ = value;
        if (filling_ || by == 0) return;
        choices_.ShiftOctaves(by);
        Fill(SelectedRow());
    });
    connect(resort, &QPushButton::clicked, this, &TPWiz2::ReSort);
    connect(parse, &QPushButton::clicked, this, &TPWiz2::ParseNames);
    connect(keySet_, &QCheckBox::toggled, this, [this](bool on) { choices_.keySet = on; });
    UpdateButtons();
}

void TPWiz2::initializePage() {
    // Waves added since the last visit get their rows; the keys already set stay.
    choices_.FillRows(false);
    Fill(-1);
}

void TPWiz2::cleanupPage() {
    CurrentSoundPlayer().Stop();
}

bool TPWiz2::Listening() const {
    return wizard() && wizard()->currentPage() == this;
}

bool TPWiz2::validatePage() {
    choices_.Sort();
    choices_.keySet = keySet_->isChecked();
    choices_.SaveKeySetting(settings_);
    CurrentSoundPlayer().Stop();
    Fill(-1);
    return true;
}

void TPWiz2::Fill(int select) {
    filling_ = true;
    list_->clear();
    for (const TonalRow& row : choices_.Rows()) {
        list_->addTopLevelItem(
            new QTreeWidgetItem(QStringList{Q(NoteName(row.key)), Q(choices_.SampleName(row))}));
    }
    if (QTreeWidgetItem* item = list_->topLevelItem(select)) {
        list_->setCurrentItem(item);
        item->setSelected(true);
    }
    filling_ = false;
    UpdateButtons();
}

int TPWiz2::SelectedRow() const {
    const QList<QTreeWidgetItem*> chosen = list_->selectedItems();
    return chosen.size() == 1 ? list_->indexOfTopLevelItem(chosen.front()) : -1;
}

void TPWiz2::ShowRow(int row) {
    if (QTreeWidgetItem* item = list_->topLevelItem(row))
        item->setText(0, Q(NoteName(choices_.Rows()[static_cast<size_t>(row)].key)));
}

void TPWiz2::UpdateButtons() {
    const bool chosen = SelectedRow() >= 0;
    play_->setEnabled(chosen);
    key_->setEnabled(chosen);
}

void TPWiz2::NoteOn(int key) {
    if (!Listening() || !keySet_->isChecked()) return;
    const int row = SelectedRow();
    if (row < 0) return;
    choices_.SetKey(row, key);
    ShowRow(row);
    filling_ = true;
    key_->setValue(choices_.Rows()[static_cast<size_t>(row)].key);
    filling_ = false;
}

void TPWiz2::ParseNames() {
    choices_.FillRows(true);
    Fill(-1);
}

void TPWiz2::ReSort() {
    choices_.Sort();
    Fill(-1);
}

void TPWiz2::PlaySelected() {
    const int row = SelectedRow();
    if (row < 0) return;
    const int wave = choices_.Rows()[static_cast<size_t>(row)].wave;
    CurrentSoundPlayer().Play(choices_.Waves()[static_cast<size_t>(wave)]);
}

TPWiz3::TPWiz3(const ZedoDatabase& bank, Profile& settings, TonalProgram& choices,
               int currentProgram, bool autoReplace, QWidget* parent)
    : QWizardPage(parent),
      bank_(bank),
      settings_(settings),
      choices_(choices),
      current_(currentProgram),
      autoReplace_(autoReplace),
      addToCurrent_(new QRadioButton("Add instrument as new layer(s) to current Program", this)),
      newProgram_(new QRadioButton("Make a new Program  ...", this)),
      name_(new QLineEdit(this)),
      number_(new QSpinBox(this)),
      noTranspose_(new QCheckBox("Do not transpose samples up", this)),
      rate_(new QSpinBox(this)) {
    setTitle("Tonal Program Wizard - Create Instrument");
    choices_.LoadFinishSettings(settings_);
    auto* placement = new QButtonGroup(this);
    placement->addButton(addToCurrent_);
    placement->addButton(newProgram_);
    addToCurrent_->setEnabled(TonalProgram::CanAddToCurrent(bank_, current_));
    newProgram_->setChecked(true);
    name_->setMaxLength(kNameLength);
    name_->setText(Q(choices_.name));
    number_->setRange(0, kSlotCount - 1);
    number_->setValue(choices_.number);

    auto* quick = new QGroupBox("Quick Options (Hit F1 for help)", this);
    auto* quickLayout = new QGridLayout(quick);
    const char* labels[kQuickOptions] = {"Mod Wheel Vibrato",   "Mod Wheel Tremolo",
                                         "Slow Attack",         "Slow Release",
                                         "Velocity Brightness", "Phat (layer detuning)"};
    for (int i = 0; i < kQuickOptions; ++i) {
        options_.push_back(new QCheckBox(labels[i], quick));
        quickLayout->addWidget(options_.back(), i / 2, i % 2);
    }
    noTranspose_->setChecked(choices_.noTransposeUp);
    rate_->setRange(0, kMaxReleaseRate);
    rate_->setValue(choices_.rate);
    auto* rateRow = new QHBoxLayout;
    rateRow->addWidget(new QLabel("Rate", quick));
    rateRow->addWidget(rate_);
    rateRow->addWidget(new QLabel("(1=very slow 1000=fast)", quick));
    rateRow->addStretch();
    quickLayout->addLayout(rateRow, kQuickOptions / 2, 0, 1, 2);
    quickLayout->addWidget(noTranspose_, kQuickOptions / 2 + 1, 0, 1, 2);

    auto* form = new QFormLayout;
    form->addRow("Program Name", name_);
    form->addRow("Program Number", number_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(addToCurrent_);
    layout->addWidget(newProgram_);
    layout->addLayout(form);
    layout->addWidget(quick);
    layout->addStretch();

    connect(newProgram_, &QRadioButton::toggled, this, [this] { UpdateEnabled(); });
    connect(options_[kSlowRelease], &QCheckBox::toggled, this, [this] { UpdateEnabled(); });
    UpdateEnabled();
}

void TPWiz3::UpdateEnabled() {
    const bool fresh = newProgram_->isChecked();
    name_->setEnabled(fresh);
    number_->setEnabled(fresh);
    rate_->setEnabled(options_[kSlowRelease]->isChecked());
}

void TPWiz3::Gather() {
    choices_.newProgram = newProgram_->isChecked();
    choices_.name = name_->text().toStdString();
    choices_.number = number_->value();
    choices_.modVibrato = options_[kVibrato]->isChecked();
    choices_.modTremolo = options_[kTremolo]->isChecked();
    choices_.slowAttack = options_[kSlowAttack]->isChecked();
    choices_.slowRelease = options_[kSlowRelease]->isChecked();
    choices_.velocityBrightness = options_[kVelocityBrightness]->isChecked();
    choices_.phat = options_[kPhat]->isChecked();
    choices_.noTransposeUp = noTranspose_->isChecked();
    choices_.rate = rate_->value();
}

bool TPWiz3::validatePage() {
    Gather();
    choices_.SaveFinishSettings(settings_);
    const std::string problem = choices_.Problem(bank_, current_, autoReplace_);
    if (problem.empty()) return true;
    ShowMessage(problem);
    return false;
}

TPWiz::TPWiz(const ZedoDatabase& bank, Profile& settings, int currentProgram, bool autoReplace,
             QWidget* parent)
    : QWizard(parent) {
    setWindowTitle("Tonal Program Wizard");
    choices_.ProposeProgram(bank, currentProgram, autoReplace);
    wavePage_ = new TPWiz1(settings, choices_, this);
    keyPage_ = new TPWiz2(settings, choices_, this);
    createPage_ = new TPWiz3(bank, settings, choices_, currentProgram, autoReplace, this);
    addPage(wavePage_);
    addPage(keyPage_);
    addPage(createPage_);
}

}  // namespace talmeru
