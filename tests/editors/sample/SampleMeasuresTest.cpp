// The sample view's time axis, length, playback and tuning read from synthetic tones whose
// notes and cents are set by the test.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "editors/sample/SampleMeasures.h"
#include "editors/sample/WavePeaks.h"
#include "platform/ByteIO.h"

namespace talmeru::test {
namespace {

double KeyHz(double key) {
    return 440.0 * std::pow(2.0, (key - 69.0) / 12.0);
}

// A tone of three partials (the second the strongest when strongSecond) at hz.
std::vector<int16_t> Tone(double hz, int frames, int rate, bool strongSecond = false) {
    std::vector<int16_t> out;
    for (int i = 0; i < frames; ++i) {
        const double t = 2 * std::numbers::pi * hz * i / rate;
        const double v = (strongSecond ? 4000 : 12000) * std::sin(t) +
                         (strongSecond ? 12000 : 5000) * std::sin(2 * t + 0.4) +
                         2000 * std::sin(3 * t + 1.1);
        out.push_back(static_cast<int16_t>(std::lround(v)));
    }
    return out;
}

TEST(SampleMeasures, TicksFallOnRoundTimesApartEnoughToLabel) {
    struct Case {
        double start, span;
        int rate, width;
        double step;  // seconds between labelled ticks
        const char* firstLabel;
        const char* firstFrames;
    };
    for (const Case& c : {Case{0, 44100, 44100, 1000, 0.2, "0.0 s", "0"},
                          Case{22050, 441, 44100, 500, 0.005, "0.500 s", "22050"},
                          Case{-1000, 96000, 32000, 700, 0.5, "0.0 s", "0"},
                          Case{0, 48000 * 30, 48000, 800, 5, "0 s", "0"}}) {
        const std::vector<AxisTick> ticks = TimeTicks(c.start, c.span, c.rate, c.width);
        std::vector<AxisTick> labelled;
        for (const AxisTick& t : ticks) {
            EXPECT_GE(t.frame, c.start - 1e-6);
            EXPECT_LE(t.frame, c.start + c.span + 1e-6);
            if (t.labelled) labelled.push_back(t);
        }
        ASSERT_GE(labelled.size(), 2u) << c.step;
        EXPECT_EQ(labelled[0].seconds, c.firstLabel);
        EXPECT_EQ(labelled[0].frames, c.firstFrames);
        EXPECT_NEAR(labelled[1].frame - labelled[0].frame, c.step * c.rate, 1e-6);
        // Four minor ticks between two labels, and labels at least 110 pixels apart.
        EXPECT_NEAR((labelled[1].frame - labelled[0].frame) / (ticks[1].frame - ticks[0].frame),
                    5.0, 1e-9);
        EXPECT_GE(c.step * c.rate * c.width / c.span, 110.0);
        EXPECT_LT(c.step * c.rate * c.width / c.span / 2.5, 110.0);  // and not a step coarser
    }
    EXPECT_TRUE(TimeTicks(0, 100, 0, 500).empty());
    EXPECT_TRUE(TimeTicks(0, 0, 44100, 500).empty());
}

TEST(SampleMeasures, LengthAndSecondsTexts) {
    EXPECT_EQ(LengthText(55125, 44100), "1.250 s (55125 frames)");
    EXPECT_EQ(LengthText(100, 0), "-");
    EXPECT_EQ(SecondsText(1.25, 0.05), "1.25 s");
    EXPECT_EQ(SecondsText(-1e-12, 0.001), "0.000 s");
    EXPECT_EQ(SecondsText(12, 2), "12 s");
}

TEST(SampleMeasures, FrequenciesAreNamedByTheNearestKeyAndCents) {
    struct Case {
        double hz;
        int key;
        double cents;
        const char* text;
    };
    for (const Case& c : {Case{440, 69, 0, "A4 +0 ct (440.0 Hz)"},
                          Case{KeyHz(72.3), 72, 30, "C5 +30 ct (532.4 Hz)"},
                          Case{KeyHz(67.7), 68, -30, "G#4 -30 ct (408.2 Hz)"},
                          Case{KeyHz(35.04), 35, 4, "B1 +4 ct (61.9 Hz)"}}) {
        const TuningPeak p = NameFrequency(c.hz);
        EXPECT_EQ(p.key, c.key) << c.hz;
        EXPECT_NEAR(p.cents, c.cents, 1e-6) << c.hz;
        EXPECT_EQ(TuningPeakText(p), c.text);
    }
}

TEST(SampleMeasures, TuningReadsTheLoopsStrongestPartialsToAFewCents) {
    struct Case {
        double key;  // of the tone in the loop
        int rate;
        bool strongSecond;
        int expectKey;  // of the strongest partial
    };
    for (const Case& c : {Case{72.12, 44100, false, 72}, Case{57.0 - 0.2, 22050, false, 57},
                          Case{60.37, 32000, true, 72}, Case{81.0, 48000, false, 81}}) {
        // Before the loop, a tone a fifth away, which the reading must not hear.
        std::vector<int16_t> frames = Tone(KeyHz(c.key + 7), 6000, c.rate);
        const std::vector<int16_t> loop = Tone(KeyHz(c.key), 12000, c.rate, c.strongSecond);
        frames.insert(frames.end(), loop.begin(), loop.end());
        const WavePeaks wave(frames);
        const auto r = ReadTuning(wave, {0, 6000, 18000}, c.rate);
        ASSERT_TRUE(r) << c.key;
        EXPECT_EQ(r->blockStart, 6000);
        EXPECT_EQ(r->size, 8192);
        ASSERT_GE(r->peaks.size(), 2u);
        const double cents = (c.key - std::round(c.key)) * 100;
        EXPECT_EQ(r->peaks[0].key, c.expectKey) << c.key;
        EXPECT_NEAR(r->peaks[0].cents, cents, 4.0) << c.key;
        EXPECT_EQ(r->power.size(), size_t(r->size / 2 + 1));
    }
    // An unlooped sample is read in its middle; one too short is not read.
    const WavePeaks tone(Tone(KeyHz(64), 10000, 44100));
    const auto middle = ReadTuning(tone, {0, -1, 10000}, 44100);
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->blockStart, (10000 - 8192) / 2);
    EXPECT_EQ(middle->peaks[0].key, 64);
    EXPECT_FALSE(ReadTuning(tone, {0, -1, 2000}, 44100));
    EXPECT_FALSE(ReadTuning(tone, {0, -1, 10000}, 0));
}

TEST(SampleMeasures, PlaybackRepeatsTheLoopOnlyWhenAsked) {
    std::vector<int16_t> wave(100);
    for (int i = 0; i < 100; ++i)
        wave[size_t(i)] = static_cast<int16_t>(i);
    const std::vector<int16_t> once = PlaybackFrames(wave, {10, 40, 60}, false, 100);
    ASSERT_EQ(once.size(), 50u);
    EXPECT_EQ(once.front(), 10);
    EXPECT_EQ(once.back(), 59);
    const std::vector<int16_t> looped = PlaybackFrames(wave, {10, 40, 60}, true, 100);
    ASSERT_EQ(looped.size(), 110u);  // 50, then the loop of 20 until 100 are reached
    EXPECT_EQ(looped[49], 59);
    EXPECT_EQ(looped[50], 40);
    EXPECT_EQ(looped[70], 40);
    EXPECT_EQ(looped[109], 59);
    // Once more at least, however short the wanted length; no loop plays once.
    EXPECT_EQ(PlaybackFrames(wave, {10, 40, 60}, true, 0).size(), 70u);
    EXPECT_EQ(PlaybackFrames(wave, {10, -1, 60}, true, 1000).size(), 50u);
    EXPECT_EQ(PlaybackFrames(wave, {-5, 40, 500}, false, 0).size(), 100u);
}

TEST(SampleMeasures, PlaybackWavHoldsBothHalvesInterleaved) {
    const std::vector<int16_t> l = {1, -2, 3}, r = {7, 8};
    for (bool stereo : {false, true}) {
        const std::vector<uint8_t> wav = PlaybackWav(l, stereo ? r : std::vector<int16_t>{}, 22050);
        ByteReader in(wav.data(), wav.size());
        EXPECT_EQ(in.U32(), 0x46464952u);
        EXPECT_EQ(in.U32(), wav.size() - 8);
        in.Seek(22);
        const int channels = in.U16();
        EXPECT_EQ(channels, stereo ? 2 : 1);
        EXPECT_EQ(in.U32(), 22050u);
        in.Seek(40);
        EXPECT_EQ(in.U32(), 3u * 2 * unsigned(channels));
        EXPECT_EQ(in.S16(), 1);
        if (stereo) {
            EXPECT_EQ(in.S16(), 7);
        }
        EXPECT_EQ(in.S16(), -2);
        if (stereo) {
            EXPECT_EQ(in.S16(), 8);
            EXPECT_EQ(in.S16(), 3);
            EXPECT_EQ(in.S16(), 0);  // the shorter half is padded
        }
    }
}

}  // namespace
}  // namespace talmeru::test
