#pragma once
// The emulated ROM's sample memory: 8-bit signed data on the regions of the ROM sample
// directory, made in code (the real ROM's sound is not ours to ship) once per process, on a
// worker thread of its own so that no note waits for it.
#include <cstdint>
#include <memory>
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
// not hold the root in tune; 60 for the drums).
double RomRecordedKey(const RomRegion& r);

// A stretch of a natural envelope: a slope for so many frames of the sample as it plays at its
// recorded pitch; frames 0 goes on for as long as the note is held.
struct NaturalStretch {
    double dbPerSecond;
    int32_t frames;
};
// How a region's level goes while its note is held, on top of what its wave does: a struck or
// plucked tone falls, faster up the keyboard, a sustained one holds; a drum is cut after its
// hit unless its loop rings on, fading as the instrument would.
std::vector<NaturalStretch> RomHeldEnvelope(const RomRegion& r);

}  // namespace talmeru::emulator
