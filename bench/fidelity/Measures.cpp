#include "fidelity/Measures.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <kissfft/kissfft.hh>
#include <numeric>

namespace fidelity {

namespace {

constexpr double kTiny = 1e-20;  // keeps log10 finite on digital silence

double Db(double power) { return 10 * std::log10(power + kTiny); }

Span Clamp(const Audio& a, Span s) {
    s.end = std::min(s.end, a.Frames());
    s.begin = std::min(s.begin, s.end);
    return s;
}

double MeanPower(const Audio& a, Span s) {
    s = Clamp(a, s);
    if (s.end == s.begin) return 0;
    double sum = 0;
    for (size_t i = s.begin; i < s.end; ++i)
        sum += double(a.left[i]) * a.left[i] + double(a.right[i]) * a.right[i];
    return sum / (2.0 * double(s.end - s.begin));
}

std::vector<double> HannWindow(size_t n) {
    std::vector<double> w(n);
    for (size_t i = 0; i < n; ++i) w[i] = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n));
    return w;
}

// Magnitudes of the first half of the FFT of a Hann-windowed mono mix of `window` frames
// centred on `center`, zero-padded to `fftSize`. One plan and window per size: the measures
// call this thousands of times with two or three sizes.
std::vector<double> Spectrum(const Audio& a, size_t center, size_t window, size_t fftSize) {
    static thread_local std::vector<std::pair<size_t, kissfft<double>>> plans;
    static thread_local std::vector<std::pair<size_t, std::vector<double>>> windows;
    auto plan = std::find_if(plans.begin(), plans.end(), [&](auto& p) { return p.first == fftSize; });
    if (plan == plans.end()) {
        plans.emplace_back(fftSize, kissfft<double>(fftSize, false));
        plan = plans.end() - 1;
    }
    auto win = std::find_if(windows.begin(), windows.end(), [&](auto& w) { return w.first == window; });
    if (win == windows.end()) {
        windows.emplace_back(window, HannWindow(window));
        win = windows.end() - 1;
    }
    std::vector<std::complex<double>> in(fftSize), out(fftSize);
    const long start = long(center) - long(window / 2);
    for (size_t i = 0; i < window; ++i) {
        const long at = start + long(i);
        if (at < 0 || size_t(at) >= a.Frames()) continue;
        in[i] = 0.5 * (double(a.left[size_t(at)]) + a.right[size_t(at)]) * win->second[i];
    }
    plan->second.transform(in.data(), out.data());
    std::vector<double> mag(fftSize / 2);
    for (size_t k = 0; k < mag.size(); ++k) mag[k] = std::abs(out[k]);
    return mag;
}

double Pearson(const std::vector<double>& x, const std::vector<double>& y) {
    const size_t n = std::min(x.size(), y.size());
    if (n < 2) return 0;
    const double mx = std::accumulate(x.begin(), x.begin() + long(n), 0.0) / double(n);
    const double my = std::accumulate(y.begin(), y.begin() + long(n), 0.0) / double(n);
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < n; ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(std::lround(p * double(v.size() - 1)))];
}

}  // namespace

std::optional<Audio> ReadWav(const std::string& path, std::string& why) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        why = sf_strerror(nullptr);
        return std::nullopt;
    }
    if (info.samplerate != kRate || info.channels < 1 || info.channels > 2) {
        why = "not 44.1 kHz mono or stereo";
        sf_close(f);
        return std::nullopt;
    }
    std::vector<float> interleaved(size_t(info.frames) * size_t(info.channels));
    const sf_count_t got = sf_readf_float(f, interleaved.data(), info.frames);
    sf_close(f);
    Audio a;
    a.left.resize(size_t(got));
    a.right.resize(size_t(got));
    const size_t ch = size_t(info.channels);
    for (size_t i = 0; i < size_t(got); ++i) {
        a.left[i] = interleaved[i * ch];
        a.right[i] = interleaved[i * ch + ch - 1];
    }
    return a;
}

Span SpanMs(double fromMs, double toMs) {
    return {size_t(std::max(0.0, fromMs) * kRate / 1000), size_t(std::max(0.0, toMs) * kRate / 1000)};
}

double RmsDb(const Audio& a, Span s) { return Db(MeanPower(a, s)); }

double PeakDb(const Audio& a, Span s) {
    s = Clamp(a, s);
    float peak = 0;
    for (size_t i = s.begin; i < s.end; ++i)
        peak = std::max({peak, std::fabs(a.left[i]), std::fabs(a.right[i])});
    return Db(double(peak) * peak);
}

std::vector<double> EnvelopeDb(const Audio& a, size_t from, size_t to, size_t frame) {
    std::vector<double> env;
    for (size_t at = from; at + frame <= std::min(to, a.Frames()); at += frame)
        env.push_back(Db(MeanPower(a, {at, at + frame})));
    return env;
}

std::vector<double> EnvelopeLinear(const Audio& a, size_t frame) {
    std::vector<double> env;
    for (size_t at = 0; at + frame <= a.Frames(); at += frame)
        env.push_back(std::sqrt(MeanPower(a, {at, at + frame})));
    return env;
}

std::optional<double> ReleaseSeconds(const Audio& a, size_t offAt, size_t until, double dropDb) {
    const size_t before = kRate / 50;  // 20 ms
    const double threshold = RmsDb(a, {offAt - std::min(offAt, before), offAt}) - dropDb;
    // 5 ms frames: fine enough for the 60 ms tolerance, long enough for an RMS of notes
    // around middle C. The last frame above the threshold, not the first below, so that a
    // tremolo's dip or a beating pair of samples does not end the release early.
    const size_t frame = kRate / 200;
    const std::vector<double> env = EnvelopeDb(a, offAt, until, frame);
    size_t lastAbove = env.size();
    for (size_t i = 0; i < env.size(); ++i)
        if (env[i] > threshold) lastAbove = i;
    if (lastAbove == env.size()) return 0.0;  // already below in the first frame
    if (lastAbove + 1 == env.size()) return std::nullopt;
    // Interpolate within the crossing frame pair for a smoother figure than 5 ms steps.
    const double hi = env[lastAbove], lo = env[lastAbove + 1];
    const double frac = hi > lo ? (hi - threshold) / (hi - lo) : 0;
    return (double(lastAbove) + 0.5 + frac) * double(frame) / kRate;
}

std::vector<double> PitchTrack(const Audio& a, Span s, double expectedHz) {
    // 1024 frames (23 ms) around the centre of each 20 ms hop; the zero padding to 16384
    // makes the parabola over three bins of the log spectrum accurate to far below a cent.
    constexpr size_t kWindow = 1024, kFft = 16384;
    const size_t hop = kRate / 50;
    s = Clamp(a, s);
    struct Frame {
        double hz, db;
    };
    std::vector<Frame> frames;
    const double binHz = double(kRate) / kFft;
    const size_t lo = size_t(expectedHz * std::pow(2.0, -3 / 12.0) / binHz);
    const size_t hi = size_t(expectedHz * std::pow(2.0, 3 / 12.0) / binHz) + 1;
    for (size_t c = s.begin + kWindow / 2; c + kWindow / 2 <= s.end; c += hop) {
        const std::vector<double> mag = Spectrum(a, c, kWindow, kFft);
        size_t k = lo;
        for (size_t i = lo; i <= hi && i + 1 < mag.size(); ++i)
            if (mag[i] > mag[k]) k = i;
        if (k <= lo || k >= hi) continue;  // the peak lies outside the band: no fundamental here
        const double l = std::log(mag[k - 1] + kTiny), m = std::log(mag[k] + kTiny),
                     r = std::log(mag[k + 1] + kTiny);
        const double delta = 0.5 * (l - r) / (l - 2 * m + r);
        frames.push_back({(double(k) + delta) * binHz, 20 * std::log10(mag[k] + kTiny)});
    }
    double loudest = -1e9;
    for (const Frame& f : frames) loudest = std::max(loudest, f.db);
    std::vector<double> hz;
    for (const Frame& f : frames)
        if (f.db > loudest - 50) hz.push_back(f.hz);
    return hz;
}

double Median(std::vector<double> v) { return Percentile(std::move(v), 0.5); }

double MedianHz(const std::vector<double>& hz) { return Median(hz); }

double VibratoDepthCents(const std::vector<double>& hz) {
    if (hz.empty()) return 0;
    const double median = MedianHz(hz);
    std::vector<double> cents;
    for (double f : hz) cents.push_back(1200 * std::log2(f / median));
    return 0.5 * (Percentile(cents, 0.95) - Percentile(cents, 0.05));
}

Stereo StereoImage(const Audio& a, Span s) {
    s = Clamp(a, s);
    double ll = 0, rr = 0, lr = 0;
    for (size_t i = s.begin; i < s.end; ++i) {
        ll += double(a.left[i]) * a.left[i];
        rr += double(a.right[i]) * a.right[i];
        lr += double(a.left[i]) * a.right[i];
    }
    Stereo st;
    st.balanceDb = Db(ll) - Db(rr);
    st.correlation = ll > 0 && rr > 0 ? lr / std::sqrt(ll * rr) : 1;
    return st;
}

// The lag in [from, to] frames of `frame` samples at which b's envelope best matches a's.
long BestLag(const Audio& a, const Audio& b, size_t frame, long from, long to) {
    const std::vector<double> ea = EnvelopeLinear(a, frame), eb = EnvelopeLinear(b, frame);
    long best = 0;
    double bestScore = -2;
    for (long lag = from; lag <= to; ++lag) {
        std::vector<double> x, y;  // b, `lag` frames on, against a
        for (size_t i = 0; i < ea.size(); ++i) {
            const long j = long(i) + lag;
            if (j < 0 || size_t(j) >= eb.size()) continue;
            x.push_back(ea[i]);
            y.push_back(eb[size_t(j)]);
        }
        const double score = Pearson(x, y);
        if (score > bestScore) bestScore = score, best = lag;
    }
    return best;
}

long AlignmentFrames(const Audio& a, const Audio& b, double maxLagMs) {
    // 5 ms envelopes over the whole range, then 0.5 ms ones around the best: a fine search
    // over the whole range would cost ten times as many envelope comparisons of ten times
    // the length.
    const size_t coarse = kRate / 200, fine = kRate / 2000;
    const long maxLag = long(maxLagMs / 5);
    const long lag = BestLag(a, b, coarse, -maxLag, maxLag) * long(coarse);
    const long around = lag / long(fine);
    return BestLag(a, b, fine, around - 12, around + 12) * long(fine);
}

Audio Shifted(const Audio& a, long frames) {
    Audio out;
    if (frames >= 0) {
        const size_t n = std::min(size_t(frames), a.Frames());
        out.left.assign(a.left.begin() + long(n), a.left.end());
        out.right.assign(a.right.begin() + long(n), a.right.end());
    } else {
        out.left.assign(size_t(-frames), 0.0f);
        out.right.assign(size_t(-frames), 0.0f);
        out.left.insert(out.left.end(), a.left.begin(), a.left.end());
        out.right.insert(out.right.end(), a.right.begin(), a.right.end());
    }
    return out;
}

double EnvelopeCorrelation(const Audio& a, const Audio& b) {
    return Pearson(EnvelopeLinear(a, kRate / 20), EnvelopeLinear(b, kRate / 20));
}

std::vector<double> Chroma(const Audio& a, size_t center) {
    // 4096 frames (93 ms) resolve 10.8 Hz: neighbouring semitones apart from about 180 Hz
    // up; below that the bins blur over two classes, on both renders alike.
    constexpr size_t kWindow = 4096;
    const std::vector<double> mag = Spectrum(a, center, kWindow, kWindow);
    std::vector<double> chroma(12, 0.0);
    const double binHz = double(kRate) / kWindow;
    for (size_t k = size_t(80 / binHz); k < size_t(5000 / binHz); ++k) {
        const double midi = 69 + 12 * std::log2(double(k) * binHz / 440);
        const long pc = ((std::lround(midi) % 12) + 12) % 12;
        chroma[size_t(pc)] += mag[k] * mag[k];
    }
    return chroma;
}

double ChromaSimilarity(const Audio& a, const Audio& b) {
    const size_t hop = kRate / 20;  // 50 ms
    const std::vector<double> envA = EnvelopeLinear(a, hop);
    double loudest = 0;
    for (double e : envA) loudest = std::max(loudest, e);
    double sum = 0;
    int counted = 0;
    for (size_t i = 0; i < envA.size() && (i + 1) * hop <= b.Frames(); ++i) {
        if (envA[i] < loudest * 0.01) continue;  // 40 dB below the loudest: no music here
        const size_t center = i * hop + hop / 2;
        const std::vector<double> ca = Chroma(a, center), cb = Chroma(b, center);
        double ab = 0, aa = 0, bb = 0;
        for (size_t k = 0; k < 12; ++k) ab += ca[k] * cb[k], aa += ca[k] * ca[k], bb += cb[k] * cb[k];
        sum += aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
        ++counted;
    }
    return counted ? sum / counted : 0;
}

}  // namespace fidelity
