#pragma once
// Builds packed objects and bank file images byte by byte, independently of the writers
// under test, so that readers are tested against the layout itself.
#include <cstdint>
#include <string>
#include <vector>

namespace talmeru::test {

using Bytes = std::vector<uint8_t>;

Bytes PackedObject(int type, int number, const std::string& name, const Bytes& body);

struct KeyEntry {
    int top;
    int amp;
    int sample;
};
Bytes KeymapBody(const std::vector<KeyEntry>& entries, int byteA = 0, int byteB = 127);
Bytes SampleBody(int32_t start, int32_t loop, int32_t end, int amp = 0, int flags = 2,
                 int pitch = 0);

// A program of `layers` identical simple layers, each playing `keymap`, with a FUN program
// modulator and an ENV layer modulator when asked.
Bytes ProgramBody(int layers, int keymap, bool withModulators = false);

struct WaveRecord {
    int base;
    int bits;
    int channel;
    uint32_t rate;
    uint32_t length;
    std::string path;
};
struct LinkRecord {
    int kind;
    int linked;
    int base;
};

struct PbfImage {
    std::string magic = "PINNACLE";
    std::string kind = "Bank";
    int format = 0x0102;
    std::string comment = "test bank";
    std::vector<Bytes> programs, keymaps, samples;
    std::vector<WaveRecord> waves;
    std::vector<LinkRecord> links;
    // Padding put before the wave-data section, to move it past 64 KiB.
    size_t padBeforeWaves = 0;
    // Store only the low 16 bits of the wave-data offset, as old releases did.
    bool truncateWaveOffset = false;

    Bytes Build() const;
};

}  // namespace talmeru::test
