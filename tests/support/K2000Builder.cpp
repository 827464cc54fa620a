#include "support/K2000Builder.h"

#include <memory>

#include "model/ZedoDatabase.h"

namespace talmeru::test {

namespace {

void Add16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
void Add32(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

size_t SegmentSizeOf(int tag) {
    if (tag == 9) return 16;
    if (tag == 15 || (tag >= 16 && tag <= 23)) return 8;
    if (tag >= 24 && tag <= 27) return 4;
    if (tag >= 64 && tag <= 79) return 32;
    return 16;
}

}  // namespace

Bytes Segment(int tag, const std::map<int, int>& bytes) {
    Bytes s(SegmentSizeOf(tag), 0);
    s[0] = static_cast<uint8_t>(tag);
    for (auto [at, v] : bytes)
        s.at(static_cast<size_t>(at)) = static_cast<uint8_t>(v);
    return s;
}

Bytes KrzProgramBody(int layers, const std::vector<Bytes>& segments) {
    Bytes b(16, 0);
    b[0] = 8;  // the program segment
    b[2] = static_cast<uint8_t>(layers);
    for (const auto& s : segments)
        b.insert(b.end(), s.begin(), s.end());
    return b;
}

std::vector<Bytes> KrzLayer(int keymap, int low, int high) {
    return {Segment(9, {{4, low}, {5, high}}),
            Segment(64, {{12, keymap >> 8}, {13, keymap & 0xFF}})};
}

Bytes KrzKeymapBody(const std::vector<int>& keySamples, int flags, int entrySize) {
    Bytes b;
    Add16(b, 0);
    Add16(b, static_cast<uint32_t>(flags));
    Add16(b, 0);
    Add16(b, 0);
    Add16(b, static_cast<uint32_t>(keySamples.size() - 1));
    Add16(b, static_cast<uint32_t>(entrySize));
    b.resize(28, 0);
    const size_t at =
        ((flags & 0x04) ? 1 : 0) + ((flags & 0x08) ? 1 : 0) + ((flags & 0x10) ? 2 : 0);
    for (int sample : keySamples) {
        Bytes entry(static_cast<size_t>(entrySize), 0xEE);
        // An entry too small for its number (a broken file) keeps what fits.
        if (at < entry.size()) entry[at] = static_cast<uint8_t>(sample >> 8);
        if (at + 1 < entry.size()) entry[at + 1] = static_cast<uint8_t>(sample);
        b.insert(b.end(), entry.begin(), entry.end());
    }
    return b;
}

Bytes KrzSingleKeymapBody(int sample) {
    Bytes b;
    Add16(b, static_cast<uint32_t>(sample));
    Add16(b, 0);
    b.resize(28, 0);
    return b;
}

Bytes KrzSampleBody(const std::vector<KrzSampleHeader>& headers) {
    Bytes b;
    Add16(b, 0);
    Add16(b, static_cast<uint32_t>(headers.size() - 1));
    b.resize(12, 0);
    for (const auto& h : headers) {
        Bytes e(32, 0);
        e[0] = static_cast<uint8_t>(h.root);
        e[1] = static_cast<uint8_t>(h.flags);
        Bytes words;
        Add32(words, h.start);
        Add32(words, h.loopStart);
        Add32(words, h.end);
        Add32(words, h.period);
        std::copy(words.begin(), words.begin() + 4, e.begin() + 8);
        std::copy(words.begin() + 4, words.begin() + 12, e.begin() + 16);
        std::copy(words.begin() + 12, words.end(), e.begin() + 28);
        b.insert(b.end(), e.begin(), e.end());
    }
    return b;
}

Bytes KrzPlan::Build() const {
    Bytes objectBytes;
    for (const auto& o : objects) {
        Bytes name(o.name.begin(), o.name.end());
        name.push_back(0);
        if (name.size() & 1) name.push_back(0);  // keeps the body on an even offset
        const auto length = static_cast<uint32_t>(10 + name.size() + o.body.size());
        Add32(objectBytes, static_cast<uint32_t>(-static_cast<int32_t>(length)));
        Add16(objectBytes, static_cast<uint32_t>(o.type));
        Add16(objectBytes, 0);
        Add16(objectBytes, static_cast<uint32_t>(2 + name.size()));
        objectBytes.insert(objectBytes.end(), name.begin(), name.end());
        objectBytes.insert(objectBytes.end(), o.body.begin(), o.body.end());
    }
    Add32(objectBytes, 0);  // ends the objects
    Bytes file{'P', 'R', 'A', 'M'};
    Add32(file, static_cast<uint32_t>(32 + objectBytes.size()));
    file.resize(32, 0);
    file.insert(file.end(), objectBytes.begin(), objectBytes.end());
    file.insert(file.end(), sampleData.begin(), sampleData.end());
    return file;
}

Bytes BigEndianPcm(const std::vector<int16_t>& samples) {
    Bytes b;
    for (int16_t s : samples)
        Add16(b, static_cast<uint16_t>(s));
    return b;
}

void BuildRomBank(ZedoDatabase& rom) {
    WaveData* romWave = rom.GetWaveData(0);
    const char* sampleNames[] = {"C 2-Perc Organ", "C 4-Perc Organ", "D 2-gm piano"};
    const int points[][3] = {{0, 7215, 9037}, {9038, 16245, 16335}, {67490, 95576, 120676}};
    for (int n = 0; n < 3; ++n) {
        auto s = std::make_unique<SampleHeader>();
        s->SetNumber(n);
        s->SetName(sampleNames[n]);
        s->start = points[n][0];
        s->loopStart = points[n][1];
        s->end = points[n][2];
        s->AttachWave(romWave, kAttachReference);
        rom.PutSampleHeader(std::move(s));
    }
    PairStereo(*rom.GetSampleHeader(1), *rom.GetSampleHeader(2));
    const std::pair<int, const char*> keymaps[] = {
        {0, "Grand Piano"}, {1, "Strings"}, {2, "Elec Piano"}, {44, "Organ"}};
    for (auto [n, name] : keymaps) {
        auto k = std::make_unique<Keymap>();
        k->SetNumber(n);
        k->SetName(name);
        k->entries = {{127, 0, n % 3}};
        rom.PutKeymap(std::move(k));
    }
}

}  // namespace talmeru::test
