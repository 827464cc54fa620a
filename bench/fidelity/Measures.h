// The signal measures of bench/sf2_fidelity: levels, release times, pitch, stereo image,
// chroma and the alignment of two renders. Everything works on 44.1 kHz stereo floats as the
// two players write them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace fidelity {

constexpr int kRate = 44100;

struct Audio {
    std::vector<float> left, right;
    size_t Frames() const { return left.size(); }
};

// Reads a WAV file (any format libsndfile knows); a mono file is copied to both sides.
std::optional<Audio> ReadWav(const std::string& path, std::string& why);

// A stretch of samples [begin, end) in frames, clamped to the audio by the measures.
struct Span {
    size_t begin = 0, end = 0;
};
Span SpanMs(double fromMs, double toMs);

// Power (mean of left^2 and right^2) in dB relative to a full-scale sine's peak of 1.0, so
// that the level of a stereo pair does not depend on how the two sides cancel.
double RmsDb(const Audio& a, Span s);
double PeakDb(const Audio& a, Span s);

// RMS level in dB of consecutive frames of `frame` samples of both channels from `from`.
std::vector<double> EnvelopeDb(const Audio& a, size_t from, size_t to, size_t frame);
std::vector<double> EnvelopeLinear(const Audio& a, size_t frame);

// Seconds from `offAt` until the level stays more than `dropDb` below its level in the 20 ms
// before `offAt`; nullopt when it never does before `until`.
std::optional<double> ReleaseSeconds(const Audio& a, size_t offAt, size_t until,
                                     double dropDb = 40);

// The fundamental near `expectedHz` (within three semitones) of each 20 ms frame of the
// span in Hz, from a zero-padded FFT and log-parabolic interpolation of the peak. Frames
// more than 50 dB below the loudest are left out.
std::vector<double> PitchTrack(const Audio& a, Span s, double expectedHz);

// Half the spread (5th to 95th percentile) of a pitch track in cents around its median:
// the depth of a vibrato, robust to a stray frame.
double VibratoDepthCents(const std::vector<double>& hz);
double MedianHz(const std::vector<double>& hz);

// Left/right level balance in dB (positive: left louder) and the normalised correlation of
// the two channels over a span: 1 for a mono sound copied to both sides.
struct Stereo {
    double balanceDb = 0, correlation = 1;
};
Stereo StereoImage(const Audio& a, Span s);

// The number of frames to drop from the start of `b` (negative: from `a`) so that it lines up
// with `a`, searched within +-maxLagMs by cross-correlating 5 ms envelopes.
long AlignmentFrames(const Audio& a, const Audio& b, double maxLagMs);
Audio Shifted(const Audio& a, long frames);  // drops (or pads with silence) at the start

// Pearson correlation of the RMS envelopes over 50 ms frames.
double EnvelopeCorrelation(const Audio& a, const Audio& b);

// Mean cosine similarity of the 12-bin chroma of 50 ms frames, over the frames where `a`
// is within 40 dB of its loudest frame (a silent frame of `b` there counts as 0).
double ChromaSimilarity(const Audio& a, const Audio& b);
std::vector<double> Chroma(const Audio& a, size_t center);

double Median(std::vector<double> v);

}  // namespace fidelity
