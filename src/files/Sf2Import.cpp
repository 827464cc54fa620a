#include "files/Sf2Import.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "files/ConversionLog.h"
#include "files/ImportSupport.h"
#include "files/Sf2Layer.h"
#include "files/Sf2Hydra.h"
#include "files/Sf2Numbers.h"
#include "files/Sf2Presets.h"
#include "files/Sf2WaveData.h"
#include "files/WaveImport.h"
#include "model/Ma1Units.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/ByteIO.h"
#include "platform/Format.h"
#include "platform/Riff.h"

namespace talmeru {

namespace {

// Record sizes of the SoundFont 2.01 standard.
constexpr size_t kPhdrSize = 38;
constexpr size_t kBagSize = 4;
constexpr size_t kGenSize = 4;
constexpr size_t kModSize = 10;
constexpr size_t kInstSize = 22;
constexpr size_t kShdrSize = 46;
constexpr size_t kNameSize = 20;
// Zones, generators and samples are named by 16-bit indexes, so a table that is read can
// usefully hold no more records than the last index and the terminal record.
constexpr size_t kMaxRecords = 0x10001;
// Sample type bit of samples that live in a sound card's ROM.
constexpr int kRomSample = sf2::kSampleRom;
// Sample types of the halves of a stereo pair.
constexpr int kSf2Right = sf2::kSampleRight, kSf2Left = sf2::kSampleLeft;

using namespace sf2;

enum class TableState { kMissing, kShort, kOk };

struct Table {
    TableState state = TableState::kMissing;
    size_t count = 0;
    std::vector<uint8_t> bytes;
    size_t recordSize = 0;
    ByteReader Record(size_t i) const {
        return ByteReader(bytes.data() + i * recordSize, recordSize);
    }
};

// A table of fixed-size records inside "pdta". Its bytes are read only when asked for;
// a chunk that runs past its parent or does not hold whole records is short.
Table ReadTable(const RiffReader& r, const RiffChunk& pdta, uint32_t id, size_t recordSize,
                bool readBytes) {
    Table t;
    t.recordSize = recordSize;
    auto c = r.Find(pdta, id);
    if (!c) return t;
    t.state = TableState::kShort;
    if (c->Truncated() || c->size % recordSize != 0) return t;
    t.count = c->size / recordSize;
    if (readBytes) {
        if (t.count > kMaxRecords) return t;
        t.bytes = r.ReadData(*c);
        if (t.bytes.size() != c->size) return t;
    }
    t.state = TableState::kOk;
    return t;
}

using sf2::SampleRecord;

constexpr int kUnset = INT_MIN;
// A sample no converted instrument plays.
constexpr int kUnplayed = -2;

struct Zone {
    int keyLow = 0, keyHigh = 127;
    int velocityLow = 0, velocityHigh = 127;
    int sample = -1;
    int instrument = -1;       // of a preset zone
    int attenuation = kUnset;  // cB
    bool loops = false;
    int rootKey = -1;
    int coarse = 0;
    int fine = 0;  // 1/128 semitone
};

// Generators [first, last) of the table.
Zone ReadZone(const Table& gens, size_t first, size_t last) {
    Zone z;
    for (size_t g = first; g < last; ++g) {
        ByteReader r = gens.Record(g);
        int op = r.U16();
        uint16_t amount = r.U16();
        int low = amount & 0xFF, high = amount >> 8;
        auto signedAmount = static_cast<int16_t>(amount);
        switch (op) {
            case kKeyRange:
                z.keyLow = low;
                z.keyHigh = high;
                break;
            case kVelRange:
                z.velocityLow = low;
                z.velocityHigh = high;
                break;
            case kCoarseTune:
                z.coarse = signedAmount;
                break;
            case kFineTune:
                z.fine = (signedAmount * 128 + 50) / 100;
                break;
            case kSampleId:
                z.sample = amount;
                break;
            case kInstrument:
                z.instrument = amount;
                break;
            case kInitialAttenuation:
                z.attenuation = signedAmount;
                break;
            case kSampleModes:
                z.loops = (amount & 1) != 0;
                break;
            case kOverridingRootKey:
                // -1 is the standard's "no override".
                if (signedAmount >= 0 && signedAmount <= 127) z.rootKey = signedAmount;
                break;
            default:
                break;
        }
    }
    return z;
}

void ReadLayerGenerators(const Table& gens, size_t first, size_t last, Sf2LayerValues& g) {
    for (size_t i = first; i < last; ++i) {
        ByteReader r = gens.Record(i);
        const int op = r.U16();
        SetSf2LayerValue(g, op, r.S16());
    }
}

// Whether the file's INFO names our own export as the software that wrote it.
bool WrittenByUs(const RiffReader& r, const RiffChunk& sfbk) {
    auto info = r.FindList(sfbk, FourCC("INFO"));
    if (!info) return false;
    auto isft = r.Find(*info, FourCC("ISFT"));
    if (!isft || isft->Truncated()) return false;
    const size_t wanted = std::strlen(kSoftware);
    const std::vector<uint8_t> text = r.ReadData(*isft, wanted + 2);
    // The name, ended by a NUL or by the chunk.
    if (text.size() < wanted || (text.size() > wanted && text[wanted] != 0)) return false;
    return std::memcmp(text.data(), kSoftware, wanted) == 0;
}

// The tracking of the Amp and Filter #1 blocks, as our export writes it into an instrument's
// global zone: modulators from velocity and key.
struct Tracking {
    std::optional<int> ampVelocity, ampKey, filterVelocity, filterKey;
};


std::vector<Sf2Route> ReadMods(const Table& mods, size_t first, size_t last) {
    std::vector<Sf2Route> out;
    for (size_t m = first; m < last && m < mods.count; ++m) {
        const sf2::ModulatorRecord rec = sf2::ReadModulatorRecord(mods.Record(m));
        out.push_back({rec.src, rec.dest, rec.amount, rec.amountSrc});
    }
    return out;
}


Tracking ReadTracking(const std::vector<Sf2Route>& mods) {
    Tracking t;
    for (const Sf2Route& m : mods) {
        if (!IsSf2Tracking(m)) continue;
        const int src = m.src, dest = m.dest, amount = m.amount;
        auto steps = [&](double perStep, int limit) {
            return std::clamp(static_cast<int>(std::lround(amount / perStep)), -limit, limit);
        };
        if (src == kSrcVelocityCurve) t.ampVelocity = steps(kAmpVelocityCbPerStep, 64);
        if (src == kSrcKey && dest == kInitialAttenuation) t.ampKey = steps(kAmpKeyCbPerStep, 48);
        if (src == kSrcVelocityBipolar) t.filterVelocity = steps(kFilterVelocityCentsPerStep, 127);
        if (src == kSrcKey && dest == kInitialFilterFc)
            t.filterKey = steps(kFilterKeyCentsPerStep, 127);
    }
    return t;
}


Sf2Chooser& Chooser() {
    static Sf2Chooser chooser;
    return chooser;
}

// An answer asked for before the import (AskSf2Choice), for that file's import to take.
struct PendingChoice {
    std::string path;
    Sf2Choice choice;
};
std::optional<PendingChoice>& Pending() {
    static std::optional<PendingChoice> pending;
    return pending;
}

// The distinct samples a list of instrument zones plays, and their data in bytes.
void CountSamples(const sf2::Hydra& h, const std::vector<sf2::HydraZone>& zones,
                  std::set<int>& samples) {
    for (const sf2::HydraZone& z : zones)
        if (z.target >= 0 && size_t(z.target) < h.samples.size()) samples.insert(z.target);
}

Sf2CatalogEntry CatalogEntry(const sf2::Hydra& h, const std::string& name, size_t zones,
                             const std::set<int>& samples) {
    Sf2CatalogEntry e;
    e.name = name;
    e.zones = static_cast<int>(zones);
    e.samples = static_cast<int>(samples.size());
    for (int s : samples) {
        const sf2::SampleRecord& r = h.samples[size_t(s)];
        if (r.end > r.start) e.sampleBytes += 2 * int64_t(r.end - r.start);
    }
    return e;
}

Sf2Catalog MakeCatalog(const sf2::Hydra& h) {
    Sf2Catalog c;
    for (const sf2::HydraPreset& p : h.presets) {
        std::set<int> samples;
        for (const sf2::HydraZone& z : p.zones)
            if (z.target >= 0 && size_t(z.target) < h.instruments.size())
                CountSamples(h, h.instruments[size_t(z.target)].zones, samples);
        Sf2CatalogEntry e = CatalogEntry(h, p.name, p.zones.size(), samples);
        e.bank = p.bank;
        e.preset = p.preset;
        c.presets.push_back(e);
    }
    for (const sf2::HydraInstrument& k : h.instruments) {
        std::set<int> samples;
        CountSamples(h, k.zones, samples);
        c.instruments.push_back(CatalogEntry(h, k.name, k.zones.size(), samples));
    }
    return c;
}

// The file's hydra and the frames its sample chunk holds; false (error set) when it cannot be
// read as a SoundFont.
bool ReadSf2File(const std::string& path, sf2::Hydra& hydra, uint32_t& frames,
                 std::string& error) {
    FileSource src(path);
    if (!src.Ok()) {
        error = "it cannot be opened";
        return false;
    }
    RiffReader r(src);
    auto sfbk = r.Riff(0, FourCC("sfbk"));
    auto pdta = sfbk ? FindSf2PresetData(r, *sfbk) : std::nullopt;
    auto smpl = sfbk ? FindSf2SampleChunk(r, *sfbk) : std::nullopt;
    if (!pdta || !smpl) {
        error = "it is not a SoundFont";
        return false;
    }
    frames = static_cast<uint32_t>(Sf2SampleBytes(*smpl) / 2);
    return sf2::ReadHydra(r, *pdta, hydra, error);
}

class Sf2Importer {
  public:
    Sf2Importer(const std::string& path, ZedoDatabase& db, ConversionLog& log)
        : path_(path), db_(db), log_(log) {}
    int Run();

  private:
    void Log(const std::string& line) { log_.Add(line); }
    bool ReadPresets(const RiffReader& r, const RiffChunk& pdta);
    bool ReadInstrumentTables(const RiffReader& r, const RiffChunk& pdta);
    int Convert();
    void CreateSamples(int32_t sampleBytes);
    // A SoundFont 3 file's records point into the decoded samples instead of the chunk: they
    // are rewritten so, and marked when they have no data to play. The decoded frames.
    uint32_t MapDecodedSamples(std::vector<SampleRecord>& records);
    int ConvertByPresets(sf2::Hydra& hydra, int32_t sampleBytes);
    // False when converting has to stop.
    bool ConvertInstrument(size_t k);
    bool ZonesValid(size_t k) const;
    // The index of the keymap entry made.
    size_t PlayZone(const Zone& zone, Keymap& keymap, const std::string& instrument, int z);
    size_t BagOf(size_t k) const;
    size_t GenOf(size_t bag) const;
    size_t ModOf(size_t bag) const;
    void AttachWaveData();
    // Files of our own export only.
    void ConvertPresets();
    void ShareEqualKeymaps();
    void PairStereoHalves();
    std::optional<std::vector<Zone>> PresetZones(size_t p) const;
    void ConvertPreset(size_t p, int number, std::vector<bool>& used);

    const std::string& path_;
    ZedoDatabase& db_;
    ConversionLog& log_;
    // Written by our own export: the presets are the bank's programs, and each instrument's
    // program is held here (by instrument index) until the presets have taken its layer.
    bool ours_ = false;
    bool sf3_ = false;
    Table presets_, presetBags_, presetGens_;
    std::vector<std::unique_ptr<Program>> layerOf_;
    Table insts_, bags_, gens_, samples_;
    Table mods_;  // our own files' instrument modulators
    std::vector<SampleRecord> sampleRecords_;
    uint32_t sampleFrames_ = 0;
    std::vector<bool> created_;
    // The sample header each sample became: its own index, or in a file of more samples than
    // the synthesizer has headers, the order in which converted instruments play them.
    std::vector<int> headerOf_;
    void NumberHeaders(size_t count);
    Sf2Choice choice_;
};

size_t Sf2Importer::BagOf(size_t k) const {
    ByteReader r = insts_.Record(k);
    r.Skip(kNameSize);
    return r.U16();
}

size_t Sf2Importer::GenOf(size_t bag) const {
    return bags_.Record(bag).U16();
}

size_t Sf2Importer::ModOf(size_t bag) const {
    ByteReader r = bags_.Record(bag);
    r.Skip(2);
    return r.U16();
}

bool Sf2Importer::ReadPresets(const RiffReader& r, const RiffChunk& pdta) {
    // Only our own files' presets are converted, so only theirs are read.
    Table presets = ReadTable(r, pdta, FourCC("phdr"), kPhdrSize, ours_);
    if (presets.state == TableState::kMissing) Log("X No phdr chunk\r\n");
    if (presets.state == TableState::kShort) {
        Log("X Error reading phdr chunk\r\n");
        return false;
    }
    Table pbag = ReadTable(r, pdta, FourCC("pbag"), kBagSize, ours_);
    if (pbag.state == TableState::kMissing) Log("X No pbag chunk\r\n");
    if (pbag.state == TableState::kShort) {
        Log("X Error reading pbag chunk\r\n");
        return false;
    }
    Table pgen = ReadTable(r, pdta, FourCC("pgen"), kGenSize, ours_);
    if (pgen.state == TableState::kMissing) Log("X No pgen chunk\r\n");
    if (pgen.state == TableState::kShort) {
        Log("X Error reading pmod chunk\r\n");
        return false;
    }
    // Without all three tables even our own file is read as any other.
    ours_ = ours_ && presets.state == TableState::kOk && pbag.state == TableState::kOk &&
            pgen.state == TableState::kOk && presets.count > 0 && pbag.count > 0;
    if (ours_) {
        presets_ = std::move(presets);
        presetBags_ = std::move(pbag);
        presetGens_ = std::move(pgen);
        return true;
    }
    // The terminal record is no preset.
    const size_t skipped = presets.count > 0 ? presets.count - 1 : 0;
    Log(Fmt("? %d Presets skipped\r\n", static_cast<int>(skipped)));
    return true;
}

bool Sf2Importer::ReadInstrumentTables(const RiffReader& r, const RiffChunk& pdta) {
    struct Wanted {
        Table& table;
        uint32_t id;
        size_t size;
        const char* missing;
        const char* shortRead;
    };
    Wanted wanted[] = {
        {insts_, FourCC("inst"), kInstSize, "No inst chunk\r\n", "Error reading inst chunk\r\n"},
        {bags_, FourCC("ibag"), kBagSize, "Nop ibag chunk\r\n", "Error reading ibag chunk\r\n"},
        {gens_, FourCC("igen"), kGenSize, nullptr, "Error reading igen chunk\r\n"},
        {samples_, FourCC("shdr"), kShdrSize, "No shdr chunk\r\n", "Error reading smpl chunk\r\n"},
    };
    // Our export writes the blocks' tracking as modulators; they are read back from its files.
    if (ours_) mods_ = ReadTable(r, pdta, FourCC("imod"), kModSize, true);
    for (auto& w : wanted) {
        w.table = ReadTable(r, pdta, w.id, w.size, true);
        if (w.table.state == TableState::kShort) {
            Log(w.shortRead);
            return false;
        }
        if (w.table.state == TableState::kMissing) {
            // Without generators every zone is empty; the instruments say what that means.
            if (!w.missing) {
                Log("No igen chunk\r\n");
                continue;
            }
            Log(w.missing);
            return false;
        }
    }
    return true;
}

uint32_t Sf2Importer::MapDecodedSamples(std::vector<SampleRecord>& records) {
    std::vector<Sf2SamplePoints> points;
    points.reserve(records.size());
    for (const SampleRecord& rec : records)
        points.push_back({rec.name, rec.type, rec.start, rec.end, rec.loopStart, rec.loopEnd});
    const uint32_t frames = MapSoundFont3Samples(path_, points, log_);
    for (size_t i = 0; i < points.size(); ++i) {
        SampleRecord& rec = records[i];
        rec.start = points[i].start;
        rec.end = points[i].end;
        rec.loopStart = points[i].loopStart;
        rec.loopEnd = points[i].loopEnd;
        rec.usable = points[i].usable;
    }
    return frames;
}

void Sf2Importer::CreateSamples(int32_t sampleBytes) {
    sampleFrames_ = static_cast<uint32_t>(sampleBytes / 2);
    const size_t count = samples_.count > 0 ? samples_.count - 1 : 0;
    created_.assign(count, false);
    sampleRecords_.reserve(count);
    for (size_t i = 0; i < count; ++i)
        sampleRecords_.push_back(sf2::ReadSampleRecord(samples_.Record(i)));
    std::vector<bool> usable(count, true);
    if (sf3_) {
        sampleFrames_ = MapDecodedSamples(sampleRecords_);
        for (size_t i = 0; i < count; ++i)
            usable[i] = sampleRecords_[i].usable;
    }
    const uint32_t frames = sampleFrames_;
    NumberHeaders(count);
    for (size_t i = 0; i < count; ++i) {
        const SampleRecord& rec = sampleRecords_[i];
        const char* name = rec.name.c_str();
        if (rec.type & kRomSample) {
            Log(Fmt("X Sample %s is ROM based!\r\n", name));
            continue;
        }
        if (!usable[i] || headerOf_[i] == kUnplayed) continue;
        if (headerOf_[i] < 0) {
            Log(Fmt("X Sample %d = %s skipped, no sample number left\r\n", static_cast<int>(i),
                    name));
            continue;
        }
        // The sample plays to the end of its loop; one whose loop does not lie inside it
        // plays to its own end instead.
        uint32_t end = rec.loopEnd, loop = rec.loopStart;
        bool loopUsable =
            rec.start <= rec.loopStart && rec.loopStart <= rec.loopEnd && rec.loopEnd <= frames;
        if (!loopUsable) {
            if (rec.start > rec.end || rec.end > frames) {
                Log(Fmt("X Sample %s lies outside the sample data, skipped\r\n", name));
                continue;
            }
            end = loop = rec.end;
        }
        auto h = std::make_unique<SampleHeader>();
        h->SetNumber(headerOf_[i]);
        h->SetName(ShortenSf2Name(rec.name));
        h->SetDefaults();
        h->start = static_cast<int32_t>(2 * rec.start);
        h->loopStart = static_cast<int32_t>(2 * loop);
        h->end = static_cast<int32_t>(2 * end);
        // The correction is applied on playback: a sample corrected by +c cents sounds c cents
        // above its key, so its root lies that much below.
        SetPitchAtRate(*h, rec.key - rec.correction * 0.01, rec.rate);
        db_.PutSampleHeader(std::move(h));
        created_[i] = true;
        Log(Fmt("+ Sample %d = %s\r\n", headerOf_[i], name));
        if (!loopUsable) Log(Fmt("? Sample %s has no usable loop, it plays to its end\r\n", name));
    }
}

// Up to 512 samples keep their own numbers. Beyond, only samples that the converted
// instruments play take headers, numbered in the order they are first played, so that the
// first 512 the instruments need are kept rather than the first 512 of the file.
void Sf2Importer::NumberHeaders(size_t count) {
    headerOf_.assign(count, -1);
    if (count <= static_cast<size_t>(kSlotCount)) {
        for (size_t i = 0; i < count; ++i)
            headerOf_[i] = static_cast<int>(i);
        return;
    }
    std::fill(headerOf_.begin(), headerOf_.end(), kUnplayed);
    int next = 0;
    for (size_t k = 0; k + 1 < insts_.count; ++k) {
        if (!choice_.Chooses(k) || !ZonesValid(k) || gens_.state != TableState::kOk) continue;
        for (size_t b = BagOf(k); b < BagOf(k + 1); ++b) {
            const int s = ReadZone(gens_, GenOf(b), GenOf(b + 1)).sample;
            if (s < 0 || size_t(s) >= count || headerOf_[size_t(s)] != kUnplayed) continue;
            headerOf_[size_t(s)] = next < kSlotCount ? next++ : -1;
        }
    }
    Log(Fmt("? %d samples: sample headers are numbered in the order the instruments play "
            "them\r\n",
            static_cast<int>(count)));
}

bool Sf2Importer::ZonesValid(size_t k) const {
    size_t first = BagOf(k), last = BagOf(k + 1);
    if (last < first) return false;
    if (last == first) return true;
    // The zone before `last` ends where bag record `last` begins.
    if (last >= bags_.count) return false;
    if (gens_.state != TableState::kOk) return true;
    for (size_t b = first; b < last; ++b) {
        size_t g0 = GenOf(b), g1 = GenOf(b + 1);
        if (g1 < g0 || g1 > gens_.count) return false;
    }
    return true;
}

size_t Sf2Importer::PlayZone(const Zone& zone, Keymap& keymap, const std::string& instrument,
                             int z) {
    int low = std::min(zone.keyLow, 127), high = std::min(zone.keyHigh, 127);
    if (low > high) std::swap(low, high);
    const auto s = static_cast<size_t>(zone.sample);
    const bool made = s < created_.size() && created_[s];
    const int header = made ? headerOf_[s] : kNoSample;
    if (s >= sampleRecords_.size())
        Log(Fmt("X Zone %d of \"%s\" names sample %d, which does not exist\r\n", z,
                instrument.c_str(), zone.sample));
    size_t entry = keymap.MakeRange(low, high);
    keymap.entries[entry].sample = header;
    if (!made) return entry;
    SampleHeader* h = db_.GetSampleHeader(header);
    const SampleRecord& rec = sampleRecords_[s];
    // The zone's own tuning moves the sample's root, so that the key plays the zone's pitch.
    if (zone.rootKey >= 0 || zone.coarse != 0 || zone.fine != 0) {
        const double root = zone.rootKey >= 0 ? zone.rootKey : rec.key - rec.correction * 0.01;
        SetPitchAtRate(*h, root - zone.coarse - zone.fine / 128.0, rec.rate);
    }
    // A zone that does not loop plays its sample to the sample's own end, not the loop's.
    if (!zone.loops) {
        if (rec.start <= rec.end && 2 * uint64_t(rec.end) <= uint64_t(INT32_MAX) &&
            2 * int64_t(rec.end) >= h->start && rec.end <= sampleFrames_)
            h->SetEnd(static_cast<int32_t>(2 * rec.end));
        h->SetLoopStart(h->end);
    }
    return entry;
}

bool Sf2Importer::ConvertInstrument(size_t k) {
    const std::string stored = insts_.Record(k).FixedString(kNameSize);
    if (!ZonesValid(k)) {
        Log(Fmt("X Instrument \"%s\" has a corrupt zone list, skipped\r\n", stored.c_str()));
        return true;
    }
    // In our own file an instrument is a layer, which its presets take.
    Log(Fmt(ours_ ? "+ Instrument \"%s\"\r\n" : "+ Program \"%s\"\r\n", stored.c_str()));
    // Both numbers are checked first, so a stop leaves no program without its keymap. A
    // program held aside is numbered when it is placed.
    int programNumber = ours_ ? 0 : db_.FirstFreeProgram();
    if (programNumber < 0) {
        Log("X Too many programs\r\n");
        return false;
    }
    int keymapNumber = db_.FirstFreeKeymap();
    if (keymapNumber < 0) {
        Log("X Too many keymaps\r\n");
        return false;
    }
    const std::string name = ShortenSf2Name(stored);
    auto newKeymap = std::make_unique<Keymap>();
    newKeymap->SetNumber(keymapNumber);
    newKeymap->SetName(db_.MakeUniqueName(kTypeKeymap, name));
    // Keys that no zone covers play nothing.
    newKeymap->entries = {{127, 0, kNoSample}};
    Keymap* keymap = newKeymap.get();
    db_.PutKeymap(std::move(newKeymap));
    auto newProgram = std::make_unique<Program>();
    newProgram->SetNumber(programNumber);
    newProgram->SetName(name);
    Program* program = newProgram.get();
    if (ours_) {
        layerOf_.resize(std::max(layerOf_.size(), k + 1));
        layerOf_[k] = std::move(newProgram);
    } else {
        db_.PutProgram(std::move(newProgram));
    }
    Layer* layer = program->AddLayer(*keymap, false);
    Sf2LayerModulators mods = AddSf2LayerModulators(*layer);
    Sf2LayerValues generators;
    // Our export gives the layer's gain to the global zone and each range's level to its
    // zone, as the attenuation the range adds to the layer's.
    int layerAttenuation = 0;
    std::vector<Sf2Route> routes;

    const size_t first = BagOf(k), last = BagOf(k + 1);
    bool carryOn = true;
    for (size_t b = first; b < last && carryOn; ++b) {
        const int z = static_cast<int>(b - first);
        size_t g0 = 0, g1 = 0;
        if (gens_.state == TableState::kOk) {
            g0 = GenOf(b);
            g1 = GenOf(b + 1);
        }
        Zone zone = ReadZone(gens_, g0, g1);
        if (ours_ && z == 0 && zone.sample < 0 && mods_.state == TableState::kOk)
            routes = ReadMods(mods_, ModOf(b), ModOf(b + 1));
        if (zone.sample >= 0) {
            const size_t entry = PlayZone(zone, *keymap, stored, z);
            if (ours_ && zone.attenuation != kUnset)
                keymap->entries[entry].amp = static_cast<int>(std::clamp(
                    std::lround(Sf2AttenuationDb(zone.attenuation - layerAttenuation)), -128L,
                    127L));
        } else if (z == 0) {
            if (zone.attenuation != kUnset) layerAttenuation = zone.attenuation;
            // The global zone: what it sets holds for the whole instrument.
            layer->Pitch().SetCoarseTune(zone.coarse);
            layer->Pitch().SetFineTune(zone.fine);
            layer->velocityLow = static_cast<uint8_t>(std::min(zone.velocityLow, 127));
            layer->velocityHigh = static_cast<uint8_t>(std::min(zone.velocityHigh, 127));
        } else {
            Log(Fmt("Corrupt generator list in zone %d\r\n", z));
            carryOn = false;
            break;
        }
        ReadLayerGenerators(gens_, g0, g1, generators);
    }
    const Tracking tracking = ReadTracking(routes);
    if (ours_) {
        // Routes into the Amp block added their full attenuation to the level.
        for (const Sf2Route& m : routes)
            if (!IsSf2Tracking(m) && m.amountSrc == 0 && m.dest == kInitialAttenuation &&
                Ma1SourceOf(m.src))
                generators.attenuation += m.amount;
        // Key tracking moved the export's level and cutoff to what key 0 plays.
        generators.attenuation =
            layerAttenuation - static_cast<int>(std::lround(Sf2AttenuationCb(
                                   -tracking.ampKey.value_or(0) * kAmpKeyOffsetCbPerStep / 10)));
        if (generators.filterFc < 13500)
            generators.filterFc += static_cast<int>(
                std::lround(tracking.filterKey.value_or(0) * -kFilterKeyOffsetCentsPerStep));
    }
    MakeSf2Layer(generators, mods, *layer, !ours_);
    if (ours_) {
        // No modulator: the players' own velocity curve, which is tracking 64.
        layer->Amp().SetVelocityTracking(tracking.ampVelocity.value_or(kPlayersVelocityTracking));
        layer->Amp().SetKeyTracking(tracking.ampKey.value_or(0));
        if (!layer->Filter1().IsNullFilter()) {
            layer->Filter1().SetVelocityTracking(tracking.filterVelocity.value_or(0));
            layer->Filter1().SetKeyTracking(tracking.filterKey.value_or(0));
        }
        AddSf2Routes(routes, mods, *layer);
    }
    keymap->DropPackedCopy();
    program->DropPackedCopy();
    return carryOn;
}

std::optional<std::vector<Zone>> Sf2Importer::PresetZones(size_t p) const {
    auto bagOf = [this](size_t i) {
        ByteReader r = presets_.Record(i);
        r.Skip(kNameSize + 4);  // name, preset, bank
        return size_t{r.U16()};
    };
    const size_t first = bagOf(p), last = bagOf(p + 1);
    if (last < first || (last > first && last >= presetBags_.count)) return std::nullopt;
    std::vector<Zone> zones;
    for (size_t b = first; b < last; ++b) {
        const size_t g0 = presetBags_.Record(b).U16(), g1 = presetBags_.Record(b + 1).U16();
        if (g1 < g0 || g1 > presetGens_.count) return std::nullopt;
        zones.push_back(ReadZone(presetGens_, g0, g1));
    }
    return zones;
}

// Preset p becomes program `number` with a copy of the layer of each instrument its zones
// name, in zone order; a zone's key range is the layer's.
void Sf2Importer::ConvertPreset(size_t p, int number, std::vector<bool>& used) {
    const std::string stored = presets_.Record(p).FixedString(kNameSize);
    const auto zones = PresetZones(p);
    if (!zones) {
        Log(Fmt("X Preset \"%s\" has a corrupt zone list, skipped\r\n", stored.c_str()));
        return;
    }
    auto program = std::make_unique<Program>();
    program->SetNumber(number);
    program->SetName(ShortenSf2Name(stored));
    for (const Zone& zone : *zones) {
        // A zone without an instrument is a global zone, which our export does not write.
        if (zone.instrument < 0) continue;
        const auto k = static_cast<size_t>(zone.instrument);
        const Program* from = k < layerOf_.size() ? layerOf_[k].get() : nullptr;
        if (!from) {
            Log(Fmt("X Preset \"%s\" plays instrument %d, which was not converted\r\n",
                    stored.c_str(), zone.instrument));
            continue;
        }
        const Layer& source = *from->GetLayer(0);
        const Keymap* keymap = db_.GetKeymap(source.keymap);
        Layer* layer = keymap ? program->AddLayer(*keymap, false) : nullptr;
        if (!layer) {
            Log(Fmt("X Preset \"%s\" has more than %d layers\r\n", stored.c_str(), kMaxLayers));
            break;
        }
        layer->CopyFrom(source, false);
        const int low = std::min(zone.keyLow, 127), high = std::min(zone.keyHigh, 127);
        layer->keyLow = static_cast<uint8_t>(std::min(low, high));
        layer->keyHigh = static_cast<uint8_t>(std::max(low, high));
        used[k] = true;
    }
    program->DropPackedCopy();
    Log(Fmt("+ Program %d %s\r\n", number, program->Name().c_str()));
    db_.PutProgram(std::move(program));
}

// The bank as it was exported: each preset is the program of its number (bank x 128 + preset)
// when that number is free; the presets whose number is not come after, at the first free
// ones. Instruments that no preset plays become programs of their own, as in any SoundFont.
void Sf2Importer::ConvertPresets() {
    const size_t count = presets_.count - 1;  // the terminal record is no preset
    std::vector<bool> taken(kSlotCount);
    for (int n = 0; n < kSlotCount; ++n)
        taken[size_t(n)] = db_.GetProgram(n) != nullptr;
    std::vector<int> numbers(count, -1);
    for (size_t p = 0; p < count; ++p) {
        ByteReader r = presets_.Record(p);
        r.Skip(kNameSize);
        const int preset = r.U16(), bank = r.U16();
        const int number = ProgramOf(bank, preset);
        if (preset < 128 && number < kSlotCount && !taken[size_t(number)]) {
            numbers[p] = number;
            taken[size_t(number)] = true;
        }
    }
    std::vector<bool> used(layerOf_.size(), false);
    bool full = false;
    for (size_t p = 0; p < count; ++p) {
        if (numbers[p] < 0) {
            const auto free = std::find(taken.begin(), taken.end(), false);
            if (free == taken.end()) {
                if (!full) Log("X Too many programs\r\n");
                full = true;
                continue;
            }
            numbers[p] = static_cast<int>(free - taken.begin());
            *free = true;
            ByteReader r = presets_.Record(p);
            const std::string name = r.FixedString(kNameSize);
            const int preset = r.U16(), bank = r.U16();
            Log(
                Fmt("? Preset %d:%d \"%s\" has no program number of its own, it becomes "
                    "program %d\r\n",
                    bank, preset, name.c_str(), numbers[p]));
        }
        ConvertPreset(p, numbers[p], used);
    }
    for (size_t k = 0; k < layerOf_.size(); ++k) {
        if (!layerOf_[k] || used[k]) continue;
        const int number = db_.FirstFreeProgram();
        if (number < 0) {
            Log("X Too many programs\r\n");
            break;
        }
        layerOf_[k]->SetNumber(number);
        Log(Fmt("+ Program %d %s\r\n", number, layerOf_[k]->Name().c_str()));
        db_.PutProgram(std::move(layerOf_[k]));
    }
    layerOf_.clear();
    ShareEqualKeymaps();
    PairStereoHalves();
}

// Our export writes a stereo pair as linked left and right samples, and a stereo layer as its
// left half (pan 0) followed by its right one (pan 31), the keys both play sounding the halves
// of pairs: they are paired again, with the keymaps between them.
void Sf2Importer::PairStereoHalves() {
    auto pairIfFree = [](BankObject* left, BankObject* right) {
        if (left && right && left != right && left->stereoRole == kMono &&
            right->stereoRole == kMono)
            PairStereo(*left, *right);
        return left && right && left->chained == right;
    };
    for (size_t i = 0; i < sampleRecords_.size(); ++i) {
        const SampleRecord& left = sampleRecords_[i];
        const auto j = static_cast<size_t>(left.link);
        if (left.type != kSf2Left || j >= sampleRecords_.size() || !created_[i] || !created_[j] ||
            sampleRecords_[j].type != kSf2Right || size_t(sampleRecords_[j].link) != i)
            continue;
        pairIfFree(db_.GetSampleHeader(headerOf_[i]), db_.GetSampleHeader(headerOf_[j]));
    }
    // Two layers are halves when every key both play sounds the two halves of a pair.
    auto halves = [&](const Layer& left, const Layer& right, const Keymap& l, const Keymap& r) {
        const int low = std::max(left.keyLow, right.keyLow);
        const int high = std::min({int(left.keyHigh), int(right.keyHigh), 127});
        bool any = false;
        for (int key = low; key <= high; ++key) {
            const int a = l.SampleForKey(key), b = r.SampleForKey(key);
            const SampleHeader* h = a >= 0 ? db_.GetSampleHeader(a) : nullptr;
            const bool pair = h && h->chained && h->chained == db_.GetSampleHeader(b);
            if (!pair && (a != kNoSample || b != kNoSample)) return false;
            any = any || pair;
        }
        return any;
    };
    for (int n = 0; n < kSlotCount; ++n) {
        Program* p = db_.GetProgram(n);
        for (int i = 0; p && i + 1 < p->LayerCount(); ++i) {
            Layer& left = *p->GetLayer(i);
            Layer& right = *p->GetLayer(i + 1);
            Keymap* l = db_.GetKeymap(left.keymap);
            Keymap* r = db_.GetKeymap(right.keymap);
            if (left.StereoState() != kMono || right.StereoState() != kMono || !l || !r ||
                left.Pan() != 0 || right.Pan() != 31 || !halves(left, right, *l, *r) ||
                !pairIfFree(l, r))
                continue;
            left.PairWith(right);
            p->DropPackedCopy();
            ++i;
        }
    }
}

// The export writes a bank's keymap once for every layer that plays it: layers whose keymaps
// hold the same ranges share the first of them again, and the copies go.
void Sf2Importer::ShareEqualKeymaps() {
    auto same = [](const Keymap& a, const Keymap& b) {
        return std::equal(a.entries.begin(), a.entries.end(), b.entries.begin(), b.entries.end(),
                          [](const KeymapEntry& x, const KeymapEntry& y) {
                              return x.topKey == y.topKey && x.amp == y.amp && x.sample == y.sample;
                          });
    };
    std::vector<int> into(kSlotCount, -1);
    for (int n = 0; n < kSlotCount; ++n)
        if (const Keymap* k = db_.GetKeymap(n))
            for (int m = 0; m < n && into[size_t(n)] < 0; ++m)
                if (into[size_t(m)] < 0 && db_.GetKeymap(m) && same(*db_.GetKeymap(m), *k))
                    into[size_t(n)] = m;
    for (int n = 0; n < kSlotCount; ++n) {
        Program* p = db_.GetProgram(n);
        for (int i = 0; p && i < p->LayerCount(); ++i) {
            Layer* layer = p->GetLayer(i);
            if (layer->keymap < kSlotCount && into[layer->keymap] >= 0) {
                layer->keymap = static_cast<uint16_t>(into[layer->keymap]);
                p->DropPackedCopy();
            }
        }
    }
    // The copies were made by this import and never sent: the synthesizer is not told.
    BankLink* link = db_.Link();
    db_.SetLink(nullptr);
    for (int n = 0; n < kSlotCount; ++n)
        if (into[size_t(n)] >= 0) db_.DeleteObject(db_.GetKeymap(n));
    db_.SetLink(link);
}

void Sf2Importer::AttachWaveData() {
    WaveData* wave = nullptr;
    try {
        SampleHeader* whole = ImportWaveAsSample(db_, path_, -1, kWholeFile, kImportSendLater);
        if (whole) {
            wave = whole->Wave();
        } else {
            // No number is left for a header over the whole chunk; the samples still share
            // one wave data.
            auto w = std::make_unique<Sf2WaveData>(path_, -1, kWholeFile, true);
            if (w->valid && w->FormatTag() != -1) wave = db_.AddWaveData(std::move(w));
        }
    } catch (const ZedoException& e) {
        Log(Fmt("X %s\r\n", e.what()));
        return;
    }
    if (!wave) {
        Log("X Could not load file\r\n");
        return;
    }
    for (size_t i = 0; i < created_.size(); ++i) {
        if (!created_[i]) continue;
        db_.GetSampleHeader(headerOf_[i])->AttachWave(wave, kAttachReference);
        wave->AddLink(headerOf_[i]);
    }
}

int Sf2Importer::Convert() {
    const char* path = path_.c_str();
    FileSource src(path_);
    if (!src.Ok()) {
        Log(Fmt("X Failed to open Sf2 file \"%s\".\n", path));
        return 1;
    }
    RiffReader r(src);
    auto sfbk = r.Riff(0, FourCC("sfbk"));
    if (!sfbk) {
        Log(Fmt("X This is not a SoundFont2 file, \"%s\".\n", path));
        return 1;
    }
    auto pdta = FindSf2PresetData(r, *sfbk);
    if (!pdta) {
        Log(Fmt("X SoundFont2 file \"%s\" has no \"pdta\" chunk.", path));
        return 1;
    }
    ours_ = WrittenByUs(r, *sfbk);
    // Only the chunk's place and size are read here; its data stays in the file.
    auto smpl = FindSf2SampleChunk(r, *sfbk);
    if (!smpl) {
        Log(Fmt("X SoundFont2 file \"%s\" has no \"smpl\" chunk.\r\n", path));
        return 1;
    }
    sf3_ = IsSoundFont3(r, *sfbk);
    // A file of our own export is the bank it was; others convert as the user chooses.
    if (!ours_ && Chooser()) {
        sf2::Hydra hydra;
        std::string error;
        std::optional<Sf2Choice> choice = Sf2Choice{};
        const bool readable = sf2::ReadHydra(r, *pdta, hydra, error);
        if (Pending() && Pending()->path == path_) {
            choice = Pending()->choice;
        } else if (readable) {
            choice = Chooser()(path_, MakeCatalog(hydra));
        }
        Pending().reset();
        if (!choice) {
            Log("X The import was cancelled\r\n");
            return 1;
        }
        choice_ = *choice;
        if (choice_.mode == Sf2Programs::kPresets)
            return ConvertByPresets(hydra, Sf2SampleBytes(*smpl));
    }
    if (!ReadPresets(r, *pdta) || !ReadInstrumentTables(r, *pdta)) return 1;
    CreateSamples(Sf2SampleBytes(*smpl));
    for (size_t k = 0; k + 1 < insts_.count; ++k)
        if (choice_.Chooses(k) && !ConvertInstrument(k)) break;
    if (ours_) ConvertPresets();
    AttachWaveData();
    return 0;
}

// A synthesizer that cannot hold the whole sample chunk gets only the samples the programs
// play, since an upload sends a wave data whole: each sample that a header plays (with the
// zero points the standard puts after a sample's end; a SoundFont 3 stream as it is) is kept,
// laid end to end, and the headers follow. False when nothing could be kept as asked.
bool KeepPlayedSamples(ZedoDatabase& db, Sf2WaveData& wave, const sf2::Hydra& hydra,
                       uint32_t frames, uint32_t guard) {
    std::vector<SampleHeader*> users;
    auto use = [&](int n) {
        if (SampleHeader* h = db.GetSampleHeader(n); h && h->Wave() == &wave) users.push_back(h);
    };
    use(wave.base);
    for (const WaveLink& l : wave.links)
        use(l.number);
    std::vector<std::pair<uint32_t, uint32_t>> records;
    for (const sf2::SampleRecord& r : hydra.samples)
        if (r.usable && r.start < r.end && r.end <= frames) records.push_back({r.start, r.end});
    std::sort(records.begin(), records.end());
    std::vector<std::pair<uint32_t, uint32_t>> spans;
    for (const SampleHeader* h : users) {
        const auto first = static_cast<uint32_t>(std::max(h->start, 0) / 2);
        // Where the header's playing ends (its loop's end, or the sample's).
        const auto until = std::max(
            first + 1, static_cast<uint32_t>(std::max({h->start, h->end, h->loopStart}) / 2));
        auto after = std::upper_bound(records.begin(), records.end(), std::pair{first, UINT32_MAX});
        std::pair<uint32_t, uint32_t> span{first, until};
        if (after != records.begin() && std::prev(after)->second > first)
            span = {std::prev(after)->first, std::max(std::prev(after)->second, until)};
        span.second = std::min(frames, span.second + guard);
        spans.push_back(span);
    }
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<uint32_t, uint32_t>> merged;
    for (const auto& span : spans)
        if (!merged.empty() && span.first < merged.back().second)
            merged.back().second = std::max(merged.back().second, span.second);
        else
            merged.push_back(span);
    const std::vector<uint32_t> at = wave.Keep(merged);
    if (at.size() != merged.size()) return false;
    for (SampleHeader* h : users) {
        const auto first = static_cast<uint32_t>(std::max(h->start, 0) / 2);
        auto in = std::upper_bound(merged.begin(), merged.end(), std::pair{first, UINT32_MAX});
        const size_t i = size_t(std::prev(in) - merged.begin());
        const int32_t by =
            2 * (static_cast<int32_t>(at[i]) - static_cast<int32_t>(merged[i].first));
        h->SetStart(h->start + by);
        if (h->loopStart >= 0) h->SetLoopStart(h->loopStart + by);
        h->SetEnd(h->end + by);
    }
    return true;
}

int Sf2Importer::ConvertByPresets(sf2::Hydra& hydra, int32_t sampleBytes) {
    Log(Fmt("? %d presets, %d instruments, %d samples: converted by presets\r\n",
            int(hydra.presets.size()), int(hydra.instruments.size()), int(hydra.samples.size())));
    uint32_t frames = static_cast<uint32_t>(sampleBytes / 2);
    if (sf3_) frames = MapDecodedSamples(hydra.samples);
    auto w = std::make_unique<Sf2WaveData>(path_, -1, kWholeFile, true);
    Sf2WaveData* data = w.get();
    WaveData* wave = w->valid && w->FormatTag() != -1 ? db_.AddWaveData(std::move(w)) : nullptr;
    Sf2Samples samples{&hydra, frames};
    if (wave)
        samples.level = [data](uint32_t frame, uint32_t n) { return data->Level(frame, n); };
    else
        Log("X Could not load file\r\n");
    ConvertSf2Presets(samples, choice_, db_, wave, log_);
    const int64_t room = choice_.budget.sampleBytes;
    if (wave && room > 0 && wave->Length() > room) {
        const int32_t whole = wave->Length();
        constexpr uint32_t kZeroPoints = 46;
        if (KeepPlayedSamples(db_, *data, hydra, frames, sf3_ ? 0 : kZeroPoints))
            Log(Fmt(
                "? The synthesizer holds %.1f MB of samples: of the SoundFont's %.1f MB, "
                "the %.1f MB its programs play are kept\r\n",
                double(room) / 1048576, double(whole) / 1048576, double(wave->Length()) / 1048576));
    }
    return 0;
}

int Sf2Importer::Run() {
    log_.Clear();
    int result = Convert();
    Log("*** Done ***\r\n");
    return result;
}

}  // namespace

void SetSf2Chooser(Sf2Chooser chooser) {
    Chooser() = std::move(chooser);
}

bool AskSf2Choice(const std::string& path) {
    Pending().reset();
    if (!Chooser()) return true;
    std::optional<Sf2Catalog> catalog = ReadSf2Catalog(path);
    if (!catalog) return true;  // the import says what is wrong with the file
    std::optional<Sf2Choice> choice = Chooser()(path, *catalog);
    if (!choice) return false;
    Pending() = PendingChoice{path, std::move(*choice)};
    return true;
}

std::optional<Sf2Catalog> ReadSf2Catalog(const std::string& path) {
    sf2::Hydra hydra;
    uint32_t frames = 0;
    std::string error;
    if (!ReadSf2File(path, hydra, frames, error)) return std::nullopt;
    return MakeCatalog(hydra);
}

Sf2Needs EstimateSf2Needs(const std::string& path, const Sf2Choice& choice) {
    sf2::Hydra hydra;
    uint32_t frames = 0;
    std::string error;
    if (!ReadSf2File(path, hydra, frames, error)) return {};
    if (choice.mode == Sf2Programs::kPresets) return PresetNeeds({&hydra, frames}, choice);
    // By instruments: a program, a keymap and the samples each chosen instrument plays.
    Sf2Needs n;
    std::set<int> samples;
    for (size_t k = 0; k < hydra.instruments.size(); ++k) {
        if (!choice.Chooses(k)) continue;
        ++n.programs;
        ++n.keymaps;
        CountSamples(hydra, hydra.instruments[k].zones, samples);
    }
    const Sf2CatalogEntry all = CatalogEntry(hydra, "", 0, samples);
    n.sampleHeaders = all.samples;
    n.sampleBytes = all.sampleBytes;
    return n;
}

int ImportSf2(const std::string& path, ZedoDatabase& db, ConversionLog& log) {
    return Sf2Importer(path, db, log).Run();
}

std::string ShortenSf2Name(std::string_view name) {
    std::string s(name.substr(0, kNameSize));
    if (auto nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    for (size_t at; s.size() > kNameLength && (at = s.find(' ')) != std::string::npos;)
        s.erase(at, 1);
    for (size_t at;
         s.size() > kNameLength && (at = s.find_first_of("aeiouAEIOU")) != std::string::npos;)
        s.erase(at, 1);
    if (s.size() > kNameLength) s.resize(kNameLength);
    return s;
}

}  // namespace talmeru
