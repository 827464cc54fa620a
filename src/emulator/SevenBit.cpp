#include "emulator/SevenBit.h"

namespace talmeru::emulator {

std::vector<uint8_t> Encode7(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    out.reserve((bytes.size() * 8 + 6) / 7);
    uint32_t bits = 0;  // pending bits, right-aligned
    int count = 0;
    for (uint8_t b : bytes) {
        bits = (bits << 8) | b;
        count += 8;
        while (count >= 7) {
            count -= 7;
            out.push_back(uint8_t((bits >> count) & 0x7F));
        }
        bits &= (1u << count) - 1;
    }
    if (count > 0) out.push_back(uint8_t((bits << (7 - count)) & 0x7F));
    return out;
}

std::vector<uint8_t> Decode7(std::span<const uint8_t> packed) {
    std::vector<uint8_t> out;
    out.reserve(packed.size() * 7 / 8);
    uint32_t bits = 0;
    int count = 0;
    for (uint8_t b : packed) {
        bits = (bits << 7) | (b & 0x7F);
        count += 7;
        if (count >= 8) {
            count -= 8;
            out.push_back(uint8_t(bits >> count));
            bits &= (1u << count) - 1;
        }
    }
    return out;
}

}  // namespace talmeru::emulator
