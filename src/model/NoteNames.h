#pragma once
// Key numbers as musicians name them, shared by every window that shows notes: the keyboard,
// the key matrix, the sample editor, the spectrum and the wizards.
#include <string>

namespace talmeru {

inline constexpr int kPitchClasses = 12;

// " C", "C#", " D", ... " B"; "??" outside 0..11.
const char* PitchClassName(int pitchClass);
// Key k as "%s%d": the pitch class of k mod 12, then the octave floor(k / 12) - 1 (60 is
// " C4"). Octaves are floored so that keys below 0 (frequencies under 8 Hz) keep a class.
std::string NoteName(int key);
// Any key number, also below 0 or above 127, has its pitch class.
bool IsBlackKey(int key);
// The nearest key of a fractional key number, as the note texts round it.
int NearestKey(double key);

}  // namespace talmeru
