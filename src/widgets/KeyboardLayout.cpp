#include "widgets/KeyboardLayout.h"

#include <algorithm>

#include "model/NoteNames.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

constexpr std::array<Span, 12> kUpper = {{{0, 3},
                                          {4, 7},
                                          {8, 9},
                                          {10, 13},
                                          {14, 17},
                                          {18, 20},
                                          {21, 24},
                                          {25, 27},
                                          {28, 31},
                                          {32, 34},
                                          {35, 38},
                                          {39, 41}}};
constexpr std::array<Span, 12> kLower = {{{0, 5},
                                          {0, -1},
                                          {6, 11},
                                          {0, -1},
                                          {12, 17},
                                          {18, 23},
                                          {0, -1},
                                          {24, 29},
                                          {0, -1},
                                          {30, 35},
                                          {0, -1},
                                          {36, 41}}};

Span Offset(Span s, int by) {
    return s.Empty() ? s : Span{s.left + by, s.right + by};
}

}  // namespace

KeyShape KeyboardLayout::Shape(int key) {
    const int column = (key / 12) * kOctaveWidth;
    return {IsBlackKey(key), Offset(kUpper[key % 12], column), Offset(kLower[key % 12], column)};
}

int KeyboardLayout::HitTest(int x, int y) const {
    if (x < 0) return lowest_;
    const auto& spans = y > kUpperBottom ? kLower : kUpper;
    const int within = x % kOctaveWidth;
    for (int pc = 0; pc < 12; ++pc) {
        if (!spans[pc].Empty() && within >= spans[pc].left && within <= spans[pc].right)
            return std::min(pc + (x / kOctaveWidth) * 12, highest_);
    }
    return highest_;
}

bool KeyboardLayout::Mark(int key, bool on, bool editChannel) {
    if (key < 0 || key > 127) return false;
    bool& flag = editChannel ? edit_[key] : other_[key];
    if (flag == on) return false;
    flag = on;
    return true;
}

std::vector<NoteEvent> KeyboardLayout::Press(int x, int y) {
    held_ = HitTest(x, y);
    Mark(held_, true);
    return {{true, held_}};
}

std::vector<NoteEvent> KeyboardLayout::Move(int x, int y, bool buttonHeld) {
    if (held_ < 0) return {};
    if (!buttonHeld) return Release();
    const int key = HitTest(x, y);
    if (key == held_) return {};
    const int old = held_;
    Mark(old, false);
    Mark(key, true);
    held_ = key;
    return {{false, old}, {true, key}};
}

std::vector<NoteEvent> KeyboardLayout::Release() {
    if (held_ < 0) return {};
    const int key = held_;
    Mark(key, false);
    held_ = -1;
    return {{false, key}};
}

}  // namespace talmeru
