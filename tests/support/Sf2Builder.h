#pragma once
// Builds SoundFont 2 files byte by byte, with the record layouts of the SoundFont 2.01
// standard, for the importer's tests and benchmark.
#include <cstdint>
#include <string>
#include <vector>

namespace talmeru::test {

// Generator numbers of the SoundFont 2.01 standard, written out here so that the tests do not
// take them from the code they test.
namespace sf2gen {
enum : int {
    kInitialFilterFc = 8,
    kInitialFilterQ = 9,
    kModEnvToFilterFc = 11,
    kPan = 17,
    kModLfoFreq = 22,
    kVibLfoFreq = 24,
    kModEnvDelay = 25,
    kModEnvAttack = 26,
    kModEnvHold = 27,
    kModEnvDecay = 28,
    kModEnvSustain = 29,
    kModEnvRelease = 30,
    kVolEnvDelay = 33,
    kVolEnvAttack = 34,
    kVolEnvHold = 35,
    kVolEnvDecay = 36,
    kVolEnvSustain = 37,
    kVolEnvRelease = 38,
    kInstrumentGen = 41,
    kKeyRange = 43,
    kVelRange = 44,
    kAttenuation = 48,
    kCoarse = 51,
    kFine = 52,
    kSampleId = 53,
    kSampleModes = 54,
    kExclusiveClass = 57,
    kRootKey = 58,
};
}  // namespace sf2gen

struct Sf2Gen {
    uint16_t op;
    uint16_t amount;
};
Sf2Gen Gen(int op, int amount);
// A range amount: low byte the low end, high byte the high end.
Sf2Gen RangeGen(int op, int low, int high);

// A modulator: source, destination generator, amount, amount source (transform linear).
struct Sf2Mod {
    uint16_t src, dest;
    int16_t amount;
    uint16_t amountSrc = 0;
};

struct Sf2Zone {
    std::vector<Sf2Gen> gens;
    std::vector<Sf2Mod> mods = {};
};

struct Sf2Instrument {
    std::string name;
    std::vector<Sf2Zone> zones;
};

// A preset: its zones name instruments with a last generator kInstrumentGen.
struct Sf2Preset {
    std::string name;
    int preset = 0, bank = 0;
    std::vector<Sf2Zone> zones;
};

struct Sf2Sample {
    std::string name;
    uint32_t start = 0, end = 0, loopStart = 0, loopEnd = 0;
    uint32_t rate = 44100;
    int key = 60;
    int correction = 0;
    int link = 0;
    int type = 1;  // mono; 0x8000 and up: ROM
};

struct Sf2Plan {
    int major = 2;  // of the INFO "ifil" version; 3 for Ogg Vorbis samples
    int presets = 1;
    // When given, written in place of `presets` empty ones.
    std::vector<Sf2Preset> presetList;
    std::vector<Sf2Instrument> instruments;
    std::vector<Sf2Sample> samples;
    std::vector<uint8_t> sampleData;  // the "smpl" chunk
    // Chunk ids left out of the file ("phdr", "igen", "smpl", "sdta", "pdta", ...).
    std::vector<std::string> leaveOut;

    std::vector<uint8_t> Build() const;
    // Writes the file with a sample chunk of sampleBytes bytes that are never held in
    // memory (a hole in the file) in place of sampleData.
    bool WriteWithHole(const std::string& path, uint64_t sampleBytes) const;
};

// The points encoded by libsndfile as a mono Ogg Vorbis stream at that rate, as a SoundFont 3
// file holds each sample.
std::vector<uint8_t> OggVorbis(const std::vector<int16_t>& points, int rate);

// Where the data of the first chunk with this id starts in a built image, for patching.
size_t ChunkDataAt(const std::vector<uint8_t>& image, const std::string& id);

}  // namespace talmeru::test
