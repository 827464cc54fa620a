#pragma once
// The computer keyboard as a piano, without a window: two rows of letter and digit keys play
// two octaves (Z S X D C ... for the lower, Q 2 W 3 E ... for the upper), minus and plus (or
// Page Down and Page Up) move them an octave. A key's note is remembered while it is held, so
// its note-off matches its note-on even when the octave changes in between.
#include <map>
#include <string>
#include <vector>

#include "widgets/KeyboardLayout.h"

namespace talmeru {

class ComputerKeys {
  public:
    // Keys other than characters; character keys are their upper-case character (Qt's key
    // codes for letters, digits and punctuation are the same).
    static constexpr int kPageUp = 0x01000016;
    static constexpr int kPageDown = 0x01000017;
    static constexpr int kLowestBase = 0;
    static constexpr int kHighestBase = 108;

    // Semitones above the lower row's C that a key plays, or -1 for none.
    static int Offset(int key);
    // -1 or +1 for an octave key, else 0.
    static int OctaveStep(int key);

    // A key pressed: the note to start (none for an auto-repeat, a key already held, an octave
    // key or a key that plays nothing). handled: the key is one of ours.
    std::vector<NoteEvent> Press(int key, bool autoRepeat, bool* handled = nullptr);
    std::vector<NoteEvent> Release(int key, bool autoRepeat, bool* handled = nullptr);
    // Focus lost: every held note ends.
    std::vector<NoteEvent> ReleaseAll();

    // The MIDI key of the lower row's C, a multiple of 12.
    int Base() const { return base_; }
    void SetBase(int base);
    // "Keys play C3 to E5" for the status bar.
    std::string RangeText() const;

  private:
    int base_ = 48;
    std::map<int, int> held_;  // computer key -> MIDI key
};

}  // namespace talmeru
