#include "support/Sf2Builder.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace talmeru::test {

namespace {

using Bytes = std::vector<uint8_t>;

void Add16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Add32(Bytes& b, uint64_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void AddId(Bytes& b, const std::string& id) {
    b.insert(b.end(), id.begin(), id.begin() + 4);
}
void AddName(Bytes& b, const std::string& name) {
    for (size_t i = 0; i < 20; ++i)
        b.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
}

uint32_t AddMods(Bytes& b, const std::vector<Sf2Mod>& mods) {
    for (const auto& m : mods) {
        Add16(b, m.src);
        Add16(b, m.dest);
        Add16(b, static_cast<uint16_t>(m.amount));
        Add16(b, m.amountSrc);
        Add16(b, 0);
    }
    return static_cast<uint32_t>(mods.size());
}

class Layout {
  public:
    explicit Layout(const Sf2Plan& plan) : plan_(plan) {}
    bool Has(const std::string& id) const {
        return std::find(plan_.leaveOut.begin(), plan_.leaveOut.end(), id) == plan_.leaveOut.end();
    }
    Bytes Chunk(const std::string& id, const Bytes& data) const {
        Bytes b;
        if (!Has(id)) return b;
        AddId(b, id);
        Add32(b, data.size());
        b.insert(b.end(), data.begin(), data.end());
        if (data.size() & 1) b.push_back(0);
        return b;
    }
    Bytes List(const std::string& type, const Bytes& children) const {
        Bytes b;
        if (!Has(type)) return b;
        AddId(b, "LIST");
        Add32(b, children.size() + 4);
        AddId(b, type);
        b.insert(b.end(), children.begin(), children.end());
        return b;
    }
    Bytes Info() const {
        Bytes version;
        Add16(version, static_cast<uint32_t>(plan_.major));
        Add16(version, 1);
        std::string name = "Test Bank";
        Bytes inam(name.begin(), name.end());
        inam.push_back(0);
        Bytes children = Chunk("ifil", version);
        Bytes n = Chunk("INAM", inam);
        children.insert(children.end(), n.begin(), n.end());
        return List("INFO", children);
    }
    Bytes Pdta() const;

  private:
    const Sf2Plan& plan_;
};

Bytes Layout::Pdta() const {
    Bytes phdr, pbag, pgen, pmod(10, 0), inst, ibag, igen, imod(10, 0), shdr;
    auto presetHeader = [&](const std::string& name, int preset, int bank, uint32_t bag) {
        AddName(phdr, name);
        Add16(phdr, static_cast<uint32_t>(preset));
        Add16(phdr, static_cast<uint32_t>(bank));
        Add16(phdr, bag);
        Add32(phdr, 0);
        Add32(phdr, 0);
        Add32(phdr, 0);
    };
    if (plan_.presetList.empty()) {
        for (int p = 0; p <= plan_.presets; ++p) {
            presetHeader(p < plan_.presets ? "Preset " + std::to_string(p) : "EOP", p, 0,
                         static_cast<uint32_t>(p));  // one empty zone each
            Add16(pbag, 0);
            Add16(pbag, 0);
        }
        Add32(pgen, 0);
    } else {
        uint32_t bags = 0, pgens = 0, pmods = 0;
        pmod.clear();
        for (const auto& p : plan_.presetList) {
            presetHeader(p.name, p.preset, p.bank, bags);
            for (const auto& z : p.zones) {
                Add16(pbag, pgens);
                Add16(pbag, pmods);
                for (const auto& g : z.gens) {
                    Add16(pgen, g.op);
                    Add16(pgen, g.amount);
                    ++pgens;
                }
                pmods += AddMods(pmod, z.mods);
                ++bags;
            }
        }
        presetHeader("EOP", 0, 0, bags);
        Add16(pbag, pgens);
        Add16(pbag, pmods);
        Add32(pgen, 0);
        pmod.insert(pmod.end(), 10, 0);
    }
    uint32_t zones = 0, gens = 0, imods = 0;
    imod.clear();
    for (const auto& in : plan_.instruments) {
        AddName(inst, in.name);
        Add16(inst, zones);
        for (const auto& z : in.zones) {
            Add16(ibag, gens);
            Add16(ibag, imods);
            for (const auto& g : z.gens) {
                Add16(igen, g.op);
                Add16(igen, g.amount);
                ++gens;
            }
            imods += AddMods(imod, z.mods);
            ++zones;
        }
    }
    AddName(inst, "EOI");
    Add16(inst, zones);
    Add16(ibag, gens);
    Add16(ibag, imods);
    imod.insert(imod.end(), 10, 0);
    Add32(igen, 0);
    auto sample = [&](const Sf2Sample& s) {
        AddName(shdr, s.name);
        Add32(shdr, s.start);
        Add32(shdr, s.end);
        Add32(shdr, s.loopStart);
        Add32(shdr, s.loopEnd);
        Add32(shdr, s.rate);
        shdr.push_back(static_cast<uint8_t>(s.key));
        shdr.push_back(static_cast<uint8_t>(s.correction));
        Add16(shdr, static_cast<uint32_t>(s.link));
        Add16(shdr, static_cast<uint32_t>(s.type));
    };
    for (const auto& s : plan_.samples)
        sample(s);
    sample(Sf2Sample{"EOS", 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Bytes children;
    for (const auto& [id, data] : {std::pair<std::string, const Bytes&>{"phdr", phdr},
                                   {"pbag", pbag},
                                   {"pmod", pmod},
                                   {"pgen", pgen},
                                   {"inst", inst},
                                   {"ibag", ibag},
                                   {"imod", imod},
                                   {"igen", igen},
                                   {"shdr", shdr}}) {
        Bytes c = Chunk(id, data);
        children.insert(children.end(), c.begin(), c.end());
    }
    return List("pdta", children);
}

// The file before the sample data, the sample data's size, and the file after it.
struct Parts {
    Bytes head;
    uint64_t hole = 0;
    Bytes tail;
};

Parts Assemble(const Sf2Plan& plan, uint64_t sampleBytes, bool inline_) {
    Layout l(plan);
    Parts p;
    Bytes info = l.Info();
    Bytes pdta = l.Pdta();
    const bool smpl = l.Has("smpl"), sdta = l.Has("sdta");
    const uint64_t padded = sampleBytes + (sampleBytes & 1);
    const uint64_t sdtaSize = sdta ? 12 + (smpl ? 8 + padded : 0) : 0;
    AddId(p.head, "RIFF");
    Add32(p.head, 4 + info.size() + sdtaSize + pdta.size());
    AddId(p.head, "sfbk");
    p.head.insert(p.head.end(), info.begin(), info.end());
    if (sdta) {
        AddId(p.head, "LIST");
        Add32(p.head, sdtaSize - 8);
        AddId(p.head, "sdta");
        if (smpl) {
            AddId(p.head, "smpl");
            Add32(p.head, sampleBytes);
            if (inline_) {
                p.head.insert(p.head.end(), plan.sampleData.begin(), plan.sampleData.end());
                if (sampleBytes & 1) p.head.push_back(0);
            } else {
                p.hole = padded;
            }
        }
    }
    p.tail = pdta;
    return p;
}

}  // namespace

Sf2Gen Gen(int op, int amount) {
    return {static_cast<uint16_t>(op), static_cast<uint16_t>(amount)};
}

Sf2Gen RangeGen(int op, int low, int high) {
    return {static_cast<uint16_t>(op), static_cast<uint16_t>(low | (high << 8))};
}

std::vector<uint8_t> Sf2Plan::Build() const {
    Parts p = Assemble(*this, sampleData.size(), true);
    p.head.insert(p.head.end(), p.tail.begin(), p.tail.end());
    return p.head;
}

bool Sf2Plan::WriteWithHole(const std::string& path, uint64_t sampleBytes) const {
    Parts p = Assemble(*this, sampleBytes, false);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(p.head.data()),
              static_cast<std::streamsize>(p.head.size()));
    out.seekp(static_cast<std::streamoff>(p.hole), std::ios::cur);
    out.write(reinterpret_cast<const char*>(p.tail.data()),
              static_cast<std::streamsize>(p.tail.size()));
    return static_cast<bool>(out);
}

namespace {

// libsndfile writes the stream into memory through these.
struct Memory {
    Bytes bytes;
    sf_count_t pos = 0;
};
sf_count_t MemLength(void* m) {
    return static_cast<sf_count_t>(static_cast<Memory*>(m)->bytes.size());
}
sf_count_t MemSeek(sf_count_t offset, int whence, void* user) {
    auto* m = static_cast<Memory*>(user);
    m->pos = whence == SEEK_SET   ? offset
             : whence == SEEK_CUR ? m->pos + offset
                                  : MemLength(m) + offset;
    return m->pos;
}
sf_count_t MemRead(void* ptr, sf_count_t count, void* user) {
    auto* m = static_cast<Memory*>(user);
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, MemLength(m) - m->pos));
    std::memcpy(ptr, m->bytes.data() + m->pos, static_cast<size_t>(n));
    m->pos += n;
    return n;
}
sf_count_t MemWrite(const void* ptr, sf_count_t count, void* user) {
    auto* m = static_cast<Memory*>(user);
    if (m->pos + count > MemLength(m)) m->bytes.resize(static_cast<size_t>(m->pos + count));
    std::memcpy(m->bytes.data() + m->pos, ptr, static_cast<size_t>(count));
    m->pos += count;
    return count;
}
sf_count_t MemTell(void* m) {
    return static_cast<Memory*>(m)->pos;
}

}  // namespace

std::vector<uint8_t> OggVorbis(const std::vector<int16_t>& points, int rate) {
    SF_VIRTUAL_IO io{MemLength, MemSeek, MemRead, MemWrite, MemTell};
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    Memory m;
    SNDFILE* f = sf_open_virtual(&io, SFM_WRITE, &info, &m);
    if (!f) return {};
    sf_writef_short(f, points.data(), static_cast<sf_count_t>(points.size()));
    sf_close(f);
    return m.bytes;
}

size_t ChunkDataAt(const std::vector<uint8_t>& image, const std::string& id) {
    auto it = std::search(image.begin(), image.end(), id.begin(), id.end());
    return it == image.end() ? image.size() : static_cast<size_t>(it - image.begin()) + 8;
}

}  // namespace talmeru::test
