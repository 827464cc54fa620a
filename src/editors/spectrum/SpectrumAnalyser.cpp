#include "editors/spectrum/SpectrumAnalyser.h"

#include <kissfft.hh>

#include <algorithm>
#include <cmath>
#include <complex>

#include "model/NoteNames.h"
#include "model/WaveData.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

constexpr std::array<int, 3> kSizes = {8192, 4096, 2048};
constexpr int kGridStepHz = 500;
constexpr int kGridTopHz = 9500;

int Round(double v) {
    return static_cast<int>(std::lround(v));
}

// Sample point i of 8-bit signed or 16-bit little-endian signed data.
double PointAt(std::span<const uint8_t> data, int bits, size_t i) {
    if (bits == 8) return static_cast<int8_t>(data[i]);
    const auto lo = data[2 * i];
    const auto hi = data[2 * i + 1];
    return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
}

}  // namespace

struct SpectrumAnalyser::Transform {
    explicit Transform(int n) : fft(static_cast<size_t>(n), false), in(size_t(n)), out(size_t(n)) {}
    kissfft<double> fft;
    std::vector<std::complex<double>> in;
    std::vector<std::complex<double>> out;
};

SpectrumAnalyser::SpectrumAnalyser(int size, int rate)
    : size_(std::max(size, 2)),
      rate_(std::max(rate, 1)),
      transform_(std::make_unique<Transform>(size_)),
      power_(static_cast<size_t>(size_), 0.0) {}

SpectrumAnalyser::~SpectrumAnalyser() = default;

int SpectrumAnalyser::SizeFor(int64_t points) {
    for (int n : kSizes)
        if (points >= n) return n;
    return 0;
}

int64_t SpectrumAnalyser::StartPoint(int64_t points, int size, int offsetMs, int rate) {
    int64_t p = int64_t{offsetMs} * rate / 1000;
    if (p + size > points) p = points - size;
    return std::max<int64_t>(p, 0);
}

bool SpectrumAnalyser::Analyse(std::span<const uint8_t> data, int bits, int64_t start) {
    bits = bits == 8 ? 8 : 16;
    const size_t bytes = static_cast<size_t>(bits / 8);
    if (start < 0 ||
        (static_cast<size_t>(start) + static_cast<size_t>(size_)) * bytes > data.size())
        return false;
    const auto first = static_cast<size_t>(start);
    for (size_t i = 0; i < transform_->in.size(); ++i)
        transform_->in[i] = {PointAt(data, bits, first + i), 0.0};
    transform_->fft.transform(transform_->in.data(), transform_->out.data());
    const double norm = std::sqrt(static_cast<double>(size_));
    for (size_t k = 0; k < power_.size(); ++k)
        power_[k] = std::norm(transform_->out[k]) / norm;
    FindPeaks(kPeakSearchHz);
    return true;
}

double SpectrumAnalyser::Power(int bin) const {
    return bin >= 0 && bin < size_ ? power_[static_cast<size_t>(bin)] : 0.0;
}

double SpectrumAnalyser::HighestPower(int count) const {
    count = std::min(count, size_);
    if (count <= 0) return 0.0;
    return *std::max_element(power_.begin(), power_.begin() + count);
}

int SpectrumAnalyser::BinCount(double hz) const {
    const double bins = static_cast<double>(size_) * hz / rate_;
    if (!(bins > 0)) return 0;
    return static_cast<int>(std::min<double>(std::round(bins), UsefulBins()));
}

void SpectrumAnalyser::FindPeaks(double limitHz) {
    peaks_.fill(0.0);
    // With the count at most N/2 + 1, power(k + 1) below stays inside the array.
    const int count = BinCount(limitHz);
    const double threshold = HighestPower(count) * 0.01;
    std::vector<int> found;
    double previous = -1.0;
    for (int k = 1; k < count && found.size() < kSpectrumPeaks; ++k) {
        const double diff = Power(k + 1) - Power(k);
        if (diff <= 0 && previous >= 0 && Power(k) > threshold) found.push_back(k);
        previous = diff;
    }
    // Strongest first; equal powers keep their bin order.
    std::stable_sort(found.begin(), found.end(),
                     [this](int a, int b) { return Power(a) > Power(b); });
    for (size_t i = 0; i < found.size(); ++i)
        peaks_[i] = static_cast<double>(int64_t{found[i]} * rate_ / size_);
}

int KeyForFrequency(double hz) {
    const double key = 12.0 * std::log2(hz / 440.0) + 69.0;
    // Only positive frequencies are named; the clamp keeps anything else harmless.
    return static_cast<int>(std::trunc(std::isfinite(key) ? std::clamp(key, -1200.0, 1200.0) : 0));
}

std::string PeakLabel(double hz) {
    return Fmt("%.4g Hz = %s", hz, NoteName(KeyForFrequency(hz)).c_str());
}

bool SpectrumDisplay::Pass(std::span<const uint8_t> data, int64_t points, int offsetMs, int rate,
                           int bits) {
    const int n = SpectrumAnalyser::SizeFor(points);
    const int64_t bytes = bits == 8 ? 1 : 2;
    if (n == 0 || rate <= 0 || points > static_cast<int64_t>(data.size()) / bytes) return false;
    // The same wave always asks for the same size and rate; anything else gets a fresh one.
    if (!analyser_ || analyser_->Size() != n || analyser_->Rate() != rate)
        analyser_ = std::make_unique<SpectrumAnalyser>(n, rate);
    const int64_t start = SpectrumAnalyser::StartPoint(points, n, offsetMs, rate);
    if (!analyser_->Analyse(data, bits, start)) return false;
    start_ = start;
    return true;
}

int SpectrumDisplay::PassWave(WaveData& wave, int offsetMs) {
    if (wave.IsRom() || !wave.valid) return 1;
    const bool wasLoaded = wave.loaded;
    if (wave.LoadData() != 0) return 1;
    const int bytes = wave.BytesPerFrame();
    const bool ok = Pass(wave.data, static_cast<int64_t>(wave.data.size()) / bytes, offsetMs,
                         wave.SampleRate(), bytes * 8);
    if (!wasLoaded) wave.ReleaseData();
    return ok ? 0 : 2;
}

int SpectrumDisplay::PowerToY(double m, double top, int h) {
    const double floor = std::log(kSpectrumFloor);
    double above = m > 0 ? (std::log(m) - floor) / (std::log(top) - floor) : 0.0;
    if (!(above > 0)) above = 0.0;
    above = std::min(above, 1.0);
    return static_cast<int>(std::trunc(h * (1.0 - above))) + 4;
}

SpectrumPicture SpectrumDisplay::Draw(int width, int height) const {
    SpectrumPicture pic;
    const int h = height - 8;
    if (!analyser_ || width < 2 || h < 1 || rangeHz_ <= 0) return pic;
    const SpectrumAnalyser& a = *analyser_;
    const double top = a.HighestPower(a.BinCount(rangeHz_));
    if (!(top > kSpectrumFloor)) return pic;

    const double binsPerColumn = static_cast<double>(a.Size()) * rangeHz_ / width / a.Rate();
    const int last = a.UsefulBins() - 1;
    pic.trace.reserve(static_cast<size_t>(width));
    pic.trace.push_back({0, h / 2 + 4});
    for (int x = 1; x < width; ++x) {
        const int from = Round(binsPerColumn * (x - 0.5));
        const int to = std::min(Round(binsPerColumn * (x + 0.5)), last);
        double m = 0.0;
        for (int k = from; k <= to; ++k)
            m = std::max(m, a.Power(k));
        pic.trace.push_back({x, PowerToY(m, top, h)});
    }

    for (int f = kGridStepHz; f <= kGridTopHz; f += kGridStepHz) {
        const int x = Round(static_cast<double>(f) / rangeHz_ * width);
        if (x > width) break;
        pic.grid.push_back({{x, 0}, {x, h}});
        pic.gridLabels.push_back({{x + 2, h - 16}, Fmt("%d Hz", f)});
    }

    for (int i = 0; i < kSpectrumPeaks; ++i) {
        const double hz = a.Peaks()[static_cast<size_t>(i)];
        if (hz <= 0) continue;
        const int x = Round(hz / rangeHz_ * width);
        pic.marks.push_back({{x, 0}, {x, 35 + 20 * i}});
        pic.markLabels.push_back({{x, 40 + 20 * i}, PeakLabel(hz)});
    }
    return pic;
}

}  // namespace talmeru
