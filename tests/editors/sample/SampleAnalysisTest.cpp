// The sample view's peaks, zero crossings, loop finding and pitch detection on synthetic
// waves whose answers are known.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "editors/sample/SampleAnalysis.h"
#include "editors/sample/WavePeaks.h"

namespace talmeru::test {
namespace {

constexpr double kRate = 44100;

// A tone of the given partials (harmonic number, amplitude) at hz, in 16-bit frames.
std::vector<int16_t> Tone(double hz, int frames, std::vector<std::pair<int, double>> partials,
                          double rate = kRate) {
    std::vector<int16_t> out(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        double v = 0;
        for (auto [k, a] : partials)
            v += a * std::sin(2 * std::numbers::pi * hz * k * i / rate + 0.3 * k);
        out[size_t(i)] = static_cast<int16_t>(std::lround(std::clamp(v, -32767.0, 32767.0)));
    }
    return out;
}

double Cents(double hz, double truth) {
    return 1200.0 * std::log2(hz / truth);
}

TEST(WavePeaks, EveryColumnHoldsTheMinAndMaxOfItsFrames) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<int16_t> frames(100003);
    for (int16_t& f : frames)
        f = static_cast<int16_t>(value(random));
    frames[54321] = 32767;
    frames[777] = -32768;
    const WavePeaks peaks(frames);
    EXPECT_GT(peaks.Levels(), 4);

    struct Case {
        double from, to;
        int columns;
    };
    for (const Case& c : {Case{0, 100003, 7}, Case{0, 100003, 1000}, Case{500, 900, 400},
                          Case{54000, 55000, 3}, Case{10.5, 20.5, 40}}) {
        const std::vector<WavePeak> got = peaks.Columns(c.from, c.to, c.columns);
        ASSERT_EQ(got.size(), size_t(c.columns));
        const double per = (c.to - c.from) / c.columns;
        for (int k = 0; k < c.columns; ++k) {
            // The column covers its own frames and may reach at most a block further.
            const auto a = static_cast<int64_t>(std::floor(c.from + per * k));
            const auto b = std::max(a + 1, static_cast<int64_t>(std::ceil(c.from + per * (k + 1))));
            int16_t lo = frames[size_t(a)], hi = frames[size_t(a)];
            for (int64_t i = a; i < b; ++i) {
                lo = std::min(lo, frames[size_t(i)]);
                hi = std::max(hi, frames[size_t(i)]);
            }
            EXPECT_LE(got[size_t(k)].min, lo) << c.from << " column " << k;
            EXPECT_GE(got[size_t(k)].max, hi) << c.from << " column " << k;
            if (per < 32) {  // drawn from the frames themselves: exact
                EXPECT_EQ(got[size_t(k)].min, lo);
                EXPECT_EQ(got[size_t(k)].max, hi);
            }
        }
    }
    // The whole wave in one column, and columns past its end empty.
    const auto all = peaks.Columns(0, 100003, 1);
    EXPECT_EQ(all[0].min, -32768);
    EXPECT_EQ(all[0].max, 32767);
    const auto past = peaks.Columns(100000, 100010, 10);
    EXPECT_EQ(past[9].min, 0);
    EXPECT_EQ(past[9].max, 0);
}

TEST(WavePeaks, DecodesHeldDataOfBothWidths) {
    const std::vector<uint8_t> sixteen = {0x34, 0x12, 0x00, 0x80};
    EXPECT_EQ(WavePeaks::Decode(sixteen, 2), (std::vector<int16_t>{0x1234, -32768}));
    const std::vector<uint8_t> eight = {0x7F, 0x80};
    EXPECT_EQ(WavePeaks::Decode(eight, 1), (std::vector<int16_t>{127 * 256, -128 * 256}));
}

TEST(SampleAnalysis, ZeroCrossingsAreRisingAndNearest) {
    const std::vector<int16_t> x = {5, -3, -2, 4, 6, -1, 0, 2, -5, 7};
    EXPECT_EQ(NearestZeroCrossing(x, 4, 3), 3);
    EXPECT_EQ(NearestZeroCrossing(x, 6, 1), 6);
    EXPECT_EQ(NearestZeroCrossing(x, 9, 0), 9);
    EXPECT_EQ(NearestZeroCrossing(x, 1, 0), std::nullopt);
    EXPECT_EQ(NearestZeroCrossing(std::vector<int16_t>(50, 100), 25, 25), std::nullopt);
}

TEST(SampleAnalysis, ALoopFoundOnAPeriodicWaveJoinsAtWholePeriods) {
    // A period of exactly 100 frames: only loop lengths of whole periods join without a step.
    const std::vector<int16_t> x = Tone(kRate / 100, 20000, {{1, 9000}, {2, 5000}, {5, 2000}});
    struct Case {
        int64_t loop, end;
    };
    for (const Case& c : {Case{3017, 15555}, Case{5000, 5951}, Case{12345, 19999}}) {
        const auto found = FindLoop(x, 0, c.loop, c.end, LoopSearch{});
        ASSERT_TRUE(found) << c.loop;
        EXPECT_EQ((found->end - found->loopStart) % 100, 0) << c.loop << " " << c.end;
        EXPECT_GT(found->score, 0.9999);
        EXPECT_LE(std::abs(found->end - c.end), LoopSearch{}.radius / 4);
        EXPECT_LE(std::abs(found->loopStart - c.loop), LoopSearch{}.radius);
        EXPECT_LT(x[size_t(found->end - 1)], 0);  // the end sits on a rising zero crossing
        EXPECT_GE(x[size_t(found->end)], 0);
    }
    // A period that is no whole number of frames still joins closely, within a frame.
    const double hz = 440;
    const std::vector<int16_t> a = Tone(hz, 30000, {{1, 12000}, {3, 3000}});
    const auto found = FindLoop(a, 0, 10000, 25000, LoopSearch{});
    ASSERT_TRUE(found);
    const double periods = (found->end - found->loopStart) * hz / kRate;
    EXPECT_NEAR(periods, std::round(periods), hz / kRate * 1.01);
    EXPECT_GT(found->score, 0.999);
    // The loop keeps to the start point and to a minimum length; silence offers no loop.
    const auto kept = FindLoop(x, 4000, 4100, 4300, LoopSearch{});
    ASSERT_TRUE(kept);
    EXPECT_GE(kept->loopStart, 4000);
    EXPECT_GE(kept->end - kept->loopStart, LoopSearch{}.minLength);
    EXPECT_EQ(FindLoop(std::vector<int16_t>(100, 0), 0, 10, 90, LoopSearch{}), std::nullopt);
}

// A 2 s saw that fades out over its last 0.3 s, looped from its middle to its end as a sample
// without a loop is: the end comes back to the steady part, and the join keeps the level.
TEST(SampleAnalysis, ALoopEndsWhereTheLevelIsSteadyNotInTheFade) {
    const int frames = 2 * int(kRate), fade = int(0.3 * kRate);
    std::vector<int16_t> saw(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double phase = std::fmod(i * 220.0 / kRate + 0.37, 1.0);
        const double gain = std::min(1.0, double(frames - i) / fade);
        saw[size_t(i)] = int16_t(std::lround(20000 * gain * (2 * phase - 1)));
    }
    const LoopSearch search{.window = 441, .radius = 1102};
    const int64_t end = SteadyEnd(saw, 0, frames, search.window);
    EXPECT_EQ(SteadyEnd(saw, 0, frames - fade, search.window), frames - fade);  // no fade
    const auto found = FindLoop(saw, 0, frames / 2, end, search);
    ASSERT_TRUE(found);
    // Out of all but the fade's first few percent.
    EXPECT_LE(found->end, frames - fade * 90 / 100) << found->loopStart;
    auto level = [&](int64_t before) {
        double sum = 0;
        for (int64_t i = before - search.window; i < before; ++i)
            sum += double(saw[size_t(i)]) * saw[size_t(i)];
        return std::sqrt(sum / search.window);
    };
    EXPECT_NEAR(level(found->end) / level(found->loopStart), 1.0, 0.08);
    EXPECT_GT(found->score, 0.9);
    // A quieter copy of the same shape joins worse than the same level.
    std::vector<int16_t> twice(saw.begin(), saw.begin() + 20000);
    for (int i = 10000; i < 20000; ++i)
        twice[size_t(i)] = int16_t(twice[size_t(i)] / 4);
    const int64_t periods = std::lround(kRate / 220.0 * 30);
    EXPECT_GT(JoinScore(saw, 15000, 15000 - periods, 441), 0.95);
    EXPECT_LT(JoinScore(twice, 15000, 15000 - periods, 441), 0.5);
}

TEST(SampleAnalysis, PitchOfSinesAndHarmonicTonesToACent) {
    struct Case {
        double hz;
        std::vector<std::pair<int, double>> partials;
        double rate;
    };
    const std::vector<Case> cases = {
        {440.0, {{1, 10000}}, kRate},
        {261.6256, {{1, 10000}}, kRate},
        {55.0, {{1, 8000}, {2, 6000}, {3, 4000}}, kRate},
        {1975.53, {{1, 9000}}, kRate},
        // A weak fundamental under strong harmonics is still the pitch heard.
        {146.83, {{1, 2000}, {2, 8000}, {3, 6000}, {4, 3000}}, 22050},
        {329.63, {{1, 5000}, {2, 5000}, {3, 5000}, {5, 2000}}, 48000},
    };
    for (const Case& c : cases) {
        const std::vector<int16_t> x = Tone(c.hz, static_cast<int>(c.rate), c.partials, c.rate);
        const auto hz = DetectPitch(x, 0, static_cast<int64_t>(x.size()), c.rate);
        ASSERT_TRUE(hz) << c.hz;
        EXPECT_NEAR(Cents(*hz, c.hz), 0.0, 1.0) << c.hz;
    }
    EXPECT_EQ(DetectPitch(std::vector<int16_t>(44100, 0), 0, 44100, kRate), std::nullopt);
    std::mt19937 random(3);
    std::uniform_int_distribution<int> noise(-20000, 20000);
    std::vector<int16_t> hiss(44100);
    for (int16_t& f : hiss)
        f = static_cast<int16_t>(noise(random));
    EXPECT_EQ(DetectPitch(hiss, 0, 44100, kRate), std::nullopt);
    EXPECT_NEAR(KeyOfFrequency(440), 69.0, 1e-12);
    EXPECT_NEAR(KeyOfFrequency(261.6256), 60.0, 1e-4);
}

}  // namespace
}  // namespace talmeru::test
