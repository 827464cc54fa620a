#include "widgets/LevelMeterModel.h"

#include <algorithm>
#include <cmath>

namespace talmeru {

namespace {

constexpr double kFall = LevelMeterModel::kFallDbPerTick / -LevelMeterModel::kFloorDb;

}  // namespace

double LevelMeterModel::Fraction(double linear) {
    if (!(linear > 0)) return 0;  // also NaN
    const double db = 20 * std::log10(linear);
    return std::clamp(1 - db / kFloorDb, 0.0, 1.0);
}

void LevelMeterModel::Update(double left, double right, bool live) {
    if (!live) {
        bars_[0] = bars_[1] = MeterBar{};
        hold_[0] = hold_[1] = 0;
        return;
    }
    Step(bars_[0], hold_[0], left);
    Step(bars_[1], hold_[1], right);
}

void LevelMeterModel::Step(MeterBar& bar, int& hold, double linear) {
    bar.level = std::max(Fraction(linear), bar.level - kFall);
    if (linear >= 1) bar.clipped = true;
    if (bar.level >= bar.peak) {
        bar.peak = bar.level;
        hold = kHoldTicks;
    } else if (hold > 0) {
        --hold;
    } else {
        bar.peak = std::max(bar.level, bar.peak - kFall);
        bar.clipped = false;
    }
}

bool LevelMeterModel::Silent() const {
    return bars_[0].peak <= 0 && bars_[1].peak <= 0;
}

}  // namespace talmeru
