// Modulators as they run: every FUN operator, LFO rates and shapes, envelope segment times.
#include <gtest/gtest.h>

#include <cmath>

#include "model/Ma1Units.h"
#include "model/ModSource.h"
#include "voice/Modulation.h"

namespace talmeru::test {
namespace {

using voice::ModulatorState;
using voice::SourceContext;

// Source codes for constants: (code - 64) / 63.
uint8_t C(double v) {
    return uint8_t(std::lround(64 + v * 63));
}
double V(double v) {
    return ConstantValue(C(v));
}

TEST(ModulationTest, EveryFunOperatorComputesItsFunction) {
    const double a = V(0.5), b = V(-0.25), c = V(0.75);
    struct Case {
        int op;
        double want;
    };
    const Case cases[] = {
        {0, a + b + c},
        {1, (a + b) * c},
        {2, (a - b) * c},
        {3, a + b * c},
        {4, a - b * c},
        {5, a * b * c},
        {6, 0},
        {7, 0},  // a is not in b..c? it is: -0.25 <= 0.5 <= 0.75
        {8, b + (a + 1) / 2 * (c - b)},
        {9, a},
        {10, b},
        {11, b},
        {14,
         std::round(a * (1 + std::round(std::fabs(b) * 15))) / (1 + std::round(std::fabs(b) * 15))},
        {15, a},
        {16, std::cos(M_PI * a)},
        {17, 0},
        {18, 1},
        {19, a},
        {20, a},
        {21, b},
    };
    for (Case cs : cases) {
        if (cs.op == 7) cs.want = 1;  // In Range: b <= a <= c
        FunModulator f;
        f.SetOperator(cs.op);
        *f.Input(0) = C(0.5);
        *f.Input(1) = C(-0.25);
        *f.Input(2) = C(0.75);
        ModulatorState s;
        s.Start(&f);
        EXPECT_NEAR(s.Step(SourceContext{}, true, 0.001f), cs.want, 1e-5) << "operator " << cs.op;
    }
}

TEST(ModulationTest, LfoRunsAtItsRateInHzAndShape) {
    for (int rate : {10, 51, 200}) {
        LfoModulator l;
        l.SetBaseRate(uint8_t(rate));
        ModulatorState s;
        s.Start(&l);
        int crossings = 0;
        float prev = 0;
        const float dt = 1.0f / 1378;
        for (int i = 0; i < 1378 * 10; ++i) {
            const float v = s.Step(SourceContext{}, true, dt);
            if (prev < 0 && v >= 0) ++crossings;
            prev = v;
        }
        EXPECT_NEAR(crossings / 10.0, units::LfoHz(rate), 0.15) << "rate " << rate;
    }
    // The Rate Adjust input moves the rate from base toward adjusted.
    LfoModulator l;
    l.SetShape(3);  // ramp
    l.SetBaseRate(51);
    l.SetAdjustedRate(102);
    *l.Input(0) = kSourceOne;
    ModulatorState s;
    s.Start(&l);
    // 10 Hz (not the base 5 Hz) for 25 ms: a quarter of the ramp.
    EXPECT_NEAR(s.Step(SourceContext{}, true, 0.025f), -0.5, 1e-4);
}

TEST(ModulationTest, EnvelopeSegmentsTakeTheirTimesAndReleaseOnTheGate) {
    EnvModulator e;
    e.SetLinear(true);
    e.SetStartLevel(0);
    e.SetSegment(0, 127, 50);  // 1 s up
    e.SetSegment(1, 64, 25);   // 0.5 s down to half
    e.SetSegment(2, 0, 10);    // 0.2 s release
    ModulatorState s;
    s.Start(&e);
    const float dt = 0.01f;
    auto run = [&](double seconds, bool gate) {
        float v = 0;
        for (int i = 0; i < std::lround(seconds / dt); ++i)
            v = s.Step(SourceContext{}, gate, dt);
        return v;
    };
    EXPECT_NEAR(run(0.5, true), 0.5, 0.02);
    EXPECT_NEAR(run(0.5, true), 1.0, 0.02);
    EXPECT_NEAR(run(0.25, true), (1.0 + 64 / 127.0) / 2, 0.02);
    EXPECT_NEAR(run(1.0, true), 64 / 127.0, 0.01);  // sustains
    EXPECT_FALSE(s.Finished());
    EXPECT_NEAR(run(0.1, false), 32 / 127.0, 0.02);
    run(0.2, false);
    EXPECT_TRUE(s.Finished());
    EXPECT_NEAR(s.Value(), 0.0, 1e-6);
    // Not "Linear": the rise is linear in amplitude through the Amp block's 96 dB, so half
    // way it is 6 dB below full; the fall stays straight.
    e.SetLinear(false);
    s.Start(&e);
    EXPECT_NEAR(run(0.5, true), 1 + 20 * std::log10(0.5 + 0.5 * std::pow(10, -4.8)) / 96, 0.01);
    EXPECT_NEAR(run(0.5, true), 1.0, 0.01);
    EXPECT_NEAR(run(0.25, true), (1.0 + 64 / 127.0) / 2, 0.02);
}

}  // namespace
}  // namespace talmeru::test
