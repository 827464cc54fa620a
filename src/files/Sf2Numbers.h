#pragma once
// The SoundFont 2.01 numbers that the import reads and the export writes (generators, the
// standard's section 8.1.2, and modulator sources, 8.2.1), how the MA-1's sources, route depths
// and tracking map onto them in the voice engine's units (one table for both ways), and the
// name by which the import knows the export's own files.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/Ma1Units.h"
#include "model/ModSource.h"

namespace talmeru::sf2 {

enum Generator : uint16_t {
    kModLfoToPitch = 5,
    kVibLfoToPitch = 6,
    kModEnvToPitch = 7,
    kInitialFilterFc = 8,
    kInitialFilterQ = 9,
    kModLfoToFilterFc = 10,
    kModEnvToFilterFc = 11,
    kModLfoToVolume = 13,
    kPan = 17,
    kModLfoDelay = 21,
    kModLfoFreq = 22,
    kVibLfoDelay = 23,
    kVibLfoFreq = 24,
    kModEnvDelay = 25,  // then attack, hold, decay, sustain, release
    kModEnvSustain = 29,
    kModEnvRelease = 30,
    kVolEnvDelay = 33,  // then attack, hold, decay, sustain, release
    kVolEnvSustain = 37,
    kVolEnvRelease = 38,
    kInstrument = 41,
    kKeyRange = 43,
    kVelRange = 44,
    kInitialAttenuation = 48,
    kCoarseTune = 51,
    kFineTune = 52,
    kSampleId = 53,
    kSampleModes = 54,
    kExclusiveClass = 57,
    kOverridingRootKey = 58,
};

// The export's INFO "ISFT": a file that says exactly this was written by Talmeru, so its
// presets are the bank's programs and its instruments their layers.
inline constexpr const char* kSoftware = "Talmeru";

// Where a program lies in a SoundFont. Programs 128..255 are the drum kits: the voice engine
// plays 128 on the percussion channel and picks among 128..255 there, as the players pick among
// bank 128's presets; the other programs lie in bank number / 128. Bank 1 of older exports
// still reads back as the kits.
inline constexpr int kPercussionBank = 128;
struct BankPreset {
    int bank = 0, preset = 0;
};
inline BankPreset BankPresetOf(int program) {
    if (program >= 128 && program < 256) return {kPercussionBank, program - 128};
    return {program / 128, program % 128};
}
inline int ProgramOf(int bank, int preset) {
    return (bank == kPercussionBank ? 1 : bank) * 128 + preset;
}

// Times in timecents, frequencies in absolute cents (0 at 8.176 Hz), both ways.
inline double SecondsOf(int timecents) {
    return std::exp2(timecents / 1200.0);
}
inline int Timecents(double seconds) {
    if (seconds < 0.001) return -12000;
    return static_cast<int>(std::clamp(std::lround(1200.0 * std::log2(seconds)), -12000L, 8000L));
}
inline double HzOf(int absoluteCents) {
    return 8.176 * std::exp2(absoluteCents / 1200.0);
}
inline int AbsoluteCents(double hz) {
    if (hz <= 0) return -16000;
    return static_cast<int>(std::lround(1200.0 * std::log2(hz / 8.176)));
}

// A SoundFont decay or release falls the whole 96 dB travel in its time, from wherever the
// note is; an MA-1 segment moves from where the note is to its level in its time. A release
// segment therefore gets the share of the travel a note still has to fall when it is released
// a typical second into its decay (all of it for a note that has not begun to fall).
inline constexpr double kTypicalHoldSeconds = 1.0;
inline double ReleaseShare(double decaySeconds, double drop) {
    const double fallen =
        decaySeconds > 0 ? std::min(drop, kTypicalHoldSeconds / decaySeconds) : drop;
    return std::clamp(1.0 - fallen, 0.05, 1.0);
}

// Modulator source operators: the controller index, and the bits that make it a MIDI
// controller, run it from its maximum down, swing it -1..1 and follow the concave curve.
inline constexpr uint16_t kSrcController = 0x0080, kSrcNegative = 0x0100, kSrcBipolar = 0x0200,
                          kSrcConcave = 0x0400, kSrcSwitch = 0x0C00;
inline constexpr uint16_t kSrcVelocity = 2, kSrcKey = 3, kSrcChannelPressure = 13,
                          kSrcPitchWheel = 14;
// The players' own velocity curve, which a default modulator applies to the attenuation.
inline constexpr uint16_t kSrcVelocityCurve = kSrcVelocity | kSrcNegative | kSrcConcave;
// Velocity swinging -1..1, as the filter's velocity tracking hears it.
inline constexpr uint16_t kSrcVelocityBipolar = kSrcVelocity | kSrcBipolar;

// The SoundFont source that gives what an MA-1 source gives the voice engine (controllers
// 0..1, the bend -1..1, key and velocity /127), or 0 (the SoundFont's "no controller") when it
// has none.
inline uint16_t SourceOf(uint8_t code) {
    const int n = code & 0x0F;
    switch (ClassifySource(code)) {
        case SourceClass::kController:
            // Data entry (6) is no modulator source in a SoundFont.
            if (n == 0) return kSrcPitchWheel | kSrcBipolar;
            return n == 6 ? 0 : uint16_t(kSrcController | n);
        case SourceClass::kGlobalSource:
            return n == 0 ? kSrcChannelPressure : 0;
        case SourceClass::kNoteProperty:
            if (n == 0) return kSrcKey;
            if (n == 1) return kSrcVelocity;
            return n == 7 ? uint16_t(kSrcVelocity | kSrcNegative) : 0;
        default:
            return 0;
    }
}

// The MA-1 source a SoundFont source stands for (the inverse of SourceOf), or 0 for none.
inline uint8_t Ma1SourceOf(uint16_t src) {
    if (src == (kSrcPitchWheel | kSrcBipolar)) return 0x80;
    if ((src & ~0x0F) == kSrcController && (src & 0x0F) != 0) return static_cast<uint8_t>(src);
    switch (src) {
        case kSrcChannelPressure:
            return 0xB0;
        case kSrcKey:
            return 0xD0;
        case kSrcVelocity:
            return 0xD1;
        case kSrcVelocity | kSrcNegative:
            return 0xD7;  // velocity, inverted
        default:
            return 0;
    }
}

// A route's amount per depth step into the generator it moves.
inline constexpr double kPitchCentsPerDepth = units::kPitchCentsPerDepth;
inline constexpr double kFilterCentsPerDepth = 100.0 * units::kFilterSemitonesPerDepth;
inline constexpr double kAttenuationCbPerDepth = 10.0 * units::kAmpRangeDb / 127.0;

// The Amp velocity tracking whose curve the players apply when no modulator replaces it.
inline constexpr int kPlayersVelocityTracking = 64;

// Tracking as modulators, per step of the block's tracking: the modulator's amount, and for key
// tracking (measured from key 60, where a key source is 0 at key 0) what it adds at key 0.
// Amp velocity tracking T gives T/64 x 40 log10(velocity/127) dB, the players' own 960 cB
// curve scaled by T/64.
inline constexpr double kAmpVelocityCbPerStep = 960.0 / 64;
inline constexpr double kAmpKeyCbPerStep = -10.0 * 127 / 64;
inline constexpr double kAmpKeyOffsetCbPerStep = 10.0 * 60 / 64;
// Filter velocity tracking swings 48 semitones x T/127 about velocity 64; key tracking moves
// T/64 semitones a key.
inline constexpr double kFilterVelocityCentsPerStep = 4800.0 / 127;
inline constexpr double kFilterKeyCentsPerStep = 100.0 * 127 / 64;
inline constexpr double kFilterKeyOffsetCentsPerStep = -100.0 * 60 / 64;

}  // namespace talmeru::sf2
