#pragma once
// The sample directory of the MA-1's factory ROM: 281 regions of its sample memory, in
// frames (one byte each: the ROM holds 8-bit K8 data). The bank model names ROM sample
// headers by it and the emulator builds its factory ROM on it, so both share this table.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace talmeru {

struct RomRegion {
    std::string_view name;
    int32_t start;
    int32_t loopStart;
    int32_t end;
};

inline constexpr int kRomRegionCount = 281;
inline constexpr int32_t kRomSampleLength = 0x1FFFFF;
// The ROM's 8-bit data plays at 44.1 kHz on its root key.
inline constexpr double kRomSampleRate = 44100;

std::span<const RomRegion> RomDirectory();
// The MIDI key a region's name begins with ("C#4-gm piano": 61); none for the drums.
std::optional<int> RomRootKey(std::string_view name);
// The region whose three offsets match exactly, or nullptr.
const RomRegion* FindRomRegion(int32_t start, int32_t loopStart, int32_t end);

}  // namespace talmeru
