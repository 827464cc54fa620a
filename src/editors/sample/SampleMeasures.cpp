#include "editors/sample/SampleMeasures.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "editors/sample/WavePeaks.h"
#include "editors/spectrum/SpectrumAnalyser.h"
#include "model/NoteNames.h"
#include "platform/ByteIO.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

// The smallest of 1, 2 and 5 times a power of ten that is at least `least`.
double NiceStep(double least) {
    const double decade = std::pow(10.0, std::floor(std::log10(least)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * decade >= least * (1 - 1e-9)) return m * decade;
    return 10 * decade;
}

// The frames of [from, from + size) with a Hann window, as 16-bit little-endian bytes: the
// window keeps a partial's neighbours from spreading, so its bin can be interpolated.
std::vector<uint8_t> WindowedBlock(std::span<const int16_t> frames, int64_t from, int size) {
    std::vector<uint8_t> bytes(static_cast<size_t>(size) * 2);
    for (int i = 0; i < size; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / size);
        const auto v = static_cast<int16_t>(std::lround(frames[size_t(from + i)] * w));
        bytes[size_t(i) * 2] = static_cast<uint8_t>(v & 0xFF);
        bytes[size_t(i) * 2 + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
    return bytes;
}

// A peak's frequency between bins: the parabola through the log powers around its bin.
double RefinedHz(const SpectrumAnalyser& a, double hz) {
    int bin = static_cast<int>(std::lround(hz * a.Size() / a.Rate()));
    bin = std::clamp(bin, 1, a.UsefulBins() - 2);
    // The analyser's peaks are whole hertz, which may round to the bin beside the maximum.
    if (a.Power(bin + 1) > a.Power(bin)) ++bin;
    else if (a.Power(bin - 1) > a.Power(bin)) --bin;
    auto level = [&a](int k) { return std::log(std::max(a.Power(k), 1e-12)); };
    const double l = level(bin - 1), m = level(bin), r = level(bin + 1);
    const double bend = l - 2 * m + r;
    const double shift = bend < 0 ? std::clamp(0.5 * (l - r) / bend, -0.5, 0.5) : 0.0;
    return (bin + shift) * a.Rate() / a.Size();
}

}  // namespace

std::string SecondsText(double seconds, double step) {
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
    if (std::fabs(seconds) < step / 2) seconds = 0;  // no "-0.00"
    return Fmt("%.*f s", decimals, seconds);
}

std::vector<AxisTick> TimeTicks(double start, double span, int rate, int width, int minGap) {
    std::vector<AxisTick> ticks;
    if (rate <= 0 || width <= 0 || !(span > 0) || minGap <= 0) return ticks;
    const double step = NiceStep(minGap * span / rate / width);
    const double minor = step / 5;
    const double from = start / rate, to = (start + span) / rate;
    for (auto i = static_cast<int64_t>(std::ceil(from / minor - 1e-9)); i * minor <= to + 1e-12;
         ++i) {
        AxisTick t;
        t.frame = static_cast<double>(i) * minor * rate;
        t.labelled = i % 5 == 0;
        if (t.labelled) {
            t.seconds = SecondsText(static_cast<double>(i) * minor, step);
            t.frames = std::to_string(std::llround(t.frame));
        }
        ticks.push_back(std::move(t));
    }
    return ticks;
}

std::string LengthText(int64_t frames, int rate) {
    if (rate <= 0) return "-";
    return Fmt("%.3f s (%lld frames)", static_cast<double>(frames) / rate,
               static_cast<long long>(frames));
}

TuningPeak NameFrequency(double hz) {
    TuningPeak p;
    p.hz = hz;
    if (!(hz > 0)) return p;
    const double key = 12.0 * std::log2(hz / 440.0) + 69.0;
    p.key = static_cast<int>(std::lround(key));
    p.cents = (key - p.key) * 100.0;
    return p;
}

std::string TuningPeakText(const TuningPeak& peak) {
    std::string note = NoteName(peak.key);
    note.erase(0, note.find_first_not_of(' '));
    return Fmt("%s %+.0f ct (%.1f Hz)", note.c_str(), peak.cents, peak.hz);
}

std::optional<TuningReading> ReadTuning(const WavePeaks& wave,
                                        const SampleEditing::FramePoints& points, int rate,
                                        int count) {
    const int64_t frames = wave.Frames();
    const int64_t s = std::clamp<int64_t>(points.start, 0, frames);
    const int64_t e = std::clamp<int64_t>(points.end, s, frames);
    const bool loop = points.loop >= s && e - points.loop >= kMinSpectrumPoints;
    const int64_t from = loop ? points.loop : s;
    const int size = SpectrumAnalyser::SizeFor(e - from);
    if (size == 0 || rate <= 0) return std::nullopt;

    TuningReading r;
    r.blockStart = loop ? from : from + (e - from - size) / 2;
    r.size = size;
    r.rate = rate;
    SpectrumAnalyser analyser(size, rate);
    if (!analyser.Analyse(WindowedBlock(wave.Data(), r.blockStart, size), 16, 0))
        return std::nullopt;
    for (int k = 0; k < analyser.UsefulBins(); ++k)
        r.power.push_back(analyser.Power(k));
    for (double hz : analyser.Peaks()) {
        if (!(hz > 0) || static_cast<int>(r.peaks.size()) >= count) break;
        r.peaks.push_back(NameFrequency(RefinedHz(analyser, hz)));
    }
    return r;
}

std::vector<int16_t> PlaybackFrames(std::span<const int16_t> wave,
                                    const SampleEditing::FramePoints& points, bool loop,
                                    int64_t minFrames) {
    const auto frames = static_cast<int64_t>(wave.size());
    const int64_t s = std::clamp<int64_t>(points.start, 0, frames);
    const int64_t e = std::clamp<int64_t>(points.end, s, frames);
    std::vector<int16_t> out(wave.begin() + s, wave.begin() + e);
    if (!loop || points.loop < s || points.loop >= e) return out;
    const std::span<const int16_t> cycle = wave.subspan(size_t(points.loop), size_t(e - points.loop));
    do {
        out.insert(out.end(), cycle.begin(), cycle.end());
    } while (static_cast<int64_t>(out.size()) < minFrames);
    return out;
}

std::vector<uint8_t> PlaybackWav(std::span<const int16_t> left, std::span<const int16_t> right,
                                 int rate) {
    const uint16_t channels = right.empty() ? 1 : 2;
    const size_t frames = std::max(left.size(), right.size());
    const auto dataBytes = static_cast<uint32_t>(frames * channels * 2);
    ByteWriter w(44 + dataBytes);
    w.U32(0x46464952);  // "RIFF"
    w.U32(36 + dataBytes);
    w.U32(0x45564157);  // "WAVE"
    w.U32(0x20746D66);  // "fmt "
    w.U32(16);
    w.U16(1);
    w.U16(channels);
    w.U32(static_cast<uint32_t>(rate));
    w.U32(static_cast<uint32_t>(rate) * channels * 2);
    w.U16(static_cast<uint16_t>(channels * 2));
    w.U16(16);
    w.U32(0x61746164);  // "data"
    w.U32(dataBytes);
    auto at = [](std::span<const int16_t> c, size_t i) { return i < c.size() ? c[i] : int16_t{0}; };
    for (size_t i = 0; i < frames; ++i) {
        w.S16(at(left, i));
        if (channels == 2) w.S16(at(right, i));
    }
    return std::move(w.Data());
}

}  // namespace talmeru
