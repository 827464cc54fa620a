#include "files/Sf2Hydra.h"

#include <algorithm>

#include "platform/ByteIO.h"
#include "platform/Riff.h"

namespace talmeru::sf2 {

namespace {

constexpr size_t kNameSize = 20;
// Zones, generators and samples are named by 16-bit indexes, so a table can usefully hold no
// more records than the last index and the terminal record.
constexpr size_t kMaxRecords = 0x10001;
constexpr int kInstrumentGenerator = 41, kSampleGenerator = 53;

struct Records {
    std::vector<uint8_t> bytes;
    size_t size = 0;
    size_t count = 0;
    ByteReader At(size_t i) const { return ByteReader(bytes.data() + i * size, size); }
};

bool ReadRecords(const RiffReader& r, const RiffChunk& pdta, const char (&id)[5], size_t size,
                 bool required, Records& out, std::string& error) {
    out.size = size;
    auto c = r.Find(pdta, FourCC(id));
    if (!c) {
        if (required) error = std::string("no ") + id + " chunk";
        return !required;
    }
    if (c->Truncated() || c->size % size != 0 || c->size / size > kMaxRecords) {
        error = std::string("the ") + id + " chunk is damaged";
        return false;
    }
    out.bytes = r.ReadData(*c);
    if (out.bytes.size() != c->size) {
        error = std::string("the ") + id + " chunk could not be read";
        return false;
    }
    out.count = c->size / size;
    return true;
}

// The zones of item i of a header table whose bag index sits `bagAt` bytes into its record:
// bags [first, next item's first), each with generators and modulators up to the next bag's.
// False when the list points outside its tables.
bool ReadZones(const Records& items, size_t i, size_t bagAt, const Records& bags,
               const Records& gens, const Records& mods, int targetOp, HydraZone& global,
               std::vector<HydraZone>& zones) {
    auto bagOf = [&](size_t k) {
        ByteReader r = items.At(k);
        r.Skip(bagAt);
        return size_t{r.U16()};
    };
    const size_t first = bagOf(i), last = bagOf(i + 1);
    if (last < first || (last > first && last >= bags.count)) return false;
    zones.reserve(last - first);  // a big file's many zones held without slack
    for (size_t b = first; b < last; ++b) {
        ByteReader here = bags.At(b), next = bags.At(b + 1);
        const size_t g0 = here.U16(), m0 = here.U16(), g1 = next.U16(), m1 = next.U16();
        if (g1 < g0 || g1 > gens.count || m1 < m0 || m1 > std::max<size_t>(mods.count, m0))
            return false;
        HydraZone z;
        for (size_t g = g0; g < g1; ++g) {
            ByteReader r = gens.At(g);
            const int op = r.U16();
            const auto amount = static_cast<int16_t>(r.U16());
            if (op == targetOp) {
                z.target = static_cast<uint16_t>(amount);
                break;  // the standard ends a zone's generators with its target
            }
            if (op >= 0 && op < kGeneratorCount) z.gens.Set(op, amount);
        }
        for (size_t m = m0; m < m1 && m < mods.count; ++m)
            z.mods.push_back(ReadModulatorRecord(mods.At(m)));
        // Only the first zone may be global; a later zone without a target is ignored, as
        // players do.
        if (z.target < 0) {
            if (b == first) global = std::move(z);
            continue;
        }
        zones.push_back(std::move(z));
    }
    return true;
}

}  // namespace

ModulatorRecord ReadModulatorRecord(ByteReader r) {
    ModulatorRecord rec;
    rec.src = r.U16();
    rec.dest = r.U16();
    rec.amount = r.S16();
    rec.amountSrc = r.U16();
    rec.transform = r.U16();
    return rec;
}

SampleRecord ReadSampleRecord(ByteReader r) {
    SampleRecord s;
    s.name = r.FixedString(kNameSize);
    s.start = r.U32();
    s.end = r.U32();
    s.loopStart = r.U32();
    s.loopEnd = r.U32();
    s.rate = r.U32();
    s.key = r.U8();
    s.correction = r.S8();
    s.link = r.U16();
    s.type = r.U16();
    return s;
}

bool ReadHydra(const RiffReader& r, const RiffChunk& pdta, Hydra& out, std::string& error) {
    Records phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
    if (!ReadRecords(r, pdta, "phdr", 38, true, phdr, error) ||
        !ReadRecords(r, pdta, "pbag", 4, true, pbag, error) ||
        !ReadRecords(r, pdta, "pmod", 10, false, pmod, error) ||
        !ReadRecords(r, pdta, "pgen", 4, true, pgen, error) ||
        !ReadRecords(r, pdta, "inst", 22, true, inst, error) ||
        !ReadRecords(r, pdta, "ibag", 4, true, ibag, error) ||
        !ReadRecords(r, pdta, "imod", 10, false, imod, error) ||
        !ReadRecords(r, pdta, "igen", 4, true, igen, error) ||
        !ReadRecords(r, pdta, "shdr", 46, true, shdr, error))
        return false;
    // Each table ends with a terminal record, which is no item.
    auto items = [](const Records& t) { return t.count > 0 ? t.count - 1 : 0; };
    out.presets.reserve(items(phdr));
    out.instruments.reserve(items(inst));
    out.samples.reserve(items(shdr));
    for (size_t i = 0; i + 1 < phdr.count; ++i) {
        HydraPreset p;
        ByteReader rec = phdr.At(i);
        p.name = rec.FixedString(kNameSize);
        p.preset = rec.U16();
        p.bank = rec.U16();
        p.corrupt = !ReadZones(phdr, i, kNameSize + 4, pbag, pgen, pmod, kInstrumentGenerator,
                               p.global, p.zones);
        out.presets.push_back(std::move(p));
    }
    for (size_t i = 0; i + 1 < inst.count; ++i) {
        HydraInstrument k;
        k.name = inst.At(i).FixedString(kNameSize);
        k.corrupt = !ReadZones(inst, i, kNameSize, ibag, igen, imod, kSampleGenerator, k.global,
                               k.zones);
        out.instruments.push_back(std::move(k));
    }
    for (size_t i = 0; i + 1 < shdr.count; ++i)
        out.samples.push_back(ReadSampleRecord(shdr.At(i)));
    return true;
}

}  // namespace talmeru::sf2
