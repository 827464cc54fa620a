#include "support/BankBuilder.h"

#include <cstring>

namespace talmeru::test {

namespace {
void Put16(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Add16(Bytes& b, uint32_t v) {
    Put16(b, b.size(), v);
}
void Add32(Bytes& b, uint32_t v) {
    Put32(b, b.size(), v);
}
void AddText(Bytes& b, const std::string& s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        b.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}
}  // namespace

Bytes PackedObject(int type, int number, const std::string& name, const Bytes& body) {
    Bytes b;
    b.push_back(static_cast<uint8_t>(type));
    b.push_back(0);
    Add16(b, static_cast<uint32_t>(number));
    Add16(b, static_cast<uint32_t>(body.size()));
    AddText(b, name, 16);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes KeymapBody(const std::vector<KeyEntry>& entries, int byteA, int byteB) {
    Bytes b{static_cast<uint8_t>(byteA), static_cast<uint8_t>(byteB)};
    for (const auto& e : entries) {
        b.push_back(static_cast<uint8_t>(e.top));
        b.push_back(static_cast<uint8_t>(e.amp));
        Add16(b, static_cast<uint32_t>(e.sample));
    }
    return b;
}

Bytes SampleBody(int32_t start, int32_t loop, int32_t end, int amp, int flags, int pitch) {
    Bytes b;
    Add32(b, static_cast<uint32_t>(start));
    Add32(b, static_cast<uint32_t>(loop));
    Add32(b, static_cast<uint32_t>(end));
    b.push_back(static_cast<uint8_t>(amp));
    b.push_back(static_cast<uint8_t>(flags));
    Add16(b, static_cast<uint32_t>(pitch));
    // Natural envelope: attack, decay and release groups, each ended by a zero duration.
    for (auto [slope, dur] : {std::pair{0, 0}, {-6818, 0}, {-2046, 0}}) {
        Add16(b, static_cast<uint32_t>(slope));
        Add16(b, static_cast<uint32_t>(dur));
    }
    return b;
}

namespace {
Bytes Layer(int keymap, bool withModulator) {
    Bytes l;
    Add16(l, 0x0008);        // flags: ignore note off
    l.push_back(100);        // key high
    l.push_back(10);         // key low
    l.push_back(127);        // velocity high
    l.push_back(0);          // velocity low
    l.push_back(0xFE);       // timbre shift -2
    l.push_back(0x20 | 15);  // pan: fixed, centre
    l.push_back(3);          // exclusive zone
    l.push_back(0);
    Add16(l, static_cast<uint32_t>(keymap));
    Add16(l, 7);        // delay
    l.push_back(0x55);  // layer byte
    l.push_back(withModulator ? 1 : 0);
    if (withModulator) {
        // ENV id 2 with one segment per group.
        Bytes env{0x22, 14, 0x00, 127, 127, 127, 127, 64, 127, 0, 127, 50, 0, 0};
        l.insert(l.end(), env.begin(), env.end());
    }
    // Pitch block with one modulation entry.
    Bytes pitch{0xD0, 14, 0, 0, 0x34, 0x12, 2, 0xFB, 64, 1, 0xC0, 10, 20, 64};
    Bytes filter1{0xC3, 10, 3, 0, 0x40, 0x80, 0, 5, 0xF6, 0};
    Bytes filter2{0xC0, 4, 16, 0};
    Bytes amp{0xE0, 10, 16 | 5, 0, 232, 50, 0, 64, 0, 0};
    for (const Bytes* blk : {&pitch, &filter1, &filter2, &amp})
        l.insert(l.end(), blk->begin(), blk->end());
    return l;
}
}  // namespace

Bytes ProgramBody(int layers, int keymap, bool withModulators) {
    Bytes b{0x11, 0, static_cast<uint8_t>(layers), static_cast<uint8_t>(withModulators ? 1 : 0)};
    size_t table = b.size();
    b.resize(b.size() + 2 * static_cast<size_t>(layers));
    if (withModulators) {
        Bytes fun{0x43, 6, 0x81, 129, 127, 64};  // FUN id 3: (A+B)*C, flag bit set
        b.insert(b.end(), fun.begin(), fun.end());
    }
    for (int i = 0; i < layers; ++i) {
        Put16(b, table + 2 * static_cast<size_t>(i), static_cast<uint32_t>(b.size()));
        Bytes l = Layer(keymap, withModulators);
        b.insert(b.end(), l.begin(), l.end());
    }
    return b;
}

Bytes PbfImage::Build() const {
    Bytes f;
    AddText(f, magic, 32);
    AddText(f, kind, 32);
    Add16(f, static_cast<uint32_t>(format));
    if (format == 0x0100) {
        Bytes body;
        for (const auto* list : {&programs, &keymaps, &samples})
            for (const auto& r : *list)
                body.insert(body.end(), r.begin(), r.end());
        Bytes sh(192, 0);
        Put16(sh, 0, static_cast<uint32_t>(programs.size()));
        Put16(sh, 2, static_cast<uint32_t>(keymaps.size()));
        Put16(sh, 4, static_cast<uint32_t>(samples.size()));
        Put32(sh, 24, static_cast<uint32_t>(body.size()));
        f.insert(f.end(), sh.begin(), sh.end());
        f.insert(f.end(), body.begin(), body.end());
        return f;
    }
    f.resize(f.size() + 2 + 196, 0);
    const size_t sh = 68;
    size_t countAt = 0, offsetAt = 12;
    for (const auto* list : {&programs, &keymaps, &samples}) {
        Put16(f, sh + countAt, static_cast<uint32_t>(list->size()));
        Put32(f, sh + offsetAt, static_cast<uint32_t>(f.size()));
        for (const auto& r : *list)
            f.insert(f.end(), r.begin(), r.end());
        countAt += 2;
        offsetAt += 4;
    }
    for (size_t i = 0; i < comment.size() && i < 63; ++i)
        f[sh + 36 + i] = static_cast<uint8_t>(comment[i]);
    f.resize(f.size() + padBeforeWaves, 0);
    size_t waveAt = f.size();
    Put16(f, sh + 100, static_cast<uint32_t>(waves.size()));
    Put16(f, sh + 102, static_cast<uint32_t>(waveAt & 0xFFFF));
    Put16(f, sh + 104, truncateWaveOffset ? 0 : static_cast<uint32_t>(waveAt >> 16));
    for (const auto& w : waves) {
        Add32(f, static_cast<uint32_t>(w.path.size() + 17));
        Add16(f, static_cast<uint32_t>(w.base));
        f.push_back(static_cast<uint8_t>(w.bits));
        f.push_back(static_cast<uint8_t>(w.channel));
        Add32(f, w.rate);
        Add32(f, w.length);
        AddText(f, w.path, w.path.size() + 1);
    }
    Put16(f, sh + 106, static_cast<uint32_t>(links.size()));
    Put32(f, sh + 108, static_cast<uint32_t>(f.size()));
    for (const auto& l : links) {
        Add16(f, static_cast<uint32_t>(l.kind));
        Add16(f, static_cast<uint32_t>(l.linked));
        Add16(f, static_cast<uint32_t>(l.base));
    }
    return f;
}

}  // namespace talmeru::test
