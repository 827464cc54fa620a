// The output meter's scale, fall and peak hold.
#include <gtest/gtest.h>

#include <cmath>

#include "widgets/LevelMeterModel.h"

namespace talmeru::test {
namespace {

using M = LevelMeterModel;

TEST(LevelMeterTest, DecibelScale) {
    struct Case {
        double linear, want;
    };
    for (const Case& c : {Case{0, 0}, Case{-0.5, 0}, Case{NAN, 0}, Case{0.0001, 0}, Case{0.001, 0},
                          Case{0.1, 2.0 / 3}, Case{1, 1}, Case{4, 1}})
        EXPECT_NEAR(M::Fraction(c.linear), c.want, 1e-9) << c.linear;
}

TEST(LevelMeterTest, BarsRiseAtOnceFallSlowlyAndThePeakIsHeld) {
    M m;
    EXPECT_TRUE(m.Silent());
    m.Update(1.0, 0.1, true);
    EXPECT_FALSE(m.Silent());
    EXPECT_DOUBLE_EQ(m.Left().level, 1);
    EXPECT_TRUE(m.Left().clipped);
    EXPECT_FALSE(m.Right().clipped);
    EXPECT_NEAR(m.Right().peak, 2.0 / 3, 1e-9);
    const double fall = M::kFallDbPerTick / -M::kFloorDb;
    m.Update(0, 0, true);
    EXPECT_NEAR(m.Left().level, 1 - fall, 1e-9);
    for (int tick = 1; tick < M::kHoldTicks; ++tick)
        m.Update(0, 0, true);
    EXPECT_DOUBLE_EQ(m.Left().peak, 1);  // held a second
    EXPECT_TRUE(m.Left().clipped);
    m.Update(0, 0, true);
    EXPECT_LT(m.Left().peak, 1);  // then falling, no longer clipped
    EXPECT_GE(m.Left().peak, m.Left().level);
    EXPECT_FALSE(m.Left().clipped);
    for (int tick = 0; tick < 100 && !m.Silent(); ++tick)
        m.Update(0, 0, true);
    EXPECT_TRUE(m.Silent());
    // Nothing playing empties the bars at once.
    m.Update(0.5, 0.5, true);
    m.Update(0.5, 0.5, false);
    EXPECT_TRUE(m.Silent());
    EXPECT_EQ(m.Left().level, 0);
}

}  // namespace
}  // namespace talmeru::test
