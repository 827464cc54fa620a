#pragma once
// The status bar's output level meter without a window: the engine's block peaks go in about
// thirty times a second, bar lengths come out. Bars move on a decibel scale, rise at once and
// fall smoothly; each side's highest recent level is held for a second before it falls too.
namespace talmeru {

struct MeterBar {
    double level = 0;      // 0..1 of the bar
    double peak = 0;       // the held mark, 0..1
    bool clipped = false;  // a reading at full scale or above while the mark is held
};

class LevelMeterModel {
  public:
    static constexpr double kFloorDb = -60;
    static constexpr int kHoldTicks = 30;
    static constexpr double kFallDbPerTick = 1.5;

    // The place on the bar of a linear peak: kFloorDb and below at 0, full scale at 1.
    static double Fraction(double linear);

    // One refresh: the last block's peaks (linear); live is false while nothing plays, and
    // empties the bars.
    void Update(double left, double right, bool live);
    const MeterBar& Left() const { return bars_[0]; }
    const MeterBar& Right() const { return bars_[1]; }
    // Nothing to show: nothing plays, or it has been silent long enough for the bars to empty.
    bool Silent() const;

  private:
    void Step(MeterBar& bar, int& hold, double linear);

    MeterBar bars_[2];
    int hold_[2] = {};
};

}  // namespace talmeru
