#include "files/Sf2Layer.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "files/Sf2Numbers.h"
#include "model/Ma1Units.h"
#include "model/ModSource.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

using namespace sf2;

// Delay, attack and hold form the attack group; decays and releases longer than one segment
// spread over as many as the ENV holds.
constexpr int kAttackSegments = 3;
constexpr double kLongestSegment = 255 * units::kEnvSecondsPerStep;
constexpr uint8_t kSourceModWheel = 0x81;
constexpr uint8_t kSourceChannelPressure = 0xB0;
constexpr uint8_t kSourceVelocity = 0xD1, kSourceVelocityInverted = 0xD7;
// The constant nearest one half from below, so that velocity 64 (0.504) is in range.
constexpr uint8_t kSourceHalf = 95;
constexpr int kFunInRange = 7;
constexpr int kLfoQuarterPeriod = 4;  // in the LFO's phase steps of 22.5 degrees
// The players' default modulators: the mod wheel and channel pressure each add 50 cents of
// vibrato; velocity below full closes the cutoff by up to 2400 cents, only from velocity 64 up
// (FluidSynth's reading of the default, which voiced files expect).
constexpr int kDefaultVibratoCents = 50;
constexpr double kDefaultVelocityCutoffCents = 2400;
constexpr double kPlayersAttenuationScale = 0.4;

// How many segments of at most kLongestSegment (up to `most`) a fall of `seconds` takes.
int SegmentsFor(double seconds, int most) {
    return std::clamp(static_cast<int>(std::ceil(seconds / kLongestSegment)), 1, most);
}

// A fall of `seconds` from level `from` to level `to` over `count` equal segments, written
// from segment `first` on.
void SetFall(EnvModulator& e, int first, int count, int from, int to, double seconds) {
    for (int i = 1; i <= count; ++i) {
        const int level = static_cast<int>(std::lround(from + (to - from) * double(i) / count));
        e.SetSegment(first + i - 1, level, units::EnvStep(seconds / count));
    }
}

// What an envelope's generators ask of the falls: how far below full level the sustain lies
// (0..1 of the travel; the volume envelope's in cB, the modulation envelope's in 0.1%), and
// the times of the decay to it and of the release from where a note typically is.
struct Falls {
    double drop = 0, decay = 0, release = 0;
};
Falls FallsOf(const int (&g)[6], bool volume) {
    Falls f;
    f.drop = volume ? std::clamp(g[4], 0, 960) / 960.0 : std::clamp(g[4], 0, 1000) / 1000.0;
    f.decay = SecondsOf(g[3]) * f.drop;
    f.release = SecondsOf(g[5]) * ReleaseShare(SecondsOf(g[3]), f.drop);
    return f;
}

// The envelope's segments at the engine's units: delay, attack and hold, the decay to the
// sustain level and the release to silence.
void SetEnvelope(EnvModulator& e, const int (&g)[6], bool volume) {
    const Falls f = FallsOf(g, volume);
    const int sustain = volume ? units::EnvLevelForDb(-std::clamp(g[4], 0, 960) / 10.0)
                               : static_cast<int>(std::lround(127 * (1.0 - f.drop)));
    const int decays = SegmentsFor(f.decay, EnvModulator::kMaxDecay);
    const int releases = SegmentsFor(f.release, EnvModulator::kMaxRelease);
    // The volume envelope rises linearly in amplitude and falls linearly in dB, which is the
    // curved envelope; the modulation envelope is straight throughout.
    e.SetLinear(!volume);
    e.SetAttackCount(kAttackSegments);
    e.SetDecayCount(decays);
    e.SetReleaseCount(releases);
    e.SetStartLevel(0);
    e.SetSegment(0, 0, units::EnvStep(SecondsOf(g[0])));
    e.SetSegment(1, 127, units::EnvStep(SecondsOf(g[1])));
    e.SetSegment(2, 127, units::EnvStep(SecondsOf(g[2])));
    SetFall(e, kAttackSegments, decays, 127, sustain, f.decay);
    SetFall(e, kAttackSegments + decays, releases, sustain, 0, f.release);
}

int Depth(double v) {
    return static_cast<int>(std::clamp(std::lround(v), -127L, 127L));
}

template <typename M>
M* AddTo(Layer& layer, std::unique_ptr<M> m) {
    M* raw = m.get();
    return layer.AddModulator(std::move(m)) >= 0 ? raw : nullptr;
}

// A low-pass Filter #1 at `cents` (absolute) with resonance q (cB); the bytes are written as
// they are, since the editors' setter rounds the high byte up.
void SetLowPass(Layer& layer, double cents, int q) {
    const int setting = units::FilterSetting(HzOf(static_cast<int>(std::lround(cents))));
    auto set = [&](int type, int value) {
        layer.Filter1().SetFilterType(type);
        layer.Filter1().SetByte(4, static_cast<uint8_t>(value >> 8));
        layer.Filter1().SetByte(5, static_cast<uint8_t>(value & 0xFF));
    };
    if (q > 0) {
        const int res =
            static_cast<int>(std::lround(std::clamp(q / 10.0, 0.0, 24.0) * 255.0 / 24.0));
        set(4, (setting & 0xFF00) | res);
    } else {
        set(3, setting);
    }
}

// FUN operators that build envelope rates from the note's key and velocity.
constexpr int kFunDifferenceTimes = 2;  // (A-B)*C
constexpr int kFunLessProduct = 4;      // A-(B*C)
constexpr int kFunProduct = 5;          // A*B*C
// Each 0.25 by which an envelope's rate input lies below 1 doubles its times.
constexpr double kTimecentsPerRateUnit = 4 * 1200.0;

uint8_t ConstantSource(double v) {
    return static_cast<uint8_t>(64 + std::lround(std::clamp(v, -1.0, 1.0) * 63));
}

// A FUN of the layer; 0 when the layer has no room for it.
uint8_t AddFun(Layer& layer, int op, uint8_t a, uint8_t b, uint8_t c) {
    auto f = std::make_unique<FunModulator>();
    f->SetOperator(op);
    *f->Input(0) = a;
    *f->Input(1) = b;
    *f->Input(2) = c;
    const int id = layer.AddModulator(std::move(f));
    return id >= 0 ? LayerModulatorSource(id) : 0;
}

// The note's key or velocity (0..1) from a linear unipolar SoundFont source of either; 0 when
// the layer has no room for the FUN that turns it round.
uint8_t NoteSource(Layer& layer, int src) {
    const uint8_t s = Ma1SourceOf(static_cast<uint16_t>(src & ~kSrcNegative));
    if (!(src & kSrcNegative)) return s;
    return AddFun(layer, kFunDifferenceTimes, kSourceOne, s, kSourceOne);
}

// A modulator that lengthens or shortens an envelope's decay or release by amount timecents
// times its sources (the note's key and velocity) becomes the ENV's rate input: the stage's
// times are stored at their shortest and the rate slows them note by note. Returns false
// when the modulator is not of that kind.
bool AddEnvelopeRate(const Sf2Route& r, const Sf2LayerModulators& m, Layer& layer) {
    const bool modEnv = r.dest == kModEnvDelay + 3 || r.dest == kModEnvRelease;
    const bool volEnv = r.dest == kVolEnvDelay + 3 || r.dest == kVolEnvRelease;
    auto noteSource = [](int src) {
        const int plain = src & ~kSrcNegative;
        return plain == kSrcKey || plain == kSrcVelocity;
    };
    if ((!modEnv && !volEnv) || !noteSource(r.src) || (r.amountSrc && !noteSource(r.amountSrc)))
        return false;
    EnvModulator& env = modEnv ? *m.envA : *m.envB;
    const bool release = r.dest == kModEnvRelease || r.dest == kVolEnvRelease;
    const size_t added = layer.Modulators().size();
    uint8_t term = NoteSource(layer, r.src);
    if (term && r.amountSrc) {
        const uint8_t by = NoteSource(layer, r.amountSrc);
        term = by ? AddFun(layer, kFunProduct, term, by, kSourceOne) : 0;
    }
    if (term && r.amount < 0) {
        // Shortened at full: the stored times are the shortest, the rest of the way a slowing.
        term = AddFun(layer, kFunDifferenceTimes, kSourceOne, term, kSourceOne);
        const double factor = std::exp2(r.amount / 1200.0);
        const int first = env.AttackCount() + (release ? env.DecayCount() : 0);
        const int count = release ? env.ReleaseCount() : env.DecayCount();
        for (int i = first; i < first + count; ++i) {
            const EnvSegment s = env.Segments()[size_t(i)];
            env.SetSegment(i, s.level, static_cast<int>(std::lround(s.time * factor)));
        }
    }
    uint8_t* input = env.Input(release ? 3 : 2);
    const uint8_t rate =
        term ? AddFun(layer, kFunLessProduct, *input, term,
                      ConstantSource(std::abs(r.amount) / kTimecentsPerRateUnit))
             : 0;
    if (rate) *input = rate;
    // The FUNs were each put first in the list; in the order made, each runs after its inputs.
    auto& list = layer.Modulators();
    std::reverse(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(list.size() - added));
    return true;
}

}  // namespace

double Sf2AttenuationDb(double centibels) {
    return -centibels * kPlayersAttenuationScale / 10.0;
}

double Sf2AttenuationCb(double db) {
    return -db * 10.0 / kPlayersAttenuationScale;
}

int Sf2LayerGain(const Sf2LayerValues& v, const Layer& layer) {
    // The standard asks for half the peak's height (in cB, as players clip it); the engine's
    // filters do not lower their output.
    const double resonanceDrop =
        layer.Filter1().FilterType() == 4 ? std::clamp(v.filterQ, 0, 960) / 20.0 : 0.0;
    return static_cast<int>(std::lround(Sf2AttenuationDb(v.attenuation) - resonanceDrop));
}

Sf2LayerModulators AddSf2LayerModulators(Layer& layer) {
    auto envelope = [] {
        auto e = std::make_unique<EnvModulator>();
        e->SetAttackCount(kAttackSegments);
        return e;
    };
    // SoundFont LFOs are triangles that start at their middle, rising: a quarter period into
    // ours, which starts at its lowest.
    auto lfo = [] {
        auto l = std::make_unique<LfoModulator>();
        l->SetShape(kLfoTriangle);
        l->SetPhase(kLfoQuarterPeriod);
        return l;
    };
    Sf2LayerModulators m;
    m.envA = AddTo(layer, envelope());
    m.envB = AddTo(layer, envelope());
    m.lfoA = AddTo(layer, lfo());
    m.lfoB = AddTo(layer, lfo());
    return m;
}

void MakeSf2Layer(const Sf2LayerValues& g, const Sf2LayerModulators& m, Layer& layer,
                  bool playersDefaults) {
    SetEnvelope(*m.envA, g.modEnv, false);
    SetEnvelope(*m.envB, g.volEnv, true);
    m.lfoA->SetBaseRate(static_cast<uint8_t>(units::LfoValue(HzOf(g.modLfoFreq))));
    m.lfoB->SetBaseRate(static_cast<uint8_t>(units::LfoValue(HzOf(g.vibLfoFreq))));
    auto route = [](ControlBlock& block, const Modulator* from, int depth) {
        block.AddEntry(
            {LayerModulatorSource(from->Id()), static_cast<int8_t>(depth), 0, kSourceZero});
    };
    const double pitchStep = kPitchCentsPerDepth;
    const double filterStep = kFilterCentsPerDepth;
    route(layer.Pitch(), m.envA, Depth(g.modEnvToPitch / pitchStep));
    route(layer.Filter1(), m.envA, Depth(g.modEnvToFilter / filterStep));
    route(layer.Pitch(), m.lfoB, Depth(g.vibLfoToPitch / pitchStep));
    route(layer.Pitch(), m.lfoA, Depth(g.modLfoToPitch / pitchStep));
    route(layer.Filter1(), m.lfoA, Depth(g.modLfoToFilter / filterStep));
    // A tremolo of +-X cB swings 2X/10 dB: the Amp route spans 2 x 96 dB over the LFO's range.
    route(layer.Amp(), m.lfoA, Depth(std::abs(g.modLfoToVolume) * 127.0 / 960.0));
    route(layer.Amp(), m.envB, 127);
    layer.SetNaturalEnvelope(false);
    if (playersDefaults) {
        const uint8_t vibrato = LayerModulatorSource(m.lfoB->Id());
        const int8_t extra = static_cast<int8_t>(Depth(kDefaultVibratoCents / pitchStep));
        for (ModulationEntry& e : layer.Pitch().Entries())
            if (e.controlSource == vibrato) {
                e.adjustedDepth = extra;
                e.depthAdjustSource = kSourceModWheel;
                break;
            }
        layer.Pitch().AddEntry({vibrato, 0, extra, kSourceChannelPressure});
        layer.Amp().SetVelocityTracking(kPlayersVelocityTracking);
        // From velocity 64 up the cutoff lies 2400 cents x (1 - velocity) below the generator's
        // value; below 64 the players leave it open. A FUN gates the route from the inverted
        // velocity at 64 through the route's depth.
        SetLowPass(layer, g.filterFc, g.filterQ);
        if (const uint8_t gate =
                AddFun(layer, kFunInRange, kSourceVelocity, kSourceHalf, kSourceOne))
            layer.Filter1().AddEntry(
                {kSourceVelocityInverted, 0,
                 static_cast<int8_t>(Depth(-kDefaultVelocityCutoffCents / filterStep)), gate});
    } else if (g.filterFc < 13500) {
        // Below 13500 cents (about 20 kHz) the SoundFont's low-pass filter is heard.
        SetLowPass(layer, g.filterFc, g.filterQ);
    }
    layer.SetPan(units::PanForPosition(std::clamp(g.pan, -500, 500) / 500.0));
    layer.Amp().SetGain(Sf2LayerGain(g, layer));
}

std::vector<std::string> Sf2LayerApproximations(const Sf2LayerValues& g) {
    std::vector<std::string> out;
    auto check = [&](const std::string& what, double seconds, int segments) {
        const double most = segments * kLongestSegment;
        if (seconds > most + units::kEnvSecondsPerStep)
            out.push_back(Fmt("a %s of %.1f s, held to %.1f s", what.c_str(), seconds, most));
    };
    for (const auto& [e, name] : {std::pair{&g.volEnv, "volume"}, std::pair{&g.modEnv, "modulation"}}) {
        const Falls f = FallsOf(*e, e == &g.volEnv);
        const std::string n = name;
        check(n + " delay", SecondsOf((*e)[0]), 1);
        check(n + " attack", SecondsOf((*e)[1]), 1);
        check(n + " hold", SecondsOf((*e)[2]), 1);
        check(n + " decay", f.decay, EnvModulator::kMaxDecay);
        check(n + " release", f.release, EnvModulator::kMaxRelease);
    }
    for (const auto& [hz, name] : {std::pair{HzOf(g.modLfoFreq), "a modulation LFO"},
                                   std::pair{HzOf(g.vibLfoFreq), "a vibrato LFO"}})
        if (hz > units::LfoHz(255) + 0.05)
            out.push_back(Fmt("%s of %.1f Hz, held to %.1f Hz", name, hz, units::LfoHz(255)));
    return out;
}

bool IsSf2Tracking(const Sf2Route& m) {
    return m.amountSrc == 0 &&
           ((m.src == kSrcVelocityCurve && m.dest == kInitialAttenuation) ||
            (m.src == kSrcKey && (m.dest == kInitialAttenuation || m.dest == kInitialFilterFc)) ||
            (m.src == kSrcVelocityBipolar && m.dest == kInitialFilterFc));
}

void AddSf2Routes(const std::vector<Sf2Route>& routes, const Sf2LayerModulators& m, Layer& layer) {
    const double pitchStep = kPitchCentsPerDepth;
    const double filterStep = kFilterCentsPerDepth;
    const double ampStep = kAttenuationCbPerDepth;
    auto depth = [](double v) {
        return static_cast<int8_t>(std::clamp(std::lround(v), -127L, 127L));
    };
    // The entry of block whose control source is `control` and whose depth nothing adjusts.
    auto entryOf = [](ControlBlock& block, uint8_t control) -> ModulationEntry* {
        for (auto& e : block.Entries())
            if (e.controlSource == control && e.depthAdjustSource == kSourceZero) return &e;
        return nullptr;
    };
    for (const Sf2Route& r : routes) {
        if (IsSf2Tracking(r) || r.amount == 0 || AddEnvelopeRate(r, m, layer)) continue;
        const uint8_t src = Ma1SourceOf(r.src);
        if (!src) continue;
        ControlBlock* block = nullptr;
        double step = 0;
        const Modulator* from = nullptr;  // the layer modulator whose route the source adjusts
        switch (r.dest) {
            case kFineTune:
                block = &layer.Pitch(), step = pitchStep;
                break;
            case kInitialFilterFc:
                block = &layer.Filter1(), step = filterStep;
                break;
            case kInitialAttenuation:
                block = &layer.Amp(), step = -ampStep;
                break;
            case kModLfoToPitch:
                block = &layer.Pitch(), step = pitchStep, from = m.lfoA;
                break;
            case kVibLfoToPitch:
                block = &layer.Pitch(), step = pitchStep, from = m.lfoB;
                break;
            case kModEnvToPitch:
                block = &layer.Pitch(), step = pitchStep, from = m.envA;
                break;
            case kModLfoToFilterFc:
                block = &layer.Filter1(), step = filterStep, from = m.lfoA;
                break;
            case kModEnvToFilterFc:
                block = &layer.Filter1(), step = filterStep, from = m.envA;
                break;
            case kModLfoToVolume:
                block = &layer.Amp(), step = ampStep, from = m.lfoA;
                break;
            default:
                continue;
        }
        if (from || r.amountSrc != 0) {
            // A depth adjusted by src: of the route from the modulator, or from the source.
            const uint8_t control = from ? LayerModulatorSource(from->Id()) : Ma1SourceOf(r.src);
            const uint8_t adjust = from ? src : Ma1SourceOf(r.amountSrc);
            ModulationEntry* e = adjust ? entryOf(*block, control) : nullptr;
            if (e) {
                e->adjustedDepth = depth(r.amount / step);
                e->depthAdjustSource = adjust;
            }
        } else {
            block->AddEntry({src, depth(r.amount / step), 0, kSourceZero});
        }
    }
}

bool SetSf2LayerValue(Sf2LayerValues& g, int op, int t) {
    if (op >= kModEnvDelay && op <= kModEnvRelease) {
        g.modEnv[op - kModEnvDelay] = t;
        return true;
    }
    if (op >= kVolEnvDelay && op <= kVolEnvRelease) {
        g.volEnv[op - kVolEnvDelay] = t;
        return true;
    }
    int* target = nullptr;
    switch (op) {
        case kModLfoFreq:
            target = &g.modLfoFreq;
            break;
        case kVibLfoFreq:
            target = &g.vibLfoFreq;
            break;
        case kModLfoToPitch:
            target = &g.modLfoToPitch;
            break;
        case kVibLfoToPitch:
            target = &g.vibLfoToPitch;
            break;
        case kModEnvToPitch:
            target = &g.modEnvToPitch;
            break;
        case kModLfoToFilterFc:
            target = &g.modLfoToFilter;
            break;
        case kModEnvToFilterFc:
            target = &g.modEnvToFilter;
            break;
        case kModLfoToVolume:
            target = &g.modLfoToVolume;
            break;
        case kInitialFilterFc:
            target = &g.filterFc;
            break;
        case kInitialFilterQ:
            target = &g.filterQ;
            break;
        case kPan:
            target = &g.pan;
            break;
        case kInitialAttenuation:
            target = &g.attenuation;
            break;
        default:
            return false;
    }
    *target = t;
    return true;
}

}  // namespace talmeru
