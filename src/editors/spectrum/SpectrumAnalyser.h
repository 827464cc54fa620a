#pragma once
// The spectrum display's logic without a window: the power spectrum of one block of sample
// points, its strongest peaks named as notes, and the lines and labels the display draws.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace talmeru {

class WaveData;

inline constexpr int kSpectrumPeaks = 10;
// Fewer sample points than this are not analysed.
inline constexpr int kMinSpectrumPoints = 2048;
// Peaks are looked for up to this frequency.
inline constexpr double kPeakSearchHz = 5000.0;
// The bottom of the display's power scale.
inline constexpr double kSpectrumFloor = 1e6;

class SpectrumAnalyser {
  public:
    // size: the transform size, a power of two from 2 up; rate: the sample rate in Hz (> 0).
    SpectrumAnalyser(int size, int rate);
    ~SpectrumAnalyser();
    SpectrumAnalyser(const SpectrumAnalyser&) = delete;
    SpectrumAnalyser& operator=(const SpectrumAnalyser&) = delete;

    // The transform size for `points` sample points: 8192, 4096 or 2048; 0 for fewer.
    static int SizeFor(int64_t points);
    // The first point of the block at offsetMs: offsetMs * rate / 1000, moved back so that
    // `size` points fit into `points` (never before 0).
    static int64_t StartPoint(int64_t points, int size, int offsetMs, int rate);

    // Transforms Size() points of `data` (8-bit signed or 16-bit little-endian signed
    // samples) from point `start` on and finds the peaks up to kPeakSearchHz. False, with
    // nothing changed, when the block does not lie inside the data.
    bool Analyse(std::span<const uint8_t> data, int bits, int64_t start);

    int Size() const { return size_; }
    int Rate() const { return rate_; }
    // Bins above Nyquist only mirror those below it, so they hold no information: every
    // search and drawing stops at this bin count (0..N/2).
    int UsefulBins() const { return size_ / 2 + 1; }
    // (re^2 + im^2) / sqrt(N) of bin k; 0 outside 0..N-1.
    double Power(int bin) const;
    // The highest power among bins [0, count); 0 when count <= 0.
    double HighestPower(int count) const;
    // round(N * hz / R), limited to 0..UsefulBins().
    int BinCount(double hz) const;
    // The peaks in Hz, strongest first; 0 for empty slots.
    const std::array<double, kSpectrumPeaks>& Peaks() const { return peaks_; }

    // Finds the local maxima of the power that exceed 1% of the highest power below
    // limitHz: the first ten in bin order, then ordered by power.
    void FindPeaks(double limitHz);

  private:
    struct Transform;
    int size_;
    int rate_;
    std::unique_ptr<Transform> transform_;
    std::vector<double> power_;
    std::array<double, kSpectrumPeaks> peaks_{};
};

// The key a frequency sounds nearest below: 12 * log2(hz / 440) + 69, truncated.
int KeyForFrequency(double hz);
// "%.4g Hz = %s" with the frequency and its key's note name.
std::string PeakLabel(double hz);

struct SpectrumPoint {
    int x = 0;
    int y = 0;
    bool operator==(const SpectrumPoint&) const = default;
};

struct SpectrumLine {
    SpectrumPoint from;
    SpectrumPoint to;
    bool operator==(const SpectrumLine&) const = default;
};

struct SpectrumLabel {
    SpectrumPoint at;  // the text's top left corner
    std::string text;
};

// What the display draws over its black background.
struct SpectrumPicture {
    std::vector<SpectrumPoint> trace;  // the spectrum, a polyline in green
    std::vector<SpectrumLine> grid;    // frequency lines in red
    std::vector<SpectrumLabel> gridLabels;
    std::vector<SpectrumLine> marks;  // peaks in white
    std::vector<SpectrumLabel> markLabels;
    bool Empty() const { return trace.empty() && grid.empty() && marks.empty(); }
};

// The display's state: the analyser, made with the first block that can be analysed, and
// the frequency range shown.
class SpectrumDisplay {
  public:
    static constexpr int kDefaultRangeHz = 2000;

    // Analyses a block of `points` sample points of `bits` bits (8 or 16) at `rate` Hz from
    // offsetMs on. False, with the last analysis kept, when there are too few points, the
    // rate is not positive or the data is shorter than `points` says.
    bool Pass(std::span<const uint8_t> data, int64_t points, int offsetMs, int rate, int bits);
    // Loads the wave's sample points, passes them at offsetMs and frees them again unless
    // they were loaded before. 0 when analysed; 1 when the wave has no points to load (the
    // reason has been shown); 2 when they were too few or unusable.
    int PassWave(WaveData& wave, int offsetMs);
    void SetRange(int hz) { rangeHz_ = hz; }
    int Range() const { return rangeHz_; }
    const SpectrumAnalyser* Analyser() const { return analyser_.get(); }
    // The first point of the last block analysed, or -1.
    int64_t Start() const { return start_; }

    // The picture for a client area of width by height pixels.
    SpectrumPicture Draw(int width, int height) const;
    // The y of power m on the scale from kSpectrumFloor (y = h + 4) to top (y = 4), for a
    // plot h pixels high; powers below the floor (and 0) lie on it.
    static int PowerToY(double m, double top, int h);

  private:
    std::unique_ptr<SpectrumAnalyser> analyser_;
    int rangeHz_ = kDefaultRangeHz;
    int64_t start_ = -1;
};

}  // namespace talmeru
