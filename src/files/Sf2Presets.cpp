#include "files/Sf2Presets.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <memory>
#include <set>
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

// One preset zone crossed with one instrument zone: what a player starts for a note there.
struct VoiceZone {
    std::array<int, kGeneratorCount> g{};
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
    int velLow = 0, velHigh = 127;
    int exclusive = 0;
    int side = 0;  // 0 mono, or the sample type of a stereo half
    std::vector<RangePlan> ranges;
    int partner = -1;  // of a left half: its right half
    bool right = false;
};

struct ProgramPlan {
    size_t preset = 0;
    int number = -1;
    std::vector<LayerPlan> layers;
    std::set<std::string> losses;
    bool kit = false;
    bool dropped = false;
};

enum Resource { kHeaders, kKeymaps, kPrograms, kBytes, kResourceCount };

class PresetConverter {
  public:
    PresetConverter(const Sf2Samples& s, const Sf2Choice& choice, ConversionLog* log)
        : hydra_(*s.hydra), frames_(s.frames), choice_(choice), log_(log) {}

    void Plan();
    Sf2Needs Needs() const;
    void Fit();
    void Build(ZedoDatabase& db, WaveData* wave);

  private:
    void Log(const std::string& line) {
        if (log_) log_->Add(line);
    }
    bool Chosen(size_t p) const { return choice_.chosen.empty() || (p < choice_.chosen.size() && choice_.chosen[p]); }
    void Number();
    std::vector<VoiceZone> Zones(const HydraPreset& preset);
    int HeaderFor(const VoiceZone& z, int& root);
    std::vector<LayerPlan> Group(const std::vector<VoiceZone>& zones, int level) const;
    void PairStereo(std::vector<LayerPlan>& layers) const;
    std::vector<int64_t> Usage(std::vector<int64_t>* perProgram, Resource r) const;
    bool Reduce(ProgramPlan& p, Resource r);
    bool DropVelocitySplit(ProgramPlan& p);
    bool Thin(ProgramPlan& p);
    bool MakeMono(ProgramPlan& p);
    bool DropSmallestLayer(ProgramPlan& p);
    void DropProgram(ProgramPlan& p, const char* why);

    const Hydra& hydra_;
    uint32_t frames_;
    const Sf2Choice& choice_;
    ConversionLog* log_;
    std::vector<ProgramPlan> programs_;
    std::map<HeaderKey, int> headerIndex_;
    std::vector<HeaderKey> headers_;
    std::vector<std::string> notConverted_;
    std::set<std::string> warned_;
};

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

std::vector<VoiceZone> PresetConverter::Zones(const HydraPreset& preset) {
    std::vector<VoiceZone> out;
    auto presetValue = [&](const HydraZone& pz, int op) {
        return pz.gens.Has(op) ? pz.gens.amount[size_t(op)] : preset.global.gens.Get(op, 0);
    };
    auto rangeOf = [](const HydraZone& zone, const HydraZone& global, int op, int& low, int& high) {
        const GeneratorSet& g = zone.gens.Has(op) ? zone.gens : global.gens;
        low = std::max(low, g.Low(op));
        high = std::min(high, g.High(op));
    };
    for (const HydraZone& pz : preset.zones) {
        if (pz.target < 0 || size_t(pz.target) >= hydra_.instruments.size()) {
            Log(Fmt("X Preset \"%s\" plays instrument %d, which does not exist\r\n",
                    preset.name.c_str(), pz.target));
            continue;
        }
        const HydraInstrument& inst = hydra_.instruments[size_t(pz.target)];
        if (inst.corrupt) {
            Log(Fmt("X Instrument \"%s\" has a corrupt zone list, skipped\r\n", inst.name.c_str()));
            continue;
        }
        for (const HydraZone& iz : inst.zones) {
            VoiceZone v;
            for (int op = 0; op < kGeneratorCount; ++op) {
                v.g[size_t(op)] = iz.gens.Has(op) ? iz.gens.amount[size_t(op)]
                                                  : inst.global.gens.Get(op, int16_t(DefaultOf(op)));
                if (AddedAtPresetLevel(op)) v.g[size_t(op)] += presetValue(pz, op);
            }
            v.sample = iz.target;
            rangeOf(iz, inst.global, kKeyRange, v.keyLow, v.keyHigh);
            rangeOf(pz, preset.global, kKeyRange, v.keyLow, v.keyHigh);
            rangeOf(iz, inst.global, kVelRange, v.velLow, v.velHigh);
            rangeOf(pz, preset.global, kVelRange, v.velLow, v.velHigh);
            if (v.keyLow > v.keyHigh || v.velLow > v.velHigh) continue;
            out.push_back(v);
        }
    }
    return out;
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
    auto at = [&](uint32_t base, int fine, int coarse) {
        return int64_t(base) + z.g[size_t(fine)] + 32768 * int64_t(z.g[size_t(coarse)]);
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
    const int modes = z.g[kSampleModes] & 3;
    const bool loops = (modes == 1 || modes == 3) && start <= loopStart && loopStart < loopEnd &&
                       loopEnd <= end;
    HeaderKey key;
    key.sample = z.sample;
    key.start = 2 * start;
    key.end = 2 * (loops ? loopEnd : end);
    key.loopStart = loops ? 2 * loopStart : key.end;
    // The key that plays the sample at its recorded pitch, with the zone's tuning folded in; a
    // zone that does not follow the keyboard at 100 cents a key is tuned for its middle key.
    const int original = z.g[kOverridingRootKey] >= 0 && z.g[kOverridingRootKey] <= 127
                             ? z.g[kOverridingRootKey]
                             : (s.key <= 127 ? s.key : 60);
    const double scale = z.g[kScaleTuning] / 100.0;
    const double middle = (z.keyLow + z.keyHigh) / 2.0;
    const double cents = 100.0 * z.g[kCoarseTune] + z.g[kFineTune] + s.correction;
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
        const auto& g = z.g;
        const int type = size_t(z.sample) < hydra_.samples.size()
                             ? hydra_.samples[size_t(z.sample)].type & (kSampleLeft | kSampleRight)
                             : 0;
        std::vector<int> sig = {z.velLow, z.velHigh, type};
        if (level < 2) sig.push_back(units::PanForPosition(std::clamp(g[kPan], -500, 500) / 500.0));
        if (level < 3) sig.push_back(g[kExclusiveClass]);
        if (level < 1) {
            for (int first : {int(kModEnvDelay), int(kVolEnvDelay)})
                for (int op = first; op < first + 6; ++op)
                    sig.push_back(op == kModEnvSustain || op == kVolEnvSustain ? g[size_t(op)] / 30
                                                                               : g[size_t(op)] / 300);
            for (int op : {kModLfoFreq, kVibLfoFreq})
                sig.push_back(g[size_t(op)] / 300);
            sig.push_back(std::min(g[kInitialFilterFc], 13500) / 300);
            sig.push_back(g[kInitialFilterQ] / 30);
            for (int op : {kModLfoToPitch, kVibLfoToPitch, kModEnvToPitch})
                sig.push_back(g[size_t(op)] / 10);
            for (int op : {kModLfoToFilterFc, kModEnvToFilterFc})
                sig.push_back(g[size_t(op)] / 100);
            sig.push_back(g[kModLfoToVolume] / 30);
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
            for (int op = 0; op < kGeneratorCount; ++op)
                SetSf2LayerValue(l.values, op, g[size_t(op)]);
            l.values.attenuation = INT_MAX;
            l.velLow = z.velLow;
            l.velHigh = z.velHigh;
            l.exclusive = std::clamp(g[kExclusiveClass], 0, 255);
            l.side = type;
            layers.push_back(std::move(l));
            signatures.push_back(sig);
            into = static_cast<int>(layers.size() - 1);
        }
        LayerPlan& l = layers[size_t(into)];
        RangePlan r;
        r.low = z.keyLow;
        r.high = z.keyHigh;
        r.attenuation = std::max(g[kInitialAttenuation], 0);
        r.zone = static_cast<int>(zi);
        r.sample = z.sample;
        l.values.attenuation = std::min(l.values.attenuation, r.attenuation);
        l.ranges.push_back(r);
    }
    for (LayerPlan& l : layers)
        std::sort(l.ranges.begin(), l.ranges.end(),
                  [](const RangePlan& a, const RangePlan& b) { return a.low < b.low; });
    return layers;
}

// A left layer and a right one that play the two halves of linked samples on the same keys
// are a stereo pair.
void PresetConverter::PairStereo(std::vector<LayerPlan>& layers) const {
    auto linked = [&](int left, int right) {
        const SampleRecord& l = hydra_.samples[size_t(left)];
        return l.link == right && hydra_.samples[size_t(right)].link == left;
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
        if (!Chosen(p)) continue;
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
        std::vector<VoiceZone> zones = Zones(preset);
        if (zones.size() > 4 * size_t(kMaxLayers) * 128) zones.resize(4 * size_t(kMaxLayers) * 128);
        // Samples that cannot play leave their zones out.
        std::vector<VoiceZone> playable;
        std::vector<std::pair<int, int>> made;  // header, root per playable zone
        for (const VoiceZone& z : zones) {
            int root = 60;
            const int h = HeaderFor(z, root);
            if (h < 0) continue;
            playable.push_back(z);
            made.push_back({h, root});
        }
        std::vector<LayerPlan> layers;
        for (int level = 0; level <= 3; ++level) {
            layers = Group(playable, level);
            if (layers.size() <= size_t(kMaxLayers)) break;
        }
        if (layers.size() > size_t(kMaxLayers)) plan.losses.insert("layers beyond 32");
        for (LayerPlan& l : layers)
            for (RangePlan& r : l.ranges) {
                r.header = made[size_t(r.zone)].first;
                r.root = made[size_t(r.zone)].second;
            }
        PairStereo(layers);
        plan.layers = std::move(layers);
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

// How much of resource r the conversion takes: in all, and per program when asked.
std::vector<int64_t> PresetConverter::Usage(std::vector<int64_t>* perProgram, Resource r) const {
    std::vector<int64_t> total(kResourceCount, 0);
    std::vector<bool> headerUsed(headers_.size(), false);
    std::set<std::vector<int>> keymaps;
    if (perProgram) perProgram->assign(programs_.size(), 0);
    for (size_t i = 0; i < programs_.size(); ++i) {
        const ProgramPlan& p = programs_[i];
        if (p.dropped) continue;
        ++total[kPrograms];
        std::set<int> own;
        for (const LayerPlan& l : p.layers) {
            keymaps.insert(KeymapKey(l));
            for (const RangePlan& rp : l.ranges) {
                own.insert(rp.header);
                if (!headerUsed[size_t(rp.header)]) {
                    headerUsed[size_t(rp.header)] = true;
                    ++total[kHeaders];
                    const HeaderKey& h = headers_[size_t(rp.header)];
                    total[kBytes] += h.end - h.start;
                }
            }
        }
        if (!perProgram) continue;
        int64_t mine = 0;
        if (r == kHeaders) mine = int64_t(own.size());
        if (r == kKeymaps) mine = int64_t(p.layers.size());
        if (r == kBytes)
            for (int h : own)
                mine += headers_[size_t(h)].end - headers_[size_t(h)].start;
        (*perProgram)[i] = mine;
    }
    total[kKeymaps] = int64_t(keymaps.size());
    return total;
}

Sf2Needs PresetConverter::Needs() const {
    const std::vector<int64_t> u = Usage(nullptr, kHeaders);
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

// Drops the velocity split farthest from a typical velocity; the others widen to cover every
// velocity again.
bool PresetConverter::DropVelocitySplit(ProgramPlan& p) {
    std::set<std::pair<int, int>> splits;
    for (const LayerPlan& l : p.layers)
        splits.insert({l.velLow, l.velHigh});
    if (splits.size() < 2) return false;
    auto distance = [](const std::pair<int, int>& v) {
        if (v.first <= kTypicalVelocity && kTypicalVelocity <= v.second) return 0;
        return std::min(std::abs(v.first - kTypicalVelocity), std::abs(v.second - kTypicalVelocity));
    };
    const auto worst = *std::max_element(splits.begin(), splits.end(),
                                         [&](const auto& a, const auto& b) {
                                             return distance(a) < distance(b);
                                         });
    for (size_t i = p.layers.size(); i-- > 0;)
        if (i < p.layers.size() && p.layers[i].velLow == worst.first &&
            p.layers[i].velHigh == worst.second && !p.layers[i].right)
            EraseLayer(p, i);
    splits.erase(worst);
    // The gaps close upwards: each split reaches to the next one's low end.
    std::vector<std::pair<int, int>> rest(splits.begin(), splits.end());
    for (LayerPlan& l : p.layers) {
        const auto at = std::find(rest.begin(), rest.end(), std::make_pair(l.velLow, l.velHigh));
        if (at == rest.end()) continue;
        const size_t k = size_t(at - rest.begin());
        const int low = k == 0 ? 0 : l.velLow;
        const int high = k + 1 < rest.size() ? std::max(l.velHigh, rest[k + 1].first - 1) : 127;
        l.velLow = low;
        l.velHigh = high;
    }
    p.losses.insert("velocity layers");
    return true;
}

// Halves the key splits of the layer (with its stereo partner) that plays the most headers:
// neighbouring ranges merge, the merged range playing the sample whose root lies nearer its
// middle. Kits keep every key's own sample.
bool PresetConverter::Thin(ProgramPlan& p) {
    if (p.kit) return false;
    size_t best = p.layers.size();
    size_t most = 1;
    for (size_t i = 0; i < p.layers.size(); ++i)
        if (!p.layers[i].right && p.layers[i].ranges.size() > most) {
            most = p.layers[i].ranges.size();
            best = i;
        }
    if (best == p.layers.size()) return false;
    auto thin = [](LayerPlan& l, const std::vector<bool>& keepFirst) {
        std::vector<RangePlan> out;
        for (size_t i = 0; i < l.ranges.size(); i += 2) {
            if (i + 1 == l.ranges.size()) {
                out.push_back(l.ranges[i]);
                break;
            }
            RangePlan merged = keepFirst[i / 2] ? l.ranges[i] : l.ranges[i + 1];
            merged.low = l.ranges[i].low;
            merged.high = l.ranges[i + 1].high;
            out.push_back(merged);
        }
        l.ranges = std::move(out);
    };
    LayerPlan& left = p.layers[best];
    std::vector<bool> keepFirst;
    for (size_t i = 0; i + 1 < left.ranges.size(); i += 2) {
        const RangePlan& a = left.ranges[i];
        const RangePlan& b = left.ranges[i + 1];
        const double middle = (a.low + b.high) / 2.0;
        keepFirst.push_back(std::abs(a.root - middle) <= std::abs(b.root - middle));
    }
    thin(left, keepFirst);
    if (left.partner >= 0) thin(p.layers[size_t(left.partner)], keepFirst);
    p.losses.insert("key splits");
    return true;
}

// A stereo pair plays its left half alone, in the middle.
bool PresetConverter::MakeMono(ProgramPlan& p) {
    for (size_t i = 0; i < p.layers.size(); ++i) {
        if (p.layers[i].partner < 0) continue;
        const size_t right = size_t(p.layers[i].partner);
        p.layers[i].partner = -1;
        p.layers[i].values.pan = 0;
        p.layers[i].side = 0;
        p.layers[right].right = false;
        EraseLayer(p, right);
        p.losses.insert("stereo");
        return true;
    }
    return false;
}

bool PresetConverter::DropSmallestLayer(ProgramPlan& p) {
    if (p.layers.size() < 2) return false;
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
    p.losses.insert("layers");
    return true;
}

bool PresetConverter::Reduce(ProgramPlan& p, Resource r) {
    if (DropVelocitySplit(p)) return true;
    if (r == kKeymaps) return MakeMono(p) || DropSmallestLayer(p);
    return Thin(p);
}

// Fits the programs into a program each (32 layers, 4 KB packed) and the whole into the
// synthesizer's headers, keymaps and sample RAM: the program that takes most of what is short
// gives up what matters least (a velocity split, then key splits or stereo); a program that
// has nothing left to give is not converted, the other kits and banks first.
void PresetConverter::Fit() {
    for (ProgramPlan& p : programs_) {
        while (!p.dropped && SlotCount(p) > kMaxLayers)
            if (!DropVelocitySplit(p) && !MakeMono(p) && !DropSmallestLayer(p)) break;
        if (!p.dropped && p.layers.empty()) DropProgram(p, "it plays no sample");
    }
    const Sf2Budget& b = choice_.budget;
    const int64_t limits[kResourceCount] = {b.sampleHeaders, b.keymaps, b.programs,
                                            b.sampleBytes > 0 ? b.sampleBytes : INT64_MAX};
    std::vector<std::vector<bool>> spent(kResourceCount, std::vector<bool>(programs_.size()));
    for (;;) {
        const std::vector<int64_t> total = Usage(nullptr, kHeaders);
        int over = -1;
        for (int r = 0; r < kResourceCount && over < 0; ++r)
            if (total[size_t(r)] > limits[r]) over = r;
        if (over < 0) return;
        std::vector<int64_t> mine;
        Usage(&mine, Resource(over));
        size_t pick = programs_.size();
        for (size_t i = 0; i < programs_.size(); ++i)
            if (!programs_[i].dropped && !spent[size_t(over)][i] &&
                (pick == programs_.size() || mine[i] > mine[pick]))
                pick = i;
        if (over != kPrograms && pick < programs_.size()) {
            if (!Reduce(programs_[pick], Resource(over))) spent[size_t(over)][pick] = true;
            continue;
        }
        // Nothing left to give: a whole program goes, the last of those least played.
        auto rank = [&](const ProgramPlan& p) {
            const bool standardKit = p.number == kFirstKitProgram;
            const int group = p.number >= kFirstOtherProgram ? 3 : p.kit && !standardKit ? 2 : 0;
            return std::make_pair(group, p.number);
        };
        ProgramPlan* victim = nullptr;
        for (ProgramPlan& p : programs_)
            if (!p.dropped && (!victim || rank(p) > rank(*victim))) victim = &p;
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
            MakeSf2Layer(l.values, AddSf2LayerModulators(*layer), *layer, true);
            layer->velocityLow = static_cast<uint8_t>(l.velLow);
            layer->velocityHigh = static_cast<uint8_t>(l.velHigh);
            layer->exclusiveZone = static_cast<uint8_t>(l.exclusive);
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
