#include "editors/spectrum/SpectrumDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <array>

#include "editors/controls/FFTDisplay.h"
#include "editors/controls/RangeSelector.h"
#include "model/SampleHeader.h"
#include "model/WaveData.h"
#include "model/ZedoDatabase.h"

namespace talmeru {

namespace {

constexpr std::array<int, 6> kOffsetsMs = {0, 100, 250, 500, 750, 1000};
constexpr int kRangeMinimumHz = 500;
constexpr int kRangeMaximumHz = 10000;

}  // namespace

SpectrumDialog::SpectrumDialog(WaveData& wave, QWidget* parent) : QDialog(parent), wave_(wave) {
    setWindowTitle("Frequency Spectrum (FFT)");

    offset_ = new QComboBox(this);
    for (int ms : kOffsetsMs)
        offset_->addItem(QString::number(ms), ms);
    range_ = new CRangeSelector(this);
    range_->SetRange(kRangeMinimumHz, kRangeMaximumHz);
    range_->SetSingleThumb(true);
    range_->SetSteps(100, 1000);
    range_->SetFloatDisplay(kRangeMinimumHz / 1000.0, kRangeMaximumHz / 1000.0);
    range_->SetValues(SpectrumDisplay::kDefaultRangeHz, 0);
    range_->SetOriginalValue(SpectrumDisplay::kDefaultRangeHz);
    range_->SetDefaultValue(SpectrumDisplay::kDefaultRangeHz);
    display_ = new CFFTDisplay(this);
    display_->SetRange(SpectrumDisplay::kDefaultRangeHz);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel("Time Offset (ms)", this));
    controls->addWidget(offset_);
    controls->addSpacing(16);
    controls->addWidget(new QLabel("Range (kHz)", this));
    controls->addWidget(range_, 1);
    controls->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(display_, 1);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(offset_, &QComboBox::currentIndexChanged, this, &SpectrumDialog::OffsetChosen);
    connect(range_, &CRangeSelector::notify, this, [this](int code, int value) {
        if (code == kRangeFirstChanged) display_->SetRange(value);
    });

    loaded_ = display_->SetWave(wave_, 0) != 1;
}

void SpectrumDialog::OffsetChosen(int index) {
    if (index < 0) return;
    display_->SetWave(wave_, offset_->itemData(index).toInt());
}

int ShowSpectrum(ZedoDatabase& bank, int number, QWidget* parent) {
    const SampleHeader* header = bank.GetSampleHeader(number);
    WaveData* wave = header ? header->Wave() : nullptr;
    if (!wave || wave->IsRom() || !wave->valid) return 1;
    SpectrumDialog dialog(*wave, parent);
    if (!dialog.Loaded()) return 1;
    dialog.exec();
    return 0;
}

}  // namespace talmeru
