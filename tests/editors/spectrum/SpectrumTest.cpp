// The spectrum's analysis: the transform's bins and scaling, the peaks and their note names
// on synthesised signals, the picture the display draws, and the loading of wave data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "editors/spectrum/SpectrumAnalyser.h"
#include "model/WaveData.h"
#include "support/Tones.h"

namespace talmeru::test {
namespace {

std::vector<double> Peaks(const SpectrumAnalyser& a) {
    return {a.Peaks().begin(), a.Peaks().end()};
}

// The power of a sine of amplitude A centred on a bin of an N-point transform.
double SinePower(double amplitude, int n) {
    return amplitude * amplitude * n * n / 4 / std::sqrt(double(n));
}

TEST(SpectrumAnalyserTest, BlockSizeAndStartPoint) {
    EXPECT_EQ(SpectrumAnalyser::SizeFor(int64_t{1} << 33), 8192);
    EXPECT_EQ(SpectrumAnalyser::SizeFor(8192), 8192);
    EXPECT_EQ(SpectrumAnalyser::SizeFor(8191), 4096);
    EXPECT_EQ(SpectrumAnalyser::SizeFor(4096), 4096);
    EXPECT_EQ(SpectrumAnalyser::SizeFor(4095), 2048);
    EXPECT_EQ(SpectrumAnalyser::SizeFor(2048), 2048);
    EXPECT_EQ(SpectrumAnalyser::SizeFor(2047), 0);
    EXPECT_EQ(SpectrumAnalyser::SizeFor(0), 0);

    EXPECT_EQ(SpectrumAnalyser::StartPoint(3000, 2048, 1000, 22050), 952);
    EXPECT_EQ(SpectrumAnalyser::StartPoint(100000, 8192, 250, 44100), 11025);
    EXPECT_EQ(SpectrumAnalyser::StartPoint(8192, 8192, 750, 44100), 0);
    // offset * rate overflows 32 bits here.
    EXPECT_EQ(SpectrumAnalyser::StartPoint(int64_t{4} << 30, 8192, 1000, 2000000000), 2000000000);
}

TEST(SpectrumAnalyserTest, ASineLandsInItsBinWithItsPower) {
    SpectrumAnalyser a(8192, 44100);
    ASSERT_TRUE(a.Analyse(As16(Mix(8192, {{82, 10000}})), 16, 0));
    EXPECT_NEAR(a.Power(82) / SinePower(10000, 8192), 1.0, 1e-4);
    EXPECT_NEAR(a.Power(8192 - 82), a.Power(82), a.Power(82) * 1e-9);
    EXPECT_LT(a.Power(81), a.Power(82) * 1e-8);
    EXPECT_LT(a.Power(83), a.Power(82) * 1e-8);
    EXPECT_EQ(a.Power(-1), 0.0);
    EXPECT_EQ(a.Power(8192), 0.0);
    // Bin 82 at 44100 Hz reads 441 Hz, a truncated key 69.
    EXPECT_EQ(Peaks(a), (std::vector<double>{441, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(PeakLabel(a.Peaks()[0]), "441 Hz =  A4");

    // Bin 81 reads 436 Hz: key 68.84, truncated to G#4.
    ASSERT_TRUE(a.Analyse(As16(Mix(8192, {{81, 10000}})), 16, 0));
    EXPECT_EQ(a.Peaks()[0], 436);
    EXPECT_EQ(PeakLabel(a.Peaks()[0]), "436 Hz = G#4");

    // 8-bit points are signed bytes.
    SpectrumAnalyser small(2048, 11025);
    ASSERT_TRUE(small.Analyse(As8(Mix(2048, {{100, 100, 2048}})), 8, 0));
    EXPECT_NEAR(small.Power(100) / SinePower(100, 2048), 1.0, 1e-3);
    EXPECT_EQ(small.Peaks()[0], 538);  // 100 * 11025 / 2048 = 538.3
}

TEST(SpectrumAnalyserTest, PeaksAreOrderedByPowerAboveOnePercent) {
    SpectrumAnalyser a(8192, 44100);
    // 2153 Hz is under 1% of the strongest power; 8074 Hz lies above the 5000 Hz search.
    ASSERT_TRUE(a.Analyse(
        As16(Mix(8192, {{300, 2000}, {82, 8000}, {164, 4000}, {400, 500}, {1500, 9000}})), 16, 0));
    EXPECT_EQ(Peaks(a), (std::vector<double>{441, 882, 1614, 0, 0, 0, 0, 0, 0, 0}));

    // The walk keeps the first ten peaks by frequency, even when the eleventh is stronger.
    std::vector<Tone> tones;
    for (int i = 0; i <= 10; ++i)
        tones.push_back({40.0 + 80 * i, 1000.0 + 100 * i});
    ASSERT_TRUE(a.Analyse(As16(Mix(8192, tones)), 16, 0));
    std::vector<double> expected;
    for (int i = 9; i >= 0; --i)
        expected.push_back(static_cast<double>((40 + 80 * i) * 44100 / 8192));
    EXPECT_EQ(Peaks(a), expected);
}

TEST(SpectrumAnalyserTest, BlocksOutsideTheDataAreRefused) {
    SpectrumAnalyser a(2048, 44100);
    const auto data = As16(Mix(3000, {{100, 5000, 2048}}));
    EXPECT_TRUE(a.Analyse(data, 16, 952));
    EXPECT_FALSE(a.Analyse(data, 16, 953));
    EXPECT_FALSE(a.Analyse(data, 16, -1));
    EXPECT_FALSE(a.Analyse(std::span(data).first(4095), 16, 0));
    EXPECT_TRUE(a.Analyse(std::span(data).first(2048), 8, 0));
}

TEST(SpectrumAnalyserTest, NotesAreNamedFromTheTruncatedKey) {
    EXPECT_EQ(KeyForFrequency(440), 69);
    EXPECT_EQ(KeyForFrequency(439.9), 68);
    EXPECT_EQ(KeyForFrequency(261.7), 60);
    EXPECT_EQ(PeakLabel(262), "262 Hz =  C4");
    EXPECT_EQ(PeakLabel(4187), "4187 Hz =  C8");
    EXPECT_EQ(PeakLabel(1245), "1245 Hz = D#6");
    // Below key 0 the pitch class and octave still follow the keyboard (key -17 is G-3).
    EXPECT_EQ(PeakLabel(3), "3 Hz =  G-3");
    EXPECT_EQ(PeakLabel(7), "7 Hz = A#-2");
}

TEST(SpectrumDisplayTest, TooLittleDataIsNotAnalysed) {
    SpectrumDisplay d;
    const auto data = As16(Mix(2047, {{10, 1000}}));
    EXPECT_FALSE(d.Pass(data, 2047, 0, 44100, 16));
    EXPECT_EQ(d.Analyser(), nullptr);
    EXPECT_FALSE(d.Pass(data, 4096, 0, 44100, 16));  // fewer bytes than points claimed
    EXPECT_FALSE(d.Pass(As16(Mix(4096, {})), 4096, 0, 0, 16));
    EXPECT_EQ(d.Analyser(), nullptr);
    EXPECT_EQ(d.Start(), -1);
    EXPECT_TRUE(d.Draw(400, 300).Empty());
}

TEST(SpectrumDisplayTest, TheStartIsClampedAndTheAnalyserKept) {
    // 952 points of one tone, then 2048 of another from point 952 on.
    std::vector<double> v = Mix(3000, {{200, 8000, 2048}});
    const std::vector<double> tail = Mix(3000, {{100, 8000, 2048}}, 952);
    std::copy(tail.begin() + 952, tail.end(), v.begin() + 952);
    const auto data = As16(v);
    SpectrumDisplay d;
    ASSERT_TRUE(d.Pass(data, 3000, 1000, 22050, 16));
    EXPECT_EQ(d.Start(), 952);
    const SpectrumAnalyser* a = d.Analyser();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Size(), 2048);
    EXPECT_EQ(Peaks(*a), (std::vector<double>{1076, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    ASSERT_TRUE(d.Pass(data, 3000, 0, 22050, 16));
    EXPECT_EQ(d.Start(), 0);
    EXPECT_EQ(d.Analyser(), a);
    EXPECT_NE(Peaks(*a)[1], 0);  // both tones are in the first block
}

TEST(SpectrumDisplayTest, MirrorImagesAboveNyquistAreNeitherPeaksNorDrawn) {
    // 3500 Hz at 8000 Hz: its mirror image would read 4500 Hz, inside the peak search.
    SpectrumDisplay d;
    ASSERT_TRUE(d.Pass(As16(Mix(8192, {{3584, 8000}})), 8192, 0, 8000, 16));
    EXPECT_EQ(Peaks(*d.Analyser()), (std::vector<double>{3500, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    d.SetRange(8000);
    const SpectrumPicture pic = d.Draw(400, 308);
    ASSERT_EQ(pic.trace.size(), 400u);
    EXPECT_EQ(pic.trace[175].y, 4);  // 3500 Hz
    for (int x = 201; x < 400; ++x)
        EXPECT_EQ(pic.trace[size_t(x)].y, 304) << x;
}

TEST(SpectrumDisplayTest, PowersMapOntoALogScale) {
    EXPECT_EQ(SpectrumDisplay::PowerToY(1e10, 1e10, 301), 4);
    EXPECT_EQ(SpectrumDisplay::PowerToY(1e8, 1e10, 301), 154);
    EXPECT_EQ(SpectrumDisplay::PowerToY(1e7, 1e10, 301), 229);
    EXPECT_EQ(SpectrumDisplay::PowerToY(1e6, 1e10, 301), 305);
    EXPECT_EQ(SpectrumDisplay::PowerToY(1e3, 1e10, 301), 305);
    EXPECT_EQ(SpectrumDisplay::PowerToY(0, 1e10, 301), 305);
    EXPECT_EQ(SpectrumDisplay::PowerToY(1e11, 1e10, 301), 4);
}

TEST(SpectrumDisplayTest, PictureOfASine) {
    SpectrumDisplay d;
    ASSERT_TRUE(d.Pass(As16(Mix(8192, {{82, 10000}})), 8192, 0, 44100, 16));
    SpectrumPicture pic = d.Draw(400, 308);
    ASSERT_EQ(pic.trace.size(), 400u);
    EXPECT_EQ(pic.trace[0], (SpectrumPoint{0, 154}));
    // Bin 82 falls into columns 88 (bins 81..82) and 89 (82..83): they reach the top, every
    // other column lies lower.
    for (int x = 1; x < 400; ++x) {
        EXPECT_EQ(pic.trace[size_t(x)].x, x);
        if (x == 88 || x == 89)
            EXPECT_EQ(pic.trace[size_t(x)].y, 4);
        else
            EXPECT_GT(pic.trace[size_t(x)].y, 4) << x;
    }
    ASSERT_EQ(pic.grid.size(), 4u);
    EXPECT_EQ(pic.grid[0], (SpectrumLine{{100, 0}, {100, 300}}));
    EXPECT_EQ(pic.grid[3], (SpectrumLine{{400, 0}, {400, 300}}));
    EXPECT_EQ(pic.gridLabels[0].at, (SpectrumPoint{102, 284}));
    EXPECT_EQ(pic.gridLabels[0].text, "500 Hz");
    ASSERT_EQ(pic.marks.size(), 1u);
    EXPECT_EQ(pic.marks[0], (SpectrumLine{{88, 0}, {88, 35}}));
    EXPECT_EQ(pic.markLabels[0].at, (SpectrumPoint{88, 40}));
    EXPECT_EQ(pic.markLabels[0].text, "441 Hz =  A4");

    d.SetRange(10000);
    pic = d.Draw(400, 308);
    ASSERT_EQ(pic.grid.size(), 19u);
    EXPECT_EQ(pic.grid[18].from.x, 380);
    EXPECT_EQ(pic.gridLabels[18].text, "9500 Hz");
    EXPECT_EQ(pic.marks[0].from.x, 18);

    // Silence draws nothing over the background.
    ASSERT_TRUE(d.Pass(As16(Mix(8192, {})), 8192, 0, 44100, 16));
    EXPECT_EQ(Peaks(*d.Analyser()), std::vector<double>(10, 0.0));
    EXPECT_TRUE(d.Draw(400, 308).Empty());
}

// Wave data held in memory, counting its loads.
class MemoryWave : public WaveData {
  public:
    MemoryWave(std::vector<uint8_t> points, int bits, int rate) : points_(std::move(points)) {
        bitsHeld = bits;
        sampleRate = rate;
    }
    std::unique_ptr<WaveData> Clone() const override { return nullptr; }
    int Kind() const override { return kWaveWav; }
    int StorageClass() const override { return kFileLoaded; }
    std::string DisplayName() const override { return "memory"; }
    std::string FormatName() const override { return "PCM"; }
    int LoadData() override {
        if (loaded) return 0;
        if (fail) return 1;
        ++loads;
        data = points_;
        loaded = true;
        return 0;
    }
    bool fail = false;
    int loads = 0;

  private:
    std::vector<uint8_t> points_;
};

TEST(SpectrumDisplayTest, WavesAreLoadedForEachBlockAndFreedAgain) {
    // 4097 points in 8195 bytes: the odd byte is no point, and a 4096-point block fits.
    std::vector<uint8_t> bytes = As16(Mix(4097, {{50, 3000, 4096}}));
    bytes.push_back(0x7F);
    MemoryWave wave(bytes, 16, 11025);
    SpectrumDisplay d;
    EXPECT_EQ(d.PassWave(wave, 750), 0);
    EXPECT_EQ(d.Analyser()->Size(), 4096);
    EXPECT_EQ(d.Start(), 1);
    EXPECT_FALSE(wave.loaded);
    EXPECT_TRUE(wave.data.empty());
    EXPECT_EQ(d.PassWave(wave, 0), 0);
    EXPECT_EQ(wave.loads, 2);

    // Data somebody else loaded stays loaded.
    ASSERT_EQ(wave.LoadData(), 0);
    EXPECT_EQ(d.PassWave(wave, 0), 0);
    EXPECT_TRUE(wave.loaded);

    MemoryWave broken(bytes, 16, 11025);
    broken.fail = true;
    EXPECT_EQ(d.PassWave(broken, 0), 1);
    MemoryWave tiny(As8(Mix(2047, {{5, 50}})), 8, 11025);
    EXPECT_EQ(d.PassWave(tiny, 0), 2);
    EXPECT_FALSE(tiny.loaded);
    RomWaveData rom;
    EXPECT_EQ(d.PassWave(rom, 0), 1);
}

}  // namespace
}  // namespace talmeru::test
