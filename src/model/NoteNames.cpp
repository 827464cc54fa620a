#include "model/NoteNames.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/Format.h"

namespace talmeru {

namespace {

constexpr std::array<const char*, kPitchClasses> kClassNames = {" C", "C#", " D", "D#", " E", " F",
                                                                "F#", " G", "G#", " A", "A#", " B"};

int ClassOf(int key) {
    return ((key % kPitchClasses) + kPitchClasses) % kPitchClasses;
}

}  // namespace

const char* PitchClassName(int pitchClass) {
    if (pitchClass < 0 || pitchClass >= kPitchClasses) return "??";
    return kClassNames[static_cast<size_t>(pitchClass)];
}

std::string NoteName(int key) {
    const int octave = (key - ClassOf(key)) / kPitchClasses;
    return Fmt("%s%d", PitchClassName(ClassOf(key)), octave - 1);
}

bool IsBlackKey(int key) {
    const int c = ClassOf(key);
    return c == 1 || c == 3 || c == 6 || c == 8 || c == 10;
}

int NearestKey(double key) {
    // A root pitch from a damaged file may lie far outside any key.
    if (!std::isfinite(key)) return 0;
    key = std::clamp(key, -1e6, 1e6);
    const double k = std::floor(key);
    const int d = static_cast<int>(std::trunc((key - k) * 256.0));
    return static_cast<int>(k) + (d > 127 ? 1 : 0);
}

}  // namespace talmeru
