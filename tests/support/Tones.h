#pragma once
// Sample points of sine mixtures, for the spectrum's tests and benchmark.
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace talmeru::test {

// A sine that completes `cycles` periods in every `period` points, with its amplitude.
struct Tone {
    double cycles;
    double amplitude;
    int period = 8192;
};

inline std::vector<double> Mix(int points, const std::vector<Tone>& tones, int from = 0) {
    std::vector<double> v(static_cast<size_t>(points), 0.0);
    for (int i = from; i < points; ++i)
        for (const Tone& t : tones)
            v[size_t(i)] +=
                t.amplitude * std::sin(2 * std::numbers::pi * t.cycles * (i - from) / t.period);
    return v;
}

// 16-bit little-endian points.
inline std::vector<uint8_t> As16(const std::vector<double>& v) {
    std::vector<uint8_t> out;
    for (double x : v) {
        const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(x)));
        out.push_back(static_cast<uint8_t>(s));
        out.push_back(static_cast<uint8_t>(s >> 8));
    }
    return out;
}

// 8-bit signed points.
inline std::vector<uint8_t> As8(const std::vector<double>& v) {
    std::vector<uint8_t> out;
    for (double x : v)
        out.push_back(static_cast<uint8_t>(static_cast<int8_t>(std::lround(x))));
    return out;
}

}  // namespace talmeru::test
