#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <tuple>

#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/Sf2Export.h"
#include "files/Sf2Import.h"
#include "files/Sf2Numbers.h"
#include "files/WaveImport.h"
#include "model/Ma1Units.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "support/FileSizeLimit.h"
#include "support/ImportFuzz.h"
#include "support/Portability.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"
#include "support/WavBuilder.h"

namespace talmeru {
namespace {

using test::Gen;
using test::RangeGen;
using Bytes = std::vector<uint8_t>;

using namespace test::sf2gen;

// A reader of SoundFont 2.01 files of its own, which also lists every rule of the standard the
// file breaks.
struct Sf2File {
    struct Mod {
        int src, dest, amount, amountSrc, transform;
        bool operator==(const Mod&) const = default;
    };
    struct Zone {
        std::vector<std::pair<int, uint16_t>> gens;
        std::vector<Mod> mods;
        bool Has(int op) const {
            return std::any_of(gens.begin(), gens.end(), [op](auto& g) { return g.first == op; });
        }
        int Get(int op, int otherwise) const {
            for (auto [o, amount] : gens)
                if (o == op) return static_cast<int16_t>(amount);
            return otherwise;
        }
        std::pair<int, int> Range(int op) const {
            for (auto [o, amount] : gens)
                if (o == op) return {amount & 0xFF, amount >> 8};
            return {0, 127};
        }
    };
    struct Named {
        std::string name;
        int preset = 0, bank = 0;
        std::vector<Zone> zones;
    };
    struct Sample {
        std::string name;
        uint32_t start, end, loopStart, loopEnd, rate;
        int key, correction, link, type;
    };
    std::map<std::string, Bytes> info;
    Bytes smpl;
    std::vector<Named> presets, instruments;
    std::vector<Sample> samples;
    std::vector<std::string> problems;

    int16_t Point(uint32_t i) const {
        return static_cast<int16_t>(smpl[2 * i] | (smpl[2 * i + 1] << 8));
    }
    std::vector<int16_t> Points(uint32_t from, uint32_t to) const {
        std::vector<int16_t> out;
        for (uint32_t i = from; i < to; ++i)
            out.push_back(Point(i));
        return out;
    }
};

uint32_t U32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t U16(const Bytes& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}
std::string Id(const Bytes& b, size_t at) {
    return std::string(b.begin() + long(at), b.begin() + long(at) + 4);
}

// The chunks of a list's body [from, to), in order.
std::vector<std::pair<std::string, Bytes>> Children(const Bytes& b, size_t from, size_t to,
                                                    std::vector<std::string>& problems) {
    std::vector<std::pair<std::string, Bytes>> out;
    for (size_t at = from; at + 8 <= to;) {
        const uint32_t size = U32(b, at + 4);
        if (at + 8 + size > to) {
            problems.push_back("chunk " + Id(b, at) + " runs past its list");
            break;
        }
        out.push_back(
            {Id(b, at), Bytes(b.begin() + long(at) + 8, b.begin() + long(at + 8 + size))});
        at += 8 + size + (size & 1);
    }
    return out;
}

Sf2File ReadSf2(const Bytes& b) {
    Sf2File f;
    auto& problems = f.problems;
    if (b.size() < 12 || Id(b, 0) != "RIFF" || Id(b, 8) != "sfbk") {
        problems.push_back("not a RIFF sfbk file");
        return f;
    }
    if (U32(b, 4) != b.size() - 8) problems.push_back("RIFF size is not the file's");
    std::map<std::string, std::vector<std::pair<std::string, Bytes>>> lists;
    std::vector<std::string> listOrder;
    for (auto& [id, body] : Children(b, 12, b.size(), problems)) {
        if (id != "LIST" || body.size() < 4) {
            problems.push_back("top-level chunk " + id + " is no list");
            continue;
        }
        const std::string type = Id(body, 0);
        listOrder.push_back(type);
        lists[type] = Children(body, 4, body.size(), problems);
    }
    if (listOrder != std::vector<std::string>{"INFO", "sdta", "pdta"})
        problems.push_back("lists are not INFO, sdta, pdta");
    for (auto& [id, body] : lists["INFO"]) {
        if (id != "ifil" && (body.empty() || body.back() != 0 || body.size() % 2))
            problems.push_back("INFO " + id + " is not an even, NUL-terminated string");
        f.info[id] = body;
    }
    if (f.info["ifil"] != Bytes{2, 0, 1, 0}) problems.push_back("ifil is not 2.01");
    for (const char* required : {"isng", "INAM"})
        if (!f.info.count(required)) problems.push_back(std::string("no ") + required);
    if (lists["sdta"].size() != 1 || lists["sdta"][0].first != "smpl") {
        problems.push_back("sdta holds no single smpl chunk");
    } else {
        f.smpl = lists["sdta"][0].second;
    }
    // The nine tables, in order, each of whole records.
    const std::vector<std::pair<std::string, size_t>> tables = {
        {"phdr", 38}, {"pbag", 4},  {"pmod", 10}, {"pgen", 4}, {"inst", 22},
        {"ibag", 4},  {"imod", 10}, {"igen", 4},  {"shdr", 46}};
    auto& pdta = lists["pdta"];
    if (pdta.size() != tables.size()) {
        problems.push_back("pdta does not hold nine chunks");
        return f;
    }
    std::map<std::string, Bytes> t;
    for (size_t i = 0; i < tables.size(); ++i) {
        if (pdta[i].first != tables[i].first) problems.push_back(pdta[i].first + " out of order");
        if (pdta[i].second.size() % tables[i].second || pdta[i].second.empty()) {
            problems.push_back(pdta[i].first + " holds no whole records");
            return f;
        }
        t[tables[i].first] = pdta[i].second;
    }
    auto name = [&](const Bytes& table, size_t at, const std::string& what) {
        const char* p = reinterpret_cast<const char*>(table.data() + at);
        if (std::memchr(p, 0, 20) == nullptr) problems.push_back(what + " name not NUL-terminated");
        return std::string(p, strnlen(p, 20));
    };
    // Headers, bags and generators of one level; `last` is the generator that ends a zone.
    auto level = [&](const std::string& hdr, size_t size, size_t bagAt, const std::string& bagId,
                     const std::string& modId, const std::string& genId, const char* terminal,
                     int last, std::vector<Sf2File::Named>& out) {
        const Bytes& h = t[hdr];
        const Bytes& bags = t[bagId];
        const Bytes& mods = t[modId];
        const Bytes& gens = t[genId];
        const size_t modCount = mods.size() / 10;
        if (std::any_of(mods.end() - 10, mods.end(), [](uint8_t byte) { return byte != 0; }))
            problems.push_back(modId + " terminal not zero");
        if (U16(bags, bags.size() - 2) != modCount - 1)
            problems.push_back(bagId + " terminal does not end the modulators");
        const size_t count = h.size() / size, bagCount = bags.size() / 4,
                     genCount = gens.size() / 4;
        if (name(h, (count - 1) * size, hdr) != terminal) problems.push_back(hdr + " no terminal");
        if (U32(gens, gens.size() - 4) != 0) problems.push_back(genId + " terminal not zero");
        if (U16(bags, bags.size() - 4) != genCount - 1)
            problems.push_back(bagId + " terminal does not end the generators");
        for (size_t i = 0; i + 1 < count; ++i) {
            Sf2File::Named n;
            n.name = name(h, i * size, hdr);
            if (hdr == "phdr") {
                n.preset = U16(h, i * size + 20);
                n.bank = U16(h, i * size + 22);
            }
            const size_t b0 = U16(h, i * size + bagAt), b1 = U16(h, (i + 1) * size + bagAt);
            if (b1 < b0 || b1 >= bagCount) {
                problems.push_back(hdr + " bag indexes not monotone");
                return;
            }
            for (size_t z = b0; z < b1; ++z) {
                const size_t g0 = U16(bags, 4 * z), g1 = U16(bags, 4 * z + 4);
                if (g1 < g0 || g1 >= genCount) {
                    problems.push_back(bagId + " generator indexes not monotone");
                    return;
                }
                Sf2File::Zone zone;
                const size_t m0 = U16(bags, 4 * z + 2), m1 = U16(bags, 4 * z + 6);
                if (m1 < m0 || m1 >= modCount) {
                    problems.push_back(bagId + " modulator indexes not monotone");
                    return;
                }
                for (size_t m = m0; m < m1; ++m)
                    zone.mods.push_back({U16(mods, 10 * m), U16(mods, 10 * m + 2),
                                         static_cast<int16_t>(U16(mods, 10 * m + 4)),
                                         U16(mods, 10 * m + 6), U16(mods, 10 * m + 8)});
                for (size_t g = g0; g < g1; ++g)
                    zone.gens.push_back({U16(gens, 4 * g), U16(gens, 4 * g + 2)});
                for (size_t g = 0; g < zone.gens.size(); ++g) {
                    const int op = zone.gens[g].first;
                    if (op == kKeyRange && g != 0) problems.push_back("keyRange not first");
                    if (op == kVelRange && g > (zone.Has(kKeyRange) ? 1u : 0u))
                        problems.push_back("velRange not after keyRange");
                    if (op == last && g + 1 != zone.gens.size())
                        problems.push_back(genId + " zone does not end with its target");
                }
                if (!zone.Has(last) && z != b0) problems.push_back("global zone not first");
                n.zones.push_back(std::move(zone));
            }
            out.push_back(std::move(n));
        }
    };
    level("phdr", 38, 24, "pbag", "pmod", "pgen", "EOP", kInstrumentGen, f.presets);
    level("inst", 22, 20, "ibag", "imod", "igen", "EOI", kSampleId, f.instruments);
    const Bytes& s = t["shdr"];
    const size_t samples = s.size() / 46;
    if (name(s, (samples - 1) * 46, "shdr") != "EOS") problems.push_back("shdr no terminal");
    const uint32_t points = uint32_t(f.smpl.size() / 2);
    for (size_t i = 0; i + 1 < samples; ++i) {
        const size_t at = i * 46;
        Sf2File::Sample x{
            name(s, at, "shdr"), U32(s, at + 20), U32(s, at + 24), U32(s, at + 28),
            U32(s, at + 32),     U32(s, at + 36), s[at + 40],      static_cast<int8_t>(s[at + 41]),
            U16(s, at + 42),     U16(s, at + 44)};
        if (x.start >= x.end || x.end + 46 > points) {
            problems.push_back(x.name + " lies outside the sample data");
            continue;
        }
        for (uint32_t p = x.end; p < x.end + 46; ++p)
            if (f.Point(p) != 0) {
                problems.push_back(x.name + " is not followed by 46 zero points");
                break;
            }
        f.samples.push_back(x);
    }
    // Loops of the samples that zones loop, and stereo links both ways.
    for (const auto& inst : f.instruments)
        for (const auto& z : inst.zones) {
            const int id = z.Get(kSampleId, -1);
            if (id < 0 || size_t(id) >= f.samples.size()) continue;
            const auto& x = f.samples[size_t(id)];
            if ((z.Get(kSampleModes, 0) & 1) &&
                !(x.start < x.loopStart && x.loopStart < x.loopEnd && x.loopEnd <= x.end &&
                  x.loopEnd - x.loopStart >= 32))
                problems.push_back(x.name + " has an invalid loop");
        }
    for (size_t i = 0; i < f.samples.size(); ++i) {
        const auto& x = f.samples[i];
        if (x.type == 4 || x.type == 2) {
            const bool ok = size_t(x.link) < f.samples.size() &&
                            f.samples[size_t(x.link)].type == (x.type == 4 ? 2 : 4) &&
                            size_t(f.samples[size_t(x.link)].link) == i;
            if (!ok) problems.push_back(x.name + " stereo link not mutual");
        } else if (x.type != 1) {
            problems.push_back(x.name + " has sample type " + std::to_string(x.type));
        }
    }
    return f;
}

double Seconds(int timecents) {
    return std::exp2(timecents / 1200.0);
}

// Distinct points, so that a shifted or swapped sample shows.
std::vector<int16_t> Noise(int frames, uint32_t seed) {
    std::vector<int16_t> out;
    for (int i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out.push_back(static_cast<int16_t>(seed >> 16));
    }
    return out;
}

class Sf2ExportTest : public test::TempDirTest {
  protected:
    void TearDown() override {
        SetRomSampleSource(nullptr);
        TempDirTest::TearDown();
    }
    // The bank written as a SoundFont, read back by the test's reader.
    Sf2File Export(ZedoDatabase& db) {
        BankWrite write;
        EXPECT_EQ(PrepareSf2(db, Path("out.sf2"), log_, write), 0);
        Bytes image;
        EXPECT_EQ(WriteBankImage(write, image), 0);
        image_ = image;
        return ReadSf2(image);
    }
    // A bank of programs built from WAV files.
    Program* FromWav(ZedoDatabase& db, const std::string& name, const test::WavPlan& plan) {
        return BuildProgramFromWave(db, Put(name, test::MakeWav(plan)), false, nullptr);
    }
    // A bank of one short tone exported before and after `change` to its layer: the "X" lines
    // of the first export, and the file of the second (its lines in the log).
    std::pair<std::vector<std::string>, Sf2File> ExportChanged(
        const std::function<void(Layer&)>& change) {
        ZedoDatabase db;
        test::WavPlan mono;
        mono.data = test::Pcm16({Noise(500, 9)});
        Program* p = FromWav(db, "tone.wav", mono);
        EXPECT_NE(p, nullptr);
        if (!p) return {};
        log_.Clear();
        Export(db);
        auto before = Lines('X');
        change(*p->GetLayer(0));
        p->DropPackedCopy();
        log_.Clear();
        return {std::move(before), Export(db)};
    }
    std::vector<std::string> Lines(char mark) const {
        std::vector<std::string> out;
        for (const auto& l : log_.Lines())
            if (!l.empty() && l[0] == mark) out.push_back(l);
        return out;
    }

    ScriptedPrompter prompter_;
    ScopedPrompter scope_{prompter_};
    RecordingConversionLog log_;
    Bytes image_;
};

// The sample plan of the SoundFont round trip: loops of at least 32 points with 8 points
// after them that repeat the loop's start, as the export writes them.
test::Sf2Plan RoundTripPlan() {
    test::Sf2Plan plan;
    std::vector<int16_t> all;
    auto add = [&](const std::string& name, int frames, int loopStart, int loopEnd, int key,
                   int correction) {
        const auto at = uint32_t(all.size());
        std::vector<int16_t> points = Noise(frames, uint32_t(all.size() + 7));
        if (loopEnd > 0)
            for (int k = 0; k < 8; ++k)
                points[size_t(loopEnd + k)] = points[size_t(loopStart + k)];
        all.insert(all.end(), points.begin(), points.end());
        all.insert(all.end(), 46, 0);
        const uint32_t end = at + uint32_t(frames);
        plan.samples.push_back({name, at, end, loopEnd > 0 ? at + uint32_t(loopStart) : at,
                                loopEnd > 0 ? at + uint32_t(loopEnd) : end, 44100, key,
                                correction});
    };
    add("Piano C4", 600, 100, 592, 60, 0);
    add("Piano C5", 500, 0, 0, 72, -20);
    add("Bass E1", 900, 300, 892, 28, 12);
    plan.sampleData = test::Pcm16({all});
    test::Sf2Zone global{{RangeGen(kVelRange, 10, 100), Gen(kCoarse, 2), Gen(kFine, 50),
                          Gen(kVolEnvAttack, -1200), Gen(kVolEnvHold, -2400),
                          Gen(kVolEnvDecay, 1200), Gen(kVolEnvSustain, 480), Gen(kVolEnvRelease, 0),
                          Gen(kAttenuation, 100)}};
    test::Sf2Zone low{{RangeGen(kKeyRange, 0, 63), Gen(kSampleModes, 1), Gen(kSampleId, 0)}};
    test::Sf2Zone high{{RangeGen(kKeyRange, 64, 127), Gen(kRootKey, 70), Gen(kSampleId, 1)}};
    test::Sf2Zone bass{{RangeGen(kKeyRange, 20, 50), Gen(kSampleModes, 1), Gen(kSampleId, 2)}};
    plan.instruments = {{"Grand Piano", {global, low, high}},
                        {"Bass", {{{Gen(kVolEnvRelease, -1200)}}, bass}}};
    return plan;
}

// The pitch a zone plays its sample at, in semitones at key 60.
double ZonePitch(const Sf2File& f, const Sf2File::Zone& global, const Sf2File::Zone& z) {
    const auto& s = f.samples[size_t(z.Get(kSampleId, -1))];
    const int root = z.Get(kRootKey, global.Get(kRootKey, -1));
    return (root >= 0 ? root : s.key - s.correction / 100.0) -
           z.Get(kCoarse, global.Get(kCoarse, 0)) - z.Get(kFine, global.Get(kFine, 0)) / 100.0;
}

TEST_F(Sf2ExportTest, FileFollowsTheStandardAndItsReaderCatchesBreaches) {
    ZedoDatabase db;
    test::WavPlan mono;
    mono.data = test::Pcm16({Noise(3000, 1)});
    mono.loops = {{0, 1000, 2999, 0}};
    ASSERT_NE(FromWav(db, "a rather long sample name.wav", mono), nullptr);
    test::WavPlan stereo;
    stereo.channels = 2;
    stereo.data = test::Pcm16({Noise(2000, 2), Noise(2000, 3)});
    ASSERT_NE(FromWav(db, "pad.wav", stereo), nullptr);
    const Sf2File f = Export(db);
    EXPECT_EQ(f.problems, std::vector<std::string>{});
    EXPECT_EQ(f.info.at("isng"), (Bytes{'E', 'M', 'U', '8', '0', '0', '0', 0}));
    ASSERT_EQ(f.presets.size(), 2u);
    EXPECT_EQ(f.presets[0].name, "a rather long sa");
    ASSERT_EQ(f.instruments.size(), 3u);  // the stereo program's two layers
    ASSERT_EQ(f.samples.size(), 3u);
    EXPECT_EQ(f.samples[1].type, 4);
    EXPECT_EQ(f.samples[2].type, 2);

    // Each breach of a rule, made in the written image, is seen by the reader.
    auto at = [&](const char* id) { return test::ChunkDataAt(image_, id); };
    struct Breach {
        const char* what;
        std::function<void(Bytes&)> make;
        const char* seen;
    };
    const std::vector<Breach> breaches = {
        {"ifil 2.00", [&](Bytes& b) { b[at("ifil") + 2] = 0; }, "ifil is not 2.01"},
        {"no EOI", [&](Bytes& b) { b[at("inst") + 22 * 3] = 'X'; }, "inst no terminal"},
        {"no EOS", [&](Bytes& b) { b[at("shdr") + 46 * 3] = 'X'; }, "shdr no terminal"},
        {"name of 20 characters", [&](Bytes& b) { std::memset(&b[at("phdr")], 'A', 20); },
         "phdr name not NUL-terminated"},
        {"a point after a sample", [&](Bytes& b) { b[at("smpl") + 2 * 3010] = 1; },
         "a rather long sa is not followed by 46 zero points"},
        {"sample ID first",
         [&](Bytes& b) {
             // The first keyRange changes places with the generator after it.
             size_t g = at("igen");
             while (U16(b, g) != kKeyRange)
                 g += 4;
             Bytes zone(b.begin() + long(g), b.begin() + long(g) + 4);
             std::copy(b.begin() + long(g) + 4, b.begin() + long(g) + 8, b.begin() + long(g));
             std::copy(zone.begin(), zone.end(), b.begin() + long(g) + 4);
         },
         "keyRange not first"},
        {"one-sided stereo link", [&](Bytes& b) { b[at("shdr") + 46 * 2 + 42] = 2; },
         "padR stereo link not mutual"},
    };
    for (const Breach& breach : breaches) {
        Bytes broken = image_;
        breach.make(broken);
        const auto problems = ReadSf2(broken).problems;
        EXPECT_NE(std::find(problems.begin(), problems.end(), breach.seen), problems.end())
            << breach.what;
    }
}

TEST_F(Sf2ExportTest, SoundFontImportedAndExportedKeepsZonesDataLoopsPitchAndEnvelopes) {
    const test::Sf2Plan plan = RoundTripPlan();
    const Bytes original = plan.Build();
    const Sf2File in = ReadSf2(original);
    ZedoDatabase db;
    ASSERT_EQ(ImportSf2(Put("in.sf2", original), db, log_), 0);
    const Sf2File out = Export(db);
    ASSERT_EQ(out.problems, std::vector<std::string>{});
    ASSERT_EQ(out.instruments.size(), in.instruments.size());
    for (size_t i = 0; i < in.instruments.size(); ++i) {
        SCOPED_TRACE(in.instruments[i].name);
        const auto& a = in.instruments[i];
        const auto& b = out.instruments[i];
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(out.presets[i].name, a.name);
        // Both have a global zone first.
        ASSERT_EQ(b.zones.size(), a.zones.size());
        const auto& ga = a.zones[0];
        const auto& gb = b.zones[0];
        for (int op : {kVolEnvAttack, kVolEnvHold, kVolEnvDecay, kVolEnvRelease}) {
            // Within the 0.02 s of an ENV step, scaled as the decay and release are.
            const double want = Seconds(ga.Get(op, -12000)), got = Seconds(gb.Get(op, -12000));
            EXPECT_NEAR(got, want, 0.011 / 0.45 + 0.02 * want) << op;
        }
        EXPECT_NEAR(gb.Get(kVolEnvSustain, 0), ga.Get(kVolEnvSustain, 0), 8);
        EXPECT_EQ(gb.Get(kAttenuation, 0), ga.Get(kAttenuation, 0));
        EXPECT_EQ(gb.Range(kVelRange), ga.Range(kVelRange));
        for (size_t z = 1; z < a.zones.size(); ++z) {
            SCOPED_TRACE(z);
            const auto& za = a.zones[z];
            const auto& zb = b.zones[z];
            EXPECT_EQ(zb.Range(kKeyRange), za.Range(kKeyRange));
            EXPECT_EQ(zb.Get(kSampleModes, 0), za.Get(kSampleModes, 0));
            EXPECT_NEAR(ZonePitch(out, gb, zb), ZonePitch(in, ga, za), 0.006);
            const auto& sa = in.samples[size_t(za.Get(kSampleId, -1))];
            const auto& sb = out.samples[size_t(zb.Get(kSampleId, -1))];
            EXPECT_EQ(sb.name, sa.name);
            EXPECT_EQ(sb.rate, sa.rate);
            EXPECT_EQ(out.Points(sb.start, sb.end), in.Points(sa.start, sa.end));
            if (za.Get(kSampleModes, 0)) {
                EXPECT_EQ(sb.loopStart - sb.start, sa.loopStart - sa.start);
                EXPECT_EQ(sb.loopEnd - sb.start, sa.loopEnd - sa.start);
            }
        }
    }
    // Without a root override, key and correction come back as they were.
    EXPECT_EQ(out.samples[2].key, 28);
    EXPECT_EQ(out.samples[2].correction, 12);
}

// What a layer plays key by key over its key range: the sample and the range's amplitude.
std::vector<std::pair<int, int>> Plays(const ZedoDatabase& db, const Layer& layer) {
    std::vector<std::pair<int, int>> out;
    const Keymap* k = db.GetKeymap(layer.keymap);
    for (int key = layer.keyLow; k && key <= layer.keyHigh; ++key)
        for (const KeymapEntry& e : k->entries)
            if (key <= e.topKey) {
                out.push_back({e.sample, e.amp});
                break;
            }
    return out;
}

// Samples of other rates than 44.1 kHz keep their rate, and with it their key and correction,
// through an import and an export.
TEST_F(Sf2ExportTest, SamplesKeepTheirOwnRates) {
    struct Case {
        uint32_t rate;
        int key, correction;
    };
    const std::vector<Case> cases = {
        {32000, 60, 0}, {22050, 67, -30}, {48000, 55, 12}, {44100, 72, 0}};
    test::Sf2Plan plan;
    std::vector<int16_t> all;
    test::Sf2Instrument inst{"Rates", {}};
    for (const Case& c : cases) {
        const auto at = uint32_t(all.size());
        const std::vector<int16_t> points = Noise(700, at + 1);
        all.insert(all.end(), points.begin(), points.end());
        all.insert(all.end(), 46, 0);
        const int n = int(plan.samples.size());
        plan.samples.push_back(
            {Fmt("r%u", c.rate), at, at + 700, at, at + 700, c.rate, c.key, c.correction});
        inst.zones.push_back({{RangeGen(kKeyRange, 20 * n, 20 * n + 19), Gen(kSampleId, n)}});
    }
    plan.sampleData = test::Pcm16({all});
    plan.instruments = {inst};
    ZedoDatabase db;
    ASSERT_EQ(ImportSf2(Put("rates.sf2", plan.Build()), db, log_), 0);
    const Sf2File out = Export(db);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        auto s = std::find_if(out.samples.begin(), out.samples.end(),
                              [&](const auto& x) { return x.name == Fmt("r%u", c.rate); });
        ASSERT_NE(s, out.samples.end());
        EXPECT_EQ(s->rate, c.rate);
        EXPECT_EQ(s->key, c.key);
        EXPECT_NEAR(s->correction, c.correction, 1);
    }
}

// Our own file comes back as the bank: each preset the program of its number, with its
// layers, their key and velocity ranges, gains and keymaps' ranges and levels. A file that
// another program wrote is read as any SoundFont, one program per instrument.
TEST_F(Sf2ExportTest, BankExportedAndImportedGivesBackProgramsKeymapsAndSamples) {
    ZedoDatabase db;
    test::WavPlan mono;
    mono.rate = 22050;
    mono.data = test::Pcm16({Noise(4000, 4)});
    mono.loops = {{0, 1000, 3999, 0}};
    mono.unity = 67;
    ASSERT_NE(FromWav(db, "flute.wav", mono), nullptr);
    test::WavPlan eight;
    eight.bits = 8;
    for (int i = 0; i < 3001; ++i)
        eight.data.push_back(uint8_t(i * 37 + i / 7));
    ASSERT_NE(FromWav(db, "drum.wav", eight), nullptr);
    test::WavPlan stereo;
    stereo.channels = 2;
    stereo.data = test::Pcm16({Noise(2500, 5), Noise(2500, 6)});
    ASSERT_NE(FromWav(db, "pad.wav", stereo), nullptr);
    // A keymap of two ranges at their own levels, the second on the 8-bit sample, within a
    // narrower, quieter layer of fewer velocities.
    db.GetKeymap(0)->entries = {{59, -6, 0}, {127, 3, 1}};
    Layer* flute = db.GetProgram(0)->GetLayer(0);
    flute->keyHigh = 100;
    flute->velocityLow = 20;
    flute->velocityHigh = 110;
    flute->Amp().SetGain(-10);
    // Tracking, which the export writes as modulators.
    flute->Amp().SetVelocityTracking(32);
    flute->Amp().SetKeyTracking(10);
    // A resonant filter: players lower its output by half the peak, which the level makes up.
    flute->Filter1().SetFilterType(4);
    flute->Filter1().SetByte(5, 128);  // 12 dB
    flute->Filter1().SetVelocityTracking(64);
    flute->Filter1().SetKeyTracking(32);
    // Routes from MIDI sources, and a vibrato whose depth the mod wheel sets.
    auto vibrato = std::make_unique<LfoModulator>();
    vibrato->SetShape(kLfoTriangle);
    const int lfo = flute->AddModulator(std::move(vibrato));
    const std::vector<ModulationEntry> routes = {
        {0x85, 33, 0, kSourceZero}, {0xB0, 10, 5, 0x81}, {LayerModulatorSource(lfo), 0, 20, 0x81}};
    for (const auto& e : routes)
        flute->Pitch().AddEntry(e);
    // The stereo program's two layers split the keyboard; the 8-bit program lies in bank 1.
    db.GetProgram(2)->GetLayer(1)->keyLow = 36;
    auto drum = db.GetProgram(1)->Clone();
    drum->SetNumber(130);
    db.PutProgram(std::move(drum));
    ASSERT_EQ(db.DeleteObject(db.GetProgram(1)), kOk);
    // A second program on the same keymap.
    auto again = db.GetProgram(130)->Clone();
    again->SetNumber(131);
    again->SetName("drum 2");
    db.PutProgram(std::move(again));
    Export(db);
    const Bytes written = image_;

    struct Case {
        const char* what;
        std::function<void(Bytes&)> patch;
        std::map<int, std::string> programs;
        std::map<int, int> from;  // program back -> program exported, for each one compared
        const char* line;
    };
    const size_t drumPreset = test::ChunkDataAt(written, "phdr") + 2 * 38;
    const std::vector<Case> cases = {
        {"as written",
         {},
         {{0, "flute"}, {2, "pad"}, {130, "drum"}, {131, "drum 2"}},
         {{0, 0}, {2, 2}, {130, 130}, {131, 131}},
         "+ Program 130 drum\r\n"},
        {"a preset number twice",
         [&](Bytes& b) { std::fill_n(b.begin() + long(drumPreset) + 20, 4, 0); },
         {{0, "flute"}, {1, "drum"}, {2, "pad"}, {131, "drum 2"}},
         {{0, 0}, {1, 130}, {2, 2}, {131, 131}},
         "? Preset 0:0 \"drum\" has no program number of its own, it becomes program 1\r\n"},
        {"another program's software name",
         [&](Bytes& b) { b[test::ChunkDataAt(b, "ISFT") + 7] = '2'; },
         {{0, "flute"}, {1, "pad 0"}, {2, "pad 1"}, {3, "drum"}, {4, "drum 2"}},
         {},
         "? 4 Presets skipped\r\n"},
    };
    // The routes as entries of the layer that comes back (the vibrato from the layer's own LFO).
    auto hasRoutes = [&](const Layer& l) {
        auto has = [&](const ModulationEntry& want) {
            return std::any_of(l.Pitch().Entries().begin(), l.Pitch().Entries().end(),
                               [&](const ModulationEntry& e) {
                                   const bool fromLfo = IsModulatorSource(want.controlSource);
                                   return (fromLfo ? IsModulatorSource(e.controlSource)
                                                   : e.controlSource == want.controlSource) &&
                                          e.baseDepth == want.baseDepth &&
                                          e.adjustedDepth == want.adjustedDepth &&
                                          e.depthAdjustSource == want.depthAdjustSource;
                               });
        };
        return std::all_of(routes.begin(), routes.end(), has);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image = written;
        if (c.patch) c.patch(image);
        ZedoDatabase back;
        ASSERT_EQ(ImportSf2(Put("bank.sf2", image), back, log_), 0);
        EXPECT_TRUE(log_.Has(c.line)) << log_.Text();
        std::map<int, std::string> programs;
        for (int n = 0; n < kSlotCount; ++n)
            if (const Program* p = back.GetProgram(n)) programs[n] = p->Name();
        EXPECT_EQ(programs, c.programs);
        if (c.from.count(0)) {
            EXPECT_TRUE(hasRoutes(*back.GetProgram(0)->GetLayer(0)));
        }
        for (auto [n, original] : c.from) {
            SCOPED_TRACE(n);
            const Program* a = db.GetProgram(original);
            const Program* b = back.GetProgram(n);
            ASSERT_TRUE(a && b);
            ASSERT_EQ(b->LayerCount(), a->LayerCount());
            for (int i = 0; i < a->LayerCount(); ++i) {
                const Layer& la = *a->GetLayer(i);
                const Layer& lb = *b->GetLayer(i);
                EXPECT_EQ(std::tuple(lb.keyLow, lb.keyHigh, lb.velocityLow, lb.velocityHigh),
                          std::tuple(la.keyLow, la.keyHigh, la.velocityLow, la.velocityHigh));
                EXPECT_EQ(lb.Amp().Gain(), la.Amp().Gain());
                EXPECT_EQ(std::tuple(lb.Amp().VelocityTracking(), lb.Amp().KeyTracking(),
                                     lb.Filter1().VelocityTracking(), lb.Filter1().KeyTracking()),
                          std::tuple(la.Amp().VelocityTracking(), la.Amp().KeyTracking(),
                                     la.Filter1().VelocityTracking(), la.Filter1().KeyTracking()));
                EXPECT_NEAR(lb.Pan(), la.Pan(), 1);
                EXPECT_EQ(Plays(back, lb), Plays(db, la));
                // Stereo halves are paired again, with their keymaps and samples.
                EXPECT_EQ(lb.StereoState(), la.StereoState());
                const Keymap* ka = db.GetKeymap(la.keymap);
                const Keymap* kb = back.GetKeymap(lb.keymap);
                ASSERT_TRUE(ka && kb);
                EXPECT_EQ(kb->stereoRole, ka->stereoRole);
                const SampleHeader* sa = db.GetSampleHeader(ka->SampleForKey(la.keyLow));
                const SampleHeader* sb = back.GetSampleHeader(kb->SampleForKey(lb.keyLow));
                ASSERT_TRUE(sa && sb);
                EXPECT_EQ(sb->stereoRole, sa->stereoRole);
            }
        }
        // Layers that shared a keymap share one again.
        for (auto [n1, o1] : c.from)
            for (auto [n2, o2] : c.from)
                EXPECT_EQ(back.GetProgram(n1)->GetLayer(0)->keymap ==
                              back.GetProgram(n2)->GetLayer(0)->keymap,
                          db.GetProgram(o1)->GetLayer(0)->keymap ==
                              db.GetProgram(o2)->GetLayer(0)->keymap)
                    << n1 << " and " << n2;
    }

    ZedoDatabase back;
    ASSERT_EQ(ImportSf2(Put("bank.sf2", written), back, log_), 0);
    for (int n = 0; n < 4; ++n) {
        SCOPED_TRACE(n);
        SampleHeader* a = db.GetSampleHeader(n);
        SampleHeader* b = back.GetSampleHeader(n);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(b->Name(), a->Name());
        const int bpf = a->Wave()->BytesPerFrame();
        EXPECT_EQ((b->end - b->start) / 2, (a->end - a->start) / bpf);
        if (a->loopStart >= 0) {
            EXPECT_EQ((b->loopStart - b->start) / 2, (a->loopStart - a->start) / bpf);
        }
        EXPECT_NEAR(b->pitch, a->pitch, 2);
        ASSERT_EQ(a->Wave()->LoadData(), 0);
        ASSERT_EQ(b->Wave()->LoadData(), 0);
        const Bytes& da = a->Wave()->data;
        const Bytes& db2 = b->Wave()->data;
        size_t wrong = 0;
        for (int32_t f = 0; f < (a->end - a->start) / bpf; ++f) {
            const size_t from = size_t(a->start + f * bpf), to = size_t(b->start + 2 * f);
            const uint8_t low = bpf == 2 ? da[from] : 0, high = da[from + size_t(bpf) - 1];
            wrong += db2[to] != low || db2[to + 1] != high;
        }
        EXPECT_EQ(wrong, 0u);
    }
}

// The kits leave as bank 128, where the players look for the percussion channel's presets,
// and come back as the programs they were; bank 1 of older exports reads back as the kits too.
TEST_F(Sf2ExportTest, KitsLieInBank128AndComeBackAsTheirPrograms) {
    ZedoDatabase db;
    test::WavPlan mono;
    mono.data = test::Pcm16({Noise(300, 3)});
    ASSERT_NE(FromWav(db, "kick.wav", mono), nullptr);
    const std::vector<std::tuple<int, int, int>> table = {
        {5, 0, 5}, {128, 128, 0}, {200, 128, 72}, {255, 128, 127}, {256, 2, 0}, {300, 2, 44}};
    for (auto [program, bank, preset] : table) {
        auto copy = db.GetProgram(0)->Clone();
        copy->SetNumber(program);
        copy->SetName(Fmt("p%d", program));
        db.PutProgram(std::move(copy));
    }
    ASSERT_EQ(db.DeleteObject(db.GetProgram(0)), kOk);
    const Sf2File f = Export(db);
    ZedoDatabase back;
    ASSERT_EQ(ImportSf2(Put("kits.sf2", image_), back, log_), 0);
    for (auto [program, bank, preset] : table) {
        SCOPED_TRACE(program);
        const std::string name = Fmt("p%d", program);
        auto p = std::find_if(f.presets.begin(), f.presets.end(),
                              [&](const auto& n) { return n.name == name; });
        ASSERT_NE(p, f.presets.end());
        EXPECT_EQ(std::pair(p->bank, p->preset), std::pair(bank, preset));
        ASSERT_NE(back.GetProgram(program), nullptr);
        EXPECT_EQ(back.GetProgram(program)->Name(), name);
    }
    const std::vector<std::tuple<int, int, int>> readBack = {
        {1, 3, 131}, {128, 3, 131}, {2, 3, 259}, {0, 3, 3}};
    for (auto [bank, preset, program] : readBack)
        EXPECT_EQ(sf2::ProgramOf(bank, preset), program) << bank << ":" << preset;
}

// Our own files are read further (their presets too), so damage to them must not crash the
// import either.
TEST_F(Sf2ExportTest, DamagedFilesOfOurOwnNeverCrashTheImport) {
    ZedoDatabase db;
    test::WavPlan stereo;
    stereo.channels = 2;
    stereo.data = test::Pcm16({Noise(60, 7), Noise(60, 8)});
    ASSERT_NE(FromWav(db, "pad.wav", stereo), nullptr);
    db.GetProgram(0)->GetLayer(1)->keyLow = 40;
    Export(db);
    test::FuzzImport(image_, Path("fuzz.sf2"), 4321,
                     [](const std::string& path, ZedoDatabase& back, ConversionLog& log) {
                         ImportSf2(path, back, log);
                     });
}

// Without an ENV on the Amp block the sample's natural envelope shapes the level: its falls
// become the zone's volume envelope (durations count frames at the sample's rate).
TEST_F(Sf2ExportTest, NaturalEnvelopeBecomesTheZonesVolumeEnvelope) {
    struct Case {
        const char* what;
        std::vector<EnvelopeEntry> envelope;
        int decay, sustain, release;  // timecents, cB, timecents
    };
    const double defaultRelease = units::kAmpRangeDb / (6818 * units::kNaturalDbPerSecondPerStep);
    const std::vector<Case> cases = {
        {"flat while held, the default release",
         {{0, 0}, {-6818, 0}, {-2046, 0}},
         -12000,
         0,
         int(std::lround(1200 * std::log2(defaultRelease)))},
        // 30 dB/s for a second, then held: a sustain 30 dB down reached over 3.2 s of travel.
        {"a fall, then held",
         {{-100, 44100}, {0, 0}, {-1000, 0}},
         int(std::lround(1200 * std::log2(3.2))),
         300,
         int(std::lround(1200 * std::log2(96.0 / 300)))},
        // Falling all the while it is held: a decay to silence at that rate.
        {"falling while held",
         {{-320, 0}, {-1000, 0}},
         int(std::lround(1200 * std::log2(1.0))),
         960,
         int(std::lround(1200 * std::log2(96.0 / 300)))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZedoDatabase db;
        test::WavPlan mono;
        mono.data = test::Pcm16({Noise(500, 9)});
        Program* p = FromWav(db, "tone.wav", mono);
        ASSERT_NE(p, nullptr);
        ASSERT_TRUE(p->GetLayer(0)->NaturalEnvelope());
        db.GetSampleHeader(0)->envelope = c.envelope;
        const Sf2File f = Export(db);
        ASSERT_EQ(f.instruments.size(), 1u);
        const auto& zone = f.instruments[0].zones.back();
        EXPECT_NEAR(zone.Get(kVolEnvDecay, 0), c.decay, 2);
        EXPECT_NEAR(zone.Get(kVolEnvSustain, 0), c.sustain, 1);
        EXPECT_NEAR(zone.Get(kVolEnvRelease, 0), c.release, 2);
    }
}

// Under an Amp envelope a released note also falls by its sample's natural envelope: the
// export's release takes both rates, so that players release it as the engine does.
TEST_F(Sf2ExportTest, AmpEnvelopeReleaseTakesTheNaturalReleaseToo) {
    ZedoDatabase db;
    test::WavPlan mono;
    mono.data = test::Pcm16({Noise(500, 9)});
    Program* p = FromWav(db, "tone.wav", mono);
    ASSERT_NE(p, nullptr);
    Layer& layer = *p->GetLayer(0);
    db.GetSampleHeader(0)->envelope = {{0, 0}, {-1000, 0}};  // released: 300 dB a second
    auto env = std::make_unique<EnvModulator>();
    env->SetAttackCount(1);
    env->SetDecayCount(1);
    env->SetReleaseCount(1);
    env->SetSegment(0, 127, 0);
    env->SetSegment(1, 127, 0);
    env->SetSegment(2, 0, 50);  // a second from full level to silence
    const int id = layer.AddModulator(std::move(env));
    ASSERT_GE(id, 0);
    layer.Amp().AddEntry({LayerModulatorSource(id), 127, 0, kSourceZero});
    p->DropPackedCopy();
    const Sf2File f = Export(db);
    ASSERT_EQ(f.instruments.size(), 1u);
    const double both = 1 / (1 / 1.0 + 300 / units::kAmpRangeDb);
    EXPECT_NEAR(f.instruments[0].zones.front().Get(kVolEnvRelease, 0),
                1200 * std::log2(both), 3);
}

// What a SoundFont cannot hold is named in the log, with its program and layer.
TEST_F(Sf2ExportTest, WhatCannotBeExpressedIsLoggedWithProgramAndLayer) {
    struct Case {
        const char* what;
        std::function<void(Layer&)> change;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"FUN modulator", [](Layer& l) { l.AddModulator(std::make_unique<FunModulator>()); },
         "FUN 0 ("},
        {"high-pass filter", [](Layer& l) { l.Filter1().SetFilterType(2); },
         "Filter #1 1P HP not exported"},
        {"wave shaper", [](Layer& l) { l.Filter2().SetFilterType(6); },
         "Filter #2 Sine not exported"},
        {"cross-fade", [](Layer& l) { *l.Amp().FixedControl() = 0x81; }, "cross-fade by "},
        {"route from a source no SoundFont modulator has",
         [](Layer& l) {
             l.Pitch().AddEntry({0xB3, 33, 0, kSourceZero});
         },
         "Pitch modulation by Channel Voice Count (depth 33) not exported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [before, file] = ExportChanged(c.change);
        std::vector<std::string> added;
        for (const auto& l : Lines('X'))
            if (std::find(before.begin(), before.end(), l) == before.end()) added.push_back(l);
        ASSERT_EQ(added.size(), 1u) << log_.Text();
        EXPECT_EQ(added[0].rfind("X Program 0 tone, layer 0: ", 0), 0u) << added[0];
        EXPECT_NE(added[0].find(c.line), std::string::npos) << added[0];
    }
}

// Routes from the sources SoundFont modulators take become modulators of the generator they
// move, in the voice engine's units; routes from constants move the generator itself.
TEST_F(Sf2ExportTest, RoutesFromMidiSourcesBecomeModulators) {
    using Mod = Sf2File::Mod;
    struct Case {
        const char* what;
        std::function<void(Layer&)> change;
        std::vector<Mod> mods;  // each among the instrument's global modulators
        int fineTune;           // cents
    };
    const std::vector<Case> cases = {
        {"LFO depth by the mod wheel",
         [](Layer& l) {
             auto lfo = std::make_unique<LfoModulator>();
             lfo->SetShape(kLfoTriangle);
             const int id = l.AddModulator(std::move(lfo));
             l.Pitch().AddEntry({LayerModulatorSource(id), 0, 20, 0x81});
         },
         {{0x0081, 6, 200, 0, 0}},
         0},
        {"pitch by a controller",
         [](Layer& l) {
             l.Pitch().AddEntry({0x85, 33, 0, kSourceZero});
         },
         {{0x0085, 52, 330, 0, 0}},
         0},
        {"pitch by aftertouch, its depth by the mod wheel",
         [](Layer& l) {
             l.Pitch().AddEntry({0xB0, 10, 5, 0x81});
         },
         {{0x000D, 52, 100, 0, 0}, {0x000D, 52, 50, 0x0081, 0}},
         0},
        {"pitch by a constant, its depth adjusted by a constant",
         [](Layer& l) {
             l.Pitch().AddEntry({kSourceOne, 5, 10, kSourceOne});
         },
         {},
         150},
        {"filter velocity and key tracking",
         [](Layer& l) {
             l.Filter1().SetFilterType(3);
             l.Filter1().SetVelocityTracking(64);
             l.Filter1().SetKeyTracking(32);
         },
         {{0x0202, 8, 2419, 0, 0}, {0x0003, 8, 6350, 0, 0}},
         0},
        {"amp velocity tracking",
         [](Layer& l) { l.Amp().SetVelocityTracking(32); },
         {{0x0502, 48, 480, 0, 0}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [before, f] = ExportChanged(c.change);
        EXPECT_TRUE(f.problems.empty()) << f.problems.front();
        EXPECT_EQ(Lines('X'), before) << log_.Text();
        ASSERT_FALSE(f.instruments.empty());
        const auto& global = f.instruments[0].zones[0];
        for (const Mod& m : c.mods)
            EXPECT_NE(std::find(global.mods.begin(), global.mods.end(), m), global.mods.end())
                << std::hex << m.src << " -> " << std::dec << m.dest << " " << m.amount;
        EXPECT_EQ(global.Get(kFine, 0), c.fineTune);
    }
}

// ROM samples come from the registered stand-ins; without them their zones are left out and
// the log says why.
TEST_F(Sf2ExportTest, RomSamplesAreWrittenFromTheRegisteredSource) {
    ZedoDatabase db;
    test::WavPlan mono;
    mono.data = test::Pcm16({Noise(500, 9)});
    Program* p = FromWav(db, "tone.wav", mono);
    ASSERT_NE(p, nullptr);
    auto rom = std::make_unique<SampleHeader>();
    rom->SetNumber(7);
    rom->SetName("Rom Piano");
    rom->SetDefaults();
    rom->flags = 0;
    rom->start = 100;
    rom->loopStart = 200;
    rom->end = 300;
    rom->AttachWave(db.GetWaveData(0), kAttachReference);
    ASSERT_TRUE(db.GetWaveData(0)->IsRom());
    db.PutSampleHeader(std::move(rom));
    db.GetKeymap(0)->entries = {{63, 0, 7}, {127, 0, 0}};

    Sf2File f = Export(db);
    EXPECT_TRUE(
        log_.Has("X Sample 7 Rom Piano: ROM sample, but no ROM sample data are at "
                 "hand; the zones that play it are left out\r\n"));
    ASSERT_EQ(f.instruments.size(), 1u);
    EXPECT_EQ(f.instruments[0].zones.size(), 2u);  // the global zone and the RAM sample's

    auto data = std::make_shared<std::vector<int8_t>>(1000);
    for (size_t i = 0; i < data->size(); ++i)
        (*data)[i] = int8_t(i * 5);
    SetRomSampleSource([data] { return data; });
    f = Export(db);
    EXPECT_EQ(f.problems, std::vector<std::string>{});
    EXPECT_TRUE(
        log_.Has("? The ROM samples were written from the emulator's stand-ins, not from "
                 "the MA-1's own ROM\r\n"));
    ASSERT_EQ(f.instruments[0].zones.size(), 3u);
    const auto& s = f.samples[size_t(f.instruments[0].zones[1].Get(kSampleId, -1))];
    EXPECT_EQ(s.name, "Rom Piano");
    ASSERT_EQ(s.loopEnd - s.start, 200u);
    EXPECT_EQ(s.loopStart - s.start, 100u);
    size_t wrong = 0;
    for (uint32_t i = 0; i < 200; ++i)
        wrong += f.Point(s.start + i) != int16_t((*data)[100 + i] * 256);
    // After the loop's end its start again.
    for (uint32_t i = 0; i < 8; ++i)
        wrong += f.Point(s.loopEnd + i) != f.Point(s.loopStart + i);
    EXPECT_EQ(wrong, 0u);
}

// An export is written atomically and leaves the bank in its own file: a failing write keeps
// the old file, a good one neither moves the bank nor marks it saved.
TEST_F(Sf2ExportTest, ExportIsAtomicAndLeavesTheBankInItsOwnFile) {
    TALMERU_SKIP_ON_WINDOWS("a file size limit (setrlimit)");
    ZedoDatabase db;
    test::WavPlan mono;
    mono.data = test::Pcm16({Noise(200000, 9)});
    ASSERT_NE(FromWav(db, "tone.wav", mono), nullptr);
    db.SetPath(Path("bank.pbf"));
    db.SetModified(true);
    const std::string out = Put("out.sf2", Bytes{'o', 'l', 'd'});
    {
        test::FileSizeLimit limit(100000);
        EXPECT_NE(SaveBank(db, out, 0, &log_), 0);
    }
    EXPECT_EQ(*ReadWholeFile(out), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);  // no temporary

    ASSERT_EQ(SaveBank(db, out, 0, &log_), 0);
    EXPECT_EQ(ReadSf2(*ReadWholeFile(out)).problems, std::vector<std::string>{});
    EXPECT_EQ(db.Path(), Path("bank.pbf"));
    EXPECT_TRUE(db.IsModified());
    EXPECT_TRUE(log_.Has("*** Done ***\r\n"));
}

}  // namespace
}  // namespace talmeru
