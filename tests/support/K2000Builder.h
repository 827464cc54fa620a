#pragma once
// Builds Kurzweil K2000 (.krz) files byte by byte (big-endian throughout), and the small
// MA-1 ROM bank that a K2000 import starts from.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace talmeru {
class ZedoDatabase;
}

namespace talmeru::test {

using Bytes = std::vector<uint8_t>;

// Object types.
inline constexpr int kKrzProgram = 0x9000;
inline constexpr int kKrzKeymap = 0x9400;
inline constexpr int kKrzSample = 0x9800;

struct KrzObject {
    int type;  // kind | number
    std::string name;
    Bytes body;
};

// A program segment: its tag, then the given bytes at their positions, zeros elsewhere.
Bytes Segment(int tag, const std::map<int, int>& bytes = {});
// A program body: `layers` in byte 2, the segments from offset 16.
Bytes KrzProgramBody(int layers, const std::vector<Bytes>& segments);
// A layer segment for keys low..high and the keymap segment that plays keymap.
std::vector<Bytes> KrzLayer(int keymap, int low = 0, int high = 127);

// A keymap with one sample number per key (flags bit 1 set), each entry entrySize bytes with
// the number at position `at` (flags bits 2-4 say where).
Bytes KrzKeymapBody(const std::vector<int>& keySamples, int flags = 0x02, int entrySize = 2);
// A keymap that plays one sample on every key (flags bit 1 clear).
Bytes KrzSingleKeymapBody(int sample);

struct KrzSampleHeader {
    int root = 60;
    int flags = 0x10;                            // RAM, forward loop
    uint32_t start = 0, loopStart = 0, end = 0;  // in words of the sample block
    uint32_t period = 22676;                     // nanoseconds (44100 Hz)
};
Bytes KrzSampleBody(const std::vector<KrzSampleHeader>& headers);

struct KrzPlan {
    std::vector<KrzObject> objects;
    Bytes sampleData;  // as stored (big-endian words)
    Bytes Build() const;
};

// 16-bit samples as a K2000 file stores them.
Bytes BigEndianPcm(const std::vector<int16_t>& samples);

// A ROM bank with sample headers 0-2 (1 and 2 a stereo pair) and keymaps at the MA-1
// numbers 0, 1, 2 and 44, named "Grand Piano", "Strings", "Elec Piano" and "Organ".
void BuildRomBank(ZedoDatabase& rom);

}  // namespace talmeru::test
