#pragma once
// A SoundFont's articulation data (the "pdta" list) read whole into presets, instruments and
// their zones, with every generator of each zone, and its sample records: what a conversion by
// presets works from. Every index is checked; what points past its table is marked, not
// followed.
#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteIO.h"

namespace talmeru {

class RiffReader;
struct RiffChunk;

namespace sf2 {

// Generators 0..60 of the SoundFont 2.01 standard.
inline constexpr int kGeneratorCount = 61;

struct GeneratorSet {
    std::array<int16_t, kGeneratorCount> amount{};
    std::bitset<kGeneratorCount> present;
    bool Has(int op) const { return op >= 0 && op < kGeneratorCount && present[size_t(op)]; }
    int16_t Get(int op, int16_t fallback) const {
        return Has(op) ? amount[size_t(op)] : fallback;
    }
    void Set(int op, int16_t value) {
        amount[size_t(op)] = value;
        present.set(size_t(op));
    }
    // The low and high byte of a range generator, or 0..127.
    int Low(int op) const { return Has(op) ? amount[size_t(op)] & 0xFF : 0; }
    int High(int op) const { return Has(op) ? (uint16_t(amount[size_t(op)]) >> 8) & 0xFF : 127; }
};

// A SoundFont modulator as a zone lists it.
struct ModulatorRecord {
    uint16_t src = 0, dest = 0;
    int16_t amount = 0;
    uint16_t amountSrc = 0, transform = 0;
};

struct HydraZone {
    GeneratorSet gens;
    std::vector<ModulatorRecord> mods;
    // The instrument (of a preset zone) or the sample (of an instrument zone) it names; -1
    // for a global zone.
    int target = -1;
};

struct HydraPreset {
    std::string name;
    int preset = 0, bank = 0;
    HydraZone global;  // the standard's global zone, or an empty one
    std::vector<HydraZone> zones;
    bool corrupt = false;  // its zone list points outside its tables
};

struct HydraInstrument {
    std::string name;
    HydraZone global;
    std::vector<HydraZone> zones;
    bool corrupt = false;
};

struct SampleRecord {
    std::string name;
    uint32_t start = 0, end = 0, loopStart = 0, loopEnd = 0, rate = 0;
    int key = 60;
    int correction = 0;
    int link = 0;  // the other half of a stereo pair
    int type = 0;
    bool usable = true;  // false when its data cannot be played (a damaged stream)
};

// Sample types: the halves of a stereo pair, samples in a sound card's ROM.
inline constexpr int kSampleRight = 2, kSampleLeft = 4, kSampleRom = 0x8000;

struct Hydra {
    std::vector<HydraPreset> presets;
    std::vector<HydraInstrument> instruments;
    std::vector<SampleRecord> samples;
};

// One 10-byte pmod or imod record.
ModulatorRecord ReadModulatorRecord(ByteReader r);
// One 46-byte shdr record.
SampleRecord ReadSampleRecord(ByteReader r);

// Reads the pdta list. False, with `error` set, when one of its tables is missing or cut short.
bool ReadHydra(const RiffReader& reader, const RiffChunk& pdta, Hydra& out, std::string& error);

}  // namespace sf2
}  // namespace talmeru
