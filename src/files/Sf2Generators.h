#pragma once
// The SoundFont 2.01 generator numbers (the standard's section 8.1.2) that the import reads and
// the export writes, and the name by which the import knows the export's own files.
#include <cstdint>

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

}  // namespace talmeru::sf2
