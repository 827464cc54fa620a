#pragma once
// What the sample view shows around its waveform: a time axis in seconds and frames counted
// from the sample's start, and the tuning pane (the spectrum of the steady part of the sample,
// its strongest partials as notes and cents, and the root key the header plays them at).
#include <QWidget>
#include <optional>
#include <vector>

#include "editors/sample/SampleMeasures.h"

namespace talmeru {

class WaveView;

class TimeAxis : public QWidget {
    Q_OBJECT
  public:
    explicit TimeAxis(const WaveView& wave, QWidget* parent = nullptr);
    // The rate of the wave shown and its frame at 0 s; rate 0 shows no ticks.
    void SetTiming(int rate, int64_t origin);
    std::vector<AxisTick> Ticks() const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    const WaveView& wave_;
    int rate_ = 0;
    int64_t origin_ = 0;
};

class TuningPane : public QWidget {
    Q_OBJECT
  public:
    explicit TuningPane(QWidget* parent = nullptr);
    // The reading (none: the sample is too short or not readable) and the header's root key.
    void Show(std::optional<TuningReading> reading, std::optional<double> rootKey);
    // The texts beside the spectrum, top to bottom.
    const std::vector<QString>& Lines() const { return lines_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    std::optional<TuningReading> reading_;
    std::vector<QString> lines_;
};

}  // namespace talmeru
