#pragma once
// What the sample view finds in a sample's frames: zero crossings for the markers to snap
// to, loop points where the waveform joins best, and the fundamental frequency.
#include <cstdint>
#include <optional>
#include <span>

namespace talmeru {

// The rising zero crossing (a frame at or above zero after one below it) nearest `at` within
// `radius` frames, or none.
std::optional<int64_t> NearestZeroCrossing(std::span<const int16_t> frames, int64_t at,
                                           int64_t radius);

// How well the `window` frames before a and before b match, in shape and in level: their
// normalised cross-correlation times the ratio of their levels. 1 when they are alike, 0 for
// silence.
double JoinScore(std::span<const int16_t> frames, int64_t a, int64_t b, int window);

struct LoopSearch {
    int window = 512;   // frames compared before loop end and before loop start
    int radius = 1024;  // how far either point may move
    int64_t minLength = 32;
};
struct LoopProposal {
    int64_t loopStart = 0;
    int64_t end = 0;
    double score = 0;
};
// Loop points near (loopStart, end) where the frames before the end best match the frames
// before the loop start, so that playing on from the loop start after the end continues the
// waveform. The end moves to rising zero crossings (the loop start follows it by the match);
// among equal matches the points nearest the current ones win. Frames are [0, frames.size()), and the loop stays at or after `first` (the start point).
// None when no loop fits.
std::optional<LoopProposal> FindLoop(std::span<const int16_t> frames, int64_t first,
                                     int64_t loopStart, int64_t end, const LoopSearch& search);

// The end brought back out of a fade at the sample's end: the last point at or before `end`
// whose `window` frames before it play at the sample's steady level (the median of its
// windows' peaks between `first` and `end`, within 5%). A loop that ends in the fade jumps
// back up in level at its join.
int64_t SteadyEnd(std::span<const int16_t> frames, int64_t first, int64_t end, int window);

// The fundamental frequency of frames [from, to) in Hz (YIN, refined over several periods),
// searched between minHz and maxHz; none when nothing periodic is found.
std::optional<double> DetectPitch(std::span<const int16_t> frames, int64_t from, int64_t to,
                                  double rate, double minHz = 30, double maxHz = 4000);

// The key number (69 = A 440 Hz) of a frequency, fractional.
double KeyOfFrequency(double hz);

}  // namespace talmeru
