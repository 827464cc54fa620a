#include "editors/sample/SampleAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace talmeru {

namespace {

bool RisesAt(std::span<const int16_t> x, int64_t i) {
    return i > 0 && i < static_cast<int64_t>(x.size()) && x[size_t(i - 1)] < 0 && x[size_t(i)] >= 0;
}

// The squared difference of the window frames from `from` and those `lag` later.
double Difference(std::span<const int16_t> x, int64_t from, int window, int64_t lag) {
    double sum = 0;
    const int16_t* a = x.data() + from;
    const int16_t* b = a + lag;
    for (int j = 0; j < window; ++j) {
        const double d = static_cast<double>(a[j]) - b[j];
        sum += d * d;
    }
    return sum;
}

// The vertex of the parabola through (-1, a), (0, b), (1, c), as an offset from 0.
double Vertex(double a, double b, double c) {
    const double curve = a - 2 * b + c;
    if (!(curve > 0)) return 0;
    return std::clamp(0.5 * (a - c) / curve, -1.0, 1.0);
}

// The largest magnitude of count frames from `from`: over a window of a period or more it
// follows the level without the waver of a sum over part of a period.
double Peak(std::span<const int16_t> x, int64_t from, int64_t count) {
    int peak = 0;
    for (int64_t i = from; i < from + count; ++i)
        peak = std::max(peak, std::abs(int(x[size_t(i)])));
    return peak;
}

}  // namespace

std::optional<int64_t> NearestZeroCrossing(std::span<const int16_t> frames, int64_t at,
                                           int64_t radius) {
    for (int64_t d = 0; d <= radius; ++d) {
        if (RisesAt(frames, at - d)) return at - d;
        if (RisesAt(frames, at + d)) return at + d;
    }
    return std::nullopt;
}

double JoinScore(std::span<const int16_t> frames, int64_t a, int64_t b, int window) {
    const auto n = static_cast<int64_t>(frames.size());
    if (window <= 0 || a < window || b < window || a > n || b > n) return 0;
    double ab = 0, aa = 0, bb = 0;
    const int16_t* pa = frames.data() + (a - window);
    const int16_t* pb = frames.data() + (b - window);
    for (int j = 0; j < window; ++j) {
        const double u = pa[j], v = pb[j];
        ab += u * v;
        aa += u * u;
        bb += v * v;
    }
    if (aa <= 0 || bb <= 0) return 0;
    // The correlation (ab / sqrt(aa bb)) times the ratio of the two levels (sqrt of the
    // smaller energy over the larger): a join from a quieter stretch into a louder one steps.
    return ab / std::max(aa, bb);
}

std::optional<LoopProposal> FindLoop(std::span<const int16_t> frames, int64_t first,
                                     int64_t loopStart, int64_t end, const LoopSearch& search) {
    const auto n = static_cast<int64_t>(frames.size());
    const int w = search.window;
    if (w <= 0 || n < 2 * int64_t{w}) return std::nullopt;
    end = std::clamp<int64_t>(end, w, n);
    first = std::clamp<int64_t>(first, 0, n);

    // Ends at rising zero crossings, nearest first: the join then starts from silence.
    const int64_t reach = std::max<int64_t>(1, search.radius / 4);
    std::vector<int64_t> ends;
    for (int64_t d = 0; d <= reach && ends.size() < 16; ++d) {
        for (int64_t e : {end - d, end + d}) {
            if (e >= w && e <= n && RisesAt(frames, e) &&
                std::find(ends.begin(), ends.end(), e) == ends.end())
                ends.push_back(e);
        }
    }
    if (ends.empty()) ends.push_back(end);

    std::optional<LoopProposal> best;
    for (int64_t e : ends) {
        const int64_t low = std::max({first, int64_t{w}, loopStart - search.radius});
        const int64_t high = std::min(loopStart + search.radius, e - search.minLength);
        if (high < low) continue;
        // Nearest the current loop start first, so that equal matches keep it close.
        const int64_t centre = std::clamp(loopStart, low, high);
        for (int64_t d = 0; centre - d >= low || centre + d <= high; ++d) {
            const int64_t tries[2] = {centre - d, centre + d};
            for (int k = 0; k < (d == 0 ? 1 : 2); ++k) {
                const int64_t s = tries[k];
                if (s < low || s > high) continue;
                const double score = JoinScore(frames, e, s, w);
                if (!best || score > best->score + 1e-9) best = LoopProposal{s, e, score};
            }
        }
    }
    return best;
}

int64_t SteadyEnd(std::span<const int16_t> x, int64_t first, int64_t end, int window) {
    std::vector<double> levels;
    for (int64_t at = first; at + window <= end; at += window)
        levels.push_back(Peak(x, at, window));
    if (levels.size() < 3) return end;
    std::nth_element(levels.begin(), levels.begin() + std::ptrdiff_t(levels.size() / 2),
                     levels.end());
    const double steady = levels[levels.size() / 2];
    if (!(steady > 0)) return end;
    const int64_t step = std::max(1, window / 4);
    int64_t e = end;
    while (e - window - step >= first && Peak(x, e - window, window) < 0.95 * steady)
        e -= step;
    return e;
}

std::optional<double> DetectPitch(std::span<const int16_t> frames, int64_t from, int64_t to,
                                  double rate, double minHz, double maxHz) {
    from = std::clamp<int64_t>(from, 0, static_cast<int64_t>(frames.size()));
    to = std::clamp<int64_t>(to, from, static_cast<int64_t>(frames.size()));
    const int64_t n = to - from;
    if (!(rate > 0) || !(minHz > 0) || !(maxHz > minHz)) return std::nullopt;
    const int64_t lagMin = std::max<int64_t>(2, static_cast<int64_t>(rate / maxHz));
    int64_t lagMax = static_cast<int64_t>(std::ceil(rate / minHz));
    lagMax = std::min(lagMax, n / 2);
    if (lagMax < lagMin + 2) return std::nullopt;
    const int window = static_cast<int>(std::min<int64_t>(n - lagMax - 1, 4096));
    if (window < lagMin) return std::nullopt;

    // YIN: the cumulative-mean-normalised difference; the first dip under the threshold is
    // the period, so that a strong second harmonic does not halve it.
    std::vector<double> d(size_t(lagMax + 2), 0.0), norm(size_t(lagMax + 2), 1.0);
    double running = 0;
    for (int64_t lag = 1; lag <= lagMax + 1; ++lag) {
        d[size_t(lag)] = Difference(frames, from, window, lag);
        running += d[size_t(lag)];
        norm[size_t(lag)] = running > 0 ? d[size_t(lag)] * lag / running : 1.0;
    }
    constexpr double kThreshold = 0.15;
    int64_t period = -1;
    for (int64_t lag = lagMin; lag <= lagMax; ++lag) {
        if (norm[size_t(lag)] < kThreshold) {
            while (lag + 1 <= lagMax && norm[size_t(lag + 1)] < norm[size_t(lag)])
                ++lag;
            period = lag;
            break;
        }
    }
    if (period < 0) {
        const auto at = std::min_element(norm.begin() + lagMin, norm.begin() + lagMax + 1);
        if (*at > 0.4) return std::nullopt;
        period = at - norm.begin();
    }
    double estimate = static_cast<double>(period) +
                      Vertex(d[size_t(period - 1)], d[size_t(period)], d[size_t(period + 1)]);

    // The dip near the furthest whole number of periods that fits pins the period down much
    // finer: its error is shared among all those periods.
    const int64_t room = n - window - 2;
    const auto multiple = static_cast<int64_t>(static_cast<double>(room) / estimate);
    if (multiple >= 2) {
        int64_t lag = std::llround(estimate * static_cast<double>(multiple));
        lag = std::clamp<int64_t>(lag, 2, room);
        auto at = [&](int64_t l) { return Difference(frames, from, window, l); };
        double here = at(lag);
        // Walk down to the local minimum (a step or two at most).
        for (int step = 0; step < 8; ++step) {
            const double left = lag > 2 ? at(lag - 1) : here,
                         right = lag < room ? at(lag + 1) : here;
            if (left < here && left <= right) {
                --lag;
                here = left;
            } else if (right < here) {
                ++lag;
                here = right;
            } else {
                estimate = (static_cast<double>(lag) + Vertex(left, here, right)) /
                           static_cast<double>(multiple);
                break;
            }
        }
    }
    return rate / estimate;
}

double KeyOfFrequency(double hz) {
    return 69.0 + 12.0 * std::log2(hz / 440.0);
}

}  // namespace talmeru
