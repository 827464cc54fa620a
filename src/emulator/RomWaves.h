#pragma once
// The emulated ROM's sample memory: 8-bit signed data on the regions of the ROM sample
// directory, made in code (the real ROM's sound is not ours to ship) once per process, on a
// worker thread of its own so that no note waits for it.
#include <cstdint>
#include <memory>
#include <vector>

namespace talmeru::emulator {

// Starts making the image on its worker thread, unless it is made or under way already.
void PrepareRomWaves();
// kRomSampleLength + 1 bytes, shared by every emulator; waits for the worker if need be.
std::shared_ptr<const std::vector<int8_t>> RomWaves();
// The same image made afresh (RomWaves keeps the first): for measuring how long it takes.
std::vector<int8_t> MakeRomWaves();

}  // namespace talmeru::emulator
