#pragma once
// The emulated ROM's sample memory: 8-bit signed data on the regions of the ROM sample
// directory, made in code at first use (the real ROM's sound is not ours to ship).
#include <cstdint>
#include <memory>
#include <vector>

namespace talmeru::emulator {

// kRomSampleLength + 1 bytes, shared by every emulator.
std::shared_ptr<const std::vector<int8_t>> RomWaves();
// The same image made afresh (RomWaves keeps the first): for measuring how long it takes.
std::vector<int8_t> MakeRomWaves();

}  // namespace talmeru::emulator
