#pragma once
// The virtual keyboard's geometry and state without a window: where each key lies, which key
// a pixel hits, which keys sound, and the note events a mouse gesture makes.
#include <array>
#include <string>
#include <vector>

namespace talmeru {

inline constexpr int kOctaveWidth = 42;
inline constexpr int kUpperBottom = 15;
inline constexpr int kWhiteBottom = 28;

struct Span {
    int left = 0;
    int right = -1;  // inclusive; right < left for none
    bool Empty() const { return right < left; }
};

struct KeyShape {
    bool black = false;
    Span upper;  // y 0..15, offset by the octave column
    Span lower;  // y 15..28, white keys only
};

struct NoteEvent {
    bool on = false;
    int key = 0;
    bool operator==(const NoteEvent&) const = default;
};

class KeyboardLayout {
  public:
    // The key's spans in pixels, its octave column included.
    static KeyShape Shape(int key);
    int HitTest(int x, int y) const;
    int Width() const { return (highest_ / 12 + 1) * kOctaveWidth; }
    int Lowest() const { return lowest_; }
    int Highest() const { return highest_; }

    // Sounding flags, kept apart for the edit channel and the other channels so that each
    // can be shown in its own colour; keys outside 0..127 are ignored. True when the flag
    // changed.
    bool Mark(int key, bool on, bool editChannel = true);
    bool Sounding(int key) const { return SoundingOnEdit(key) || SoundingElsewhere(key); }
    bool SoundingOnEdit(int key) const { return key >= 0 && key < 128 && edit_[key]; }
    bool SoundingElsewhere(int key) const { return key >= 0 && key < 128 && other_[key]; }

    // Mouse gestures: the note events to report.
    std::vector<NoteEvent> Press(int x, int y);
    std::vector<NoteEvent> Move(int x, int y, bool buttonHeld);
    std::vector<NoteEvent> Release();
    int Held() const { return held_; }

  private:
    int lowest_ = 0;
    int highest_ = 127;
    int held_ = -1;
    std::array<bool, 128> edit_{};
    std::array<bool, 128> other_{};
};

}  // namespace talmeru
