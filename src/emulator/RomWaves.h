#pragma once
// The emulated ROM's sample memory: 8-bit signed data on the regions of the ROM sample
// directory, made in code (the real ROM's sound is not ours to ship) once per process, on a
// worker thread of its own so that no note waits for it.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/RomDirectory.h"

namespace talmeru::emulator {

// Starts making the image on its worker thread, unless it is made or under way already.
void PrepareRomWaves();
// kRomSampleLength + 1 bytes, shared by every emulator; waits for the worker if need be.
std::shared_ptr<const std::vector<int8_t>> RomWaves();
// The same image made afresh (RomWaves keeps the first): for measuring how long it takes.
std::vector<int8_t> MakeRomWaves();

// What a sample header says of the wave made on a region: the key, in semitones with a
// fraction, that a pitched region sounds at 44.1 kHz (its root, or near it when its loop could
// not hold the root in tune; 60 for the drums), and how fast in dB a second a ringing drum's
// loop should fade (0: its loop is silent).
double RomRecordedKey(const RomRegion& r);
double RomRingDbPerSecond(std::string_view name);

}  // namespace talmeru::emulator
