#include "emulator/RomWaves.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <future>
#include <numbers>
#include <span>
#include <string_view>

#include "platform/RomDirectory.h"

namespace talmeru::emulator {

namespace {

constexpr double kRate = kRomSampleRate;
constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kPeak = 101;  // of 127
// Waves that keymaps of the factory bank play 6-8 dB down are made hotter, so that their
// programs stay near the others' level.
constexpr double kHotPeak = 119;
constexpr std::string_view kHotWaves[] = {"elec piano", "Synth Vox", "-Saw"};
constexpr double kTopPartialHz = 16000;  // higher partials would alias a few keys up
// A loop that cannot hold a whole number of periods this close to its root note does not
// sustain: the note dies away before it rather than sounding out of tune.
constexpr double kMaxLoopDetuneCents = 20;
// A drum whose loop is silent is cut off there, gone a tenth of a second later.
constexpr double kCutDbPerSecond = 600;

double MidiHz(int key) {
    return 440 * std::exp2((key - 69) / 12.0);
}

int Frames(double ms) {
    return int(ms * kRate / 1000);
}

// The same noise on every machine and every start (std's distributions are not).
class Noise {
  public:
    explicit Noise(uint32_t seed) : state_(seed * 2654435761u | 1u) {}
    uint32_t Bits() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    float Next() { return float(int32_t(Bits())) * (1.0f / 2147483648.0f); }

  private:
    uint32_t state_;
};

// White noise through two-pole high and low passes: a band of lowHz..highHz.
class BandNoise {
  public:
    BandNoise(uint32_t seed, double lowHz, double highHz)
        : noise_(seed),
          high_(Coefficient(std::max(lowHz, 30.0))),
          low_(highHz > 0 ? Coefficient(highHz) : 1) {}
    float Next() {
        double x = noise_.Next();
        h1_ += high_ * (x - h1_);
        x -= h1_;
        h2_ += high_ * (x - h2_);
        x -= h2_;
        l1_ += low_ * (x - l1_);
        l2_ += low_ * (l1_ - l2_);
        return float(l2_);
    }

  private:
    static double Coefficient(double hz) {
        return 1 - std::exp(-kTwoPi * std::min(hz, 20000.0) / kRate);
    }
    Noise noise_;
    double high_, low_;
    double h1_ = 0, h2_ = 0, l1_ = 0, l2_ = 0;
};

// One region, in frames from its start. From loopStart on, the sound is silent or periodic.
struct Layout {
    int length;
    int loopStart;  // == length when the region does not loop
    int loopLength;
    bool Looped() const { return loopStart < length; }
};

Layout LayoutOf(const RomRegion& r) {
    const int length = r.end - r.start + 1;
    const bool looped = r.loopStart > r.start && r.loopStart < r.end;
    const int loopStart = looped ? r.loopStart - r.start : length;
    return {length, loopStart, length - loopStart};
}

// ---- pitched regions

struct Spectrum {
    double tilt = 1;     // harmonic n at n^-tilt
    double even = 1;     // weight of the even harmonics
    double pluck = 0;    // where a string is plucked or struck (0..0.5): notches harmonics
    int harmonics = 24;  // at most
};

struct Formants {  // resonances: nasal, brassy or vocal colour
    double hz = 0, gain = 0, hz2 = 0, gain2 = 0;
};

struct Contour {
    double attackMs = 2;
    double hold = 0.8;     // level in the loop, of the attack's
    double damping = 0.3;  // harmonic n keeps n^-damping of hold: the high ones die first
    double decay = 3;      // steepness of the fall towards the loop
};

struct Burst {  // noise: a hammer, pick, breath or bow; a drum's head, snares or cymbal
    double level = 0, ms = 0, lowHz = 0, highHz = 0;
};

struct Partial {       // inharmonic, or harmonic with a contour of its own
    double ratio = 0;  // of the root's frequency; 0 ends the list
    double amp = 0;
    double hold = 0;  // of the contour's hold
};

// How a struck or plucked tone falls while its key is held, beyond the wave's own fall to its
// loop, in dB a second at middle C (an octave up falls 1.6 times as fast): `early` for
// earlySeconds, then `late`. None: the tone sustains.
struct Fade {
    double early = 0, earlySeconds = 0, late = 0;
};

enum class Kind { Tone, Crowd, Chirps };

struct ToneRecipe {
    std::string_view match;  // part of the region name
    Spectrum spectrum{};
    Formants formants{};
    Contour contour{};
    Burst burst{};
    std::array<Partial, 6> extra{};
    Kind kind = Kind::Tone;
    bool sinePhase = false;  // every partial starts at zero: the pure waves
    Fade fade{};
};

constexpr Spectrum kPure{1, 1, 0, 1};  // a fundamental alone, for the extra partials to join
constexpr Contour kSteady{0, 1, 0, 3};

// Families of instruments, first match wins; the last entry takes any other pitched region.
// clang-format off
constexpr ToneRecipe kTones[] = {
    {.match = "Sine Wave", .spectrum = kPure, .contour = kSteady, .sinePhase = true},
    {.match = "-Saw", .spectrum = {1, 1, 0, 400}, .contour = kSteady, .sinePhase = true},
    {.match = "-Square", .spectrum = {1, 0, 0, 400}, .contour = kSteady, .sinePhase = true},
    {.match = "EP Wave", .spectrum = {2.5, 1, 0, 4}, .contour = {1, 0.8, 0, 2},
     .extra = {{{6.8, 0.3, 0.3}}}},
    {.match = "Bell Wave", .spectrum = kPure, .contour = {1, 0.7, 0, 3},
     .extra = {{{1.19, 0.35, 0.6}, {2, 0.5, 0.8}, {2.52, 0.3, 0.5}, {3.01, 0.2, 0.4},
                {4.17, 0.15, 0.3}, {5.43, 0.1, 0.2}}}, .fade = {5, 1, 3}},
    {.match = "elec piano", .spectrum = {2.5, 1, 0, 4}, .contour = {1, 0.5, 0.3, 3},
     .extra = {{{6.8, 0.35, 0.1}}}, .fade = {6, 1, 3}},
    {.match = "gm piano", .spectrum = {1.1, 1, 0.12}, .contour = {2, 0.45, 0.6, 3.5},
     .burst = {0.25, 6, 100, 2500}, .fade = {10, 1, 4}},
    {.match = "Perc Organ", .spectrum = kPure, .contour = kSteady, .burst = {0.1, 2, 2000},
     .extra = {{{2, 0.7, 1}, {3, 0.9, 0}, {4, 0.4, 1}, {6, 0.2, 1}, {8, 0.15, 1}}}},
    {.match = "Organ 3", .spectrum = kPure, .contour = kSteady, .burst = {0.1, 2, 2000},
     .extra = {{{2, 1, 1}, {3, 0.8, 1}, {4, 0.6, 1}, {6, 0.5, 1}, {8, 0.5, 1}}}},
    {.match = "Drawbar Organ", .spectrum = kPure, .contour = kSteady, .burst = {0.1, 2, 2000},
     .extra = {{{2, 0.8, 1}, {3, 0.6, 1}, {4, 0.5, 1}, {6, 0.3, 1}, {8, 0.25, 1}}}},
    {.match = "Church Organ", .spectrum = {1.2, 1, 0, 16}, .formants = {2000, 1},
     .contour = {40, 1, 0}, .burst = {0.05, 20, 1000, 6000}},
    // One sample, on C6, plays every key: its fall suits the octaves below it, where chimes are.
    {.match = "Tubular Bells", .spectrum = kPure, .contour = {1, 0.3, 0},
     .extra = {{{2, 0.6, 1}, {3, 0.5, 0.7}, {4.2, 0.35, 0.4}, {5.4, 0.25, 0.2}, {6.8, 0.15, 0}}},
     .fade = {2, 1, 1.2}},
    {.match = "gm french", .spectrum = {1.6}, .formants = {500, 2}, .contour = {35, 0.8, 0.2}},
    {.match = "Muted Trumpet", .spectrum = {0.5}, .formants = {1800, 5}, .contour = {20, 0.8, 0.2}},
    {.match = "gm trumpet", .spectrum = {0.6}, .formants = {1300, 3}, .contour = {25, 0.8, 0.2}},
    {.match = "gm trombone", .spectrum = {0.8}, .formants = {700, 2.5}, .contour = {30, 0.8, 0.2}},
    {.match = "Brass", .spectrum = {0.6}, .formants = {1000, 2}, .contour = {25, 0.8, 0.2}},
    {.match = "gm strings", .spectrum = {1}, .formants = {1500, 1}, .contour = {90, 0.9, 0.05},
     .burst = {0.05, 40, 1000, 8000}},
    {.match = "gm violin", .spectrum = {0.9}, .formants = {3000, 2}, .contour = {80, 0.85, 0.1},
     .burst = {0.08, 30, 1500, 9000}},
    {.match = "gm viola", .spectrum = {0.9}, .formants = {2000, 2}, .contour = {80, 0.85, 0.1},
     .burst = {0.08, 30, 1000, 7000}},
    {.match = "gm cello", .spectrum = {1}, .formants = {1000, 2}, .contour = {80, 0.85, 0.1},
     .burst = {0.08, 30, 500, 5000}},
    {.match = "double bass", .spectrum = {1.1}, .formants = {400, 1.5}, .contour = {60, 0.8}},
    {.match = "Synth String", .spectrum = {1}, .contour = {80, 1, 0}},
    {.match = "Pizzicato", .spectrum = {1.2, 1, 0.2}, .contour = {1, 0.3, 0.5, 4},
     .fade = {25, 1, 15}},
    {.match = "steel string", .spectrum = {0.8, 1, 0.2}, .contour = {1, 0.35, 0.6},
     .burst = {0.1, 3, 2000}, .fade = {12, 0.5, 6}},
    {.match = "jazz guitar", .spectrum = {1.4, 1, 0.25}, .contour = {1, 0.4, 0.5},
     .fade = {10, 0.5, 5}},
    {.match = "nylon guitar", .spectrum = {1.2, 1, 0.18}, .contour = {1, 0.35, 0.6},
     .fade = {14, 0.5, 7}},
    {.match = "Strat", .spectrum = {0.9, 1, 0.15}, .contour = {1, 0.45, 0.4}, .fade = {8, 0.5, 4}},
    {.match = "Dist Gtr", .spectrum = {0.5}, .formants = {1500, 2}, .contour = {2, 0.8, 0.1},
     .burst = {0.1, 3, 1500}, .fade = {3, 1, 1.5}},
    {.match = "GtrHarm", .spectrum = {3, 1, 0, 3}, .contour = {1, 0.4, 0},
     .burst = {0.1, 3, 2000}, .fade = {8, 1, 4}},
    // Basses: their samples lie two octaves down, where the fall is slower.
    {.match = "acoustic bass", .spectrum = {1.4, 1, 0.2, 16}, .contour = {2, 0.45, 0.4},
     .fade = {16, 0.5, 8}},
    {.match = "pick bass", .spectrum = {1, 1, 0.1}, .contour = {1, 0.45, 0.4},
     .burst = {0.15, 3, 1000}, .fade = {16, 0.5, 8}},
    {.match = "slap bass", .spectrum = {0.7, 1, 0.08}, .contour = {1, 0.4, 0.4},
     .burst = {0.3, 4, 1500}, .fade = {20, 0.5, 10}},
    {.match = "fretless bass", .spectrum = {1.8, 1, 0, 12}, .contour = {8, 0.5, 0.3},
     .fade = {10, 0.5, 5}},
    {.match = "Plucked Harp", .spectrum = {1.5, 1, 0.3}, .contour = {1, 0.35, 0.5},
     .fade = {10, 1, 6}},
    {.match = "Harpsichord", .spectrum = {0.4, 1, 0.1}, .contour = {1, 0.35, 0.25},
     .burst = {0.1, 2, 3000}, .fade = {8, 0.5, 5}},
    {.match = "Clav", .spectrum = {0.5, 1, 0.05}, .formants = {2000, 2}, .contour = {1, 0.4, 0.35},
     .fade = {12, 0.5, 6}},
    {.match = "Koto", .spectrum = {0.8, 1, 0.15}, .formants = {1800, 1.5},
     .contour = {1, 0.35, 0.35}, .fade = {12, 0.5, 6}},
    {.match = "Banjo", .spectrum = {0.5, 1, 0.08}, .formants = {2000, 2},
     .contour = {1, 0.4, 0.35}, .burst = {0.1, 2, 2000}, .fade = {20, 0.5, 10}},
    {.match = "gm vibes", .spectrum = kPure, .contour = {1, 0.5, 0},
     .extra = {{{4, 0.3, 0}, {10, 0.1, 0}}}, .fade = {6, 1, 4}},
    {.match = "Marimba", .spectrum = kPure, .contour = {1, 0.35, 0, 5},
     .extra = {{{4, 0.3, 0}, {9.9, 0.08, 0}}}, .fade = {20, 1, 15}},
    {.match = "gm glock", .spectrum = kPure, .contour = {1, 0.4, 0, 3},
     .extra = {{{2.76, 0.5, 0}, {5.4, 0.25, 0}, {8.93, 0.1, 0}}}, .fade = {4, 1, 3}},
    {.match = "gm celeste", .spectrum = kPure, .contour = {1, 0.35, 0, 3},
     .extra = {{{2, 0.3, 0.5}, {3, 0.1, 0.3}, {4.1, 0.1, 0}}}, .fade = {10, 1, 6}},
    {.match = "Kalimba", .spectrum = kPure, .contour = {1, 0.3, 0},
     .extra = {{{6.1, 0.3, 0}, {12.5, 0.1, 0}}}, .fade = {15, 1, 10}},
    {.match = "SteelDrum", .spectrum = {1, 1, 0, 3}, .contour = {1, 0.45, 0.2},
     .extra = {{{4.2, 0.15, 0}, {1.5, 0.1, 0}}}, .fade = {8, 1, 5}},
    {.match = "gm timpani", .spectrum = kPure, .contour = {2, 0.45, 0},
     .burst = {0.4, 15, 60, 1500},
     .extra = {{{1.5, 0.6, 0.6}, {1.98, 0.4, 0.4}, {2.44, 0.25, 0.2}, {2.9, 0.15, 0}}},
     .fade = {8, 1, 6}},
    {.match = "Icerain", .spectrum = kPure, .contour = {1, 0.8, 0},
     .extra = {{{2.3, 0.6, 0.7}, {3.7, 0.5, 0.5}, {5.1, 0.4, 0.3}, {6.9, 0.3, 0.2}}}},
    // The stab of brass and strings: a chord struck at once that dies away in a second or two.
    {.match = "Orch Hit", .spectrum = {0.8}, .formants = {1000, 2}, .contour = {3, 0.6, 0.2},
     .burst = {0.2, 10, 300, 6000},
     .extra = {{{1.5, 0.7, 1}, {2.52, 0.4, 0}, {3, 0.4, 1}, {0.5, 0.6, 1}}}, .fade = {25, 0.5, 15}},
    {.match = "Telephone", .spectrum = {0.5, 1, 0, 12}, .formants = {1500, 3}, .contour = {1, 0.9}},
    {.match = "gm flute", .spectrum = {2.5, 1, 0, 5}, .contour = {40, 0.85, 0},
     .burst = {0.15, 50, 1000, 8000}},
    {.match = "Ocarina", .spectrum = {4, 1, 0, 3}, .contour = {30, 0.9, 0}},
    {.match = "Panflute", .spectrum = {2.5, 1, 0, 4}, .contour = {30, 0.8, 0},
     .burst = {0.3, 40, 800, 6000}},
    {.match = "Bottle", .spectrum = {3.5, 1, 0, 3}, .contour = {40, 0.8, 0},
     .burst = {0.4, 50, 500, 4000}},
    {.match = "Chiff", .spectrum = {2, 1, 0, 6}, .contour = {15, 0.9, 0},
     .burst = {0.6, 25, 1000, 10000}},
    {.match = "gm oboe", .spectrum = {0.6}, .formants = {1400, 3}, .contour = {20, 0.85, 0.1}},
    {.match = "gm clarinet", .spectrum = {0.9, 0.12}, .contour = {20, 0.85, 0.1}},
    {.match = "gm ehorn", .spectrum = {0.8}, .formants = {1000, 2.5}, .contour = {25, 0.85, 0.1}},
    {.match = "gm bassoon", .spectrum = {0.7}, .formants = {500, 3}, .contour = {25, 0.85, 0.1}},
    {.match = "Tenor Sax", .spectrum = {0.6}, .formants = {600, 2, 1600, 2},
     .contour = {25, 0.85, 0.1}, .burst = {0.1, 20, 1500, 8000}},
    {.match = "Reed", .spectrum = {0.5, 0.8}, .formants = {1500, 1.5}, .contour = {20, 1, 0}},
    {.match = "Accordion", .spectrum = {0.4, 0.9}, .formants = {1500, 2}, .contour = {20, 1, 0}},
    {.match = "Harmonica", .spectrum = {0.5}, .formants = {1200, 2, 2500, 1.5},
     .contour = {30, 0.95, 0}, .burst = {0.08, 20, 1000, 6000}},
    {.match = "Bagpipe", .spectrum = {0.3}, .formants = {1200, 3}, .contour = {30, 1, 0}},
    {.match = "Vocal Ahhs", .spectrum = {1.3}, .formants = {700, 5, 1200, 3}, .contour = {80, 0.9, 0}},
    {.match = "Synth Vox", .spectrum = {1.2}, .formants = {600, 4, 1000, 3}, .contour = {60, 1, 0}},
    {.match = "Doos", .spectrum = {1.5}, .formants = {300, 4, 870, 2}, .contour = {30, 0.7, 0.1}},
    {.match = "Spectral Wave", .spectrum = {0.7}, .formants = {2500, 4}, .contour = {5, 1, 0}},
    {.match = "Fret Noise", .spectrum = {1, 1, 0, 0}, .contour = {0, 0}, .burst = {1, 40, 1000, 3000}},
    {.match = "Gunshot", .spectrum = {1, 1, 0, 0}, .contour = {0, 0}, .burst = {1, 50, 60, 3000}},
    {.match = "Applause", .kind = Kind::Crowd},
    {.match = "Bird", .kind = Kind::Chirps},
    {.match = ""},
};
// clang-format on

const ToneRecipe& ToneFor(std::string_view name) {
    for (const ToneRecipe& t : kTones)
        if (name.find(t.match) != std::string_view::npos) return t;
    return kTones[std::size(kTones) - 1];
}

double Cents(double hz, double reference) {
    return 1200 * std::log2(hz / reference);
}

// The partials are read from one table of a whole number of cycles of the root: the loop
// itself when the note sustains, so that the loop repeats exactly.
struct Cycle {
    int frames;
    int cycles;
    bool sustains;
};

Cycle FitCycle(double hz, const Layout& l) {
    if (l.Looped()) {
        const int cycles = std::max(1, int(std::lround(l.loopLength * hz / kRate)));
        if (std::abs(Cents(cycles * kRate / l.loopLength, hz)) <= kMaxLoopDetuneCents)
            return {l.loopLength, cycles, true};
    }
    // Nothing sustains: any table length serves, so take the one closest to the root.
    Cycle best{1 << 14, 1, false};
    double bestError = 1;
    for (int frames = 1 << 14; frames < 1 << 15; ++frames) {
        const double exact = frames * hz / kRate;
        const double error = std::abs(exact - std::round(exact)) / exact;
        if (error < bestError) {
            bestError = error;
            best = {frames, int(std::lround(exact)), false};
        }
    }
    return best;
}

std::vector<float> SineTable(int frames) {
    std::vector<float> table(static_cast<size_t>(frames));
    for (int i = 0; i < frames; i += 64) {
        // Rotate from an exact point every 64 frames: cheap, and the error stays tiny.
        std::complex<double> z = std::polar(1.0, kTwoPi * i / frames);
        const std::complex<double> step = std::polar(1.0, kTwoPi / frames);
        for (int j = i; j < std::min(frames, i + 64); ++j) {
            table[size_t(j)] = float(z.imag());
            z *= step;
        }
    }
    return table;
}

struct Oscillator {
    int step;  // table frames per output frame
    int phase;
    float held;    // amplitude kept in the loop
    float fading;  // amplitude gone by the loop
};

double HarmonicAmp(const ToneRecipe& t, int n, double hz) {
    const Spectrum& s = t.spectrum;
    double a = std::pow(n, -s.tilt) * (n % 2 == 0 ? s.even : 1);
    if (s.pluck > 0) a *= std::abs(std::sin(std::numbers::pi * n * s.pluck));
    auto formant = [&](double centre, double gain) {
        if (centre <= 0) return 1.0;
        const double octaves = std::log2(n * hz / centre) / 0.4;
        return 1 + gain * std::exp(-0.5 * octaves * octaves);
    };
    return a * formant(t.formants.hz, t.formants.gain) * formant(t.formants.hz2, t.formants.gain2);
}

std::vector<Oscillator> Oscillators(const ToneRecipe& t, double hz, const Cycle& c, Noise& rng) {
    std::vector<Oscillator> oscillators;
    auto add = [&](int step, double amp, double hold) {
        if (step <= 0 || step * kRate / c.frames > kTopPartialHz || amp <= 0) return;
        const double held = c.sustains ? amp * hold : 0;
        const int phase = t.sinePhase ? 0 : int(rng.Bits() % uint32_t(c.frames));
        oscillators.push_back({step, phase, float(held), float(amp - held)});
    };
    const Contour& k = t.contour;
    for (int n = 1; n <= t.spectrum.harmonics; ++n)
        add(n * c.cycles, HarmonicAmp(t, n, hz), k.hold * std::pow(n, -k.damping));
    for (const Partial& p : t.extra) {
        if (p.ratio <= 0) break;
        add(int(std::lround(p.ratio * c.cycles)), p.amp, k.hold * p.hold);
    }
    return oscillators;
}

double Falloff(double ms) {  // per frame, to 1/e after ms
    return std::exp(-1000 / (ms * kRate));
}

// Band noise from `at`, decaying by 1/e every b.ms and gone by `end`.
void AddBurst(std::span<float> x, int at, int end, const Burst& b, uint32_t seed) {
    if (b.level <= 0 || b.ms <= 0) return;
    BandNoise noise(seed, b.lowHz, b.highHz);
    end = std::min(end, at + Frames(6 * b.ms));
    const double fall = Falloff(b.ms);
    double level = 3 * b.level;  // band noise is quieter than its white source
    for (int i = at; i < end; ++i, level *= fall)
        x[size_t(i)] += float(level * (1 - double(i - at) / (end - at)) * noise.Next());
}

void RenderTone(std::span<float> x, const ToneRecipe& t, double hz, const Layout& l,
                uint32_t seed) {
    const Cycle cycle = FitCycle(hz, l);
    const std::vector<float> table = SineTable(cycle.frames);
    Noise rng(seed);
    // Every partial repeats after cycle.frames: one period of them serves the whole region.
    const size_t period = std::min(size_t(cycle.frames), x.size());
    std::vector<float> held(period), fading(period);
    for (const Oscillator& o : Oscillators(t, hz, cycle, rng)) {
        int phase = o.phase;
        for (size_t i = 0; i < period; ++i) {
            const float v = table[size_t(phase)];
            held[i] += o.held * v;
            fading[i] += o.fading * v;
            phase += o.step;
            if (phase >= cycle.frames) phase -= cycle.frames;
        }
    }
    // Rise over the attack, then fall along an exponential that meets the loop's level at
    // its start; from there only the periodic part remains.
    const int fadeEnd = l.loopStart;
    const int attack = std::min(Frames(t.contour.attackMs), fadeEnd / 2);
    const double floor = std::exp(-t.contour.decay);
    const double fall = std::exp(-t.contour.decay / std::max(1, fadeEnd - attack));
    double e = 1;
    size_t p = 0;
    for (int i = 0; i < int(x.size()); ++i, p = p + 1 == period ? 0 : p + 1) {
        if (i >= fadeEnd) {
            x[size_t(i)] = held[p];
            continue;
        }
        double rise = 1;
        if (i < attack) {
            const double u = double(i + 1) / attack;
            rise = u * u * (3 - 2 * u);
        } else {
            e *= fall;
        }
        x[size_t(i)] = float(rise * (held[p] + (e - floor) / (1 - floor) * fading[p]));
    }
    AddBurst(x, 0, fadeEnd, t.burst, seed + 1);
}

// Applause: a crowd of claps over band noise, looped by a cross-fade with what precedes the
// loop, so that the loop's last frame is the frame before it.
void RenderCrowd(std::span<float> x, const Layout& l, uint32_t seed) {
    BandNoise noise(seed, 400, 6000);
    Noise claps(seed + 1);
    const double fall = std::exp(-1 / (0.006 * kRate));
    const int rise = std::min(Frames(40), l.loopStart / 2);
    double clap = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        clap = clap * fall + (claps.Bits() % 150 == 0 ? 1 : 0);
        const double in = i < size_t(rise) ? double(i) / rise : 1;
        x[i] = float(in * (0.3 + clap) * noise.Next());
    }
    if (!l.Looped() || l.loopStart < l.loopLength) {  // too short to cross-fade: die away
        const int half = std::max(1, l.loopStart / 2);
        for (int i = half; i < int(x.size()); ++i)
            x[size_t(i)] *= float(std::max(0.0, 1 - double(i - half) / half));
        return;
    }
    for (int j = 0; j < l.loopLength; ++j) {
        const double w = double(j) / std::max(1, l.loopLength - 1);
        const size_t at = size_t(l.loopStart + j);
        x[at] = float(std::sqrt(1 - w) * x[at] + std::sqrt(w) * x[at - size_t(l.loopLength)]);
    }
}

// A bird: two rising chirps, over before the loop.
void RenderChirps(std::span<float> x, const Layout& l) {
    const int chirp = l.loopStart * 4 / 9;
    if (chirp < 2) return;
    double phase = 0;
    for (int i = 0; i < l.loopStart; ++i) {
        const int within = i % (chirp + chirp / 4);
        if (within >= chirp || i / (chirp + chirp / 4) > 1) continue;
        const double u = double(within) / chirp;
        phase += kTwoPi * (2200 + 2200 * u * u) / kRate;
        x[size_t(i)] = float(std::sin(std::numbers::pi * u) * std::sin(phase));
    }
}

// The pitch a sustaining tone is made at: its root, unless its loop cannot hold a whole number
// of the root's periods in tune (the anchored regions' loops are as short as 91 frames); then
// the nearest pitch it can hold, which the sample header names instead.
double RecordedHz(const RomRegion& r, const ToneRecipe& t) {
    const double root = MidiHz(*RomRootKey(r.name));
    const Layout l = LayoutOf(r);
    if (!l.Looped() || t.kind != Kind::Tone || t.contour.hold <= 0) return root;
    const double exact = l.loopLength * root / kRate;
    double best = root, bestCents = 1e9;
    for (double cycles : {std::max(1.0, std::floor(exact)), std::ceil(exact)}) {
        const double hz = cycles * kRate / l.loopLength;
        if (std::abs(Cents(hz, root)) < bestCents) {
            best = hz;
            bestCents = std::abs(Cents(hz, root));
        }
    }
    return bestCents <= kMaxLoopDetuneCents ? root : best;
}

// ---- drums and percussion: no root, heard at 44.1 kHz on key 60

struct Sweep {  // a sine gliding from one pitch to another: heads, blocks, whistles
    double fromHz = 0, toHz = 0, glideMs = 1, ms = 0, level = 0;
};

struct Metal {  // fixed inharmonic partials: bells, cowbells, cymbals
    std::array<double, 4> hz{};
    double level = 0, ms = 0;
};

struct Hits {  // claps, scrapes and rattles: the sound again after each gap, quieter
    int count = 1;
    double gapMs = 0, level = 0.7;
};

struct Ring {  // what rings on through the loop: the burst's band and the metal, steady
    double level = 0, dbPerSecond = 0;
    double noise = 1;   // of the burst's band, against the metal
    double holdMs = 0;  // after the hit, before the fade: a whistle blown on
};

struct DrumRecipe {
    std::string_view name;
    Sweep sweep{};
    Burst burst{};
    Metal metal{};
    Hits hits{};
    Ring ring{};
};

// clang-format off
constexpr DrumRecipe kDrums[] = {
    {"Dry Kick", {160, 48, 30, 90, 1}, {0.25, 3, 1000, 8000}},
    {"Side Stick", {420, 380, 5, 12, 0.6}, {0.8, 8, 1500, 7000}, {{1900, 2700}, 0.3, 10}},
    {"Sticks", {2400, 2300, 2, 8, 0.7}, {0.5, 4, 2000, 9000}, {}, {2, 6}},
    {"Snare 1", {190, 170, 10, 40, 0.7}, {0.9, 60, 1200, 9000}},
    {"Hand Clap", {}, {1, 15, 900, 4000}, {}, {4, 9, 0.9}},
    {"Snare 2", {230, 210, 8, 30, 0.5}, {1, 45, 2000, 11000}},
    {"High Tom", {240, 170, 40, 120, 1}, {0.2, 10, 500, 5000}},
    {"OpenCl HH", {}, {1, 30, 6500, 16000}, {{3300, 4800, 6100, 7800}, 0.15, 30}, {}, {0.3, 40}},
    {"Closed HH", {}, {1, 18, 7000, 16000}, {{3300, 4800, 6100, 7800}, 0.1, 10}},
    {"Foot HH", {}, {1, 10, 5000, 12000}},
    {"Crash", {}, {1, 30, 3500, 16000}, {{2100, 3700, 5300, 7300}, 0.25, 30}, {}, {0.45, 18}},
    {"Splash", {}, {1, 25, 5000, 16000}, {{2900, 4600, 6800, 8900}, 0.2, 25}, {}, {0.4, 30}},
    {"Ride Rim", {}, {0.5, 30, 5000, 15000}, {{2600, 3900, 5200, 6500}, 0.6, 30}, {}, {0.3, 15}},
    {"Ride Bell", {}, {0.2, 30, 6000, 15000}, {{1040, 1560, 2470, 3350}, 1, 30}, {}, {0.4, 15}},
    {"Cowbell", {}, {0.1, 5, 2000, 8000}, {{562, 845, 1686, 2535}, 1, 60}, {}, {0.5, 100, 0}},
    {"Vibeslap", {}, {0.5, 6, 2000, 8000}, {{2200, 3100}, 0.6, 8}, {8, 11, 0.8}},
    {"China Cymbal", {}, {1, 30, 2000, 10000}, {{1300, 2250, 3390, 4460}, 0.35, 30}, {}, {0.45, 20}},
    {"Tambourine Hit", {}, {0.8, 40, 6000, 15000}, {{5100, 6600, 7900, 9600}, 0.5, 40}, {2, 12}},
    {"Filtersnap", {3000, 300, 15, 30, 0.8}, {0.5, 15, 200, 4000}},
    {"Scratch", {300, 1400, 30, 60, 0.6}, {0.6, 40, 500, 4000}},
    {"High Bongo", {430, 400, 10, 50, 1}, {0.15, 4, 1000, 6000}},
    {"Low Bongo", {320, 290, 10, 70, 1}, {0.15, 4, 1000, 6000}},
    {"SquClick", {1800, 1800, 1, 4, 1}, {}, {{5400, 9000}, 0.4, 4}},
    {"Mute High Conga", {360, 340, 5, 30, 1}, {0.2, 5, 1000, 6000}},
    {"Conga", {260, 240, 15, 110, 1}, {0.15, 5, 1000, 6000}},
    {"Low Timbale", {200, 190, 10, 80, 0.8}, {0.3, 20, 1000, 7000}, {{520, 850, 1300}, 0.4, 60}},
    {"Agogo", {}, {}, {{910, 1380, 2270, 3600}, 1, 70}},
    {"Shaker", {}, {1, 25, 5000, 14000}, {}, {2, 30}},
    {"Maracas", {}, {1, 15, 6000, 15000}},
    // A pea whistle: two close tones beating at the rate of the pea's trill.
    {"Long Whistle", {}, {0.1, 50, 5000, 12000}, {{2500, 2530}, 1, 3}, {}, {1, 150, 0.05, 600}},
    {"Long Guiro", {}, {1, 4, 1500, 6000}, {}, {10, 9, 0.95}},
    {"Clave", {2500, 2450, 2, 25, 1}},
    {"Cuica", {350, 900, 40, 80, 1}, {0.1, 20, 500, 3000}},
    {"Triangle", {}, {}, {{4960, 6790, 8530, 10260}, 1, 30}, {}, {0.6, 12}},
    {"Sleigh Bells", {}, {0.4, 15, 6000, 15000}, {{5800, 7300, 9100, 11400}, 0.7, 25}, {3, 25}},
    {"Bell Tree", {}, {}, {{3100, 4300, 5600, 7200}, 0.8, 30}, {6, 12, 0.9}, {0.5, 25}},
    {"Wood Block", {1300, 1250, 3, 18, 1}, {}, {{2650}, 0.3, 12}},
    {"Castinet", {2100, 2000, 2, 8, 0.5}, {1, 6, 1500, 7000}, {}, {2, 18}},
    {"Metronome 1", {2000, 2000, 1, 8, 1}},
    {"Metronome 2", {1500, 1500, 1, 10, 1}},
};
// clang-format on

// Any other unpitched region: a plain noise hit.
constexpr DrumRecipe kOtherDrum = {"", {}, {1, 30, 500, 8000}};

const DrumRecipe& DrumFor(std::string_view name) {
    for (const DrumRecipe& d : kDrums)
        if (d.name == name) return d;
    return kOtherDrum;
}

void RenderHit(std::span<float> x, const DrumRecipe& d, uint32_t seed) {
    const Sweep& s = d.sweep;
    if (s.level > 0) {
        const double glide = Falloff(s.glideMs), fall = Falloff(s.ms);
        double phase = 0, away = 1, level = s.level;
        for (size_t i = 0; i < x.size(); ++i, away *= glide, level *= fall) {
            phase += kTwoPi * (s.toHz + (s.fromHz - s.toHz) * away) / kRate;
            x[i] += float(level * std::sin(phase));
        }
    }
    const Metal& m = d.metal;
    for (double hz : m.hz) {
        if (hz <= 0 || m.level <= 0) continue;
        const std::complex<double> turn = std::polar(Falloff(m.ms), kTwoPi * hz / kRate);
        std::complex<double> z = 0.5 * m.level;
        for (size_t i = 0; i < x.size(); ++i, z *= turn)
            x[i] += float(z.imag());
    }
    AddBurst(x, 0, int(x.size()), d.burst, seed);
}

// The ring as one period of the loop: band noise whose end is cross-faded with the noise that
// follows it, so that the loop's last frame leads on to its first, and the metal's partials
// turned to whole cycles of the loop.
std::vector<float> RingPeriod(const DrumRecipe& d, int frames, uint32_t seed) {
    const int fade = frames / 4;
    BandNoise noise(seed, d.burst.lowHz, d.burst.highHz);
    std::vector<float> y(size_t(frames + fade));
    for (float& v : y)
        v = float(3 * d.ring.noise * noise.Next());  // band noise is quieter than its white source
    std::vector<float> period(y.begin(), y.begin() + frames);
    for (int j = 0; j < fade; ++j) {
        const double w = double(j) / fade;
        period[size_t(j)] = float(std::sqrt(w) * y[size_t(j)] + std::sqrt(1 - w) * y[size_t(frames + j)]);
    }
    for (double hz : d.metal.hz) {
        const int cycles = int(std::lround(hz * frames / kRate));
        if (hz <= 0 || cycles <= 0) continue;
        for (int j = 0; j < frames; ++j)
            period[size_t(j)] += float(0.5 * d.metal.level * std::sin(kTwoPi * cycles * j / frames));
    }
    return period;
}

bool Rings(const DrumRecipe& d, const Layout& l) {
    return d.ring.level > 0 && l.Looped();
}

// A ringing drum sounds its ring, steady, from the start (rising over a few milliseconds, so
// that a tone starts without a click) through the loop; the level falls under the sample's
// natural envelope instead.
void AddRing(std::span<float> x, const DrumRecipe& d, const Layout& l, uint32_t seed) {
    if (!Rings(d, l)) return;
    const std::vector<float> period = RingPeriod(d, l.loopLength, seed);
    const int n = l.loopLength;
    const int rise = std::min(Frames(5), l.loopStart);
    for (int i = 0; i < l.length; ++i) {
        const double in = i < rise ? double(i) / rise : 1;
        x[size_t(i)] += float(in * d.ring.level * period[size_t(((i - l.loopStart) % n + n) % n)]);
    }
}

void RenderDrum(std::span<float> x, const DrumRecipe& d, const Layout& l, uint32_t seed) {
    const int end = l.loopStart;  // the hit is over by here: its loop is silent or rings
    std::vector<float> hit(static_cast<size_t>(end));
    RenderHit(hit, d, seed);
    double level = 1;
    for (int h = 0; h < d.hits.count; ++h, level *= d.hits.level) {
        const int at = Frames(h * d.hits.gapMs);
        for (int i = at; i < end; ++i)
            x[size_t(i)] += float(level * hit[size_t(i - at)]);
    }
    // Block DC (the swept sines leave some), then close over the last third before the loop.
    double lowPass = 0;
    const double a = 1 - std::exp(-kTwoPi * 20 / kRate);
    const int close = end * 2 / 3;
    for (int i = 0; i < end; ++i) {
        lowPass += a * (x[size_t(i)] - lowPass);
        double v = x[size_t(i)] - lowPass;
        if (i >= close) {
            const double c = std::cos(0.5 * std::numbers::pi * (i - close + 1) / (end - close));
            v *= c * c;
        }
        x[size_t(i)] = float(v);
    }
    AddRing(x, d, l, seed + 7);
}

// ---- the image

double PeakFor(std::string_view name) {
    for (std::string_view hot : kHotWaves)
        if (name.find(hot) != std::string_view::npos) return kHotPeak;
    return kPeak;
}

void Store(std::span<const float> x, double target, std::span<int8_t> out) {
    float peak = 0;
    for (float v : x)
        peak = std::max(peak, std::abs(v));
    if (peak <= 0) return;
    const double scale = target / peak;
    for (size_t i = 0; i < x.size(); ++i)
        out[i] = int8_t(std::clamp(std::lround(x[i] * scale), -127L, 127L));
}

void RenderRegion(const RomRegion& r, uint32_t seed, std::span<int8_t> out) {
    const Layout l = LayoutOf(r);
    std::vector<float> x(size_t(l.length));
    if (const std::optional<int> root = RomRootKey(r.name)) {
        const ToneRecipe& t = ToneFor(r.name);
        switch (t.kind) {
            case Kind::Tone:
                RenderTone(x, t, RecordedHz(r, t), l, seed);
                break;
            case Kind::Crowd:
                RenderCrowd(x, l, seed);
                break;
            case Kind::Chirps:
                RenderChirps(x, l);
                break;
        }
    } else {
        RenderDrum(x, DrumFor(r.name), l, seed);
    }
    Store(x, PeakFor(r.name), out);
}

}  // namespace

double RomRecordedKey(const RomRegion& r) {
    const std::optional<int> root = RomRootKey(r.name);
    if (!root) return 60;
    return 69 + Cents(RecordedHz(r, ToneFor(r.name)), 440) / 100;
}

std::vector<NaturalStretch> RomHeldEnvelope(const RomRegion& r) {
    const Layout l = LayoutOf(r);
    if (RomRootKey(r.name)) {
        const Fade& f = ToneFor(r.name).fade;
        if (f.late <= 0) return {{0, 0}};
        const double faster = std::exp2((RomRecordedKey(r) - 60) / 18);
        const auto early = int32_t(std::lround(f.earlySeconds / faster * kRate));
        if (early <= 0) return {{-f.late * faster, 0}};
        return {{-f.early * faster, early}, {-f.late * faster, 0}};
    }
    // A drum holds its level through its hit, up to the loop.
    const DrumRecipe& d = DrumFor(r.name);
    std::vector<NaturalStretch> held = {{0, l.loopStart}};
    if (!Rings(d, l)) {
        held.push_back({-kCutDbPerSecond, 0});
        return held;
    }
    if (d.ring.holdMs > 0) held.push_back({0, Frames(d.ring.holdMs)});
    held.push_back({-d.ring.dbPerSecond, 0});
    return held;
}

std::vector<int8_t> MakeRomWaves() {
    std::vector<int8_t> data(size_t(kRomSampleLength) + 1, 0);
    auto dir = RomDirectory();
    for (size_t i = 0; i < dir.size(); ++i) {
        const RomRegion& r = dir[i];
        if (r.start < 0 || r.end < r.start || r.end > kRomSampleLength) continue;
        RenderRegion(r, uint32_t(i + 1),
                     std::span(data).subspan(size_t(r.start), size_t(r.end - r.start + 1)));
    }
    return data;
}

namespace {

using SharedWaves = std::shared_ptr<const std::vector<int8_t>>;

// Made once; the future's state outlives main until the worker is done, so an exit during
// start-up waits for it rather than tearing the image down under it.
const std::shared_future<SharedWaves>& Pending() {
    static const std::shared_future<SharedWaves> pending =
        std::async(std::launch::async, [] {
            return std::make_shared<const std::vector<int8_t>>(MakeRomWaves());
        }).share();
    return pending;
}

}  // namespace

void PrepareRomWaves() {
    Pending();
}

std::shared_ptr<const std::vector<int8_t>> RomWaves() {
    return Pending().get();
}

}  // namespace talmeru::emulator
