// The emulated ROM's sample memory, measured as a listener would: pitch, loops, levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <span>
#include <string>

#include "emulator/RomWaves.h"
#include "platform/RomDirectory.h"

namespace talmeru::emulator {
namespace {

constexpr double kRate = 44100;

double MidiHz(int key) {
    return 440 * std::exp2((key - 69) / 12.0);
}

const RomRegion& Region(std::string_view name) {
    for (const RomRegion& r : RomDirectory())
        if (r.name == name) return r;
    throw std::runtime_error("no region " + std::string(name));
}

class RomWavesTest : public ::testing::Test {
  protected:
    static std::span<const int8_t> Whole(const RomRegion& r) {
        return std::span(*RomWaves()).subspan(size_t(r.start), size_t(r.end - r.start + 1));
    }
    static std::span<const int8_t> Loop(const RomRegion& r) {
        return std::span(*RomWaves()).subspan(size_t(r.loopStart), size_t(r.end - r.loopStart + 1));
    }
    static int Peak(std::span<const int8_t> x) {
        int peak = 0;
        for (int8_t v : x)
            peak = std::max(peak, std::abs(int(v)));
        return peak;
    }
    static double Mean(std::span<const int8_t> x) {
        double sum = 0;
        for (int8_t v : x)
            sum += v;
        return sum / double(x.size());
    }
    // The loop as it plays, over and over: its autocorrelation wraps around.
    static double Correlation(std::span<const int8_t> loop, int lag) {
        double sum = 0;
        const size_t n = loop.size();
        for (size_t j = 0; j < n; ++j)
            sum += double(loop[j]) * loop[(j + size_t(lag)) % n];
        return sum;
    }
    static double PeakLag(std::span<const int8_t> loop, int lag) {
        const double a = Correlation(loop, lag - 1), b = Correlation(loop, lag),
                     c = Correlation(loop, lag + 1);
        return lag + 0.5 * (a - c) / (a - 2 * b + c);
    }
    // The fundamental: the first lag that repeats the wave closely, refined over as many
    // periods as the loop holds. The search starts well below the expected period and goes
    // past its double, so an octave error shows.
    static double Fundamental(std::span<const int8_t> loop, double expectedPeriod) {
        const double whole = Correlation(loop, 0);
        const int top = std::min(int(loop.size()) - 2, int(2.2 * expectedPeriod));
        for (int lag = std::max(2, int(expectedPeriod / 3)); lag < top; ++lag) {
            const double here = Correlation(loop, lag);
            if (here < 0.9 * whole || here < Correlation(loop, lag - 1) ||
                here < Correlation(loop, lag + 1))
                continue;
            const double period = PeakLag(loop, lag);
            const int periods = std::max(1, int((double(loop.size()) - 2) / period));
            int far = int(std::lround(periods * period));
            for (int q = far - 2; q <= far + 2; ++q)
                if (Correlation(loop, q) > Correlation(loop, far)) far = q;
            return kRate * periods / PeakLag(loop, far);
        }
        return 0;
    }
    // Amplitude of the loop's component at `cycles` per loop length.
    static double Component(std::span<const int8_t> loop, int cycles) {
        std::complex<double> sum = 0;
        for (size_t j = 0; j < loop.size(); ++j)
            sum += double(loop[j]) * std::polar(1.0, -2 * std::numbers::pi * cycles * double(j) /
                                                         double(loop.size()));
        return 2 * std::abs(sum) / double(loop.size());
    }
};

TEST_F(RomWavesTest, FillsTheWholeRomOnceForEveryone) {
    EXPECT_EQ(RomWaves()->size(), size_t(kRomSampleLength) + 1);
    EXPECT_EQ(RomWaves(), RomWaves());
    EXPECT_EQ(MakeRomWaves(), *RomWaves());  // no randomness from outside
}

TEST_F(RomWavesTest, PitchedLoopsSoundTheirRootNote) {
    const char* regions[] = {
        "A#4-Sine Wave",      "C 8-Sine Wave", "C#4-gm piano", "A 1-gm acoustic bass",
        "F 1-gm double bass", "C#3-Saw",       "G#3-Square"};
    for (const char* name : regions) {
        const RomRegion& r = Region(name);
        const double root = MidiHz(*RomRootKey(name));
        const double hz = Fundamental(Loop(r), kRate / root);
        ASSERT_GT(hz, 0) << name;
        EXPECT_NEAR(1200 * std::log2(hz / root), 0, 2) << name;
    }
}

TEST_F(RomWavesTest, PureWavesHaveTheirShapesHarmonics) {
    struct Case {
        const char* name;
        double second, third;  // of the fundamental
    };
    const Case cases[] = {
        {"F 5-Sine Wave", 0, 0},
        {"F 5-Saw", 1 / 2.0, 1 / 3.0},
        {"F 5-Square", 0, 1 / 3.0},
    };
    for (const Case& c : cases) {
        const RomRegion& r = Region(c.name);
        const auto loop = Loop(r);
        const int cycles =
            int(std::lround(double(loop.size()) * MidiHz(*RomRootKey(c.name)) / kRate));
        const double first = Component(loop, cycles);
        EXPECT_GT(first, 50) << c.name;
        EXPECT_NEAR(Component(loop, 2 * cycles) / first, c.second, 0.02) << c.name;
        EXPECT_NEAR(Component(loop, 3 * cycles) / first, c.third, 0.02) << c.name;
    }
}

// Playing on from the loop's end to its start must sound like the wave going on: the last
// frame matches the one before the loop, and the jump is no bigger than the wave's own steps.
TEST_F(RomWavesTest, EveryLoopJoinsSeamlessly) {
    const auto& rom = *RomWaves();
    for (const RomRegion& r : RomDirectory()) {
        const auto loop = Loop(r);
        int step = 0;
        for (size_t j = 1; j < loop.size(); ++j)
            step = std::max(step, std::abs(loop[j] - loop[j - 1]));
        EXPECT_LE(std::abs(rom[size_t(r.end)] - rom[size_t(r.loopStart) - 1]), 2) << r.name;
        EXPECT_LE(std::abs(rom[size_t(r.loopStart)] - rom[size_t(r.end)]), step + 2) << r.name;
    }
}

TEST_F(RomWavesTest, EveryRegionSoundsNearFullScaleWithoutDc) {
    for (const RomRegion& r : RomDirectory()) {
        const auto whole = Whole(r);
        EXPECT_GE(Peak(whole), 100) << r.name;
        EXPECT_LE(Peak(whole), 120) << r.name;
        // A loop holds whole periods, so any offset in it is DC; drums have no loop to speak of.
        const auto tail = RomRootKey(r.name) ? Loop(r) : whole;
        EXPECT_LT(std::abs(Mean(tail)), 1) << r.name;
    }
}

// A drum's hit is over before its loop; the loop is silent, or rings on for the cymbals, the
// cowbell and the whistle.
TEST_F(RomWavesTest, DrumsDieAwayBeforeTheirEndUnlessTheyRing) {
    int drums = 0, ringing = 0;
    for (const RomRegion& r : RomDirectory()) {
        if (RomRootKey(r.name)) continue;
        ++drums;
        const bool rings = RomHeldEnvelope(r).back().dbPerSecond > -200;
        ringing += rings ? 1 : 0;
        if (rings)
            EXPECT_GE(Peak(Loop(r)), 20) << r.name;
        else
            EXPECT_LE(Peak(Loop(r)), 1) << r.name;
    }
    EXPECT_EQ(drums, 41);
    EXPECT_EQ(ringing, 11);
}

// Anchored loops too short for their named root hold whole periods of the pitch their sample
// header gives instead, close to the root.
TEST_F(RomWavesTest, ShortAnchoredLoopsHoldTheirRecordedPitch) {
    for (const char* name : {"C 2-Perc Organ", "C 4-Perc Organ", "A 3-Bagpipe"}) {
        const RomRegion& r = Region(name);
        const double hz = MidiHz(69) * std::exp2((RomRecordedKey(r) - 69) / 12);
        const double periods = double(r.end - r.loopStart + 1) * hz / kRate;
        EXPECT_NEAR(periods, std::round(periods), 0.01) << name;
        EXPECT_GE(std::round(periods), 1) << name;
        EXPECT_LT(std::abs(RomRecordedKey(r) - *RomRootKey(name)), 12) << name;
        EXPECT_GE(Peak(Loop(r)), 60) << name;  // it sustains
    }
    EXPECT_EQ(RomRecordedKey(Region("C#4-gm piano")), 61);
}

}  // namespace
}  // namespace talmeru::emulator
