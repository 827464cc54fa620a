#include "app/PropertiesSheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace talmeru {

namespace {

template <typename List>
QComboBox* DeviceBox(const List& devices, int current, QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const auto& caps : devices)
        box->addItem(QString::fromStdString(caps.name));
    box->setCurrentIndex(current);
    return box;
}

}  // namespace

PropertiesSheet::PropertiesSheet(TalmeruApp& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      start_(ReadProperties(app)),
      audio_(app.Settings(), app.Synth().Audio().Devices()) {
    setWindowTitle("Properties");
    auto* tabs = new QTabWidget(this);

    auto* bank = new QWidget;
    auto* bankLayout = new QFormLayout(bank);
    bankLayout->addRow("File",
                       new QLabel(start_.path.empty() ? QString("Not Available")
                                                      : QString::fromStdString(start_.path)));
    comment_ = new QLineEdit(QString::fromStdString(start_.comment));
    bankLayout->addRow("Comments", comment_);
    merge_ = new QCheckBox("&Merge Wave Data for faster upload (Note: enables read-only)");
    load_ = new QCheckBox("&Load Wave Data (turn off for debugging)");
    purge_ = new QCheckBox("&Don't upload unused keymaps and samples");
    convert_ = new QCheckBox("&Convert all wavedata to 15 bit (fix for distortion problem)");
    merge_->setChecked(start_.mergeWaveData);
    load_->setChecked(start_.loadWaveData);
    purge_->setChecked(start_.purgeUnused);
    convert_->setChecked(start_.convert15Bit);
    for (QCheckBox* b : {merge_, load_, purge_, convert_})
        bankLayout->addRow(b);
    tabs->addTab(bank, "Bank");

    auto* misc = new QWidget;
    auto* miscLayout = new QVBoxLayout(misc);
    miscLayout->addWidget(new QLabel("Path to Wave Editor"));
    auto* editorRow = new QHBoxLayout;
    editor_ = new QLineEdit(QString::fromStdString(start_.misc.waveEditorPath));
    auto* browse = new QPushButton("...");
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, {}, editor_->text(),
                                                          "Executable (*.exe);;All Files (*)");
        if (!path.isEmpty()) editor_->setText(path);
    });
    editorRow->addWidget(editor_);
    editorRow->addWidget(browse);
    miscLayout->addLayout(editorRow);
    switch_ = new QCheckBox("Switch to the first new program made by a wizard or the wave import");
    replace_ = new QCheckBox("Wizards and the wave import replace the current program");
    prompt_ = new QCheckBox("Wait for OK after importing banks");
    prefix_ = new QCheckBox("Show MIDI bank number as prefix");
    reopen_ = new QCheckBox("Reopen the last bank at start");
    reopen_->setObjectName("ReopenLastBank");
    reopen_->setChecked(start_.misc.reopenLastBank);
    switch_->setChecked(start_.misc.autoProgramSwitch);
    replace_->setChecked(start_.misc.autoProgramReplace);
    prompt_->setChecked(start_.misc.importPrompt);
    prefix_->setChecked(start_.misc.bankPrefix);
    style_ = new QButtonGroup(this);
    int id = 0;
    for (const char* text : {"Zero based: 0, 1, 2, 3 ... 511", "One based: 1, 2, 3, 4 ... 512",
                             "Synth: A11, A12, A13 ... A88, B11 .. B88"}) {
        auto* radio = new QRadioButton(text);
        style_->addButton(radio, id);
        radio->setChecked(id == start_.misc.numberStyle);
        ++id;
    }
    for (QWidget* w : std::initializer_list<QWidget*>{switch_, replace_, prompt_, reopen_})
        miscLayout->addWidget(w);
    for (QAbstractButton* b : style_->buttons())
        miscLayout->addWidget(b);
    miscLayout->addWidget(prefix_);
    tabs->addTab(misc, "Misc");

    auto* midi = new QWidget;
    auto* midiLayout = new QFormLayout(midi);
    MidiSynthLink& link = app.Synth().Link();
    out_ = DeviceBox(link.Outputs(), start_.synthOut, midi);
    in_ = DeviceBox(link.Inputs(), start_.synthIn, midi);
    audition_ = DeviceBox(link.Inputs(), start_.auditionIn, midi);
    enable_ = new QCheckBox("Enable");
    enable_->setChecked(start_.auditionEnabled);
    midiLayout->addRow("MA-1 Device (Play)", out_);
    midiLayout->addRow("MA/1 Device (Return)", in_);
    midiLayout->addRow("External Keyboard for Audition", enable_);
    midiLayout->addRow("Device", audition_);
    midiLayout->addRow(new QLabel("WARNING: Do not change devices unless things are not working!"));
    tabs->addTab(midi, "Midi");
    tabs->addTab(AudioPage(), "Audio");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

QWidget* PropertiesSheet::AudioPage() {
    auto* page = new QWidget;
    auto* layout = new QFormLayout(page);
    audioDevice_ = new QComboBox(page);
    for (const std::string& entry : audio_.DeviceEntries())
        audioDevice_->addItem(QString::fromStdString(entry));
    audioDevice_->setCurrentIndex(audio_.DeviceIndex());
    buffer_ = new QComboBox(page);
    for (int frames : kBufferChoices)
        buffer_->addItem(QString("%1 frames").arg(frames));
    buffer_->setCurrentIndex(audio_.BufferIndex());
    rate_ = new QComboBox(page);
    for (int rate : kRateChoices)
        rate_->addItem(QString("%1 Hz").arg(rate));
    rate_->setCurrentIndex(audio_.RateIndex());
    layout->addRow("Output device", audioDevice_);
    layout->addRow("Buffer size", buffer_);
    layout->addRow("Sample rate", rate_);
    sampleRam_ = new QSpinBox(page);
    sampleRam_->setRange(0, SynthSession::MaxSampleRamMiB());
    sampleRam_->setSuffix(" MiB");
    sampleRam_->setValue(start_.sampleRamMiB);
    sampleRam_->setToolTip(
        "How much sample memory the emulated card has (16 MiB by default; 0 for a card "
        "without RAM). Samples that do not fit are not played.");
    layout->addRow("Emulator sample RAM", sampleRam_);
    auto* note = new QLabel(
        "The MA-1 emulator plays through this output. Smaller buffers answer the keys sooner "
        "but may crackle on a busy machine.");
    note->setWordWrap(true);
    layout->addRow(note);
    return page;
}

PropertyValues PropertiesSheet::Values() const {
    PropertyValues v = start_;
    v.comment = comment_->text().toStdString();
    v.mergeWaveData = merge_->isChecked();
    v.loadWaveData = load_->isChecked();
    v.purgeUnused = purge_->isChecked();
    v.convert15Bit = convert_->isChecked();
    v.misc.waveEditorPath = editor_->text().toStdString();
    v.misc.autoProgramSwitch = switch_->isChecked();
    v.misc.autoProgramReplace = replace_->isChecked();
    v.misc.importPrompt = prompt_->isChecked();
    v.misc.bankPrefix = prefix_->isChecked();
    v.misc.reopenLastBank = reopen_->isChecked();
    v.misc.numberStyle = style_->checkedId() < 0 ? 0 : style_->checkedId();
    v.synthOut = out_->currentIndex();
    v.synthIn = in_->currentIndex();
    v.auditionIn = audition_->currentIndex();
    v.auditionEnabled = enable_->isChecked();
    v.sampleRamMiB = sampleRam_->value();
    return v;
}

bool PropertiesSheet::Apply() {
    audio_.SetDeviceIndex(audioDevice_->currentIndex());
    audio_.SetBufferIndex(buffer_->currentIndex());
    audio_.SetRateIndex(rate_->currentIndex());
    audioChanged_ = audio_.Store(app_.Settings());  // saved with the other pages' settings
    bool ok = true;
    return ApplyProperties(app_, Values(), ok);
}

}  // namespace talmeru
