#include "files/Sf2Export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include "files/ConversionLog.h"
#include "files/Sf2Layer.h"
#include "files/Sf2Numbers.h"
#include "files/Sf2WaveData.h"
#include "model/Ma1Units.h"
#include "model/ModSource.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/ByteSink.h"
#include "platform/Format.h"
#include "platform/PathText.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"

namespace talmeru {

namespace {

RomSampleSource& RomSource() {
    static RomSampleSource source;
    return source;
}

using namespace sf2;
// Offsets from an envelope's delay generator: delay, attack, hold, decay, sustain, release.
constexpr int kEnvGenerators = 6;

constexpr size_t kNameField = 20;
// Zero points after each sample, and points after a loop's end (copies of its start, which
// is what plays there) for players that interpolate across the loop.
constexpr uint32_t kGuardPoints = 46;
constexpr uint32_t kLoopTail = 8;
constexpr uint32_t kShortestLoop = 32;
constexpr size_t kPiece = size_t{1} << 20;
// Bag and generator indexes are 16 bits, the terminal records included.
constexpr size_t kMaxIndex = 0xFFFF;

struct Gen {
    uint16_t op;
    uint16_t amount;
};

uint16_t Amount(double v) {
    return static_cast<uint16_t>(static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L)));
}
uint16_t Range(int low, int high) {
    return static_cast<uint16_t>(low | (high << 8));
}

// The SoundFont's envelope: delay, attack, hold, decay to the sustain level, release; decay
// and release times are those of the whole travel, `drop` is how far below full level the
// sustain lies (0..1).
struct Dahdsr {
    double delay = 0, attack = 0, hold = 0, decay = 0, release = 0;
    double drop = 0;
};

// An ENV's segments seen as a DAHDSR: the time at the start level 0 is the delay, the climb to
// its highest level the attack, the time held there the hold, the rest of the attack and the
// decay segments the decay, the last decay level the sustain; `scale` is the depth of the
// route (1 for depth 127). The segment times cover only part of the travel, so the full
// travel's time is longer by the part's share: the inverse of the import's scaling.
Dahdsr FromEnv(const EnvModulator& e, double scale) {
    const auto& s = e.Segments();
    const int n = static_cast<int>(s.size());
    auto level = [&](int i) { return std::clamp<int>(s[size_t(i)].level, 0, 127) / 127.0; };
    auto time = [&](int i) { return units::EnvSeconds(s[size_t(i)].time); };
    const int attackEnd = std::min(e.AttackCount(), n);
    const int decayEnd = std::min(e.AttackCount() + e.DecayCount(), n);
    const int releaseEnd = std::min(e.AttackCount() + e.DecayCount() + e.ReleaseCount(), n);
    double peak = 0;
    for (int i = 0; i < decayEnd; ++i)
        peak = std::max(peak, level(i));
    Dahdsr d;
    int i = 0;
    if (e.StartLevel() <= 0)
        while (i < attackEnd && level(i) <= 0 && peak > 0)
            d.delay += time(i++);
    while (i < attackEnd) {
        d.attack += time(i);
        if (level(i++) >= peak) break;
    }
    while (i < attackEnd && level(i) >= peak)
        d.hold += time(i++);
    while (i < decayEnd)
        d.decay += time(i++);
    for (i = decayEnd; i < releaseEnd; ++i)
        d.release += time(i);
    const double sustain = decayEnd > 0 ? level(decayEnd - 1) : 0.0;
    d.drop = std::clamp((1.0 - sustain) * scale, 0.0, 1.0);
    if (d.drop > 0) d.decay /= d.drop;
    d.release /= ReleaseShare(d.decay, d.drop);
    return d;
}

// A sample header's natural envelope as a volume envelope: the held group's falls become the
// decay (its last slope, when it falls, the decay to silence), the release group's first
// slope the release. Durations count frames of the sample as it plays at its root key.
Dahdsr FromNatural(const SampleHeader& h, double framesPerSecond) {
    Dahdsr d;
    const auto& env = h.envelope;
    size_t i = 0;
    double db = 0, falling = 0;
    for (; i < env.size() && env[i].duration != 0; ++i) {
        const double seconds = env[i].duration / framesPerSecond;
        const double change = units::NaturalSlopeDbPerSecond(env[i].slope) * seconds;
        if (change < 0) {
            db = std::max(db + change, -units::kAmpRangeDb);
            falling += seconds;
        }
    }
    const double held = i < env.size() ? units::NaturalSlopeDbPerSecond(env[i].slope) : 0.0;
    if (held < 0) {
        d.drop = 1;
        d.decay = units::kAmpRangeDb / -held;
    } else {
        d.drop = -db / units::kAmpRangeDb;
        d.decay = d.drop > 0 ? falling / d.drop : 0;
    }
    for (++i; i < env.size(); ++i) {
        const double rate = units::NaturalSlopeDbPerSecond(env[i].slope);
        if (rate < 0) {
            d.release = units::kAmpRangeDb / -rate;
            break;
        }
        if (env[i].duration == 0) break;
    }
    return d;
}

// The six generators of a volume (tenth-of-a-dB sustain) or modulation (0.1%) envelope.
void AddEnvelope(std::vector<Gen>& gens, uint16_t first, const Dahdsr& d, double extraDelay) {
    const bool volume = first == kVolEnvDelay;
    const int times[] = {Timecents(d.delay + extraDelay), Timecents(d.attack), Timecents(d.hold),
                         Timecents(d.decay)};
    for (int k = 0; k < 4; ++k)
        gens.push_back({uint16_t(first + k), Amount(times[k])});
    gens.push_back({uint16_t(first + 4), Amount(d.drop * (volume ? 960.0 : 1000.0))});
    gens.push_back({uint16_t(first + 5), Amount(Timecents(d.release))});
}

// One sample of the file: a header's region of its source, in frames of the source.
struct OutSample {
    int header = -1;
    std::string name;
    int source = -1;  // index into the sources
    int64_t start = 0, end = 0, loop = -1;
    uint32_t rate = 44100;
    int key = 60;
    int correction = 0;
    int type = 1;  // mono; 2 right, 4 left
    int link = 0;
    int amp = 0;                      // the header's level, dB
    const SampleHeader* h = nullptr;  // for its natural envelope
    uint32_t at = 0;                  // where its points start in the sample chunk
    uint32_t Points() const { return uint32_t(end - start) + (loop >= 0 ? kLoopTail : 0); }
};

// Where sample data come from: a wave data read from its start, or the ROM's memory.
struct Source {
    WaveData* wave = nullptr;
    std::shared_ptr<const std::vector<int8_t>> rom;
    int bytesPerFrame = 2;
    std::vector<size_t> samples;  // in the order of their starts
};

// A SoundFont modulator: amount x source (x amount source) added to a generator.
struct Mod {
    uint16_t src = 0, dest = 0;
    uint16_t amount = 0;
    uint16_t amountSrc = 0;
};

// The players' default modulators that the layer does not have: each written with amount 0,
// which replaces the default (the velocity curve on the level is replaced by the Amp's
// velocity tracking whenever it differs from the players' own).
void SilencePlayersDefaults(std::vector<Mod>& mods) {
    constexpr uint16_t kModWheel = kSrcController | 1;
    constexpr uint16_t kVelocityFalling = kSrcVelocity | kSrcNegative;
    constexpr uint16_t kVelocitySwitch = kSrcVelocity | kSrcSwitch;
    const Mod defaults[] = {{kVelocityFalling, kInitialFilterFc, 0, kVelocitySwitch},
                            {kModWheel, kVibLfoToPitch, 0, 0},
                            {kSrcChannelPressure, kVibLfoToPitch, 0, 0}};
    for (const Mod& d : defaults) {
        const bool replaced = std::any_of(mods.begin(), mods.end(), [&](const Mod& m) {
            return m.src == d.src && m.dest == d.dest && m.amountSrc == d.amountSrc;
        });
        if (!replaced) mods.push_back(d);
    }
}

struct Zone {
    std::vector<Gen> gens;  // keyRange and velRange first, sampleID or instrument last
    std::vector<Mod> mods;
};

struct Instrument {
    std::string name;
    std::vector<Zone> zones;
};

// Its zones name their instruments, with the layer's key range when it is not the whole
// keyboard (the instrument's zones are already cut to it; the range tells the import the
// layer's own).
struct Preset {
    std::string name;
    int preset = 0, bank = 0;
    std::vector<Zone> zones;
};

// The points of one source's samples into out: each sample's region (8-bit data widened to
// 16 bits), the copies of its loop's start, then the guard points. A wave data is read from
// its start once, and again only where a region starts before the last one ended. False on a
// failure, with shown set when the reason has been shown.
bool WriteSource(ByteSink& out, const Source& src, const std::vector<OutSample>& samples,
                 std::vector<uint8_t>& piece, std::vector<uint8_t>& points, bool& shown) {
    const size_t bpf = size_t(src.bytesPerFrame);
    std::unique_ptr<WaveDataReader> reader;
    uint64_t pos = 0;  // bytes of the wave data read
    auto failed = [&shown] { return !(shown = true); };
    // The next n frames, from `frame` on, as 16-bit points.
    auto next = [&](int64_t frame, size_t n) {
        if (src.rom) {
            const int8_t* d = src.rom->data() + frame;
            points.resize(2 * n);
            for (size_t i = 0; i < n; ++i) {
                points[2 * i] = 0;
                points[2 * i + 1] = uint8_t(d[i]);
            }
            return true;
        }
        piece.resize(n * bpf);
        if (reader->Read(piece) != 0) return false;
        pos += piece.size();
        if (bpf == 2) {
            points.swap(piece);
            return true;
        }
        points.resize(2 * n);
        for (size_t i = 0; i < n; ++i) {
            points[2 * i] = 0;
            points[2 * i + 1] = piece[i];
        }
        return true;
    };
    const std::array<uint8_t, 2 * kGuardPoints> guard{};
    for (size_t index : src.samples) {
        const OutSample& s = samples[index];
        if (!src.rom) {
            const uint64_t from = uint64_t(s.start) * bpf;
            if (!reader || from < pos) {
                reader = src.wave->OpenReader();
                pos = 0;
                if (!reader) return failed();
            }
            if (reader->Size() < uint64_t(s.end) * bpf) {
                ShowMessage(Fmt("The sample data of sample %d are shorter than its header says.",
                                s.header));
                return failed();
            }
            while (pos < from) {
                piece.resize(size_t(std::min<uint64_t>(kPiece, from - pos)));
                if (reader->Read(piece) != 0) return failed();
                pos += piece.size();
            }
        }
        std::array<uint8_t, 2 * kLoopTail> loopStart{};
        for (int64_t f = s.start; f < s.end;) {
            const size_t n = size_t(std::min<int64_t>(kPiece / 2, s.end - f));
            if (!next(f, n)) return failed();
            if (s.loop >= 0)
                for (int64_t g = std::max(f, s.loop);
                     g < std::min<int64_t>(f + int64_t(n), s.loop + kLoopTail); ++g) {
                    loopStart[size_t(2 * (g - s.loop))] = points[size_t(2 * (g - f))];
                    loopStart[size_t(2 * (g - s.loop) + 1)] = points[size_t(2 * (g - f) + 1)];
                }
            if (!out.Write(std::span(points).first(2 * n))) return false;
            f += int64_t(n);
        }
        if (s.loop >= 0) {
            // What plays after the loop's end is its start again, also for loops shorter
            // than the tail.
            const size_t length = size_t(s.end - s.loop);
            std::array<uint8_t, 2 * kLoopTail> tail{};
            for (size_t k = 0; k < kLoopTail; ++k) {
                tail[2 * k] = loopStart[2 * (k % length)];
                tail[2 * k + 1] = loopStart[2 * (k % length) + 1];
            }
            if (!out.Write(tail)) return false;
        }
        if (!out.Write(guard)) return false;
    }
    return true;
}

std::string Field(const std::string& s) {
    return s.substr(0, kNameField - 1);
}

const char* BlockName(int block) {
    static constexpr const char* kNames[] = {"Pitch", "Filter #1", "Filter #2", "Amp"};
    return kNames[block & 3];
}

std::string DescribeModulator(const Modulator& m) {
    std::string text =
        Fmt("%s %s%d", m.KindName(), m.ownerKind == kProgramModulator ? "(program) " : "", m.Id());
    if (m.Kind() == ModulatorKind::kFun) text += " (" + m.SubtypeName() + ")";
    return text;
}

// A route's depth is its base depth plus the adjusted depth times the adjust source, as the
// voice engine plays it: a constant adjust source is part of the depth.
double DepthOf(const ModulationEntry& e) {
    const uint8_t adjust = static_cast<uint8_t>(e.depthAdjustSource);
    return ClassifySource(adjust) == SourceClass::kConstant
               ? e.baseDepth + e.adjustedDepth * ConstantValue(adjust)
               : double(e.baseDepth);
}

// Players scale the generator (not the modulators) as they hear it; see Sf2AttenuationDb.
double GeneratorCb(int cb) {
    return Sf2AttenuationCb(-cb / 10.0);
}

// The modulators of a layer that become the SoundFont's envelopes and LFOs.
struct LayerRoles {
    const EnvModulator* volEnv = nullptr;
    const EnvModulator* modEnv = nullptr;
    const LfoModulator* modLfo = nullptr;
    const LfoModulator* vibLfo = nullptr;
    double volScale = 1;
};

LayerRoles ChooseRoles(const Layer& layer);

// One layer on its way to an instrument: its global zone's generators and modulators, and the
// sums that become generators once every route is seen.
struct LayerBuild {
    explicit LayerBuild(const Layer& l)
        : layer(l),
          roles(ChooseRoles(l)),
          allVelocities(l.velocityLow == 0 && l.velocityHigh >= 127),
          filterType(l.Filter1().IsNullFilter() ? 0 : l.Filter1().FilterType()),
          lowPass(filterType == 1 || filterType == 3 || filterType == 4),
          layerDelay(l.delay * units::kDelaySecondsPerStep) {}
    const Layer& layer;
    const LayerRoles roles;
    const bool allVelocities;
    const int filterType;
    const bool lowPass;
    const double layerDelay;
    std::vector<Gen> global;
    std::vector<Mod> mods;
    double fineCents = 0, attenuationCb = 0, cutoffCents = 0;
    double modEnvToPitch = 0, modEnvToFilter = 0, modLfoToPitch = 0, vibLfoToPitch = 0;
    double modLfoToFilter = 0, modLfoToVolume = 0;
    bool modEnvUsed = false, modLfoUsed = false, vibLfoUsed = false;
    int attenuation = 0;   // the layer's, centibels
    bool natural = false;  // each zone carries its sample's natural envelope
};

// One modulation entry of a block, as the exporter reads it.
struct Route {
    Route(int b, const ModulationEntry& entry, const Modulator* mod)
        : block(b), e(entry), m(mod) {}
    int block = 0;
    const ModulationEntry& e;
    const Modulator* m = nullptr;
    uint8_t adjustCode = 0;
    std::string from;      // the modulator's or the source's name, for the log
    bool adjusted = false;  // its depth follows a source that is not a constant
    uint16_t adjust = 0;    // that source as a SoundFont modulator source, 0 if none
    double depth = 0;
};

class Sf2Exporter {
  public:
    Sf2Exporter(ZedoDatabase& db, ConversionLog& log) : db_(db), log_(log) {}
    int Prepare(const std::string& name, BankWrite& write);

  private:
    void Log(const std::string& line) { log_.Add(line + "\r\n"); }
    void MakeSamples();
    int SourceFor(const SampleHeader& h, int& bytesPerFrame, int64_t& frames);
    void LinkStereoPairs();
    void PlaceData();
    void ConvertProgram(const Program& p);
    int ConvertLayer(const Program& p, const Layer& layer, const std::string& name);
    void Note(const char* mark, const std::string& what) { Log(mark + where_ + what); }
    void ConvertSettings(LayerBuild& b);
    void ConvertRoute(LayerBuild& b, int block, const ModulationEntry& e);
    void RouteFromModulator(LayerBuild& b, const Route& r);
    void RouteFromSource(LayerBuild& b, const Route& r, uint8_t control);
    void AdjustLost(const Route& r);
    void RouteLost(const Route& r);
    void AddModulatorParts(LayerBuild& b);
    void NoteUnexportedInputs(const LayerBuild& b);
    void ConvertFilter(LayerBuild& b);
    void ConvertLevel(LayerBuild& b);
    void ConvertVolumeEnvelope(LayerBuild& b);
    void AddZones(const LayerBuild& b, Instrument& inst);
    // The sample the layer's lowest key plays, or nullptr.
    const OutSample* FirstSampleOf(const Layer& layer) const;
    std::vector<uint8_t> BuildPdta() const;
    std::vector<uint8_t> BuildInfo(const std::string& name) const;

    ZedoDatabase& db_;
    ConversionLog& log_;
    std::vector<OutSample> samples_;
    std::vector<Source> sources_;
    std::vector<int> sampleOf_ = std::vector<int>(kSlotCount, -1);  // header -> sample
    std::vector<Instrument> instruments_;
    std::vector<Preset> presets_;
    std::string where_;  // "Program 12 Grand Piano, layer 0: "
    uint64_t points_ = 0;
    bool romWritten_ = false;
};

const OutSample* Sf2Exporter::FirstSampleOf(const Layer& layer) const {
    const Keymap* keymap = db_.GetKeymap(layer.keymap);
    for (size_t i = 0; keymap && i < keymap->entries.size(); ++i) {
        const int header = keymap->entries[i].sample;
        const int s = header >= 0 && header < kSlotCount ? sampleOf_[size_t(header)] : -1;
        if (s >= 0 && samples_[size_t(s)].h) return &samples_[size_t(s)];
    }
    return nullptr;
}

int Sf2Exporter::SourceFor(const SampleHeader& h, int& bytesPerFrame, int64_t& frames) {
    WaveData* w = h.Wave();
    const bool rom = w ? w->IsRom() : (h.flags & kSixteenBit) == 0;
    if (rom) {
        for (size_t i = 0; i < sources_.size(); ++i)
            if (sources_[i].rom) {
                bytesPerFrame = 1;
                frames = int64_t(sources_[i].rom->size());
                return int(i);
            }
        auto data = RomSource() ? RomSource()() : nullptr;
        if (!data) return -2;
        sources_.push_back({nullptr, data, 1, {}});
        bytesPerFrame = 1;
        frames = int64_t(data->size());
        return int(sources_.size() - 1);
    }
    if (!w || !w->valid || w->Kind() == kWaveInvalid) return -1;
    bytesPerFrame = w->BytesPerFrame();
    const int32_t length = w->Length();
    frames = length >= 0 ? length / bytesPerFrame : INT64_MAX;
    for (size_t i = 0; i < sources_.size(); ++i)
        if (sources_[i].wave == w) return int(i);
    sources_.push_back({w, nullptr, bytesPerFrame, {}});
    return int(sources_.size() - 1);
}

void Sf2Exporter::MakeSamples() {
    // The headers that some keymap plays. A header no keymap plays whose region holds a played
    // header's region of the same data (the header an import makes over a whole sample chunk)
    // would only write those data twice.
    std::vector<bool> played(kSlotCount, false);
    for (int n = 0; n < kSlotCount; ++n)
        if (Keymap* k = db_.GetKeymap(n))
            for (const auto& e : k->entries)
                if (e.sample >= 0 && e.sample < kSlotCount) played[size_t(e.sample)] = true;
    auto holdsPlayed = [&](const SampleHeader& h) {
        for (int n = 0; n < kSlotCount; ++n) {
            const SampleHeader* other = db_.GetSampleHeader(n);
            if (other && other != &h && played[size_t(n)] && other->Wave() == h.Wave() &&
                h.start <= other->start && other->end <= h.end)
                return true;
        }
        return false;
    };
    for (int n = 0; n < kSlotCount; ++n) {
        SampleHeader* h = db_.GetSampleHeader(n);
        if (!h) continue;
        const char* name = h->Name().c_str();
        if (!played[size_t(n)] && h->Wave() && !h->Wave()->IsRom() && holdsPlayed(*h)) {
            Log(
                Fmt("? Sample %d %s: no keymap plays it and the samples within it are written "
                    "for themselves",
                    n, name));
            continue;
        }
        int bpf = 2;
        int64_t frames = 0;
        const int source = SourceFor(*h, bpf, frames);
        if (source == -2) {
            Log(
                Fmt("X Sample %d %s: ROM sample, but no ROM sample data are at hand; the zones "
                    "that play it are left out",
                    n, name));
            continue;
        }
        if (source < 0) {
            Log(Fmt("X Sample %d %s: its sample data cannot be read, not exported", n, name));
            continue;
        }
        // The header's offsets count frames as the voice engine reads them.
        const int headerBpf = (h->flags & kSixteenBit) ? 2 : 1;
        if (headerBpf != bpf) {
            Log(Fmt("X Sample %d %s: its header and its data differ in sample size, not exported",
                    n, name));
            continue;
        }
        OutSample s;
        s.header = n;
        s.name = h->Name();
        s.source = source;
        s.h = h;
        s.start = std::clamp<int64_t>(h->start / bpf, 0, frames);
        s.end = std::clamp<int64_t>(h->end / bpf, s.start, frames);
        const int64_t loop = h->loopStart / bpf;
        s.loop = h->loopStart >= 0 && loop >= s.start && loop < s.end ? loop : -1;
        if (s.end <= s.start) {
            Log(Fmt("X Sample %d %s: plays no data, not exported", n, name));
            continue;
        }
        if (s.loop >= 0 && (s.loop == s.start || s.end - s.loop < kShortestLoop))
            Log(
                Fmt("? Sample %d %s: its loop (%d points from point %d) is shorter than 32 "
                    "points or starts at the sample's start, as some players dislike",
                    n, name, int(s.end - s.loop), int(s.loop - s.start)));
        const int rate = sources_[size_t(source)].rom ? 44100 : h->Wave()->SampleRateAt(s.start);
        s.rate = uint32_t(rate > 0 ? rate : 44100);
        // The header's pitch rule gives the key that plays the data at their recorded pitch;
        // the nearest key is the original key and the rest the correction.
        const double root = units::RootKeyForPitch(h->pitch, s.rate);
        const long key = std::lround(root);
        s.key = int(std::clamp(key, 0L, 127L));
        s.correction = int(std::clamp(std::lround((s.key - root) * 100.0), -99L, 99L));
        if (key != s.key)
            Log(Fmt("X Sample %d %s: its root key %.1f lies outside the keyboard, written as %d", n,
                    name, root, s.key));
        s.amp = h->amp;
        sampleOf_[size_t(n)] = int(samples_.size());
        sources_[size_t(source)].samples.push_back(samples_.size());
        samples_.push_back(std::move(s));
        if (sources_[size_t(source)].rom) romWritten_ = true;
    }
}

void Sf2Exporter::LinkStereoPairs() {
    for (OutSample& s : samples_) {
        const SampleHeader* h = s.h;
        if (h->stereoRole != kStereoLeft || !h->chained) continue;
        const int right = sampleOf_[size_t(h->chained->Number())];
        if (right < 0) continue;
        OutSample& r = samples_[size_t(right)];
        if (r.type != 1) continue;
        const int left = sampleOf_[size_t(s.header)];
        s.type = 4;
        s.link = right;
        r.type = 2;
        r.link = left;
    }
}

void Sf2Exporter::PlaceData() {
    for (Source& src : sources_) {
        std::stable_sort(src.samples.begin(), src.samples.end(), [this](size_t a, size_t b) {
            return samples_[a].start < samples_[b].start;
        });
        for (size_t i : src.samples) {
            samples_[i].at = uint32_t(std::min<uint64_t>(points_, UINT32_MAX));
            points_ += samples_[i].Points() + kGuardPoints;
        }
    }
}

// Which modulators play which SoundFont part: the ENV on the Amp block is the volume envelope,
// an ENV on pitch or filter the modulation envelope, an LFO on the filter or the level the
// modulation LFO, one on pitch alone the vibrato LFO.
LayerRoles ChooseRoles(const Layer& layer) {
    LayerRoles r;
    for (int b : {3, 0, 1}) {
        for (const ModulationEntry& e : layer.Block(b).Entries()) {
            const Modulator* m = layer.ResolveSource(e.controlSource);
            if (!m) continue;
            if (auto* env = dynamic_cast<const EnvModulator*>(m)) {
                if (b == 3 && !r.volEnv && DepthOf(e) > 0) {
                    r.volEnv = env;
                    r.volScale = std::min(DepthOf(e), 127.0) / 127.0;
                }
                if (b != 3 && !r.modEnv) r.modEnv = env;
            } else if (auto* lfo = dynamic_cast<const LfoModulator*>(m)) {
                if (b != 0 && !r.modLfo) r.modLfo = lfo;
            }
        }
    }
    for (const ModulationEntry& e : layer.Pitch().Entries())
        if (auto* lfo = dynamic_cast<const LfoModulator*>(layer.ResolveSource(e.controlSource))) {
            if (lfo != r.modLfo && !r.vibLfo) {
                r.vibLfo = lfo;
            } else if (lfo != r.vibLfo && !r.modLfo) {
                r.modLfo = lfo;
            }
        }
    return r;
}

int Sf2Exporter::ConvertLayer(const Program& p, const Layer& layer, const std::string& name) {
    where_ = Fmt("Program %d %s, layer %d: ", p.Number(), p.Name().c_str(), layer.Index());
    LayerBuild build(layer);
    ConvertSettings(build);
    for (int b : {0, 1, 3})
        for (const ModulationEntry& e : layer.Block(b).Entries())
            ConvertRoute(build, b, e);
    AddModulatorParts(build);
    NoteUnexportedInputs(build);
    ConvertFilter(build);
    ConvertLevel(build);
    ConvertVolumeEnvelope(build);
    Instrument inst;
    inst.name = name;
    AddZones(build, inst);
    SilencePlayersDefaults(build.mods);
    if (inst.zones.empty()) {
        Note("? ", "plays no sample, its instrument has no zones");
    } else if (!build.global.empty() || !build.mods.empty()) {
        // Key and velocity range first; the rest in the standard's numbering.
        std::stable_sort(build.global.begin(), build.global.end(), [](const Gen& a, const Gen& b) {
            auto rank = [](const Gen& g) { return g.op == kVelRange ? -1 : int(g.op); };
            return rank(a) < rank(b);
        });
        inst.zones.insert(inst.zones.begin(),
                          Zone{std::move(build.global), std::move(build.mods)});
    }
    instruments_.push_back(std::move(inst));
    return int(instruments_.size() - 1);
}

// Velocity range, tuning, level, pan and exclusive class: the layer's own settings.
void Sf2Exporter::ConvertSettings(LayerBuild& b) {
    const Layer& layer = b.layer;
    if (!b.allVelocities)
        b.global.push_back({kVelRange, Range(layer.velocityLow, layer.velocityHigh)});
    if (int coarse = layer.Pitch().CoarseTune()) b.global.push_back({kCoarseTune, Amount(coarse)});
    b.fineCents = units::FineTuneCents(layer.Pitch().FineTune());
    b.attenuationCb = -layer.Amp().Gain() * 10.0;
    const int pan = int(std::lround(units::PanPosition(layer.Pan()) * 500.0));
    if (pan) b.global.push_back({kPan, Amount(pan)});
    if (layer.exclusiveZone) b.global.push_back({kExclusiveClass, Amount(layer.exclusiveZone)});
}

// One route into the pitch, filter or Amp block: from a modulator the SoundFont has, from a
// constant, or from a MIDI source that SoundFont modulators take.
void Sf2Exporter::ConvertRoute(LayerBuild& b, int block, const ModulationEntry& e) {
    // A Null filter hears nothing of its routes.
    if (block == 1 && b.filterType == 0) return;
    Route r(block, e, b.layer.ResolveSource(e.controlSource));
    const uint8_t control = static_cast<uint8_t>(e.controlSource);
    r.adjustCode = static_cast<uint8_t>(e.depthAdjustSource);
    r.from = r.m ? DescribeModulator(*r.m) : SourceName(control);
    r.adjusted = e.adjustedDepth != 0 && ClassifySource(r.adjustCode) != SourceClass::kConstant;
    r.adjust = r.adjusted ? SourceOf(r.adjustCode) : 0;
    r.depth = DepthOf(e);
    if (r.depth == 0 && !r.adjusted) return;
    if (r.m)
        RouteFromModulator(b, r);
    else
        RouteFromSource(b, r, control);
}

void Sf2Exporter::AdjustLost(const Route& r) {
    Note("X ", Fmt("%s modulation by %s: its depth control by %s not exported", BlockName(r.block),
                   r.from.c_str(), SourceName(r.adjustCode).c_str()));
}

void Sf2Exporter::RouteLost(const Route& r) {
    Note("X ", Fmt("%s modulation by %s (depth %d) not exported", BlockName(r.block),
                   r.from.c_str(), int(std::lround(r.depth))));
}

void Sf2Exporter::RouteFromModulator(LayerBuild& b, const Route& r) {
    const LayerRoles& roles = b.roles;
    const int block = r.block;
    const double depth = r.depth;
    // The generator the route feeds, and its units per depth step.
    uint16_t target = 0;
    double step = 0;
    if (block == 0 && r.m == roles.modEnv) {
        b.modEnvToPitch += depth, target = kModEnvToPitch, step = kPitchCentsPerDepth;
        b.modEnvUsed = true;
    } else if (block == 0 && r.m == roles.modLfo) {
        b.modLfoToPitch += depth, target = kModLfoToPitch, step = kPitchCentsPerDepth;
        b.modLfoUsed = true;
    } else if (block == 0 && r.m == roles.vibLfo) {
        b.vibLfoToPitch += depth, target = kVibLfoToPitch, step = kPitchCentsPerDepth;
        b.vibLfoUsed = true;
    } else if (block == 1 && b.lowPass && r.m == roles.modEnv) {
        b.modEnvToFilter += depth, target = kModEnvToFilterFc, step = kFilterCentsPerDepth;
        b.modEnvUsed = true;
    } else if (block == 1 && b.lowPass && r.m == roles.modLfo) {
        b.modLfoToFilter += depth, target = kModLfoToFilterFc, step = kFilterCentsPerDepth;
        b.modLfoUsed = true;
    } else if (block == 3 && r.m == roles.modLfo) {
        // A tremolo of depth D swings the Amp route's 96 dB range by D/127 either way.
        b.modLfoToVolume += std::abs(depth), target = kModLfoToVolume,
            step = kAttenuationCbPerDepth;
        b.modLfoUsed = true;
    } else if (block == 3 && r.m == roles.volEnv) {
        if (r.adjusted) AdjustLost(r);  // the envelope's depth is its sustain
        return;
    }
    if (!target) {
        RouteLost(r);
    } else if (r.adjust) {
        b.mods.push_back({r.adjust, target, Amount(r.e.adjustedDepth * step), 0});
    } else if (r.adjusted) {
        AdjustLost(r);
    }
}

// Straight from a source: a constant moves the block's setting, a MIDI source becomes a
// modulator of it.
void Sf2Exporter::RouteFromSource(LayerBuild& b, const Route& r, uint8_t control) {
    const bool constant = ClassifySource(control) == SourceClass::kConstant;
    const double value = constant ? ConstantValue(control) : 0.0;
    const uint16_t src = constant ? 0 : SourceOf(control);
    const double depth = r.depth;
    if ((!constant && !src) || (r.block == 1 && !b.lowPass)) {
        RouteLost(r);
        return;
    }
    if (r.block == 3) {
        // The Amp block attenuates 96 dB x depth/127 x (1 - value).
        b.attenuationCb += kAttenuationCbPerDepth * depth * (1.0 - value);
        if (src)
            b.mods.push_back({src, kInitialAttenuation, Amount(-kAttenuationCbPerDepth * depth), 0});
        if (r.adjusted) AdjustLost(r);
        return;
    }
    const uint16_t target = r.block == 0 ? kFineTune : kInitialFilterFc;
    const double step = r.block == 0 ? kPitchCentsPerDepth : kFilterCentsPerDepth;
    if (constant) {
        (r.block == 0 ? b.fineCents : b.cutoffCents) += depth * value * step;
    } else {
        b.mods.push_back({src, target, Amount(depth * step), 0});
    }
    if (r.adjust && src) {
        b.mods.push_back({src, target, Amount(r.e.adjustedDepth * step), r.adjust});
    } else if (r.adjust) {
        b.mods.push_back({r.adjust, target, Amount(r.e.adjustedDepth * value * step), 0});
    } else if (r.adjusted) {
        AdjustLost(r);
    }
}

// The modulation envelope and the two LFOs that routes use, with the depths they were given.
void Sf2Exporter::AddModulatorParts(LayerBuild& b) {
    const LayerRoles& roles = b.roles;
    std::vector<Gen>& global = b.global;
    if (roles.modEnv && b.modEnvUsed) {
        AddEnvelope(global, kModEnvDelay, FromEnv(*roles.modEnv, 1.0), b.layerDelay);
        if (b.modEnvToPitch)
            global.push_back({kModEnvToPitch, Amount(b.modEnvToPitch * kPitchCentsPerDepth)});
        if (b.modEnvToFilter)
            global.push_back({kModEnvToFilterFc, Amount(b.modEnvToFilter * kFilterCentsPerDepth)});
    }
    auto lfo = [&](const LfoModulator* l, bool used, uint16_t delayGen, uint16_t freqGen) {
        if (!l || !used) return;
        if (b.layerDelay > 0) global.push_back({delayGen, Amount(Timecents(b.layerDelay))});
        global.push_back({freqGen, Amount(AbsoluteCents(units::LfoHz(l->BaseRate())))});
        if (l->Shape() != kLfoTriangle)
            Note("X ", Fmt("%s shape %s not exported (SoundFont LFOs are triangles)",
                           DescribeModulator(*l).c_str(), LfoShapeName(l->Shape())));
    };
    lfo(roles.modLfo, b.modLfoUsed, kModLfoDelay, kModLfoFreq);
    lfo(roles.vibLfo, b.vibLfoUsed, kVibLfoDelay, kVibLfoFreq);
    if (b.modLfoToPitch)
        global.push_back({kModLfoToPitch, Amount(b.modLfoToPitch * kPitchCentsPerDepth)});
    if (b.vibLfoToPitch)
        global.push_back({kVibLfoToPitch, Amount(b.vibLfoToPitch * kPitchCentsPerDepth)});
    if (b.modLfoToFilter)
        global.push_back({kModLfoToFilterFc, Amount(b.modLfoToFilter * kFilterCentsPerDepth)});
    if (b.modLfoToVolume)
        global.push_back({kModLfoToVolume, Amount(b.modLfoToVolume * kAttenuationCbPerDepth)});
}

// What the layer's modulators need besides: inputs the SoundFont has no place for.
void Sf2Exporter::NoteUnexportedInputs(const LayerBuild& b) {
    const LayerRoles& r = b.roles;
    for (const auto& m : b.layer.Modulators()) {
        if (m->Kind() == ModulatorKind::kFun) {
            Note("X ", DescribeModulator(*m) + " not exported");
            continue;
        }
        if (m.get() != r.volEnv && m.get() != r.modEnv && m.get() != r.modLfo &&
            m.get() != r.vibLfo)
            continue;
        const uint8_t idle = m->Kind() == ModulatorKind::kEnv ? kSourceOne : kSourceZero;
        for (int i = 0; i < m->InputCount(); ++i)
            if (int src = m->InputSource(i); src >= 0 && src != idle)
                Note("X ",
                     Fmt("%s input %s from %s not exported", DescribeModulator(*m).c_str(),
                         m->InputName(i).c_str(), SourceName(static_cast<uint8_t>(src)).c_str()));
    }
}

// Filter #1: a low-pass is the SoundFont's filter. Filter #2 has no place.
void Sf2Exporter::ConvertFilter(LayerBuild& b) {
    const ControlBlock& f1 = b.layer.Filter1();
    const int filterType = b.filterType;
    if (b.lowPass) {
        const int setting = filterType == 4 ? (f1.Frequency() >> 8) * 256 : f1.Frequency();
        // Tracking as modulators.
        if (int t = f1.VelocityTracking())
            b.mods.push_back({kSrcVelocityBipolar, kInitialFilterFc,
                              Amount(t * kFilterVelocityCentsPerStep), 0});
        if (int t = f1.KeyTracking()) {
            b.mods.push_back({kSrcKey, kInitialFilterFc, Amount(t * kFilterKeyCentsPerStep), 0});
            b.cutoffCents += t * kFilterKeyOffsetCentsPerStep;
        }
        b.global.push_back(
            {kInitialFilterFc, Amount(std::clamp(AbsoluteCents(units::FilterHz(setting)) +
                                                     b.cutoffCents,
                                                 1500.0, 13500.0))});
        if (filterType == 4) {
            const double resonanceDb = units::ResonanceDb(f1.Frequency() & 0xFF);
            b.global.push_back({kInitialFilterQ, Amount(resonanceDb * 10.0)});
            // Players lower a resonant filter's output by half its peak; the engine does not.
            b.attenuationCb -= resonanceDb * 10.0 / 2;
        }
        if (filterType == 1)
            Note("? ", "Filter #1 1P LP written as the SoundFont's 2-pole low-pass");
    } else if (filterType != 0) {
        Note("X ", Fmt("Filter #1 %s not exported", FilterTypeName(filterType)));
    }
    if (!b.layer.Filter2().IsNullFilter())
        Note("X ",
             Fmt("Filter #2 %s not exported", FilterTypeName(b.layer.Filter2().FilterType())));
}

// The Amp block's tracking, the tuning and level summed up, and what else shapes the sound.
void Sf2Exporter::ConvertLevel(LayerBuild& b) {
    const Layer& layer = b.layer;
    const ControlBlock& amp = layer.Amp();
    if (amp.FixedControlSource() != kSourceZero)
        Note("X ", "cross-fade by " + SourceName(static_cast<uint8_t>(amp.FixedControlSource())) +
                       " not exported");
    if (layer.Pitch().FixedControlSource() != kSourceZero)
        Note("X ", "Pitch control by " +
                       SourceName(static_cast<uint8_t>(layer.Pitch().FixedControlSource())) +
                       " not exported");
    // Velocity tracking replaces the players' own velocity curve, its default modulator.
    if (amp.VelocityTracking() != kPlayersVelocityTracking)
        b.mods.push_back({kSrcVelocityCurve, kInitialAttenuation,
                          Amount(amp.VelocityTracking() * kAmpVelocityCbPerStep), 0});
    if (int t = amp.KeyTracking()) {
        b.mods.push_back({kSrcKey, kInitialAttenuation, Amount(t * kAmpKeyCbPerStep), 0});
        b.attenuationCb += t * kAmpKeyOffsetCbPerStep;
    }
    if (b.fineCents != 0) b.global.push_back({kFineTune, Amount(b.fineCents)});
    if (b.attenuationCb < -0.5)
        Note("X ", Fmt("a level of %+.1f dB above full not exported (a SoundFont only attenuates)",
                       -b.attenuationCb / 10));
    b.attenuation = int(std::lround(std::max(0.0, b.attenuationCb)));
    if (b.attenuation)
        b.global.push_back({kInitialAttenuation, Amount(GeneratorCb(b.attenuation))});
    if (layer.PanMode() != 0)
        Note("X ", Fmt("pan mode %s not exported", PanModeName(layer.PanMode())));
    if (layer.IgnoreNoteOff()) Note("X ", "ignoring note-off not exported");
    if (layer.WhiteNoise()) Note("X ", "white noise not exported");
    if (layer.timbreShift) Note("X ", Fmt("timbre shift %d not exported", layer.timbreShift));
}

// The volume envelope: the Amp block's ENV, or else the samples' natural envelopes (one per
// zone, since each sample has its own).
void Sf2Exporter::ConvertVolumeEnvelope(LayerBuild& b) {
    const Layer& layer = b.layer;
    const EnvModulator* volEnv = b.roles.volEnv;
    b.natural = !volEnv && layer.NaturalEnvelope();
    if (volEnv) {
        Dahdsr d = FromEnv(*volEnv, b.roles.volScale);
        if (layer.NaturalEnvelope()) {
            // A released note falls under both at once: their rates add.
            if (const OutSample* first = FirstSampleOf(layer)) {
                const double release = FromNatural(*first->h, first->rate).release;
                if (release > 0 && d.release > 0) d.release = 1 / (1 / d.release + 1 / release);
            }
            Note("X ",
                 "the samples' natural envelopes not exported (the Amp envelope shapes "
                 "the level; their release is added to its release)");
        }
        AddEnvelope(b.global, kVolEnvDelay, d, b.layerDelay);
    } else if (b.layerDelay > 0) {
        b.global.push_back({kVolEnvDelay, Amount(Timecents(b.layerDelay))});
    }
}

// The zones: the keymap's ranges within the layer's key range.
void Sf2Exporter::AddZones(const LayerBuild& b, Instrument& inst) {
    const Layer& layer = b.layer;
    const Keymap* keymap = db_.GetKeymap(layer.keymap);
    if (!keymap) Note("X ", Fmt("keymap %d does not exist, no zones", int(layer.keymap)));
    const int keyLow = std::min<int>(layer.keyLow, 127),
              keyHigh = std::min<int>(layer.keyHigh, 127);
    for (size_t i = 0; keymap && i < keymap->entries.size(); ++i) {
        const KeymapEntry& e = keymap->entries[i];
        const int low = std::max(keymap->LowKey(i), keyLow);
        const int high = std::min(std::min(e.topKey, 127), keyHigh);
        if (low > high || e.sample == kNoSample) continue;
        const int s = e.sample >= 0 && e.sample < kSlotCount ? sampleOf_[size_t(e.sample)] : -1;
        if (s < 0) {
            if (!db_.GetSampleHeader(e.sample))
                Note("X ",
                     Fmt("keys %d-%d play sample %d, which does not exist", low, high, e.sample));
            continue;
        }
        const OutSample& out = samples_[size_t(s)];
        Zone z;
        z.gens.push_back({kKeyRange, Range(low, high)});
        if (!b.allVelocities)
            z.gens.push_back({kVelRange, Range(layer.velocityLow, layer.velocityHigh)});
        // The range's and the sample's level: an instrument zone's generator replaces the
        // global one, so the zone carries the sum.
        if (e.amp != 0 || out.amp != 0) {
            const int level = -(e.amp + out.amp) * 10;
            if (b.attenuation + level < 0)
                Note("X ",
                     Fmt("keys %d-%d: a level above the layer's gain not exported", low, high));
            z.gens.push_back(
                {kInitialAttenuation,
                 Amount(std::min(GeneratorCb(std::max(b.attenuation + level, 0)), 1440.0))});
        }
        if (b.natural)
            AddEnvelope(z.gens, kVolEnvDelay, FromNatural(*out.h, out.rate), b.layerDelay);
        if (out.loop >= 0) z.gens.push_back({kSampleModes, 1});
        z.gens.push_back({kSampleId, uint16_t(s)});
        inst.zones.push_back(std::move(z));
    }
}

void Sf2Exporter::ConvertProgram(const Program& p) {
    Preset preset;
    preset.name = p.Name();
    const BankPreset at = BankPresetOf(p.Number());
    preset.bank = at.bank;
    preset.preset = at.preset;
    for (const auto& m : p.Modulators())
        if (m->Kind() == ModulatorKind::kFun)
            Log(Fmt("X Program %d %s: %s not exported", p.Number(), p.Name().c_str(),
                    DescribeModulator(*m).c_str()));
    for (const auto& layer : p.Layers()) {
        // A program of one layer names its instrument; more layers are told apart by number.
        std::string name = p.Name();
        if (p.LayerCount() > 1) name = Field(name).substr(0, 15) + Fmt(" %d", layer->Index());
        Zone z;
        const int keyLow = std::min<int>(layer->keyLow, 127),
                  keyHigh = std::min<int>(layer->keyHigh, 127);
        if (keyLow > 0 || keyHigh < 127) z.gens.push_back({kKeyRange, Range(keyLow, keyHigh)});
        z.gens.push_back({kInstrument, uint16_t(ConvertLayer(p, *layer, Field(name)))});
        preset.zones.push_back(std::move(z));
    }
    Log(Fmt("+ Program %d %s: preset %d:%d, %d instrument%s", p.Number(), p.Name().c_str(),
            preset.bank, preset.preset, int(preset.zones.size()),
            preset.zones.size() == 1 ? "" : "s"));
    presets_.push_back(std::move(preset));
}

std::vector<uint8_t> Sf2Exporter::BuildInfo(const std::string& name) const {
    ByteWriter out;
    RiffWriter w(out);
    auto text = [&](uint32_t id, const std::string& s) {
        std::vector<uint8_t> bytes(s.begin(), s.end());
        bytes.push_back(0);
        if (bytes.size() & 1) bytes.push_back(0);
        w.Chunk(id, bytes);
    };
    w.Open(FourCC("LIST"), FourCC("INFO"));
    const uint8_t version[4] = {2, 0, 1, 0};  // 2.01
    w.Chunk(FourCC("ifil"), version);
    text(FourCC("isng"), "EMU8000");
    text(FourCC("INAM"), name.substr(0, 255));
    text(FourCC("ISFT"), kSoftware);
    w.Close();
    return out.Take();
}

std::vector<uint8_t> Sf2Exporter::BuildPdta() const {
    ByteWriter out;
    RiffWriter w(out);
    w.Open(FourCC("LIST"), FourCC("pdta"));
    ByteWriter headers, bags, mods, gens;
    size_t bag = 0, mod = 0, gen = 0;
    // One level: headers with their bags and generators, then the terminal records.
    auto level = [&](uint32_t hdr, uint32_t bagId, uint32_t modId, uint32_t genId, auto&& each,
                     size_t count, auto&& header, auto&& terminal) {
        headers.Data().clear();
        bags.Data().clear();
        mods.Data().clear();
        gens.Data().clear();
        bag = mod = gen = 0;
        for (size_t i = 0; i < count; ++i) {
            header(i, uint16_t(bag));
            for (const Zone& z : each(i)) {
                bags.U16(uint16_t(gen));
                bags.U16(uint16_t(mod));
                ++bag;
                for (const Mod& m : z.mods) {
                    mods.U16(m.src);
                    mods.U16(m.dest);
                    mods.U16(m.amount);
                    mods.U16(m.amountSrc);
                    mods.U16(0);  // linear transform
                    ++mod;
                }
                for (const Gen& g : z.gens) {
                    gens.U16(g.op);
                    gens.U16(g.amount);
                    ++gen;
                }
            }
        }
        terminal(uint16_t(bag));
        bags.U16(uint16_t(gen));
        bags.U16(uint16_t(mod));
        mods.Zeros(10);
        gens.Zeros(4);
        w.Chunk(hdr, headers.Data());
        w.Chunk(bagId, bags.Data());
        w.Chunk(modId, mods.Data());
        w.Chunk(genId, gens.Data());
    };
    level(
        FourCC("phdr"), FourCC("pbag"), FourCC("pmod"),
        FourCC("pgen"), [&](size_t i) -> const auto& { return presets_[i].zones; }, presets_.size(),
        [&](size_t i, uint16_t first) {
            headers.FixedString(Field(presets_[i].name), kNameField);
            headers.U16(uint16_t(presets_[i].preset));
            headers.U16(uint16_t(presets_[i].bank));
            headers.U16(first);
            headers.Zeros(12);  // library, genre, morphology
        },
        [&](uint16_t first) {
            headers.FixedString("EOP", kNameField);
            headers.Zeros(4);
            headers.U16(first);
            headers.Zeros(12);
        });
    level(
        FourCC("inst"), FourCC("ibag"), FourCC("imod"),
        FourCC("igen"), [&](size_t i) -> const auto& { return instruments_[i].zones; },
        instruments_.size(),
        [&](size_t i, uint16_t first) {
            headers.FixedString(Field(instruments_[i].name), kNameField);
            headers.U16(first);
        },
        [&](uint16_t first) {
            headers.FixedString("EOI", kNameField);
            headers.U16(first);
        });
    ByteWriter shdr;
    for (const OutSample& s : samples_) {
        shdr.FixedString(Field(s.name), kNameField);
        const uint32_t loopEnd = s.at + uint32_t(s.end - s.start);
        shdr.U32(s.at);
        shdr.U32(s.at + s.Points());
        // A sample that does not loop gets a loop over its whole length, which no zone plays.
        shdr.U32(s.loop >= 0 ? s.at + uint32_t(s.loop - s.start) : s.at);
        shdr.U32(loopEnd);
        shdr.U32(s.rate);
        shdr.U8(uint8_t(s.key));
        shdr.S8(int8_t(s.correction));
        shdr.U16(uint16_t(s.link));
        shdr.U16(uint16_t(s.type));
    }
    shdr.FixedString("EOS", kNameField);
    shdr.Zeros(26);
    w.Chunk(FourCC("shdr"), shdr.Data());
    w.Close();
    return out.Take();
}

int Sf2Exporter::Prepare(const std::string& name, BankWrite& write) {
    log_.Clear();
    MakeSamples();
    LinkStereoPairs();
    PlaceData();
    for (int n = 0; n < kSlotCount; ++n)
        if (const Program* p = db_.GetProgram(n)) ConvertProgram(*p);
    if (romWritten_)
        Log("? The ROM samples were written from the emulator's stand-ins, not from the MA-1's "
            "own ROM");
    // Every count and offset has to fit the file's fields.
    size_t bags = 0, gens = 0, mods = 0, pbags = 0, pgens = 0;
    for (const Instrument& i : instruments_) {
        bags += i.zones.size();
        for (const Zone& z : i.zones) {
            gens += z.gens.size();
            mods += z.mods.size();
        }
    }
    for (const Preset& p : presets_) {
        pbags += p.zones.size();
        for (const Zone& z : p.zones)
            pgens += z.gens.size();
    }
    const uint64_t dataBytes = 2 * points_;
    if (bags >= kMaxIndex || gens >= kMaxIndex || mods >= kMaxIndex || pbags >= kMaxIndex ||
        pgens >= kMaxIndex || instruments_.size() >= kMaxIndex ||
        dataBytes > UINT32_MAX - (64u << 20)) {
        ShowMessage("The bank is too large for one SoundFont file.");
        return 1;
    }
    for (Source& s : sources_)
        if (s.wave && s.wave->CheckSource() != 0) {
            ShowMessage(
                "The sample data of the bank cannot be read; the SoundFont was not written.");
            return 1;
        }

    std::vector<uint8_t> head;
    {
        ByteWriter h;
        h.Bytes(std::array<uint8_t, 4>{'R', 'I', 'F', 'F'});
        h.U32(0);
        h.Bytes(std::array<uint8_t, 4>{'s', 'f', 'b', 'k'});
        h.Bytes(BuildInfo(name));
        h.Bytes(std::array<uint8_t, 4>{'L', 'I', 'S', 'T'});
        h.U32(0);
        h.Bytes(std::array<uint8_t, 4>{'s', 'd', 't', 'a'});
        h.Bytes(std::array<uint8_t, 4>{'s', 'm', 'p', 'l'});
        h.U32(0);
        head = h.Take();
    }
    write = [head = std::move(head), pdta = BuildPdta(), samples = samples_, sources = sources_,
             dataBytes, &log = log_](ByteSink& out, bool& shown) {
        const uint64_t riff = out.Pos();
        if (!out.Write(head)) return false;
        const uint64_t smpl = out.Pos() - 8, sdta = smpl - 12;
        std::vector<uint8_t> piece, points;
        for (const Source& src : sources)
            if (!WriteSource(out, src, samples, piece, points, shown)) return false;
        if (out.Pos() - smpl - 8 != dataBytes) {
            ShowMessage("The sample data changed while the SoundFont was written.");
            return !(shown = true);
        }
        if (!out.Write(pdta)) return false;
        const uint64_t end = out.Pos();
        const bool done = out.U32At(riff + 4, uint32_t(end - riff - 8)) &&
                          out.U32At(sdta + 4, uint32_t(dataBytes + 12)) &&
                          out.U32At(smpl + 4, uint32_t(dataBytes));
        // Only once the sample data were read without fault (a damaged stream shows late).
        if (done) log.Add("*** Done ***\r\n");
        return done;
    };
    return 0;
}

}  // namespace

void SetRomSampleSource(RomSampleSource source) {
    RomSource() = std::move(source);
}

int PrepareSf2(ZedoDatabase& db, const std::string& path, ConversionLog& log, BankWrite& write) {
    // The bank's name: its own file's, else the one written.
    const std::string& own = db.Path().empty() ? path : db.Path();
    return Sf2Exporter(db, log).Prepare(Utf8FromPath(PathFromUtf8(own).stem()), write);
}

}  // namespace talmeru
