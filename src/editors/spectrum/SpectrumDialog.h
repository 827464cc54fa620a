#pragma once
// The "Frequency Spectrum (FFT)" dialog: a sample's spectrum at a chosen time offset, shown
// up to a chosen frequency, with its strongest peaks named as notes.
#include <QDialog>

class QComboBox;

namespace talmeru {

class CFFTDisplay;
class CRangeSelector;
class WaveData;
class ZedoDatabase;

class SpectrumDialog : public QDialog {
    Q_OBJECT
  public:
    // Analyses the wave's points at time offset 0; Loaded() tells whether they could be read.
    explicit SpectrumDialog(WaveData& wave, QWidget* parent = nullptr);

    bool Loaded() const { return loaded_; }
    QComboBox* OffsetBox() const { return offset_; }
    CRangeSelector* RangeSelector() const { return range_; }
    CFFTDisplay* Display() const { return display_; }

  private:
    void OffsetChosen(int index);

    WaveData& wave_;
    bool loaded_ = false;
    QComboBox* offset_;
    CRangeSelector* range_;
    CFFTDisplay* display_;
};

// Opens the spectrum of sample header `number` of `bank` as a modal dialog. 1, with nothing
// opened, when the header has no wave data with sample points or they cannot be read (the
// reason has been shown); else 0 once the dialog has closed.
int ShowSpectrum(ZedoDatabase& bank, int number, QWidget* parent = nullptr);

}  // namespace talmeru
