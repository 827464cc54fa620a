#include "voice/Effects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace talmeru::voice {
namespace {

// Work is done in chunks so the wet signal fits in fixed buffers inside the object.
constexpr int kChunk = 64;
constexpr double kFadeSeconds = 0.005;
constexpr float kFlushBias = 1e-18f;

// Adding and removing a bias rounds anything below about 1e-25 to exactly zero, so decaying
// feedback loops never reach subnormal numbers, which are very slow on most processors.
inline float Flush(float v) {
    v += kFlushBias;
    return v - kFlushBias;
}

// A sine from two parabolas: within 6% of sin(2 pi phase) and smooth, which is all a delay
// sweep needs, for a fraction of the cost. phase in [0, 1).
inline float Lfo(float phase) {
    float x = 2.0f * phase - 1.0f;
    return -4.0f * x * (1.0f - std::fabs(x));
}

inline float Wrap(float phase) {
    return phase >= 1.0f ? phase - 1.0f : phase;
}

int Samples(double seconds, double rate) {
    return static_cast<int>(std::lround(seconds * rate));
}

// Makes a one-pole coefficient given at one rate behave the same at another.
float Pole(double coefficient, double atRate, double rate) {
    return static_cast<float>(std::pow(coefficient, atRate / rate));
}

// A circular buffer of a power-of-two size. Read(d) is the value written d writes ago (d >= 1);
// delays are set per type without reallocating, up to the size chosen in Allocate.
class DelayLine {
  public:
    void Allocate(int maxDelay) {
        size_t size = 4;
        while (size < static_cast<size_t>(maxDelay) + 2)
            size *= 2;
        buffer_.assign(size, 0.0f);
        mask_ = size - 1;
        pos_ = 0;
    }
    void Clear() { std::fill(buffer_.begin(), buffer_.end(), 0.0f); }
    float Read(int delay) const { return buffer_[(pos_ - static_cast<size_t>(delay)) & mask_]; }
    float ReadFrac(float delay) const {
        int whole = static_cast<int>(delay);
        float frac = delay - static_cast<float>(whole);
        float a = Read(whole);
        return a + frac * (Read(whole + 1) - a);
    }
    void Write(float v) {
        buffer_[pos_] = v;
        pos_ = (pos_ + 1) & mask_;
    }

  private:
    std::vector<float> buffer_;
    size_t mask_ = 0;
    size_t pos_ = 0;
};

// Schroeder allpass (g + z^-L) / (1 + g z^-L): diffuses without colouring.
struct Allpass {
    DelayLine line;
    int length = 1;
    float gain = 0.5f;

    float Process(float x) {
        float delayed = line.Read(length);
        float w = Flush(x - gain * delayed);
        line.Write(w);
        return delayed + gain * w;
    }
};

// Freeverb's comb: a lowpass in the loop makes high frequencies die first, as in a room.
struct Comb {
    DelayLine line;
    int length = 1;
    float feedback = 0;
    float damp = 0;
    float store = 0;

    float Process(float x) {
        float y = line.Read(length);
        store = Flush(y + damp * (store - y));
        line.Write(x + feedback * store);
        return y;
    }
};

// ---- Rooms and halls: Freeverb (Jezar's tuning), scaled in size per type. ----

struct RoomSetting {
    float size;      // comb lengths relative to Freeverb's
    float feedback;  // sets the decay time with the size
    float damp;      // high-frequency loss per pass, at 44.1 kHz
    double preDelayMs;
};

// Room 1-3 grow in size and decay; the halls are larger still, with a pre-delay that keeps
// the first reflections apart from the dry sound.
constexpr std::array<RoomSetting, 5> kRooms = {{
    {0.45f, 0.70f, 0.35f, 1.0},   // Room 1
    {0.65f, 0.78f, 0.30f, 4.0},   // Room 2
    {0.85f, 0.84f, 0.25f, 8.0},   // Room 3
    {1.25f, 0.89f, 0.25f, 18.0},  // Hall 1
    {1.60f, 0.92f, 0.20f, 28.0},  // Hall 2
}};
constexpr std::array<int, 8> kCombTuning = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr std::array<int, 4> kAllpassTuning = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;
constexpr double kFreeverbRate = 44100.0;
constexpr double kMaxPreDelayMs = 30.0;

class Freeverb {
  public:
    void Allocate(double rate) {
        double scale = rate / kFreeverbRate;
        float maxSize = 0;
        for (const RoomSetting& r : kRooms)
            maxSize = std::max(maxSize, r.size);
        for (int i = 0; i < 8; ++i) {
            int longest = static_cast<int>((kCombTuning[i] * maxSize + kStereoSpread) * scale) + 1;
            left_[i].line.Allocate(longest);
            right_[i].line.Allocate(longest);
        }
        for (int i = 0; i < 4; ++i) {
            int longest = static_cast<int>((kAllpassTuning[i] + kStereoSpread) * scale) + 1;
            leftAp_[i].line.Allocate(longest);
            rightAp_[i].line.Allocate(longest);
        }
        preDelay_.Allocate(Samples(kMaxPreDelayMs / 1000.0, rate) + 1);
    }

    void Configure(const RoomSetting& s, double rate) {
        double scale = rate / kFreeverbRate;
        float damp = Pole(s.damp, kFreeverbRate, rate);
        for (int i = 0; i < 8; ++i) {
            SetComb(left_[i], std::lround(kCombTuning[i] * s.size * scale), s.feedback, damp);
            SetComb(right_[i], std::lround((kCombTuning[i] * s.size + kStereoSpread) * scale),
                    s.feedback, damp);
        }
        for (int i = 0; i < 4; ++i) {
            leftAp_[i].length = std::max(1, static_cast<int>(kAllpassTuning[i] * scale));
            rightAp_[i].length =
                std::max(1, static_cast<int>((kAllpassTuning[i] + kStereoSpread) * scale));
        }
        preLength_ = std::max(1, Samples(s.preDelayMs / 1000.0, rate));
        // Longer decays hold more energy; scaling the input by the loop's energy gain keeps
        // the types at a similar loudness.
        inputGain_ = 0.5f * std::sqrt((1.0f - s.feedback * s.feedback) / 8.0f);
        Clear();
    }

    void Clear() {
        for (auto* bank : {&left_, &right_}) {
            for (Comb& c : *bank) {
                c.line.Clear();
                c.store = 0;
            }
        }
        for (auto* chain : {&leftAp_, &rightAp_}) {
            for (Allpass& a : *chain)
                a.line.Clear();
        }
        preDelay_.Clear();
    }

    void Render(const float* inL, const float* inR, float* wetL, float* wetR, int n) {
        for (int i = 0; i < n; ++i) {
            float x = preDelay_.Read(preLength_);
            preDelay_.Write((inL[i] + inR[i]) * inputGain_);
            float l = 0, r = 0;
            for (int c = 0; c < 8; ++c) {
                l += left_[c].Process(x);
                r += right_[c].Process(x);
            }
            for (int a = 0; a < 4; ++a) {
                l = leftAp_[a].Process(l);
                r = rightAp_[a].Process(r);
            }
            wetL[i] = l;
            wetR[i] = r;
        }
    }

  private:
    static void SetComb(Comb& c, long length, float feedback, float damp) {
        c.length = std::max(1, static_cast<int>(length));
        c.feedback = feedback;
        c.damp = damp;
    }

    std::array<Comb, 8> left_, right_;
    std::array<Allpass, 4> leftAp_, rightAp_;
    DelayLine preDelay_;
    int preLength_ = 1;
    float inputGain_ = 0;
};

// ---- Plate: Dattorro's figure-of-eight tank ("Effect Design, Part 1", JAES 1997). ----

// Lengths in frames at the rate the design was published for.
constexpr double kPlateRate = 29761.0;
constexpr std::array<int, 4> kPlateDiffusers = {142, 107, 379, 277};
constexpr double kPlatePreDelayMs = 6.0;
constexpr float kPlateDecay = 0.5f;
constexpr float kPlateBandwidth = 0.9995f;  // input lowpass, 1 = no filtering
constexpr float kPlateDamping = 0.1f;       // in-tank lowpass, 0 = no filtering
constexpr double kPlateExcursion = 16.0;    // frames of delay sweep in the tank
constexpr double kPlateLfoHz = 1.0;

// Allpass whose delay sweeps, so the tank's resonances move and do not ring metallically.
struct SweptAllpass {
    DelayLine line;
    float length = 1;
    float excursion = 0;
    float gain = 0;

    float Process(float x, float lfo) {
        float delayed = line.ReadFrac(length + excursion * lfo);
        float w = Flush(x - gain * delayed);
        line.Write(w);
        return delayed + gain * w;
    }
};

// One half of the tank: swept allpass, delay, damping, decay, allpass, delay.
struct TankHalf {
    SweptAllpass swept;
    DelayLine first;
    Allpass diffuser;
    DelayLine second;
    int firstLength = 1;
    int secondLength = 1;
    float damp = 0;

    float Output() const { return second.Read(secondLength); }

    void Process(float x, float lfo, float decay, float damping) {
        float a = swept.Process(x, lfo);
        float t = first.Read(firstLength);
        first.Write(a);
        damp = Flush(t + damping * (damp - t));
        second.Write(diffuser.Process(damp * decay));
    }

    void Clear() {
        swept.line.Clear();
        first.Clear();
        diffuser.line.Clear();
        second.Clear();
        damp = 0;
    }
};

class Plate {
  public:
    void Allocate(double rate) {
        double scale = rate / kPlateRate;
        auto frames = [scale](double n) { return static_cast<int>(std::lround(n * scale)); };
        preDelay_.Allocate(Samples(kPlatePreDelayMs / 1000.0, rate) + 1);
        preLength_ = std::max(1, Samples(kPlatePreDelayMs / 1000.0, rate));
        const std::array<float, 4> gains = {0.75f, 0.75f, 0.625f, 0.625f};
        for (int i = 0; i < 4; ++i) {
            input_[i].length = std::max(1, frames(kPlateDiffusers[i]));
            input_[i].gain = gains[i];
            input_[i].line.Allocate(input_[i].length);
        }
        SetHalf(left_, frames, 672, 4453, 1800, 3720);
        SetHalf(right_, frames, 908, 4217, 2656, 3163);
        for (TankHalf* h : {&left_, &right_}) {
            h->swept.excursion = static_cast<float>(kPlateExcursion * scale);
            h->swept.line.Allocate(static_cast<int>(h->swept.length + h->swept.excursion) + 2);
        }
        bandwidth_ = 1.0f - Pole(1.0 - kPlateBandwidth, kPlateRate, rate);
        damping_ = Pole(kPlateDamping, kPlateRate, rate);
        lfoStep_ = static_cast<float>(kPlateLfoHz / rate);
        // The output taps, as Dattorro gives them, scaled with the lines they read.
        for (int i = 0; i < 7; ++i) {
            tapsL_[i] = std::max(1, frames(kTapsL[i]));
            tapsR_[i] = std::max(1, frames(kTapsR[i]));
        }
    }

    void Clear() {
        preDelay_.Clear();
        for (Allpass& a : input_)
            a.line.Clear();
        left_.Clear();
        right_.Clear();
        band_ = 0;
        phase_ = 0;
    }

    void Render(const float* inL, const float* inR, float* wetL, float* wetR, int n) {
        for (int i = 0; i < n; ++i) {
            float x = preDelay_.Read(preLength_);
            preDelay_.Write(0.5f * (inL[i] + inR[i]));
            band_ = Flush(band_ + bandwidth_ * (x - band_));
            float d = band_;
            for (Allpass& a : input_)
                d = a.Process(d);
            phase_ = Wrap(phase_ + lfoStep_);
            float fromRight = right_.Output(), fromLeft = left_.Output();
            left_.Process(d + kPlateDecay * fromRight, Lfo(phase_), kPlateDecay, damping_);
            right_.Process(d + kPlateDecay * fromLeft, Lfo(Wrap(phase_ + 0.25f)), kPlateDecay,
                           damping_);
            wetL[i] = kPlateLevel * TapLeft();
            wetR[i] = kPlateLevel * TapRight();
        }
    }

  private:
    static constexpr float kPlateLevel = 0.4f;
    static constexpr std::array<int, 7> kTapsL = {266, 2974, 1913, 1996, 1990, 187, 1066};
    static constexpr std::array<int, 7> kTapsR = {353, 3627, 1228, 2673, 2111, 335, 121};

    template <typename Frames>
    static void SetHalf(TankHalf& h, Frames frames, int swept, int first, int diffuser,
                        int second) {
        h.swept.length = static_cast<float>(frames(swept));
        h.swept.gain = -0.7f;  // decay diffusion 1, sign as in the figure
        h.firstLength = std::max(1, frames(first));
        h.first.Allocate(h.firstLength);
        h.diffuser.length = std::max(1, frames(diffuser));
        h.diffuser.gain = 0.5f;  // decay diffusion 2
        h.diffuser.line.Allocate(h.diffuser.length);
        h.secondLength = std::max(1, frames(second));
        h.second.Allocate(h.secondLength);
    }

    float TapLeft() const {
        return right_.first.Read(tapsL_[0]) + right_.first.Read(tapsL_[1]) -
               right_.diffuser.line.Read(tapsL_[2]) + right_.second.Read(tapsL_[3]) -
               left_.first.Read(tapsL_[4]) - left_.diffuser.line.Read(tapsL_[5]) -
               left_.second.Read(tapsL_[6]);
    }
    float TapRight() const {
        return left_.first.Read(tapsR_[0]) + left_.first.Read(tapsR_[1]) -
               left_.diffuser.line.Read(tapsR_[2]) + left_.second.Read(tapsR_[3]) -
               right_.first.Read(tapsR_[4]) - right_.diffuser.line.Read(tapsR_[5]) -
               right_.second.Read(tapsR_[6]);
    }

    DelayLine preDelay_;
    int preLength_ = 1;
    std::array<Allpass, 4> input_;
    TankHalf left_, right_;
    std::array<int, 7> tapsL_{}, tapsR_{};
    float bandwidth_ = 1, damping_ = 0, band_ = 0, phase_ = 0, lfoStep_ = 0;
};

// ---- Delay and the pan delays: echoes with a darkening feedback path. ----

struct EchoSetting {
    double seconds;
    float feedback;  // per repeat
    bool pingPong;   // repeats alternate left and right
};

constexpr std::array<EchoSetting, 3> kEchoes = {{
    {kReverbDelaySeconds, 0.4f, false},  // Delay
    {kPanDelay1Seconds, 0.5f, true},     // Pan Delay 1
    {kPanDelay2Seconds, 0.6f, true},     // Pan Delay 2
}};
constexpr float kEchoDamp = 0.3f;  // at 44.1 kHz
constexpr float kEchoLevel = 0.6f;

class Echo {
  public:
    void Allocate(double rate) {
        double longest = 0;
        for (const EchoSetting& e : kEchoes)
            longest = std::max(longest, e.seconds);
        a_.Allocate(Samples(longest, rate) + 1);
        b_.Allocate(Samples(longest, rate) + 1);
        damp_ = Pole(kEchoDamp, 44100.0, rate);
    }

    void Configure(const EchoSetting& s, double rate) {
        length_ = std::max(1, Samples(s.seconds, rate));
        feedback_ = s.feedback;
        pingPong_ = s.pingPong;
        Clear();
    }

    void Clear() {
        a_.Clear();
        b_.Clear();
        lowA_ = lowB_ = 0;
    }

    void Render(const float* inL, const float* inR, float* wetL, float* wetR, int n) {
        for (int i = 0; i < n; ++i) {
            float ya = a_.Read(length_), yb = b_.Read(length_);
            if (pingPong_) {
                // The sum goes to the left line; each line's output feeds the other one.
                lowB_ = Flush(yb + damp_ * (lowB_ - yb));
                a_.Write(0.5f * (inL[i] + inR[i]) + feedback_ * lowB_);
                b_.Write(Flush(feedback_ * ya));
            } else {
                lowA_ = Flush(ya + damp_ * (lowA_ - ya));
                lowB_ = Flush(yb + damp_ * (lowB_ - yb));
                a_.Write(inL[i] + feedback_ * lowA_);
                b_.Write(inR[i] + feedback_ * lowB_);
            }
            wetL[i] = kEchoLevel * ya;
            wetR[i] = kEchoLevel * yb;
        }
    }

  private:
    DelayLine a_, b_;
    int length_ = 1;
    float feedback_ = 0, damp_ = 0, lowA_ = 0, lowB_ = 0;
    bool pingPong_ = false;
};

// ---- Choruses, flanger and the chorus delays: one modulated multi-tap delay. ----

struct ChorusSetting {
    int voices;      // taps per side, spread evenly over the sweep's cycle
    double baseMs;   // centre delay
    double depthMs;  // sweep either side of the centre
    double rateHz;
    float feedback;  // from the first tap back into the line
};

constexpr std::array<ChorusSetting, 8> kChoruses = {{
    {2, 12.0, 2.5, 0.6, 0.0f},                            // Chorus 1: gentle, two voices
    {2, 8.0, 1.8, 1.1, 0.0f},                             // Chorus 2: quicker, shallower
    {3, 15.0, 4.0, 0.35, 0.0f},                           // Chorus 3: slow and deep
    {4, 20.0, 3.0, 0.8, 0.0f},                            // Chorus 4: four-voice ensemble
    {2, 10.0, 2.0, 0.5, 0.55f},                           // Chorus w/Feedback
    {1, 2.0, 1.7, 0.2, 0.75f},                            // Flanger: 0.3 to 3.7 ms
    {1, kChorusDelaySeconds * 1000, 0, 0, 0.0f},          // Delay
    {1, kChorusFeedbackDelaySeconds * 1000, 0, 0, 0.5f},  // Delay w/Feedback
}};

class Chorus {
  public:
    void Allocate(double rate) {
        double longest = 0;
        for (const ChorusSetting& c : kChoruses)
            longest = std::max(longest, c.baseMs + c.depthMs);
        for (DelayLine& l : lines_)
            l.Allocate(Samples(longest / 1000.0, rate) + 2);
    }

    void Configure(const ChorusSetting& s, double rate) {
        voices_ = s.voices;
        // Whole frames at the centre, so an unswept delay reads exact samples.
        base_ = static_cast<float>(std::max(1, Samples(s.baseMs / 1000.0, rate)));
        depth_ = static_cast<float>(s.depthMs / 1000.0 * rate);
        step_ = static_cast<float>(s.rateHz / rate);
        feedback_ = s.feedback;
        gain_ = 1.0f / std::sqrt(static_cast<float>(voices_));
        Clear();
    }

    void Clear() {
        for (DelayLine& l : lines_)
            l.Clear();
        phase_ = 0;
    }

    void Render(const float* inL, const float* inR, float* wetL, float* wetR, int n) {
        for (int i = 0; i < n; ++i) {
            phase_ = Wrap(phase_ + step_);
            wetL[i] = gain_ * Side(lines_[0], inL[i], phase_);
            // The right side sweeps a quarter cycle later, which widens a mono send.
            wetR[i] = gain_ * Side(lines_[1], inR[i], Wrap(phase_ + 0.25f));
        }
    }

  private:
    float Side(DelayLine& line, float x, float phase) {
        float sum = 0, first = 0;
        for (int v = 0; v < voices_; ++v) {
            float p = phase + static_cast<float>(v) / static_cast<float>(voices_);
            float y = line.ReadFrac(base_ + depth_ * Lfo(Wrap(p)));
            if (v == 0) first = y;
            sum += y;
        }
        line.Write(Flush(x + feedback_ * first));
        return sum;
    }

    std::array<DelayLine, 2> lines_;
    int voices_ = 1;
    float base_ = 1, depth_ = 0, step_ = 0, feedback_ = 0, gain_ = 1, phase_ = 0;
};

// A type in use and the one asked for. The old type's output fades out before they change
// over; the new type starts from silent lines and its input fades in, so that a signal
// already playing does not enter it as a step.
struct Slot {
    int wanted = 0;
    int active = 0;
    float output = 1;
    float input = 1;
};

}  // namespace

class Effects::Impl {
  public:
    explicit Impl(double rate) { SetRate(rate); }

    void SetRate(double rate) {
        // Far outside the rates audio devices offer, the shortest sweeps would reach zero delay.
        rate_ = std::isfinite(rate) ? std::clamp(rate, 8000.0, 384000.0) : 44100.0;
        fadeStep_ = static_cast<float>(1.0 / (kFadeSeconds * rate_));
        room_.Allocate(rate_);
        plate_.Allocate(rate_);
        echo_.Allocate(rate_);
        chorus_.Allocate(rate_);
        ClearAll();
    }

    void ClearAll() {
        for (Slot* s : {&reverb_, &chorusSlot_}) {
            s->active = s->wanted;
            s->output = 1;
            s->input = 0;
        }
        StartReverb(reverb_.active);
        StartChorus(chorusSlot_.active);
    }

    void Process(const float* rl, const float* rr, const float* cl, const float* cr, float* outL,
                 float* outR, int n) {
        for (int done = 0; done < n; done += kChunk) {
            int m = std::min(kChunk, n - done);
            if (Ready(reverb_, true)) {
                const float* in[2] = {rl + done, rr + done};
                FadeIn(reverb_, in, m);
                RenderReverb(in[0], in[1], m);
                Mix(reverb_, outL + done, outR + done, m);
            }
            if (Ready(chorusSlot_, false)) {
                const float* in[2] = {cl + done, cr + done};
                FadeIn(chorusSlot_, in, m);
                chorus_.Render(in[0], in[1], wetL_.data(), wetR_.data(), m);
                Mix(chorusSlot_, outL + done, outR + done, m);
            }
        }
    }

    Slot reverb_, chorusSlot_;

  private:
    // Changes over once the old type is silent; true when the slot has anything to play.
    bool Ready(Slot& s, bool isReverb) {
        if (s.wanted != s.active && (s.output <= 0.0f || s.active == 0)) {
            s.active = s.wanted;
            s.output = 1;
            s.input = 0;
            isReverb ? StartReverb(s.active) : StartChorus(s.active);
        }
        return s.active != 0;
    }

    void StartReverb(int type) {
        if (type >= 1 && type <= 5) room_.Configure(kRooms[type - 1], rate_);
        if (type == 6) plate_.Clear();
        if (type >= 7) echo_.Configure(kEchoes[type - 7], rate_);
    }

    void StartChorus(int type) {
        if (type >= 1) chorus_.Configure(kChoruses[type - 1], rate_);
    }

    // While the input fades in, the engine reads a faded copy instead of the send.
    void FadeIn(Slot& s, const float* (&in)[2], int m) {
        if (s.input >= 1.0f) return;
        for (int i = 0; i < m; ++i) {
            s.input = std::min(1.0f, s.input + fadeStep_);
            fadedL_[i] = s.input * in[0][i];
            fadedR_[i] = s.input * in[1][i];
        }
        in[0] = fadedL_.data();
        in[1] = fadedR_.data();
    }

    void RenderReverb(const float* inL, const float* inR, int m) {
        int type = reverb_.active;
        if (type <= 5) {
            room_.Render(inL, inR, wetL_.data(), wetR_.data(), m);
        } else if (type == 6) {
            plate_.Render(inL, inR, wetL_.data(), wetR_.data(), m);
        } else {
            echo_.Render(inL, inR, wetL_.data(), wetR_.data(), m);
        }
    }

    void Mix(Slot& s, float* outL, float* outR, int m) {
        float target = s.wanted == s.active ? 1.0f : 0.0f;
        if (s.output == target) {
            for (int i = 0; i < m; ++i) {
                outL[i] += target * wetL_[i];
                outR[i] += target * wetR_[i];
            }
            return;
        }
        float step = target > s.output ? fadeStep_ : -fadeStep_;
        for (int i = 0; i < m; ++i) {
            s.output = std::clamp(s.output + step, 0.0f, 1.0f);
            outL[i] += s.output * wetL_[i];
            outR[i] += s.output * wetR_[i];
        }
    }

    double rate_ = 44100.0;
    float fadeStep_ = 0;
    Freeverb room_;
    Plate plate_;
    Echo echo_;
    Chorus chorus_;
    std::array<float, kChunk> wetL_{}, wetR_{}, fadedL_{}, fadedR_{};
};

Effects::Effects(double sampleRate) : impl_(std::make_unique<Impl>(sampleRate)) {}
Effects::~Effects() = default;

void Effects::SetSampleRate(double rate) {
    impl_->SetRate(rate);
}

void Effects::SetReverbType(int type) {
    if (type >= 0 && type < kReverbTypeCount) impl_->reverb_.wanted = type;
}

void Effects::SetChorusType(int type) {
    if (type >= 0 && type < kChorusTypeCount) impl_->chorusSlot_.wanted = type;
}

int Effects::ReverbType() const {
    return impl_->reverb_.wanted;
}

int Effects::ChorusType() const {
    return impl_->chorusSlot_.wanted;
}

void Effects::Process(const float* reverbL, const float* reverbR, const float* chorusL,
                      const float* chorusR, float* outL, float* outR, int n) {
    impl_->Process(reverbL, reverbR, chorusL, chorusR, outL, outR, n);
}

void Effects::Clear() {
    impl_->ClearAll();
}

}  // namespace talmeru::voice
