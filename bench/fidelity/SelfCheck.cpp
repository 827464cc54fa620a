// `sf2_fidelity check`: the measures on signals whose answers are known, so that a figure of
// the benchmark can be trusted: sines made by sox (pitch), and made here with a set envelope
// (levels, release), vibrato, stereo image, delay and chords.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "fidelity/Measures.h"

using namespace fidelity;

namespace {

int failures = 0;

void Expect(bool ok, const char* what, double got, double want) {
    std::printf("  %-48s %10.4f (want %.4f)  %s\n", what, got, want, ok ? "ok" : "WRONG");
    failures += !ok;
}

void ExpectNear(const char* what, double got, double want, double tolerance) {
    Expect(std::fabs(got - want) <= tolerance, what, got, want);
}

// A sine whose amplitude follows `gain(seconds)` and whose frequency follows `hz(seconds)`.
template <typename Gain, typename Hz>
Audio Tone(double seconds, Gain gain, Hz hz) {
    Audio a;
    double phase = 0;
    for (size_t i = 0; i < size_t(seconds * kRate); ++i) {
        const double t = double(i) / kRate;
        const float v = float(gain(t) * std::sin(phase));
        a.left.push_back(v);
        a.right.push_back(v);
        phase += 2 * M_PI * hz(t) / kRate;
    }
    return a;
}

double Cents(double hz, double want) { return 1200 * std::log2(hz / want); }

void CheckSoxSines(const std::vector<std::string>& files) {
    const double want[2] = {440.0, 261.6256};
    for (size_t i = 0; i < files.size() && i < 2; ++i) {
        std::string why;
        const auto a = ReadWav(files[i], why);
        if (!a) {
            std::printf("  %s: %s  WRONG\n", files[i].c_str(), why.c_str());
            ++failures;
            continue;
        }
        const auto track = PitchTrack(*a, {0, a->Frames()}, want[i]);
        const std::string label = "sox sine " + std::to_string(int(want[i])) + " Hz: cents off";
        ExpectNear(label.c_str(), Cents(MedianHz(track), want[i]), 0, 1);
        ExpectNear("  ... and its vibrato depth, cents", VibratoDepthCents(track), 0, 1);
    }
}

void CheckPitch() {
    const auto flat = [](double) { return 0.5; };
    const Audio steady = Tone(2, flat, [](double) { return 523.2511; });
    const auto track = PitchTrack(steady, {0, steady.Frames()}, 523.2511);
    ExpectNear("sine C5: cents off", Cents(MedianHz(track), 523.2511), 0, 1);
    // +-50 cents at 5.5 Hz: the 23 ms window averages the peaks by about 1%.
    const Audio vibrato = Tone(3, flat, [](double t) {
        return 523.2511 * std::pow(2.0, 50 * std::sin(2 * M_PI * 5.5 * t) / 1200);
    });
    ExpectNear("vibrato +-50 c: depth, cents",
               VibratoDepthCents(PitchTrack(vibrato, {0, vibrato.Frames()}, 523.2511)), 50, 2.5);
}

void CheckLevelsAndRelease() {
    const auto hz = [](double) { return 1000.0; };
    const Audio held = Tone(1, [](double) { return 0.5; }, hz);
    ExpectNear("sine peak 0.5: RMS dB", RmsDb(held, {0, held.Frames()}), -9.0309, 0.02);
    ExpectNear("sine peak 0.5: peak dB", PeakDb(held, {0, held.Frames()}), -6.0206, 0.02);
    // Held 1 s, then falling 60 dB/s (40 dB in 0.667 s), then 200 dB/s (0.2 s).
    for (double rate : {60.0, 200.0}) {
        const Audio a = Tone(4, [rate](double t) {
            return 0.5 * std::pow(10.0, -rate * std::max(0.0, t - 1) / 20);
        }, hz);
        const auto r = ReleaseSeconds(a, kRate, a.Frames());
        const std::string label = "release to -40 dB at " + std::to_string(int(rate)) + " dB/s, s";
        ExpectNear(label.c_str(), r.value_or(99), 40 / rate, 0.010);
    }
    const Audio sustained = Tone(3, [](double) { return 0.5; }, hz);
    Expect(!ReleaseSeconds(sustained, kRate, sustained.Frames()), "no release when it sustains",
           0, 0);
}

void CheckStereo() {
    Audio a = Tone(1, [](double) { return 0.5; }, [](double) { return 300.0; });
    ExpectNear("mono copied to both sides: correlation", StereoImage(a, {0, a.Frames()}).correlation,
               1, 1e-6);
    for (float& v : a.right) v *= 0.5f;
    ExpectNear("right at half: balance dB", StereoImage(a, {0, a.Frames()}).balanceDb, 6.0206, 0.01);
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0, 0.1f);
    for (size_t i = 0; i < a.Frames(); ++i) a.left[i] = noise(rng), a.right[i] = noise(rng);
    ExpectNear("independent noises: correlation", StereoImage(a, {0, a.Frames()}).correlation, 0,
               0.05);
}

// Beats of decaying tones, as a stand-in for music: an envelope with something to line up.
Audio Beats(double seconds, double delay, double hz) {
    return Tone(seconds, [delay](double t) {
        const double s = t - delay;
        return s < 0 ? 0.0 : 0.5 * std::exp(-6 * std::fmod(s, 0.37)) * (1 + std::sin(s));
    }, [hz](double) { return hz; });
}

void CheckAlignmentAndMusic() {
    const Audio a = Beats(8, 0, 440), late = Beats(8, 0.030, 440);
    const long lag = AlignmentFrames(a, late, 300);
    ExpectNear("30 ms later: lag found, ms", 1000.0 * double(lag) / kRate, 30, 5);
    const Audio aligned = Shifted(late, lag);
    ExpectNear("aligned copy: envelope correlation", EnvelopeCorrelation(a, aligned), 1, 0.02);
    ExpectNear("aligned copy: chroma similarity", ChromaSimilarity(a, aligned), 1, 0.02);
    const Audio other = Beats(8, 0, 440 * std::pow(2.0, 6 / 12.0));  // a tritone away
    Expect(ChromaSimilarity(a, other) < 0.3, "A against D#: chroma similarity < 0.3",
           ChromaSimilarity(a, other), 0);
}

}  // namespace

int RunSelfCheck(const std::vector<std::string>& sineFiles) {
    std::printf("sf2_fidelity: checking the measures on known signals\n");
    CheckSoxSines(sineFiles);
    CheckPitch();
    CheckLevelsAndRelease();
    CheckStereo();
    CheckAlignmentAndMusic();
    std::printf("  %s\n\n", failures ? "SOME MEASURES ARE WRONG" : "all measures read right");
    return failures ? 1 : 0;
}
