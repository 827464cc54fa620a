// The global reverb and chorus, heard through impulses, sines and noise fed to their sends.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "voice/Effects.h"

namespace talmeru::voice {
namespace {

constexpr double kRate = 44100.0;

enum class Send { Reverb, Chorus };

struct Type {
    Send send;
    int number;
    const char* name;
};

const std::vector<Type> kAllTypes = {
    {Send::Reverb, 1, "Room 1"},
    {Send::Reverb, 2, "Room 2"},
    {Send::Reverb, 3, "Room 3"},
    {Send::Reverb, 4, "Hall 1"},
    {Send::Reverb, 5, "Hall 2"},
    {Send::Reverb, 6, "Plate"},
    {Send::Reverb, 7, "Delay"},
    {Send::Reverb, 8, "Pan Delay 1"},
    {Send::Reverb, 9, "Pan Delay 2"},
    {Send::Chorus, 1, "Chorus 1"},
    {Send::Chorus, 2, "Chorus 2"},
    {Send::Chorus, 3, "Chorus 3"},
    {Send::Chorus, 4, "Chorus 4"},
    {Send::Chorus, 5, "Chorus w/Feedback"},
    {Send::Chorus, 6, "Flanger"},
    {Send::Chorus, 7, "Delay"},
    {Send::Chorus, 8, "Delay w/Feedback"},
};

struct Sends {
    std::vector<float> reverbL, reverbR, chorusL, chorusR;
};

struct Stereo {
    std::vector<float> l, r;
};

void Select(Effects& fx, Send send, int type) {
    send == Send::Reverb ? fx.SetReverbType(type) : fx.SetChorusType(type);
}

Sends OneSend(Send send, const std::vector<float>& in) {
    std::vector<float> silent(in.size(), 0.0f);
    return send == Send::Reverb ? Sends{in, in, silent, silent} : Sends{silent, silent, in, in};
}

// What the effects add, processed in blocks of the given sizes in turn.
Stereo Render(Effects& fx, const Sends& in, const std::vector<int>& blocks = {256}) {
    size_t n = in.reverbL.size();
    Stereo out{std::vector<float>(n, 0.0f), std::vector<float>(n, 0.0f)};
    size_t at = 0;
    for (size_t b = 0; at < n; ++b) {
        int m = static_cast<int>(std::min<size_t>(blocks[b % blocks.size()], n - at));
        fx.Process(in.reverbL.data() + at, in.reverbR.data() + at, in.chorusL.data() + at,
                   in.chorusR.data() + at, out.l.data() + at, out.r.data() + at, m);
        at += m;
    }
    return out;
}

// A newly chosen type fades its input in; this lets it finish first.
void Settle(Effects& fx) {
    std::vector<float> silent(1024, 0.0f);
    Render(fx, {silent, silent, silent, silent});
}

Stereo Impulse(const Type& t, double seconds, double rate = kRate) {
    Effects fx(rate);
    Select(fx, t.send, t.number);
    Settle(fx);
    std::vector<float> in(static_cast<size_t>(seconds * rate), 0.0f);
    in[0] = 1.0f;
    return Render(fx, OneSend(t.send, in));
}

std::vector<float> Noise(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-0.5f, 0.5f);
    std::vector<float> v(n);
    for (float& x : v)
        x = d(gen);
    return v;
}

double Energy(const Stereo& s, size_t from, size_t to) {
    double e = 0;
    for (size_t i = from; i < to; ++i)
        e += double(s.l[i]) * s.l[i] + double(s.r[i]) * s.r[i];
    return e;
}

// Time for the energy still to come to fall 60 dB (Schroeder's backward integration).
double DecaySeconds(const Stereo& s, double rate) {
    double total = Energy(s, 0, s.l.size()), remaining = total;
    for (size_t i = 0; i < s.l.size(); ++i) {
        if (remaining < total * 1e-6) return double(i) / rate;
        remaining -= double(s.l[i]) * s.l[i] + double(s.r[i]) * s.r[i];
    }
    return double(s.l.size()) / rate;
}

size_t FirstSound(const Stereo& s) {
    for (size_t i = 0; i < s.l.size(); ++i) {
        if (std::fabs(s.l[i]) + std::fabs(s.r[i]) > 1e-6f) return i;
    }
    return s.l.size();
}

float LargestStep(const std::vector<float>& v, size_t from, size_t to) {
    float step = 0;
    for (size_t i = from + 1; i < to; ++i)
        step = std::max(step, std::fabs(v[i] - v[i - 1]));
    return step;
}

TEST(EffectsImpulse, EveryTypeIsWetFiniteAndDiesAway) {
    const size_t second = static_cast<size_t>(kRate);
    for (const Type& t : kAllTypes) {
        SCOPED_TRACE(t.name);
        Stereo s = Impulse(t, 8.0);
        float peak = 0;
        for (size_t i = 0; i < s.l.size(); ++i) {
            ASSERT_TRUE(std::isfinite(s.l[i]) && std::isfinite(s.r[i])) << "frame " << i;
            peak = std::max({peak, std::fabs(s.l[i]), std::fabs(s.r[i])});
        }
        EXPECT_EQ(s.l[0], 0.0f) << "the dry signal is not the effects' to add";
        EXPECT_LT(peak, 1.5f);
        double first = Energy(s, 0, second), last = Energy(s, 7 * second, 8 * second);
        EXPECT_GT(first, 0.05);
        EXPECT_LT(last, first * 1e-6);
    }
}

TEST(EffectsImpulse, LargerSpacesRingLonger) {
    std::vector<double> decay;
    for (int room = 1; room <= 5; ++room) {
        decay.push_back(DecaySeconds(Impulse(kAllTypes[room - 1], 8.0), kRate));
    }
    for (size_t i = 1; i < decay.size(); ++i) {
        EXPECT_GT(decay[i], decay[i - 1] * 1.3) << kAllTypes[i].name;
    }
    EXPECT_LT(decay[0], 0.6) << "Room 1";
    EXPECT_GT(decay[3], 1.5) << "Hall 1";
    EXPECT_GT(decay[4], decay[0] * 5) << "Hall 2 against Room 1";
}

// The energy of the first difference against the energy: 2 for a lone impulse or white
// noise, less the more the high frequencies have been lost.
double Brightness(const Stereo& s, size_t from, size_t to) {
    double d = 0;
    for (size_t i = from + 1; i < to; ++i)
        d += std::pow(double(s.l[i]) - s.l[i - 1], 2) + std::pow(double(s.r[i]) - s.r[i - 1], 2);
    return d / Energy(s, from, to);
}

// Rooms lose their highs on every pass through the feedback, and so does each repeat of an
// echo: a late stretch of 50 ms is much duller than the first.
TEST(EffectsImpulse, ReverbsDarkenAsTheyDecay) {
    struct Row {
        int type;
        double lateSeconds;  // after the first sound
        double most;         // the late brightness against the first, at most
    };
    const Row rows[] = {{1, 0.3, 0.4},
                        {2, 0.3, 0.4},
                        {3, 0.3, 0.4},
                        {4, 0.3, 0.4},
                        {5, 0.3, 0.4},
                        {6, 1.0, 0.4},
                        {7, 4 * kReverbDelaySeconds, 0.6},  // the fifth echo
                        {8, 4 * kPanDelay1Seconds, 0.6},
                        {9, 4 * kPanDelay2Seconds, 0.6}};
    const size_t window = size_t(0.05 * kRate);
    for (const Row& row : rows) {
        const Type& t = kAllTypes[row.type - 1];
        const Stereo s = Impulse(t, 2.5);
        const size_t first = FirstSound(s) - 1;
        const size_t late = first + size_t(std::lround(row.lateSeconds * kRate));
        ASSERT_LT(late + window, s.l.size()) << t.name;
        EXPECT_LT(Brightness(s, late, late + window),
                  row.most * Brightness(s, first, first + window))
            << t.name;
    }
}

TEST(EffectsImpulse, FirstEchoComesAtTheStatedDelay) {
    struct Row {
        Type type;
        double seconds;
    };
    const std::vector<Row> rows = {{kAllTypes[6], kReverbDelaySeconds},
                                   {kAllTypes[7], kPanDelay1Seconds},
                                   {kAllTypes[8], kPanDelay2Seconds},
                                   {kAllTypes[15], kChorusDelaySeconds},
                                   {kAllTypes[16], kChorusFeedbackDelaySeconds}};
    for (double rate : {44100.0, 96000.0}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.type.name) + " at " + std::to_string(rate));
            Stereo s = Impulse(row.type, 1.0, rate);
            size_t echo = FirstSound(s);
            ASSERT_EQ(echo, static_cast<size_t>(std::lround(row.seconds * rate)));
            EXPECT_GT(std::fabs(s.l[echo]), 0.3f);
        }
    }
}

TEST(EffectsImpulse, PanDelaysAlternateSides) {
    for (int type : {8, 9}) {
        const Type& t = kAllTypes[type - 1];
        SCOPED_TRACE(t.name);
        Stereo s = Impulse(t, 2.0);
        size_t gap = FirstSound(s);
        for (size_t k = 1; k <= 4; ++k) {
            const auto& loud = k % 2 ? s.l : s.r;
            const auto& quiet = k % 2 ? s.r : s.l;
            EXPECT_GT(std::fabs(loud[k * gap]), 0.05f) << "echo " << k;
            EXPECT_LT(std::fabs(quiet[k * gap]), 1e-3f * std::fabs(loud[k * gap])) << "echo " << k;
        }
    }
}

// Impulses far enough apart not to overlap: a swept delay answers each one differently, a
// fixed delay the same way every time.
TEST(EffectsModulation, SweptTypesAnswerEachImpulseDifferently) {
    struct Row {
        int type;
        bool swept;
    };
    const std::vector<Row> rows = {{1, true}, {2, true}, {3, true}, {4, true},
                                   {5, true}, {6, true}, {7, false}};
    constexpr size_t kGap = 2048, kCount = 64, kReference = 4;
    for (const Row& row : rows) {
        const Type& t = kAllTypes[9 + row.type - 1];
        SCOPED_TRACE(t.name);
        std::vector<float> in(kGap * kCount, 0.0f);
        for (size_t k = 0; k < kCount; ++k)
            in[k * kGap] = 1.0f;
        Effects fx(kRate);
        fx.SetChorusType(t.number);
        Settle(fx);
        Stereo s = Render(fx, OneSend(Send::Chorus, in));
        for (const std::vector<float>* side : {&s.l, &s.r}) {
            double reference = 0, largest = 0;
            const std::vector<float>& v = *side;
            for (size_t i = 0; i < kGap; ++i)
                reference += std::pow(v[kReference * kGap + i], 2);
            for (size_t k = kReference; k < kCount; ++k) {
                double diff = 0;
                for (size_t i = 0; i < kGap; ++i) {
                    diff += std::pow(v[k * kGap + i] - v[kReference * kGap + i], 2);
                }
                largest = std::max(largest, std::sqrt(diff / reference));
            }
            ASSERT_GT(reference, 0.0);
            if (row.swept) {
                EXPECT_GT(largest, 0.5);
            } else {
                EXPECT_LT(largest, 1e-4);
            }
        }
    }
}

TEST(EffectsProcess, TypeNoneAddsNothing) {
    const size_t n = 4096;
    Sends in{Noise(n, 1), Noise(n, 2), Noise(n, 3), Noise(n, 4)};
    Effects fx(kRate);
    EXPECT_EQ(fx.ReverbType(), 0);
    EXPECT_EQ(fx.ChorusType(), 0);
    Stereo s = Render(fx, in);
    EXPECT_EQ(Energy(s, 0, n), 0.0);

    // A type switched off fades within milliseconds and then is silent, tail and all.
    fx.SetReverbType(5);
    fx.SetChorusType(8);
    Render(fx, in);
    fx.SetReverbType(0);
    fx.SetChorusType(0);
    s = Render(fx, in);
    EXPECT_EQ(Energy(s, 1024, n), 0.0);
}

TEST(EffectsProcess, BlockSizesDoNotChangeTheSound) {
    const std::vector<std::pair<int, int>> pairs = {{4, 1}, {6, 5}, {9, 6}, {7, 8}};
    const size_t n = 3 * 44100;
    Sends in{Noise(n, 5), Noise(n, 6), Noise(n, 7), Noise(n, 8)};
    for (auto [reverb, chorus] : pairs) {
        SCOPED_TRACE(std::string(kAllTypes[reverb - 1].name) + " with chorus " +
                     kAllTypes[9 + chorus - 1].name);
        Effects whole(kRate), pieces(kRate);
        for (Effects* fx : {&whole, &pieces}) {
            fx->SetReverbType(reverb);
            fx->SetChorusType(chorus);
        }
        pieces.Process(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
        Stereo a = Render(whole, in, {static_cast<int>(n)});
        Stereo b = Render(pieces, in, {1, 0, 7, 63, 64, 65, 1000, 4096});
        ASSERT_EQ(a.l, b.l);
        ASSERT_EQ(a.r, b.r);
    }
}

// Around a switch the output moves no faster than the steady sound of either type does.
TEST(EffectsSwitch, ChangingTypeFadesInsteadOfJumping) {
    struct Row {
        Send send;
        int from, to;
    };
    const std::vector<Row> rows = {{Send::Reverb, 7, 6}, {Send::Reverb, 4, 0},
                                   {Send::Reverb, 0, 9}, {Send::Chorus, 1, 7},
                                   {Send::Chorus, 6, 2}, {Send::Chorus, 7, 0}};
    const size_t half = 44100, settle = 4410;
    std::vector<float> sine(half);
    for (size_t i = 0; i < half; ++i)
        sine[i] = 0.5f * std::sin(2 * M_PI * 220 * i / kRate);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.from) + " to " + std::to_string(row.to));
        Effects fx(kRate);
        Select(fx, row.send, row.from);
        Settle(fx);
        Stereo before = Render(fx, OneSend(row.send, sine));
        Select(fx, row.send, row.to);
        Stereo after = Render(fx, OneSend(row.send, sine));
        float steady = std::max(LargestStep(before.l, half - settle, half),
                                LargestStep(after.l, half - settle, half));
        ASSERT_GT(steady, 0.001f);
        float joined =
            std::max(LargestStep(after.l, 0, settle), std::fabs(after.l[0] - before.l[half - 1]));
        EXPECT_LT(joined, 1.5f * steady);
    }
}

TEST(EffectsSwitch, SwitchingEveryFewMillisecondsStaysFiniteAndBounded) {
    const size_t n = 8 * 44100, every = 300;
    Sends in{Noise(n, 9), Noise(n, 10), Noise(n, 11), Noise(n, 12)};
    for (float& x : in.reverbL)
        x *= 4;  // well past full scale
    Effects fx(kRate);
    std::mt19937 gen(13);
    std::uniform_int_distribution<int> pick(-2, 11);
    int reverb = 0, chorus = 0;
    for (size_t at = 0; at < n; at += every) {
        int r = pick(gen), c = pick(gen);
        fx.SetReverbType(r);
        fx.SetChorusType(c);
        if (r >= 0 && r <= 9) reverb = r;
        if (c >= 0 && c <= 8) chorus = c;
        ASSERT_EQ(fx.ReverbType(), reverb);
        ASSERT_EQ(fx.ChorusType(), chorus);
        std::vector<float> outL(every, 0.0f), outR(every, 0.0f);
        fx.Process(in.reverbL.data() + at, in.reverbR.data() + at, in.chorusL.data() + at,
                   in.chorusR.data() + at, outL.data(), outR.data(), static_cast<int>(every));
        for (size_t i = 0; i < every; ++i) {
            ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i])) << at + i;
            ASSERT_LT(std::max(std::fabs(outL[i]), std::fabs(outR[i])), 20.0f) << at + i;
        }
    }
}

TEST(EffectsProcess, ClearSilencesEveryTail) {
    Effects fx(kRate);
    fx.SetReverbType(5);
    fx.SetChorusType(8);
    std::vector<float> in(8820, 0.0f);
    in[0] = 1.0f;
    Sends impulse{in, in, in, in};
    Render(fx, impulse);
    fx.Clear();
    EXPECT_EQ(fx.ReverbType(), 5);
    EXPECT_EQ(fx.ChorusType(), 8);
    std::vector<float> silent(44100, 0.0f);
    Stereo after = Render(fx, {silent, silent, silent, silent});
    EXPECT_EQ(Energy(after, 0, silent.size()), 0.0);
}

// Subnormal numbers cost a hundred times more to compute with on most processors; a decaying
// feedback loop must reach zero without passing through them.
TEST(EffectsProcess, DecayingTailsNeverBecomeSubnormal) {
    for (const Type& t : {kAllTypes[0], kAllTypes[6], kAllTypes[13], kAllTypes[14]}) {
        SCOPED_TRACE(t.name);
        Effects fx(kRate);
        Select(fx, t.send, t.number);
        std::vector<float> in(20 * 44100, 0.0f);
        in[0] = 1e-20f;
        Stereo s = Render(fx, OneSend(t.send, in));
        for (size_t i = 0; i < in.size(); ++i) {
            for (float v : {s.l[i], s.r[i]}) {
                ASSERT_FALSE(v != 0 && std::fabs(v) < FLT_MIN) << "frame " << i;
            }
        }
    }
}

}  // namespace
}  // namespace talmeru::voice
