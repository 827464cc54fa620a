#include "files/Sf2Presets.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "files/ConversionLog.h"
#include "files/ImportSupport.h"
#include "files/Sf2Layer.h"
#include "files/Sf2Numbers.h"
#include "model/Ma1Units.h"
#include "model/WaveData.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

using namespace sf2;

// Generator numbers the conversion reads beyond those of Sf2Numbers.h.
enum : int {
    kStartOffset = 0,
    kEndOffset = 1,
    kLoopStartOffset = 2,
    kLoopEndOffset = 3,
    kStartCoarseOffset = 4,
    kEndCoarseOffset = 12,
    kLoopStartCoarseOffset = 45,
    kLoopEndCoarseOffset = 50,
    kKeynum = 46,
    kVelocity = 47,
    kScaleTuning = 56,
    kKeynumToModEnvHold = 31,
    kKeynumToModEnvDecay = 32,
    kKeynumToVolEnvHold = 39,
    kKeynumToVolEnvDecay = 40,
};

constexpr int kKitBank = 128;
constexpr int kFirstKitProgram = 128;
constexpr int kFirstOtherProgram = 256;
constexpr int kProgramLimit = 512;
// A packed program holds at most this much, its 22-byte header included.
constexpr int kMaxPackedProgram = 4096;
constexpr int kObjectHeader = 22;
// The velocity a velocity split is judged by when only one of its layers can stay.
constexpr int kTypicalVelocity = 100;
constexpr int kSoftestPlayed = 16;  // ppp, as notation programs play it
constexpr int kMiddleKey = 60;
// A General MIDI program keeps this many samples before other kits and banks give way whole.
constexpr int64_t kFewSamples = 6;
// A sample that plays another's keys is matched to its level by at most this much (dB), and
// the levels are measured over the first 1/kLevelSpanDivisor s of each.
constexpr double kMostLevelMade = 12;
constexpr uint32_t kLevelSpanDivisor = 5;
// Stereo halves are panned at least this far to their sides (0.1%).
constexpr int kStereoPan = 400;

int DefaultOf(int op) {
    switch (op) {
        case kInitialFilterFc:
            return 13500;
        case kModLfoDelay:
        case kVibLfoDelay:
        case kModEnvDelay:
        case kModEnvDelay + 1:
        case kModEnvDelay + 2:
        case kModEnvDelay + 3:
        case kModEnvRelease:
        case kVolEnvDelay:
        case kVolEnvDelay + 1:
        case kVolEnvDelay + 2:
        case kVolEnvDelay + 3:
        case kVolEnvRelease:
            return -12000;
        case kScaleTuning:
            return 100;
        case kKeynum:
        case kVelocity:
        case kOverridingRootKey:
            return -1;
        default:
            return 0;
    }
}

// Generators a preset may not set (the standard's instrument-only ones), and the ranges and
// links, which are not added.
bool AddedAtPresetLevel(int op) {
    switch (op) {
        case kStartOffset:
        case kEndOffset:
        case kLoopStartOffset:
        case kLoopEndOffset:
        case kStartCoarseOffset:
        case kEndCoarseOffset:
        case kLoopStartCoarseOffset:
        case kLoopEndCoarseOffset:
        case kKeynum:
        case kVelocity:
        case kSampleModes:
        case kExclusiveClass:
        case kOverridingRootKey:
        case kKeyRange:
        case kVelRange:
        case kInstrument:
        case kSampleId:
            return false;
        default:
            return true;
    }
}

// The players' default velocity curve into the attenuation, and the modulator that a file
// writes to change its depth: an instrument's replaces it, a preset's adds to it.
constexpr int kDefaultVelocityCurveCb = 960;
bool IsVelocityCurve(const ModulatorRecord& m) {
    return m.src == kSrcVelocityCurve && m.dest == kInitialAttenuation && m.amountSrc == 0;
}
// The amount of the zone's velocity curve modulator, else the global zone's, else none.
std::optional<int> VelocityCurveOf(const HydraZone& zone, const HydraZone& global) {
    for (const HydraZone* z : {&zone, &global})
        for (const ModulatorRecord& m : z->mods)
            if (IsVelocityCurve(m)) return m.amount;
    return std::nullopt;
}

// A voice zone's modulators: the instrument's (its zone's over its global zone's of the same
// kind), to which the preset's (likewise) are added, as players combine them.
std::vector<Sf2Route> RoutesOf(const HydraZone& iz, const HydraZone& ig, const HydraZone& pz,
                               const HydraZone& pg) {
    std::vector<Sf2Route> out;
    auto same = [](const auto& a, const auto& b) {
        return a.src == b.src && a.dest == b.dest && a.amountSrc == b.amountSrc;
    };
    auto take = [&](const HydraZone& zone, const HydraZone& global, bool add) {
        std::vector<ModulatorRecord> level = zone.mods;
        for (const ModulatorRecord& g : global.mods)
            if (std::none_of(zone.mods.begin(), zone.mods.end(),
                             [&](const ModulatorRecord& m) { return same(m, g); }))
                level.push_back(g);
        for (const ModulatorRecord& m : level) {
            auto it = std::find_if(out.begin(), out.end(),
                                   [&](const Sf2Route& r) { return same(r, m); });
            if (it == out.end())
                out.push_back({m.src, m.dest, m.amount, m.amountSrc});
            else
                it->amount = add ? it->amount + m.amount : m.amount;
        }
    };
    take(iz, ig, false);
    take(pz, pg, true);
    return out;
}

// The velocity route into the modulation envelope's depth on the cutoff, by which many files
// make loud notes brighter.
bool IsVelocityBrightness(const Sf2Route& r) {
    return r.src == kSrcVelocity && r.dest == kModEnvToFilterFc && r.amountSrc == 0;
}

using Generators = std::array<int16_t, kGeneratorCount>;

// One preset zone crossed with one instrument zone: what a player starts for a note there. The
// zones whose generators make its own are held as places, the sums made when asked, so that a
// big file's many zones take little memory.
struct VoiceZone {
    const HydraZone* presetZone = nullptr;
    const HydraZone* presetGlobal = nullptr;
    const HydraZone* instrumentZone = nullptr;
    const HydraZone* instrumentGlobal = nullptr;
    int velocityCurveCb = kDefaultVelocityCurveCb;  // the velocity curve's depth on the level
    // When it plays velocities other zones played: the modulation envelope's depth on the
    // cutoff and velocity's part in it (cents at full velocity), fitted to theirs.
    std::optional<std::pair<int, int>> brightness;
    int sample = -1;
    int keyLow = 0, keyHigh = 127, velLow = 0, velHigh = 127;
};

// A sample header as the conversion needs it: the sample, its points and its pitch.
struct HeaderKey {
    int sample = 0;
    int64_t start = 0, end = 0, loopStart = 0;  // bytes of 16-bit data
    int pitch = 0;
    auto operator<=>(const HeaderKey&) const = default;
};

struct RangePlan {
    int low = 0, high = 0;
    int zone = -1;    // the voice zone it comes from
    int sample = -1;  // the SoundFont sample it plays
    int header = -1;  // index into the plan's headers
    int attenuation = 0;
    int root = 60;  // the key at which the header sounds its recorded pitch
};

struct LayerPlan {
    Sf2LayerValues values;
    std::vector<Sf2Route> routes;  // the file's own modulators
    int velocityCurveCb = 960;
    int velLow = 0, velHigh = 127;
    int exclusive = 0;
    int side = 0;  // 0 mono, or the sample type of a stereo half
    std::vector<RangePlan> ranges;
    int partner = -1;  // of a left half: its right half
    bool right = false;
    int distance = INT_MAX;  // from the middle key to the zone whose values it holds
};

struct ProgramPlan {
    size_t preset = 0;
    int number = -1;
    // Each of the preset's voice zones' header and root key (header -1: its sample cannot play).
    // The zones themselves are made again when laid out, which keeps a big file's plans small.
    std::vector<std::pair<int, int>> made;
    bool velocitySplits = false;  // whether the playable zones split the velocities
    std::vector<LayerPlan> layers;           // laid out from the zones
    std::set<std::string> losses;
    bool kit = false;
    bool dropped = false;
    // How far the program has given way: one velocity layer for all velocities, stereo pairs
    // played by their left halves, the largest layer's key splits halved so often, the
    // smallest layers dropped.
    bool oneVelocity = false;
    int minLevel = 0;  // how coarsely zones are told apart (see Group)
    bool mergedEnvelopes = false;  // and whether that merged any layers
    bool mono = false;
    int thinned = 0;
    int droppedLayers = 0;
};

enum Resource { kHeaders, kKeymaps, kPrograms, kBytes, kResourceCount };

class PresetConverter {
  public:
    PresetConverter(const Sf2Samples& s, const Sf2Choice& choice, ConversionLog* log)
        : hydra_(*s.hydra), frames_(s.frames), level_(s.level), choice_(choice), log_(log) {}

    void Plan();
    Sf2Needs Needs() const;
    void Fit();
    void Build(ZedoDatabase& db, WaveData* wave);

  private:
    void Log(const std::string& line) const {
        if (log_) log_->Add(line);
    }
    void Number();
    // The voice zones of a preset; with `report`, the zones that cannot be made are logged.
    std::vector<VoiceZone> Zones(const HydraPreset& preset, bool report) const;
    std::vector<VoiceZone> Playable(const ProgramPlan& p,
                                    std::vector<std::pair<int, int>>& made) const;
    int HeaderFor(const VoiceZone& z, int& root);
    std::vector<LayerPlan> Group(const std::vector<VoiceZone>& zones, int level) const;
    void PairStereo(std::vector<LayerPlan>& layers) const;
    struct Usage {
        std::array<int64_t, kResourceCount> total{};
        std::vector<std::vector<int64_t>> perProgram;  // by resource, then program
    };
    Usage Measure() const;
    std::vector<int64_t> Freed(Resource r) const;
    void Layout(ProgramPlan& p) const;
    bool Reduce(ProgramPlan& p, Resource r);
    void DropProgram(ProgramPlan& p, const char* why);
    // The level of a sample's first moments, measured once when first asked.
    double LevelOf(int sample) const;

    const Hydra& hydra_;
    uint32_t frames_;
    std::function<double(uint32_t, uint32_t)> level_;
    mutable std::map<int, double> levels_;
    const Sf2Choice& choice_;
    ConversionLog* log_;
    std::vector<ProgramPlan> programs_;
    std::map<HeaderKey, int> headerIndex_;
    std::vector<HeaderKey> headers_;
    std::vector<std::string> notConverted_;
    std::set<std::string> warned_;
};

double PresetConverter::LevelOf(int sample) const {
    if (!level_ || sample < 0 || size_t(sample) >= hydra_.samples.size()) return NAN;
    if (auto it = levels_.find(sample); it != levels_.end()) return it->second;
    // A fifth of a second: the attack and the first of the decay, by which neighbouring
    // samples of one instrument are matched.
    const sf2::SampleRecord& s = hydra_.samples[size_t(sample)];
    const uint32_t frames =
        std::min(s.end > s.start ? s.end - s.start : 0u, std::max(s.rate, 1u) / kLevelSpanDivisor);
    const double level = s.end <= frames_ ? level_(s.start, frames) : NAN;
    levels_[sample] = level;
    return level;
}

// Bank 0 presets keep their General MIDI numbers, bank 128 presets are the kits from 128 on,
// others take the first free number from 256.
void PresetConverter::Number() {
    std::vector<bool> taken(kProgramLimit, false);
    for (ProgramPlan& p : programs_) {
        const HydraPreset& h = hydra_.presets[p.preset];
        int wanted = -1;
        if (h.bank == 0 && h.preset < 128) wanted = h.preset;
        if (h.bank == kKitBank && h.preset < 128) wanted = kFirstKitProgram + h.preset;
        p.kit = h.bank == kKitBank;
        if (wanted >= 0 && !taken[size_t(wanted)]) {
            p.number = wanted;
            taken[size_t(wanted)] = true;
        }
    }
    for (ProgramPlan& p : programs_) {
        if (p.number >= 0 || p.dropped) continue;
        auto free = std::find(taken.begin() + kFirstOtherProgram, taken.end(), false);
        if (free == taken.end()) {
            DropProgram(p, "no program number left");
            continue;
        }
        p.number = static_cast<int>(free - taken.begin());
        *free = true;
        const HydraPreset& h = hydra_.presets[p.preset];
        Log(Fmt("? Preset %d:%d \"%s\" becomes program %d\r\n", h.bank, h.preset, h.name.c_str(),
                p.number));
    }
}

// A voice zone's generators: the instrument's (its zone's over its global zone's over the
// defaults), to which the preset's (its zone's over its global zone's) are added.
Generators GeneratorsOf(const VoiceZone& v) {
    Generators g{};
    for (int op = 0; op < kGeneratorCount; ++op) {
        const HydraZone& iz = *v.instrumentZone;
        int value = iz.gens.Has(op) ? iz.gens.amount[size_t(op)]
                                    : v.instrumentGlobal->gens.Get(op, int16_t(DefaultOf(op)));
        if (AddedAtPresetLevel(op))
            value += v.presetZone->gens.Has(op) ? v.presetZone->gens.amount[size_t(op)]
                                                : v.presetGlobal->gens.Get(op, 0);
        g[size_t(op)] = static_cast<int16_t>(std::clamp(value, -32768, 32767));
    }
    // Holds and decays that follow the key (timecents a key from key 60) take the zone's
    // middle key's time: zones far apart then differ in their envelopes, and so in layers.
    const int fromMiddle = 60 - (v.keyLow + v.keyHigh) / 2;
    for (const auto& [time, perKey] : {std::pair{kModEnvDelay + 2, int(kKeynumToModEnvHold)},
                                      std::pair{kModEnvDelay + 3, int(kKeynumToModEnvDecay)},
                                      std::pair{kVolEnvDelay + 2, int(kKeynumToVolEnvHold)},
                                      std::pair{kVolEnvDelay + 3, int(kKeynumToVolEnvDecay)}})
        g[size_t(time)] = static_cast<int16_t>(
            std::clamp(g[size_t(time)] + g[size_t(perKey)] * fromMiddle, -12000, 8000));
    return g;
}

std::vector<VoiceZone> PresetConverter::Zones(const HydraPreset& preset, bool report) const {
    std::vector<VoiceZone> out;
    auto rangeOf = [](const HydraZone& zone, const HydraZone& global, int op, int& low, int& high) {
        const GeneratorSet& g = zone.gens.Has(op) ? zone.gens : global.gens;
        low = std::max(low, g.Low(op));
        high = std::min(high, g.High(op));
    };
    for (const HydraZone& pz : preset.zones) {
        if (pz.target < 0 || size_t(pz.target) >= hydra_.instruments.size()) {
            if (report)
                Log(Fmt("X Preset \"%s\" plays instrument %d, which does not exist\r\n",
                        preset.name.c_str(), pz.target));
            continue;
        }
        const HydraInstrument& inst = hydra_.instruments[size_t(pz.target)];
        if (inst.corrupt) {
            if (report)
                Log(Fmt("X Instrument \"%s\" has a corrupt zone list, skipped\r\n",
                        inst.name.c_str()));
            continue;
        }
        for (const HydraZone& iz : inst.zones) {
            VoiceZone v;
            v.presetZone = &pz;
            v.presetGlobal = &preset.global;
            v.instrumentZone = &iz;
            v.instrumentGlobal = &inst.global;
            v.velocityCurveCb = VelocityCurveOf(iz, inst.global).value_or(kDefaultVelocityCurveCb) +
                                VelocityCurveOf(pz, preset.global).value_or(0);
            v.sample = iz.target;
            rangeOf(iz, inst.global, kKeyRange, v.keyLow, v.keyHigh);
            rangeOf(pz, preset.global, kKeyRange, v.keyLow, v.keyHigh);
            rangeOf(iz, inst.global, kVelRange, v.velLow, v.velHigh);
            rangeOf(pz, preset.global, kVelRange, v.velLow, v.velHigh);
            if (v.keyLow > v.keyHigh || v.velLow > v.velHigh) continue;
            out.push_back(v);
        }
    }
    if (out.size() > 4 * size_t(kMaxLayers) * 128) out.resize(4 * size_t(kMaxLayers) * 128);
    return out;
}

// The program's zones that can play, and their headers and roots.
std::vector<VoiceZone> PresetConverter::Playable(const ProgramPlan& p,
                                                 std::vector<std::pair<int, int>>& made) const {
    std::vector<VoiceZone> zones = Zones(hydra_.presets[p.preset], false);
    made.clear();
    size_t kept = 0;
    for (size_t i = 0; i < zones.size() && i < p.made.size(); ++i)
        if (p.made[i].first >= 0) {
            zones[kept++] = zones[i];
            made.push_back(p.made[i]);
        }
    zones.resize(kept);
    return zones;
}

// The header that plays zone z, made once for every zone that plays the same points at the
// same pitch; -1 when the zone's sample cannot be played. root: the key at which it sounds
// its recorded pitch.
int PresetConverter::HeaderFor(const VoiceZone& z, int& root) {
    if (z.sample < 0 || size_t(z.sample) >= hydra_.samples.size()) {
        if (warned_.insert(Fmt("s%d", z.sample)).second)
            Log(Fmt("X A zone names sample %d, which does not exist\r\n", z.sample));
        return -1;
    }
    const SampleRecord& s = hydra_.samples[size_t(z.sample)];
    if (!s.usable) return -1;  // its stream was named when it was decoded
    if (s.type & kSampleRom) {
        if (warned_.insert(s.name).second)
            Log(Fmt("X Sample %s is ROM based!\r\n", s.name.c_str()));
        return -1;
    }
    const Generators g = GeneratorsOf(z);
    auto at = [&](uint32_t base, int fine, int coarse) {
        return int64_t(base) + g[size_t(fine)] + 32768 * int64_t(g[size_t(coarse)]);
    };
    const int64_t start = at(s.start, kStartOffset, kStartCoarseOffset);
    const int64_t end = at(s.end, kEndOffset, kEndCoarseOffset);
    const int64_t loopStart = at(s.loopStart, kLoopStartOffset, kLoopStartCoarseOffset);
    const int64_t loopEnd = at(s.loopEnd, kLoopEndOffset, kLoopEndCoarseOffset);
    if (start < 0 || start >= end || end > int64_t(frames_)) {
        if (warned_.insert(s.name).second)
            Log(Fmt("X Sample %s lies outside the sample data, skipped\r\n", s.name.c_str()));
        return -1;
    }
    const int modes = g[kSampleModes] & 3;
    // The MA-1 loops to the end; a sample that plays on past its loop once released loops.
    if (modes == 3 && warned_.insert("release loop " + s.name).second)
        Log(Fmt("? Sample %s loops until released; it loops to the end\r\n", s.name.c_str()));
    const bool loops = (modes == 1 || modes == 3) && start <= loopStart && loopStart < loopEnd &&
                       loopEnd <= end;
    HeaderKey key;
    key.sample = z.sample;
    key.start = 2 * start;
    key.end = 2 * (loops ? loopEnd : end);
    key.loopStart = loops ? 2 * loopStart : key.end;
    // The key that plays the sample at its recorded pitch, with the zone's tuning folded in; a
    // zone that does not follow the keyboard at 100 cents a key is tuned for its middle key.
    const int original = g[kOverridingRootKey] >= 0 && g[kOverridingRootKey] <= 127
                             ? g[kOverridingRootKey]
                             : (s.key <= 127 ? s.key : 60);
    const double scale = g[kScaleTuning] / 100.0;
    if (scale != 1.0 && z.keyLow != z.keyHigh && warned_.insert("scale " + s.name).second)
        Log(Fmt("? Sample %s follows the keys by %d cents a key; it is tuned for its middle "
                "key\r\n",
                s.name.c_str(), int(g[kScaleTuning])));
    const double middle = (z.keyLow + z.keyHigh) / 2.0;
    const double cents = 100.0 * g[kCoarseTune] + g[kFineTune] + s.correction;
    const double at_key = scale == 1.0 ? original - cents / 100.0
                                       : middle - (scale * (middle - original) + cents / 100.0);
    key.pitch = std::clamp(PitchAtRate(at_key, s.rate), -32768, 32767);
    root = static_cast<int>(std::lround(at_key));
    auto [it, fresh] = headerIndex_.try_emplace(key, static_cast<int>(headers_.size()));
    if (fresh) headers_.push_back(key);
    return it->second;
}

// Zones become layers: zones alike in what a layer holds share one, their keys and samples in
// its keymap. At `level` 0 alike means the same envelopes, filter and LFOs (within what the
// ear tells apart); 1 drops those, 2 the pan, 3 the exclusive class: coarser levels make
// fewer layers, for presets that would have more than a program holds.
std::vector<LayerPlan> PresetConverter::Group(const std::vector<VoiceZone>& zones,
                                              int level) const {
    std::vector<LayerPlan> layers;
    std::vector<std::vector<int>> signatures;
    for (size_t zi = 0; zi < zones.size(); ++zi) {
        const VoiceZone& z = zones[zi];
        const Generators g = GeneratorsOf(z);
        const int type = size_t(z.sample) < hydra_.samples.size()
                             ? hydra_.samples[size_t(z.sample)].type & (kSampleLeft | kSampleRight)
                             : 0;
        std::vector<int> sig = {z.velLow, z.velHigh, type};
        if (level < 2) sig.push_back(units::PanForPosition(std::clamp(int(g[kPan]), -500, 500) / 500.0));
        if (level < 3) sig.push_back(g[kExclusiveClass]);
        if (level < 1) {
            // Buckets of what the ear tells apart: times and frequencies within a factor of
            // two, levels within 10 dB, depths within a quarter tone or half an octave.
            auto bucket = [&](int op, int step) {
                const int v = g[size_t(op)];
                sig.push_back((v >= 0 ? v : v - step + 1) / step);
            };
            for (int first : {int(kModEnvDelay), int(kVolEnvDelay)})
                for (int op = first; op < first + 6; ++op)
                    bucket(op, op == kModEnvSustain || op == kVolEnvSustain ? 100 : 1200);
            for (int op : {kModLfoFreq, kVibLfoFreq, kInitialFilterFc})
                bucket(op, 1200);
            bucket(kInitialFilterQ, 60);
            for (int op : {kModLfoToPitch, kVibLfoToPitch, kModEnvToPitch})
                bucket(op, 50);
            for (int op : {kModLfoToFilterFc, kModEnvToFilterFc})
                bucket(op, 600);
            bucket(kModLfoToVolume, 60);
            sig.push_back(z.velocityCurveCb / 120);
        }
        // The first layer of this kind whose keys the zone does not overlap.
        int into = -1;
        for (size_t i = 0; i < layers.size() && into < 0; ++i) {
            if (signatures[i] != sig) continue;
            const bool overlaps = std::any_of(
                layers[i].ranges.begin(), layers[i].ranges.end(),
                [&](const RangePlan& r) { return r.low <= z.keyHigh && z.keyLow <= r.high; });
            if (!overlaps) into = static_cast<int>(i);
        }
        if (into < 0) {
            LayerPlan l;
            l.values.attenuation = INT_MAX;
            l.velLow = z.velLow;
            l.velHigh = z.velHigh;
            l.exclusive = std::clamp(int(g[kExclusiveClass]), 0, 255);
            l.side = type;
            layers.push_back(std::move(l));
            signatures.push_back(sig);
            into = static_cast<int>(layers.size() - 1);
        }
        LayerPlan& l = layers[size_t(into)];
        // A layer sounds as the zone nearest the keyboard's middle does.
        const int distance = std::abs((z.keyLow + z.keyHigh) / 2 - kMiddleKey);
        if (distance < l.distance) {
            const int attenuation = l.values.attenuation;
            for (int op = 0; op < kGeneratorCount; ++op)
                SetSf2LayerValue(l.values, op, g[size_t(op)]);
            l.values.attenuation = attenuation;
            l.velocityCurveCb = z.velocityCurveCb;
            l.routes = RoutesOf(*z.instrumentZone, *z.instrumentGlobal, *z.presetZone,
                                *z.presetGlobal);
            if (z.brightness) {
                l.values.modEnvToFilter = z.brightness->first;
                auto route = std::find_if(l.routes.begin(), l.routes.end(), IsVelocityBrightness);
                if (route != l.routes.end())
                    route->amount = z.brightness->second;
                else
                    l.routes.push_back({kSrcVelocity, kModEnvToFilterFc, z.brightness->second, 0});
            }
            l.distance = distance;
        }
        RangePlan r;
        r.low = z.keyLow;
        r.high = z.keyHigh;
        r.attenuation = std::max(int(g[kInitialAttenuation]), 0);
        r.zone = static_cast<int>(zi);
        r.sample = z.sample;
        l.values.attenuation = std::min(l.values.attenuation, r.attenuation);
        l.ranges.push_back(r);
    }
    // Every program's plan is held until the budget is met: without slack.
    for (LayerPlan& l : layers) {
        std::sort(l.ranges.begin(), l.ranges.end(),
                  [](const RangePlan& a, const RangePlan& b) { return a.low < b.low; });
        l.ranges.shrink_to_fit();
    }
    layers.shrink_to_fit();
    return layers;
}

// A left layer and a right one that play the two halves of linked samples on the same keys
// are a stereo pair. Some files lose the links (FluidR3's pianos point at sample 0); players
// never read them, so a left and a right half alike in rate, length, loop and pitch whose
// links lead nowhere are taken as a pair too.
void PresetConverter::PairStereo(std::vector<LayerPlan>& layers) const {
    const auto& samples = hydra_.samples;
    auto linksBack = [&](int s) {
        const int to = samples[size_t(s)].link;
        return to != s && to >= 0 && size_t(to) < samples.size() && samples[size_t(to)].link == s;
    };
    auto linked = [&](int left, int right) {
        const SampleRecord& l = samples[size_t(left)];
        const SampleRecord& r = samples[size_t(right)];
        if (l.link == right && r.link == left) return true;
        return !linksBack(left) && !linksBack(right) && l.type == kSampleLeft &&
               r.type == kSampleRight && l.rate == r.rate && l.key == r.key &&
               l.correction == r.correction && l.end - l.start == r.end - r.start &&
               l.loopStart - l.start == r.loopStart - r.start &&
               l.loopEnd - l.start == r.loopEnd - r.start;
    };
    for (size_t a = 0; a < layers.size(); ++a) {
        LayerPlan& left = layers[a];
        if (left.side != kSampleLeft || left.partner >= 0 || left.values.pan > -kStereoPan)
            continue;
        for (size_t b = 0; b < layers.size(); ++b) {
            LayerPlan& right = layers[b];
            if (right.side != kSampleRight || right.right || right.values.pan < kStereoPan ||
                right.velLow != left.velLow || right.velHigh != left.velHigh ||
                right.exclusive != left.exclusive || right.ranges.size() != left.ranges.size())
                continue;
            bool same = true;
            for (size_t i = 0; i < left.ranges.size() && same; ++i)
                same = left.ranges[i].low == right.ranges[i].low &&
                       left.ranges[i].high == right.ranges[i].high &&
                       linked(left.ranges[i].sample, right.ranges[i].sample);
            if (!same) continue;
            left.partner = static_cast<int>(b);
            right.right = true;
            break;
        }
    }
}

void PresetConverter::Plan() {
    for (size_t p = 0; p < hydra_.presets.size(); ++p) {
        if (!choice_.Chooses(p)) continue;
        ProgramPlan plan;
        plan.preset = p;
        programs_.push_back(std::move(plan));
    }
    Number();
    for (ProgramPlan& plan : programs_) {
        if (plan.dropped) continue;
        const HydraPreset& preset = hydra_.presets[plan.preset];
        if (preset.corrupt) {
            DropProgram(plan, "its zone list is corrupt");
            continue;
        }
        // Samples that cannot play leave their zones out.
        const std::vector<VoiceZone> zones = Zones(preset, true);
        plan.made.reserve(zones.size());
        for (const VoiceZone& z : zones) {
            int root = 60;
            const int h = HeaderFor(z, root);
            plan.made.push_back({h, root});
            if (h >= 0 && (z.velLow > 0 || z.velHigh < 127)) plan.velocitySplits = true;
        }
        Layout(plan);
    }
}

// The number of layers a layer plan takes in a program (two for a stereo pair's left half,
// none for its right half, which the left half brings).
int LayerSlots(const LayerPlan& l) {
    return l.right ? 0 : (l.partner >= 0 ? 2 : 1);
}

int SlotCount(const ProgramPlan& p) {
    int n = 0;
    for (const LayerPlan& l : p.layers)
        n += LayerSlots(l);
    return n;
}

// A keymap's content, by which layers that play the same keys and samples share one.
std::vector<int> KeymapKey(const LayerPlan& l) {
    std::vector<int> key;
    for (const RangePlan& r : l.ranges)
        key.insert(key.end(), {r.low, r.high, r.header, r.attenuation - l.values.attenuation});
    return key;
}

// A layer's keymap content as one number, by which equal keymaps are counted once.
uint64_t KeymapHash(const LayerPlan& l) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](int v) { h = (h ^ uint64_t(uint32_t(v))) * 1099511628211ull; };
    for (const RangePlan& r : l.ranges) {
        mix(r.low);
        mix(r.high);
        mix(r.header);
        mix(r.attenuation - l.values.attenuation);
    }
    return h;
}

// What the conversion takes of each resource, in all and per program, in one pass.
PresetConverter::Usage PresetConverter::Measure() const {
    Usage u;
    u.perProgram.assign(kResourceCount, std::vector<int64_t>(programs_.size(), 0));
    std::vector<uint32_t> usedBy(headers_.size(), 0);  // the last program that named it, +1
    std::vector<bool> counted(headers_.size(), false);
    std::unordered_set<uint64_t> keymaps;
    for (size_t i = 0; i < programs_.size(); ++i) {
        const ProgramPlan& p = programs_[i];
        if (p.dropped) continue;
        ++u.total[kPrograms];
        u.perProgram[kKeymaps][i] = int64_t(p.layers.size());
        for (const LayerPlan& l : p.layers) {
            keymaps.insert(KeymapHash(l));
            for (const RangePlan& rp : l.ranges) {
                const size_t h = size_t(rp.header);
                const int64_t bytes = headers_[h].end - headers_[h].start;
                if (usedBy[h] != i + 1) {
                    usedBy[h] = uint32_t(i + 1);
                    ++u.perProgram[kHeaders][i];
                    u.perProgram[kBytes][i] += bytes;
                }
                if (!counted[h]) {
                    counted[h] = true;
                    ++u.total[kHeaders];
                    u.total[kBytes] += bytes;
                }
            }
        }
    }
    u.total[kKeymaps] = int64_t(keymaps.size());
    return u;
}

// What dropping each program would give back of resource r: the headers (or their bytes) no
// other program plays; for keymaps and programs, its own count.
std::vector<int64_t> PresetConverter::Freed(Resource r) const {
    std::vector<int> users(headers_.size(), 0);
    std::vector<std::vector<int>> own(programs_.size());
    for (size_t i = 0; i < programs_.size(); ++i) {
        if (programs_[i].dropped) continue;
        for (const LayerPlan& l : programs_[i].layers)
            for (const RangePlan& rp : l.ranges)
                own[i].push_back(rp.header);
        std::sort(own[i].begin(), own[i].end());
        own[i].erase(std::unique(own[i].begin(), own[i].end()), own[i].end());
        for (int h : own[i])
            ++users[size_t(h)];
    }
    std::vector<int64_t> freed(programs_.size(), 0);
    for (size_t i = 0; i < programs_.size(); ++i) {
        if (r == kKeymaps) freed[i] = int64_t(programs_[i].layers.size());
        if (r == kPrograms) freed[i] = 1;
        for (int h : own[i])
            if (users[size_t(h)] == 1)
                freed[i] += r == kBytes ? headers_[size_t(h)].end - headers_[size_t(h)].start
                                        : r == kHeaders;
    }
    return freed;
}

Sf2Needs PresetConverter::Needs() const {
    const auto u = Measure().total;
    Sf2Needs n;
    n.sampleHeaders = int(u[kHeaders]);
    n.keymaps = int(u[kKeymaps]);
    n.programs = int(u[kPrograms]);
    n.sampleBytes = u[kBytes];
    return n;
}

void PresetConverter::DropProgram(ProgramPlan& p, const char* why) {
    p.dropped = true;
    p.layers.clear();
    const HydraPreset& h = hydra_.presets[p.preset];
    notConverted_.push_back(
        Fmt("Preset %d:%d %s was not converted: %s", h.bank, h.preset, h.name.c_str(), why));
}

// Removes layer i (with its right half when it is a left half), keeping partners' indexes.
void EraseLayer(ProgramPlan& p, size_t i) {
    std::vector<bool> gone(p.layers.size(), false);
    gone[i] = true;
    if (p.layers[i].partner >= 0) gone[size_t(p.layers[i].partner)] = true;
    if (p.layers[i].right)
        for (size_t k = 0; k < p.layers.size(); ++k)
            if (p.layers[k].partner == int(i)) {
                gone[k] = true;
            }
    std::vector<int> newIndex(p.layers.size(), -1);
    std::vector<LayerPlan> kept;
    for (size_t k = 0; k < p.layers.size(); ++k)
        if (!gone[k]) {
            newIndex[k] = static_cast<int>(kept.size());
            kept.push_back(std::move(p.layers[k]));
        }
    for (LayerPlan& l : kept)
        if (l.partner >= 0) l.partner = newIndex[size_t(l.partner)];
    p.layers = std::move(kept);
}

// The zones that play kept's middle key, and which of them plays each velocity music plays
// (from kSoftestPlayed; below, notes are barely heard and would outweigh the rest): the first
// that plays it, -1 where none does. What a merged layer's velocity-dependent values follow.
struct VelocityCover {
    std::vector<const VoiceZone*> zones;
    std::array<int, 128> at{};
};

VelocityCover CoverOf(const std::vector<VoiceZone>& zones, const VoiceZone& kept) {
    const int key = (kept.keyLow + kept.keyHigh) / 2;
    VelocityCover c;
    c.at.fill(-1);
    for (const VoiceZone& z : zones)
        if (z.keyLow <= key && key <= z.keyHigh) c.zones.push_back(&z);
    for (int v = kSoftestPlayed; v <= 127; ++v)
        for (size_t i = 0; i < c.zones.size() && c.at[size_t(v)] < 0; ++i)
            if (c.zones[i]->velLow <= v && v <= c.zones[i]->velHigh) c.at[size_t(v)] = int(i);
    return c;
}

// The velocity curve's depth that makes `kept`, playing every velocity, follow the levels of
// the zones that played each velocity on its keys (their attenuations and curves), so that
// soft notes stay as soft as the softer layers made them while full velocity keeps the kept
// zone's level. Its own depth when it played alone.
int MergedVelocityCurve(const VelocityCover& cover, const VoiceZone& kept) {
    const bool split = std::any_of(cover.zones.begin(), cover.zones.end(), [&](const VoiceZone* z) {
        return z->velLow != kept.velLow || z->velHigh != kept.velHigh;
    });
    if (!split) return kept.velocityCurveCb;
    std::vector<double> belowFull;  // dB, each zone's attenuation
    for (const VoiceZone* z : cover.zones)
        belowFull.push_back(-Sf2AttenuationDb(GeneratorsOf(*z)[kInitialAttenuation]));
    const double keptDb = -Sf2AttenuationDb(GeneratorsOf(kept)[kInitialAttenuation]);
    double num = 0, den = 0;
    for (int v = kSoftestPlayed; v <= 127; ++v) {
        const int i = cover.at[size_t(v)];
        if (i < 0) continue;
        // dB below full level: the zone's attenuation and its curve, depth cb * g / 24.
        const double g = -std::log10(v / 127.0);
        const int curveCb = cover.zones[size_t(i)]->velocityCurveCb;
        num += g * 24 * (belowFull[size_t(i)] + curveCb * g / 24 - keptDb);
        den += g * g;
    }
    if (den <= 0) return kept.velocityCurveCb;
    const double most = 960.0 * 64 / kPlayersVelocityTracking;
    return static_cast<int>(std::lround(std::clamp(num / den, 0.0, most)));
}

// The modulation envelope's depth on the cutoff and velocity's part in it that make a merged
// layer open the filter as the zones that played each velocity on its keys did (a line
// fitted over those velocities); none when one zone played them all or all were alike.
std::optional<std::pair<int, int>> MergedBrightness(const VelocityCover& cover) {
    std::vector<std::pair<double, double>> own;  // cents: depth, velocity's part at full
    for (const VoiceZone* z : cover.zones) {
        double byVelocity = 0;
        for (const Sf2Route& r :
             RoutesOf(*z->instrumentZone, *z->instrumentGlobal, *z->presetZone, *z->presetGlobal))
            if (IsVelocityBrightness(r)) byVelocity += r.amount;
        own.push_back({double(GeneratorsOf(*z)[kModEnvToFilterFc]), byVelocity});
    }
    if (own.size() < 2 ||
        std::all_of(own.begin(), own.end(), [&](const auto& o) { return o == own.front(); }))
        return std::nullopt;
    // Least squares of depth + byVelocity x v/127 against each velocity's own.
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int v = kSoftestPlayed; v <= 127; ++v) {
        const int i = cover.at[size_t(v)];
        if (i < 0) continue;
        const double x = v / 127.0, y = own[size_t(i)].first + own[size_t(i)].second * x;
        n += 1, sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double det = n * sxx - sx * sx;
    if (n < 2 || det <= 0) return std::nullopt;
    const double slope = (n * sxy - sx * sy) / det;
    const double base = (sy - slope * sx) / n;
    return std::pair{static_cast<int>(std::lround(std::clamp(base, -12000.0, 12000.0))),
                     static_cast<int>(std::lround(std::clamp(slope, -12000.0, 12000.0)))};
}

// Zones that velocity splits would play: of the zones on the same keys, those that play at a
// typical velocity take every velocity; the others go where those cover their keys.
void KeepTypicalVelocity(std::vector<VoiceZone>& zones, std::vector<std::pair<int, int>>& made) {
    auto typical = [](const VoiceZone& z) {
        return z.velLow <= kTypicalVelocity && kTypicalVelocity <= z.velHigh;
    };
    std::vector<bool> covered(128, false);
    for (const VoiceZone& z : zones)
        if (typical(z))
            for (int k = z.keyLow; k <= z.keyHigh; ++k)
                covered[size_t(k)] = true;
    std::vector<VoiceZone> keptZones;
    std::vector<std::pair<int, int>> keptMade;
    for (size_t i = 0; i < zones.size(); ++i) {
        VoiceZone z = zones[i];
        bool needed = typical(z);
        for (int k = z.keyLow; k <= z.keyHigh && !needed; ++k)
            needed = !covered[size_t(k)];
        if (!needed) continue;
        const VelocityCover cover = CoverOf(zones, z);
        z.velocityCurveCb = MergedVelocityCurve(cover, z);
        z.brightness = MergedBrightness(cover);
        z.velLow = 0;
        z.velHigh = 127;
        keptZones.push_back(z);
        keptMade.push_back(made[i]);
    }
    zones = std::move(keptZones);
    made = std::move(keptMade);
}

bool HasVelocitySplits(const std::vector<VoiceZone>& zones) {
    return std::any_of(zones.begin(), zones.end(),
                       [](const VoiceZone& z) { return z.velLow > 0 || z.velHigh < 127; });
}

// A SoundFont sample's level in dB (NaN when not known).
using LevelOf = std::function<double(int sample)>;

// How much music plays key k, relative to middle C: most of it lies within two octaves of
// it, little at the keyboard's ends.
double KeyUse(int k) {
    constexpr double kSpread = 16;  // keys
    const double d = (k - kMiddleKey) / kSpread;
    return std::exp(-0.5 * d * d) + 0.02;
}

// Keeps `count` of the layer's key splits (and the same of its stereo partner's): the samples
// that serve the keys best, each key then playing the kept sample nearest to it, so that a
// piano thinned to two samples plays middle C from one near it rather than from its bass. A
// sample is as near as its root, kept within its own keys (a layer of sounds that share one
// root, as effects do, keeps sounds spread over its keys). Distances count as much as music
// plays their keys. The keys a kept sample takes over play as loud as their own sample did:
// at their zone's attenuation, less the kept sample's level above their sample's.
void KeepNearestSamples(LayerPlan& l, size_t count, LayerPlan* partner, const LevelOf& levelOf) {
    if (count == 0 || l.ranges.size() <= count) return;
    int lo = INT_MAX, hi = INT_MIN;
    for (const RangePlan& r : l.ranges) {
        lo = std::min(lo, r.low);
        hi = std::max(hi, r.high);
    }
    auto at = [&](size_t i) {
        const RangePlan& r = l.ranges[i];
        return std::clamp(r.root, r.low, std::max(r.low, r.high));
    };
    // Candidates by where they sound best, one per key.
    std::vector<size_t> c(l.ranges.size());
    std::iota(c.begin(), c.end(), size_t{0});
    std::stable_sort(c.begin(), c.end(), [&](size_t a, size_t b) { return at(a) < at(b); });
    c.erase(std::unique(c.begin(), c.end(), [&](size_t a, size_t b) { return at(a) == at(b); }),
            c.end());
    const size_t n = c.size(), m = std::min(count, n);
    auto place = [&](size_t i) { return at(c[i]); };
    // Prefix sums of the keys' weights and weighted keys over lo..hi, for the cost of a run of
    // keys played by one sample in constant time.
    std::vector<double> w(size_t(hi - lo) + 2, 0.0), wk(w.size(), 0.0);
    for (int k = lo; k <= hi; ++k) {
        const double weight = KeyUse(k);
        w[size_t(k - lo) + 1] = w[size_t(k - lo)] + weight;
        wk[size_t(k - lo) + 1] = wk[size_t(k - lo)] + weight * k;
    }
    auto cost = [&](int from, int to, int r) {  // keys from..to played by a sample placed at r
        from = std::max(from, lo);
        to = std::min(to, hi);
        if (from > to) return 0.0;
        auto sum = [&](const std::vector<double>& v, int a, int b) {
            return v[size_t(b - lo) + 1] - v[size_t(a - lo)];
        };
        double total = 0;
        if (from <= std::min(to, r)) {
            const int b = std::min(to, r);
            total += r * sum(w, from, b) - sum(wk, from, b);
        }
        if (std::max(from, r + 1) <= to) {
            const int a = std::max(from, r + 1);
            total += sum(wk, a, to) - r * sum(w, a, to);
        }
        return total;
    };
    auto middle = [&](size_t a, size_t b) { return (place(a) + place(b)) / 2; };  // ascending
    auto between = [&](size_t a, size_t b) {
        return cost(place(a) + 1, middle(a, b), place(a)) +
               cost(middle(a, b) + 1, place(b), place(b));
    };
    // best[t][j]: the least cost of the keys up to candidate j's place with t + 1 samples, the
    // last of them j.
    constexpr double kNone = std::numeric_limits<double>::infinity();
    std::vector<std::vector<double>> best(m, std::vector<double>(n, kNone));
    std::vector<std::vector<size_t>> from(m, std::vector<size_t>(n, 0));
    for (size_t j = 0; j < n; ++j)
        best[0][j] = cost(lo, place(j), place(j));
    for (size_t t = 1; t < m; ++t)
        for (size_t j = t; j < n; ++j)
            for (size_t a = t - 1; a < j; ++a)
                if (const double v = best[t - 1][a] + between(a, j); v < best[t][j]) {
                    best[t][j] = v;
                    from[t][j] = a;
                }
    size_t last = m - 1;
    for (size_t j = m - 1; j < n; ++j)
        if (best[m - 1][j] + cost(place(j) + 1, hi, place(j)) <
            best[m - 1][last] + cost(place(last) + 1, hi, place(last)))
            last = j;
    std::vector<size_t> kept(m);
    for (size_t t = m; t-- > 0;) {
        kept[t] = last;
        last = from[t][last];
    }
    // The range each key came from (-1 between ranges).
    std::vector<int> cameFrom(size_t(hi - lo) + 1, -1);
    for (size_t o = 0; o < l.ranges.size(); ++o)
        for (int k = std::max(lo, l.ranges[o].low); k <= std::min(hi, l.ranges[o].high); ++k)
            cameFrom[size_t(k - lo)] = int(o);
    // Each kept sample's keys in pieces of one level: a piece takes its attenuation from the
    // range it came from (keys between ranges go with the piece before them) and the two
    // samples' levels, measured on the left half for both halves of a pair.
    struct Piece {
        int low, high;
        size_t kept, from;
        int offset;  // cB
    };
    std::vector<Piece> pieces;
    for (size_t t = 0; t < m; ++t) {
        const int low = std::max(lo, t == 0 ? lo : middle(kept[t - 1], kept[t]) + 1);
        const int high = std::min(hi, t + 1 == m ? hi : middle(kept[t], kept[t + 1]));
        const size_t own = c[kept[t]];
        auto offset = [&](size_t o) {
            if (o == own) return 0;
            const double d = levelOf(l.ranges[o].sample) - levelOf(l.ranges[own].sample);
            return std::isnan(d) ? 0
                                 : static_cast<int>(std::lround(Sf2AttenuationCb(
                                       std::clamp(d, -kMostLevelMade, kMostLevelMade))));
        };
        for (int k = low; k <= high; ++k) {
            const bool open = !pieces.empty() && pieces.back().kept == t;
            const int came = cameFrom[size_t(k - lo)];
            const size_t o = came >= 0 ? size_t(came) : open ? pieces.back().from : own;
            const int off = offset(o);
            if (open && l.ranges[pieces.back().from].attenuation + pieces.back().offset ==
                            l.ranges[o].attenuation + off) {
                pieces.back().high = k;
            } else {
                pieces.push_back({k, k, t, o, off});
            }
        }
    }
    auto thin = [&](LayerPlan& layer) {
        std::vector<RangePlan> out;
        for (const Piece& piece : pieces) {
            RangePlan r = layer.ranges[c[kept[piece.kept]]];
            r.low = piece.low;
            r.high = piece.high;
            r.attenuation = layer.ranges[piece.from].attenuation + piece.offset;
            layer.values.attenuation = std::min(layer.values.attenuation, r.attenuation);
            out.push_back(r);
        }
        layer.ranges = std::move(out);
    };
    if (partner && partner->ranges.size() != l.ranges.size()) {
        KeepNearestSamples(*partner, count, nullptr, levelOf);
        partner = nullptr;
    }
    if (partner) thin(*partner);
    thin(l);
}

// Thins key splits `times` over, each time halving those of the layer (with its stereo
// partner) that has the most. Whether any were thinned.
bool ThinKeySplits(std::vector<LayerPlan>& layers, int times, const LevelOf& levelOf) {
    std::vector<size_t> keep(layers.size());
    for (size_t i = 0; i < layers.size(); ++i)
        keep[i] = layers[i].right ? 0 : layers[i].ranges.size();
    bool thinned = false;
    for (int t = 0; t < times; ++t) {
        const auto most = std::max_element(keep.begin(), keep.end());
        if (most == keep.end() || *most <= 1) break;
        *most = (*most + 1) / 2;
        thinned = true;
    }
    for (size_t i = 0; i < layers.size(); ++i) {
        LayerPlan& l = layers[i];
        if (l.right || keep[i] >= l.ranges.size()) continue;
        KeepNearestSamples(l, keep[i], l.partner >= 0 ? &layers[size_t(l.partner)] : nullptr,
                           levelOf);
    }
    return thinned;
}

// A stereo pair plays its left half alone, where the pair's middle was (a kit's drum keeps
// its place), as loud as the pair: in the middle each side has 3 dB less than a half at its
// own side had.
bool MakeMono(ProgramPlan& p) {
    for (size_t i = 0; i < p.layers.size(); ++i) {
        if (p.layers[i].partner < 0) continue;
        const size_t right = size_t(p.layers[i].partner);
        Sf2LayerValues& v = p.layers[i].values;
        p.layers[i].partner = -1;
        v.pan = (v.pan + p.layers[right].values.pan) / 2;
        // The layer's level and its keys' own, which the keymap holds against the layer's.
        const int louder = static_cast<int>(std::lround(Sf2AttenuationCb(3.0)));  // below 0
        v.attenuation += louder;
        for (RangePlan& r : p.layers[i].ranges)
            r.attenuation += louder;
        p.layers[i].side = 0;
        p.layers[right].right = false;
        EraseLayer(p, right);
        return true;
    }
    return false;
}

bool DropSmallestLayer(ProgramPlan& p) {
    size_t smallest = p.layers.size();
    int fewest = INT_MAX;
    for (size_t i = 0; i < p.layers.size(); ++i) {
        if (p.layers[i].right) continue;
        int keys = 0;
        for (const RangePlan& r : p.layers[i].ranges)
            keys += r.high - r.low + 1;
        if (keys < fewest) {
            fewest = keys;
            smallest = i;
        }
    }
    if (smallest == p.layers.size() || SlotCount(p) <= LayerSlots(p.layers[smallest])) return false;
    EraseLayer(p, smallest);
    return true;
}

// The program's layers from its zones, as far as it has given way; a program that still has
// more layers than one holds gives way further here, velocity splits before pan, exclusive
// classes, stereo and whole layers.
void PresetConverter::Layout(ProgramPlan& p) const {
    for (;;) {
        std::vector<std::pair<int, int>> made;
        std::vector<VoiceZone> zones = Playable(p, made);
        if (p.oneVelocity) KeepTypicalVelocity(zones, made);
        const int coarsest = p.oneVelocity || !HasVelocitySplits(zones) ? 3 : 1;
        for (int level = std::min(p.minLevel, coarsest); level <= coarsest; ++level) {
            p.layers = Group(zones, level);
            if (p.layers.size() <= size_t(kMaxLayers)) break;
        }
        if (p.layers.size() > size_t(kMaxLayers) && !p.oneVelocity) {
            p.oneVelocity = true;
            continue;
        }
        for (LayerPlan& l : p.layers)
            for (RangePlan& r : l.ranges) {
                r.header = made[size_t(r.zone)].first;
                r.root = made[size_t(r.zone)].second;
            }
        PairStereo(p.layers);
        break;
    }
    p.losses.clear();
    if (p.oneVelocity && p.velocitySplits) p.losses.insert("velocity layers");
    if (p.mergedEnvelopes) p.losses.insert("envelopes per key");
    while (p.mono && MakeMono(p))
        p.losses.insert("stereo");
    if (!p.kit &&
        ThinKeySplits(p.layers, p.thinned, [this](int sample) { return LevelOf(sample); }))
        p.losses.insert("key splits");
    while (SlotCount(p) > kMaxLayers && (MakeMono(p) || DropSmallestLayer(p)))
        p.losses.insert("layers");
    for (int i = 0; i < p.droppedLayers; ++i)
        if (DropSmallestLayer(p)) p.losses.insert("layers");
}

// How many samples a layer plays (a thinned layer's sample may play keys in several pieces).
size_t SampleCount(const LayerPlan& l) {
    std::set<int> headers;
    for (const RangePlan& r : l.ranges)
        headers.insert(r.header);
    return headers.size();
}

// What a program plays: its layers' samples, and its layers.
std::pair<size_t, size_t> Footprint(const ProgramPlan& p) {
    size_t samples = 0;
    for (const LayerPlan& l : p.layers)
        samples += SampleCount(l);
    return {samples, p.layers.size()};
}

// Gives way one step for resource r: velocity splits first, then key splits (kits keep each
// key's own sample and give up stereo instead), or for keymaps stereo and then whole layers.
// False when the program has nothing more to give.
bool PresetConverter::Reduce(ProgramPlan& p, Resource r) {
    const auto before = Footprint(p);
    auto any = [&](auto test) { return std::any_of(p.layers.begin(), p.layers.end(), test); };
    for (;;) {
        bool merging = false;
        if (!p.oneVelocity && p.velocitySplits) {
            p.oneVelocity = true;
        } else if (p.minLevel < 1) {
            p.minLevel = 1;  // layers that differ only in envelopes, filter or LFOs merge
            merging = true;
        } else if (r != kKeymaps && !p.kit &&
                   any([](const LayerPlan& l) { return SampleCount(l) > 1; })) {
            ++p.thinned;
        } else if (!p.mono && any([](const LayerPlan& l) { return l.partner >= 0; })) {
            p.mono = true;
        } else if (!p.kit && p.layers.size() > 1) {
            ++p.droppedLayers;
        } else {
            return false;
        }
        Layout(p);
        if (merging && p.layers.size() < before.second) {
            p.mergedEnvelopes = true;
            p.losses.insert("envelopes per key");
        }
        const auto after = Footprint(p);
        if (after.first < before.first || after.second < before.second) return true;
    }
}

// Fits the programs into a program each (32 layers, 4 KB packed) and the whole into the
// synthesizer's headers, keymaps and sample RAM: the program that takes most of what is short
// gives up what matters least (a velocity split, then key splits or stereo); a program that
// has nothing left to give is not converted, the other kits and banks first.
void PresetConverter::Fit() {
    for (ProgramPlan& p : programs_)
        if (!p.dropped && p.layers.empty()) DropProgram(p, "it plays no sample");
    const Sf2Budget& b = choice_.budget;
    const int64_t limits[kResourceCount] = {b.sampleHeaders, b.keymaps, b.programs,
                                            b.sampleBytes > 0 ? b.sampleBytes : INT64_MAX};
    std::vector<std::vector<bool>> spent(kResourceCount, std::vector<bool>(programs_.size()));
    for (;;) {
        const Usage usage = Measure();
        const auto& total = usage.total;
        int over = -1;
        for (int r = 0; r < kResourceCount && over < 0; ++r)
            if (total[size_t(r)] > limits[r]) over = r;
        if (over < 0) return;
        const std::vector<int64_t>& mine = usage.perProgram[size_t(over)];
        const std::vector<int64_t>& samples = usage.perProgram[kHeaders];
        // General MIDI programs give way down to a few samples each, the other kits and banks
        // then go whole, and only then do the programs give way further.
        auto pick = [&](bool keepFew) {
            size_t best = programs_.size();
            for (size_t i = 0; i < programs_.size(); ++i)
                if (!programs_[i].dropped && !spent[size_t(over)][i] &&
                    (!keepFew || samples[i] > kFewSamples) &&
                    (best == programs_.size() || mine[i] > mine[best]))
                    best = i;
            return best;
        };
        // Whole programs go by group (other banks, then other kits, then General MIDI ones,
        // the standard kit last of all); within a group the one that frees most of what is
        // short goes first, so that as few go as can.
        const std::vector<int64_t> freed = Freed(Resource(over));
        auto rank = [&](const ProgramPlan& p) {
            const int group = p.number == kFirstKitProgram  ? -1
                              : p.number >= kFirstOtherProgram ? 3
                              : p.kit                          ? 2
                                                               : 0;
            return std::make_tuple(group, freed[size_t(&p - programs_.data())], p.number);
        };
        ProgramPlan* victim = nullptr;
        for (ProgramPlan& p : programs_)
            if (!p.dropped && (!victim || rank(p) > rank(*victim))) victim = &p;
        size_t reduce = over == kPrograms ? programs_.size() : pick(true);
        if (reduce == programs_.size() && victim && std::get<0>(rank(*victim)) < 2 && over != kPrograms)
            reduce = pick(false);
        if (reduce < programs_.size()) {
            if (!Reduce(programs_[reduce], Resource(over))) spent[size_t(over)][reduce] = true;
            continue;
        }
        if (!victim) return;
        static const char* const kWhy[] = {"no sample header left", "no keymap left",
                                           "no program left", "not enough sample RAM"};
        DropProgram(*victim, kWhy[over]);
    }
}

void PresetConverter::Build(ZedoDatabase& db, WaveData* wave) {
    // Headers in the order programs first play them.
    std::vector<int> number(headers_.size(), -1);
    int next = 0;
    std::sort(programs_.begin(), programs_.end(),
              [](const ProgramPlan& a, const ProgramPlan& b) { return a.number < b.number; });
    for (ProgramPlan& p : programs_)
        for (LayerPlan& l : p.layers)
            for (RangePlan& r : l.ranges)
                if (!p.dropped && number[size_t(r.header)] < 0 && next < kSlotCount)
                    number[size_t(r.header)] = next++;
    for (size_t i = 0; i < headers_.size(); ++i) {
        if (number[i] < 0) continue;
        const HeaderKey& k = headers_[i];
        const SampleRecord& rec = hydra_.samples[size_t(k.sample)];
        auto h = std::make_unique<SampleHeader>();
        h->SetNumber(number[i]);
        h->SetName(ShortenSf2Name(rec.name));
        h->SetDefaults();
        h->start = static_cast<int32_t>(k.start);
        h->loopStart = static_cast<int32_t>(k.loopStart);
        h->end = static_cast<int32_t>(k.end);
        h->pitch = k.pitch;
        SampleHeader* made = h.get();
        db.PutSampleHeader(std::move(h));
        if (wave) {
            made->AttachWave(wave, kAttachReference);
            wave->AddLink(number[i]);
        }
        made->DropPackedCopy();
        Log(Fmt("+ Sample %d = %s\r\n", number[i], rec.name.c_str()));
    }
    std::map<std::vector<int>, int> keymapOf;
    auto keymapFor = [&](const LayerPlan& l, const std::string& name) -> Keymap* {
        std::vector<int> key = KeymapKey(l);
        if (auto it = keymapOf.find(key); it != keymapOf.end() && l.partner < 0 && !l.right)
            return db.GetKeymap(it->second);
        const int n = db.FirstFreeKeymap();
        if (n < 0) return nullptr;
        auto k = std::make_unique<Keymap>();
        k->SetNumber(n);
        k->SetName(db.MakeUniqueName(kTypeKeymap, name));
        k->entries = {{127, 0, kNoSample}};
        for (const RangePlan& r : l.ranges) {
            const size_t e = k->MakeRange(std::clamp(r.low, 0, 127), std::clamp(r.high, 0, 127));
            k->entries[e].sample = number[size_t(r.header)];
            k->entries[e].amp = static_cast<int>(std::clamp(
                std::lround(Sf2AttenuationDb(r.attenuation - l.values.attenuation)), -128L, 0L));
        }
        Keymap* made = k.get();
        db.PutKeymap(std::move(k));
        if (l.partner < 0 && !l.right) keymapOf[key] = n;
        return made;
    };
    for (ProgramPlan& p : programs_) {
        if (p.dropped) continue;
        const HydraPreset& preset = hydra_.presets[p.preset];
        const std::string name = ShortenSf2Name(preset.name);
        auto program = std::make_unique<Program>();
        program->SetNumber(p.number);
        program->SetName(name);
        for (LayerPlan& l : p.layers) {
            if (l.right) continue;
            Keymap* keymap = keymapFor(l, name);
            Keymap* right = l.partner >= 0 ? keymapFor(p.layers[size_t(l.partner)], name) : nullptr;
            if (!keymap || (l.partner >= 0 && !right)) {
                p.losses.insert("keymaps");
                continue;
            }
            if (right) talmeru::PairStereo(*keymap, *right);
            Layer* layer = program->AddLayer(*keymap, right != nullptr);
            if (!layer) break;
            const Sf2LayerModulators mods = AddSf2LayerModulators(*layer);
            MakeSf2Layer(l.values, mods, *layer, true);
            AddSf2Routes(l.routes, mods, *layer);
            for (const std::string& what : Sf2LayerApproximations(l.values))
                Log(Fmt("? Program %d %s, layer %d: %s\r\n", p.number, name.c_str(),
                        layer->Index(), what.c_str()));
            layer->velocityLow = static_cast<uint8_t>(l.velLow);
            layer->velocityHigh = static_cast<uint8_t>(l.velHigh);
            layer->exclusiveZone = static_cast<uint8_t>(l.exclusive);
            // The curve's depth as the Amp block's velocity tracking, 64 at the default's.
            layer->Amp().SetVelocityTracking(static_cast<int>(std::clamp(
                std::lround(kPlayersVelocityTracking * l.velocityCurveCb / 960.0), -64L, 64L)));
            if (right) {
                layer->SetPan(0);
                // The halves' headers are a pair, as a stereo sample's are.
                for (size_t i = 0; i < l.ranges.size(); ++i) {
                    SampleHeader* a = db.GetSampleHeader(number[size_t(l.ranges[i].header)]);
                    SampleHeader* b = db.GetSampleHeader(
                        number[size_t(p.layers[size_t(l.partner)].ranges[i].header)]);
                    if (a && b && a != b && a->stereoRole == kMono && b->stereoRole == kMono)
                        talmeru::PairStereo(*a, *b);
                }
                layer->UpdateRightHalf();
                layer->Partner()->SetPan(31);
                // The right half's levels are its own zones', counted from its own loudest.
                layer->Partner()->Amp().SetGain(
                    Sf2LayerGain(p.layers[size_t(l.partner)].values, *layer->Partner()));
            }
        }
        // What a program cannot pack goes, last layers first.
        while (program->LayerCount() > 1 && program->BodySize() + kObjectHeader > kMaxPackedProgram) {
            const int last = program->LayerCount() - 1;
            const Layer* l = program->GetLayer(last);
            const int index = l->StereoState() == kStereoRight ? last - 1 : last;
            if (program->DeleteLayer(index) != Result::kOk) break;
            p.losses.insert("layers");
        }
        if (program->LayerCount() == 0) {
            DropProgram(p, "none of its layers could be made");
            continue;
        }
        program->DropPackedCopy();
        Log(Fmt("+ Program %d %s\r\n", p.number, name.c_str()));
        db.PutProgram(std::move(program));
    }
    // What was lost, named at the end.
    std::vector<std::string> lost;
    for (const ProgramPlan& p : programs_)
        if (!p.dropped && !p.losses.empty()) {
            std::string what;
            for (const std::string& l : p.losses)
                what += (what.empty() ? "" : ", ") + l;
            lost.push_back(Fmt("%d %s (%s)", p.number,
                               ShortenSf2Name(hydra_.presets[p.preset].name).c_str(), what.c_str()));
        }
    if (!lost.empty()) {
        std::string line = Fmt("? %d programs lost layers:", int(lost.size()));
        for (size_t i = 0; i < lost.size(); ++i)
            line += (i ? "; " : " ") + lost[i];
        Log(line + "\r\n");
    }
    for (const std::string& n : notConverted_)
        Log("X " + n + "\r\n");
}

}  // namespace

void ConvertSf2Presets(const Sf2Samples& samples, const Sf2Choice& choice, ZedoDatabase& db,
                       WaveData* wave, ConversionLog& log) {
    PresetConverter c(samples, choice, &log);
    c.Plan();
    c.Fit();
    c.Build(db, wave);
}

Sf2Needs PresetNeeds(const Sf2Samples& samples, const Sf2Choice& choice) {
    PresetConverter c(samples, choice, nullptr);
    c.Plan();
    return c.Needs();
}

}  // namespace talmeru
