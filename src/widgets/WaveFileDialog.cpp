#include "widgets/WaveFileDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "platform/Profile.h"
#include "platform/SoundPlayer.h"
#include "widgets/WaveFileInfo.h"

namespace talmeru {

CWaveFileDialog::CWaveFileDialog(Profile& settings, bool multiple, QWidget* parent)
    : QFileDialog(parent), settings_(settings) {
    setWindowTitle("Open Wave File");
    // The side panel needs the dialog's own widgets, not the desktop's dialog.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    setNameFilters({"Wave Files (*.wav)", "SoundFont2 Files (*.sf2)",
                    "Kurzweil K2000 Files (*.krz)", "All Files (*)"});

    auto* panel = new QGroupBox("Wave data properties", this);
    auto* form = new QFormLayout(panel);
    name_ = new QLabel(panel);
    format_ = new QLabel(panel);
    samples_ = new QLabel(panel);
    bits_ = new QLabel(panel);
    note_ = new QLabel(panel);
    stereo_ = new QCheckBox("Stereo", panel);
    stereo_->setEnabled(false);
    form->addRow("Filename", name_);
    form->addRow("Format", format_);
    form->addRow("Samples", samples_);
    form->addRow("Bits", bits_);
    form->addRow("Orig Note", note_);
    form->addRow(stereo_);
    auto* buttons = new QHBoxLayout;
    play_ = new QPushButton("Play", panel);
    stop_ = new QPushButton("Stop", panel);
    play_->setEnabled(false);
    buttons->addWidget(play_);
    buttons->addWidget(stop_);
    form->addRow(buttons);
    autoPlay_ = new QCheckBox("Auto-play", panel);
    autoPlay_->setChecked(settings_.GetBool("Options", "WFDAutoPlay", false));
    form->addRow(autoPlay_);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1);

    connect(this, &QFileDialog::currentChanged, this, &CWaveFileDialog::Describe);
    connect(play_, &QPushButton::clicked, this, [this] {
        if (!shown_.isEmpty()) CurrentSoundPlayer().Play(shown_.toStdString());
    });
    connect(stop_, &QPushButton::clicked, this, [] { CurrentSoundPlayer().Stop(); });
}

CWaveFileDialog::~CWaveFileDialog() = default;

void CWaveFileDialog::Describe(const QString& path) {
    const WaveFileInfo info = DescribeWaveFile(path.toStdString());
    name_->setText(QString::fromStdString(info.name));
    format_->setText(QString::fromStdString(info.format));
    samples_->setText(QString::fromStdString(info.samples));
    bits_->setText(QString::fromStdString(info.bits));
    note_->setText(QString::fromStdString(info.originalNote));
    stereo_->setChecked(info.stereo);
    shown_ = info.readable ? path : QString();
    play_->setEnabled(info.readable);
    if (info.readable && autoPlay_->isChecked()) CurrentSoundPlayer().Play(path.toStdString());
}

std::vector<std::string> CWaveFileDialog::ChosenFiles() const {
    std::vector<std::string> files;
    for (const QString& f : selectedFiles())
        files.push_back(f.toStdString());
    return files;
}

void CWaveFileDialog::done(int result) {
    settings_.WriteBool("Options", "WFDAutoPlay", autoPlay_->isChecked());
    CurrentSoundPlayer().Stop();
    QFileDialog::done(result);
}

std::vector<std::string> CWaveFileDialog::Ask(Profile& settings, bool multiple, QWidget* parent) {
    CWaveFileDialog dialog(settings, multiple, parent);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.ChosenFiles();
}

}  // namespace talmeru
