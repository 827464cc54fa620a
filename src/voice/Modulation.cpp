#include "voice/Modulation.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "model/Ma1Units.h"
#include "model/ModSource.h"

namespace talmeru::voice {

namespace {
constexpr float kPi = std::numbers::pi_v<float>;

bool On(float v) {
    return v > 0.0f;
}

// Rate inputs: 1.0 runs an envelope at its stored times, each step of 0.25 below halves it.
float RateFactor(float v) {
    return std::exp2(4.0f * (std::clamp(v, -1.0f, 1.0f) - 1.0f));
}

// Where a segment is at progress p (0..1). "Linear" envelopes move in straight lines of level.
// Others rise linearly in amplitude as the Amp block hears a level (96 dB over 0..1), so that
// attacks swell as an analogue envelope's do, and fall in straight lines of level, which the
// Amp block hears as exponential decays.
float Shape(float from, float to, float p, bool linear) {
    if (linear || to <= from || from < 0.0f || to > 1.0f) return from + (to - from) * p;
    constexpr float kDecades = static_cast<float>(units::kAmpRangeDb / 20.0);
    const float a0 = std::pow(10.0f, -kDecades * (1.0f - from));
    const float a1 = std::pow(10.0f, -kDecades * (1.0f - to));
    return 1.0f + std::log10(a0 + (a1 - a0) * p) / kDecades;
}
}  // namespace

float SourceValue(uint8_t code, const SourceContext& c) {
    const int n = code & 0x0F;
    switch (ClassifySource(code)) {
        case SourceClass::kConstant:
            return static_cast<float>(ConstantValue(code));
        case SourceClass::kController:
            return c.channel ? c.channel->controller[n] : 0.0f;
        case SourceClass::kGlobalSwitch:
            return c.channel && n < 4 ? c.channel->switches[n] : 0.0f;
        case SourceClass::kGlobalSource:
            return c.channel && n < 7 ? c.channel->global[n] : 0.0f;
        case SourceClass::kProgramModulator:
            return c.programValues ? c.programValues[n] : 0.0f;
        case SourceClass::kNoteProperty:
            return c.note && n < 11 ? c.note->property[n] : 0.0f;
        case SourceClass::kLayerModulator:
            return c.layerValues ? c.layerValues[n] : 0.0f;
    }
    return 0.0f;
}

void ModulatorState::Start(const Modulator* m) {
    *this = ModulatorState();
    m_ = m;
    if (m && m->Kind() == ModulatorKind::kLfo)
        phase01_ = static_cast<const LfoModulator*>(m)->Phase() / 16.0;
}

float ModulatorState::Step(const SourceContext& c, bool gate, float dt) {
    if (!m_) return value_ = 0.0f;
    switch (m_->Kind()) {
        case ModulatorKind::kFun:
            value_ = StepFun(*static_cast<const FunModulator*>(m_), c, dt);
            break;
        case ModulatorKind::kLfo:
            value_ = StepLfo(*static_cast<const LfoModulator*>(m_), c, dt);
            break;
        case ModulatorKind::kEnv:
            value_ = StepEnv(*static_cast<const EnvModulator*>(m_), c, gate, dt);
            break;
    }
    if (!std::isfinite(value_)) value_ = 0.0f;
    return value_;
}

float ModulatorState::StepFun(const FunModulator& f, const SourceContext& c, float dt) {
    auto in = [&](int i) {
        const int code = f.InputSource(i);
        return code < 0 ? 0.0f : SourceValue(static_cast<uint8_t>(code), c);
    };
    const float a = in(0), b = in(1), x = in(2);
    switch (f.Operator()) {
        case 0:
            return a + b + x;
        case 1:
            return (a + b) * x;
        case 2:
            return (a - b) * x;
        case 3:
            return a + b * x;
        case 4:
            return a - b * x;
        case 5:
            return a * b * x;
        case 6:
            return 0.0f;
        case 7:
            return a >= b && a <= x ? 1.0f : 0.0f;  // In Range
        case 8:
            return b + (a + 1.0f) * 0.5f * (x - b);  // Scale -1..1 onto lo..hi
        case 9:
            return a > b ? a : b;  // Diode
        case 10:                   // Track (gate, input)
            if (On(a) || !primed_) held_ = b;
            primed_ = true;
            return held_;
        case 11:  // Sample Hold: takes the input when the gate opens
            if ((On(a) && !prevGate_) || !primed_) held_ = b;
            prevGate_ = On(a);
            primed_ = true;
            return held_;
        case 12:
        case 13: {  // Low Pass / High Pass: rate 0..1 sets 0.1..100 Hz
            const float hz = 0.1f * std::pow(1000.0f, std::clamp(a, 0.0f, 1.0f));
            const float k = 1.0f - std::exp(-2.0f * kPi * hz * dt);
            if (!primed_) smooth_ = b;
            primed_ = true;
            smooth_ += k * (b - smooth_);
            return f.Operator() == 12 ? smooth_ : b - smooth_;
        }
        case 14: {  // Quantize: steps 0..1 gives 1..16 steps over the unit
            const float steps = 1.0f + std::round(std::clamp(std::fabs(b), 0.0f, 1.0f) * 15.0f);
            return std::round(a * steps) / steps;
        }
        case 15:
            return std::fabs(a) > b ? std::fabs(a) : b;  // |Diode|
        case 16:
            return std::cos(kPi * a);
        case 17:
            return On(a) && On(b) && On(x) ? 1.0f : 0.0f;
        case 18:
            return On(a) || On(b) || On(x) ? 1.0f : 0.0f;
        case 19:
            return std::clamp(a, std::min(b, x), std::max(b, x));
        case 20:
            return std::max(a, b);
        case 21:
            return std::min(a, b);
        default:
            return 0.0f;
    }
}

float ModulatorState::StepLfo(const LfoModulator& l, const SourceContext& c, float dt) {
    const float adjust = SourceValue(static_cast<uint8_t>(l.InputSource(0)), c);
    const double base = units::LfoHz(l.BaseRate());
    const double hz = base + adjust * (units::LfoHz(l.AdjustedRate()) - base);
    phase01_ += std::max(hz, 0.0) * dt;
    phase01_ -= std::floor(phase01_);
    const float p = static_cast<float>(phase01_);
    switch (l.Shape()) {
        case 2:
            return p < 0.5f ? 1.0f : -1.0f;  // Square
        case 3:
            return 2.0f * p - 1.0f;  // Ramp
        case 4:
            return p < 0.5f ? 4.0f * p - 1.0f : 3.0f - 4.0f * p;  // Triangle
        default:
            return std::sin(2.0f * kPi * p);  // Sine
    }
}

void ModulatorState::BeginSegment(const EnvModulator& e, int index) {
    segment_ = index;
    from_ = value_;
    const auto& s = e.Segments();
    if (index < 0 || index >= static_cast<int>(s.size())) {
        to_ = value_;
        duration_ = 0;
    } else {
        to_ = static_cast<float>(units::EnvLevel(s[static_cast<size_t>(index)].level));
        duration_ = static_cast<float>(units::EnvSeconds(s[static_cast<size_t>(index)].time));
    }
    elapsed_ = 0;
}

float ModulatorState::StepEnv(const EnvModulator& e, const SourceContext& c, bool gate, float dt) {
    auto input = [&](int i) { return SourceValue(static_cast<uint8_t>(e.InputSource(i)), c); };
    const bool open = gate && On(input(0));
    const int a = e.AttackCount(), d = e.DecayCount(), r = e.ReleaseCount();
    const int total = static_cast<int>(e.Segments().size());
    if (phase_ == kIdle) {
        if (!open) return value_;
        value_ = static_cast<float>(units::EnvLevel(e.StartLevel()));
        phase_ = kAttack;
        BeginSegment(e, 0);
    } else if (!open && phase_ != kRelease && phase_ != kDone) {
        phase_ = kRelease;
        BeginSegment(e, a + d);
    } else if (open && (phase_ == kRelease || phase_ == kDone)) {
        // The trigger opened again (a released note's gate never does): from where it is.
        finished_ = false;
        phase_ = kAttack;
        BeginSegment(e, 0);
    }
    if (phase_ == kSustain || phase_ == kDone) return value_;

    const int rateInput = phase_ == kAttack ? 1 : phase_ == kDecay ? 2 : 3;
    float left = dt * RateFactor(input(rateInput));
    while (left > 0.0f || duration_ <= 0.0f) {
        if (duration_ > 0.0f) {
            const float step = std::min(left, duration_ - elapsed_);
            elapsed_ += step;
            left -= step;
            value_ = Shape(from_, to_, elapsed_ / duration_, e.Linear());
            if (elapsed_ < duration_) break;
        }
        value_ = to_;
        // The segment is over: the next one, or the end of its group.
        const int next = segment_ + 1;
        if (phase_ == kAttack && next >= a) {
            phase_ = kDecay;
        } else if (phase_ == kDecay && next >= a + d) {
            phase_ = kSustain;
            return value_;
        } else if (phase_ == kRelease && (next >= a + d + r || next >= total)) {
            phase_ = kDone;
            finished_ = true;
            return value_;
        }
        if (next >= total) {
            phase_ = phase_ == kRelease ? kDone : kSustain;
            finished_ = phase_ == kDone;
            return value_;
        }
        BeginSegment(e, next);
        if (left <= 0.0f && duration_ > 0.0f) break;
    }
    return value_;
}

}  // namespace talmeru::voice
