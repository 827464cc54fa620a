#pragma once
// The spectrum display control: paints what SpectrumDisplay draws (the power spectrum on a
// logarithmic scale, the frequency grid and the strongest peaks with their note names).
#include <QWidget>
#include <cstdint>
#include <span>

#include "editors/spectrum/SpectrumAnalyser.h"

namespace talmeru {

class CFFTDisplay : public QWidget {
    Q_OBJECT
  public:
    explicit CFFTDisplay(QWidget* parent = nullptr);

    // Analyses the wave's points at offsetMs and repaints; see SpectrumDisplay::PassWave.
    int SetWave(WaveData& wave, int offsetMs);
    // Analyses a block of sample points and repaints; false when nothing could be analysed.
    bool SetData(std::span<const uint8_t> bytes, int64_t points, int offsetMs, int rate, int bits);
    // The highest frequency shown, in Hz.
    void SetRange(int hz);
    const SpectrumDisplay& Logic() const { return logic_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    SpectrumDisplay logic_;
};

}  // namespace talmeru
