#pragma once
// What the sample view measures and labels, without a window: the ticks of its time axis in
// seconds and frames, the sample's length, and the tuning read from its frames (the strongest
// partials of the spectrum as notes and cents).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "editors/sample/SampleEditing.h"

namespace talmeru {

class WavePeaks;

struct AxisTick {
    double frame = 0;
    bool labelled = false;  // a major tick carries its time and frame
    std::string seconds;
    std::string frames;
};

// Ticks over frames [start, start + span) drawn across `width` pixels at `rate` Hz: major ticks
// on whole multiples of 1, 2 or 5 times a power of ten seconds, the smallest step that keeps
// them at least minGap pixels apart, and four minor ticks between. None without a rate,
// width or span.
std::vector<AxisTick> TimeTicks(double start, double span, int rate, int width, int minGap = 110);
// A time as the axis writes it: seconds with as many decimals as the step between ticks needs.
std::string SecondsText(double seconds, double step);
// The length of a sample: "1.250 s (55125 frames)"; "-" without a rate.
std::string LengthText(int64_t frames, int rate);

// A frequency named by its nearest key: the cents from that key lie in [-50, 50].
struct TuningPeak {
    double hz = 0;
    int key = 0;
    double cents = 0;
};
TuningPeak NameFrequency(double hz);
// "C5 +3 ct (523.5 Hz)".
std::string TuningPeakText(const TuningPeak& peak);

// The spectrum of one block of the sample and its strongest partials, strongest first.
struct TuningReading {
    int64_t blockStart = 0;
    int size = 0;
    int rate = 0;
    std::vector<double> power;  // bins 0..size/2
    std::vector<TuningPeak> peaks;
};
// Reads the block where the sample sounds steadily: its loop when the loop is long enough,
// else the middle of start..end. None when the sample is shorter than the transform's least
// size or the rate is not positive.
std::optional<TuningReading> ReadTuning(const WavePeaks& wave,
                                        const SampleEditing::FramePoints& points, int rate,
                                        int count = 5);

// The frames the view's Play gives a sample, start up to (not including) end: once with the loop
// off; with it on, the loop repeats after the end until at least minFrames are played (at
// least once more). Points outside the wave are limited to it.
std::vector<int16_t> PlaybackFrames(std::span<const int16_t> wave,
                                    const SampleEditing::FramePoints& points, bool loop,
                                    int64_t minFrames);
// A 16-bit PCM WAV file of one or two channels (right empty: mono; the shorter is padded).
std::vector<uint8_t> PlaybackWav(std::span<const int16_t> left, std::span<const int16_t> right,
                                 int rate);

}  // namespace talmeru
