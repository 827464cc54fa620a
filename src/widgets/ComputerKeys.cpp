#include "widgets/ComputerKeys.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "model/NoteNames.h"

namespace talmeru {

namespace {

// The piano's rows as they lie on a QWERTY keyboard: white keys on the letter row, black keys
// on the row above, each row continuing a few keys into the next octave.
constexpr std::array<std::pair<char, int>, 17> kLowerRow = {{{'Z', 0},
                                                             {'S', 1},
                                                             {'X', 2},
                                                             {'D', 3},
                                                             {'C', 4},
                                                             {'V', 5},
                                                             {'G', 6},
                                                             {'B', 7},
                                                             {'H', 8},
                                                             {'N', 9},
                                                             {'J', 10},
                                                             {'M', 11},
                                                             {',', 12},
                                                             {'L', 13},
                                                             {'.', 14},
                                                             {';', 15},
                                                             {'/', 16}}};
constexpr std::array<std::pair<char, int>, 17> kUpperRow = {{{'Q', 12},
                                                             {'2', 13},
                                                             {'W', 14},
                                                             {'3', 15},
                                                             {'E', 16},
                                                             {'R', 17},
                                                             {'5', 18},
                                                             {'T', 19},
                                                             {'6', 20},
                                                             {'Y', 21},
                                                             {'7', 22},
                                                             {'U', 23},
                                                             {'I', 24},
                                                             {'9', 25},
                                                             {'O', 26},
                                                             {'0', 27},
                                                             {'P', 28}}};

int HighestOffset() {
    return kUpperRow.back().second;
}

}  // namespace

int ComputerKeys::Offset(int key) {
    if (key >= 'a' && key <= 'z') key = std::toupper(key);
    for (const auto& row : {kLowerRow, kUpperRow})
        for (const auto& [c, offset] : row)
            if (key == c) return offset;
    return -1;
}

int ComputerKeys::OctaveStep(int key) {
    switch (key) {
        case '-':
        case kPageDown:
            return -1;
        case '+':
        case '=':
        case kPageUp:
            return 1;
        default:
            return 0;
    }
}

std::vector<NoteEvent> ComputerKeys::Press(int key, bool autoRepeat, bool* handled) {
    const int step = OctaveStep(key);
    const int offset = Offset(key);
    if (handled) *handled = step != 0 || offset >= 0;
    if (autoRepeat) return {};
    if (step != 0) {
        SetBase(base_ + 12 * step);
        return {};
    }
    if (offset < 0 || held_.count(key)) return {};
    const int note = base_ + offset;
    if (note > 127) return {};
    held_[key] = note;
    return {{true, note}};
}

std::vector<NoteEvent> ComputerKeys::Release(int key, bool autoRepeat, bool* handled) {
    if (handled) *handled = OctaveStep(key) != 0 || Offset(key) >= 0;
    if (autoRepeat) return {};
    const auto it = held_.find(key);
    if (it == held_.end()) return {};
    const int note = it->second;
    held_.erase(it);
    return {{false, note}};
}

std::vector<NoteEvent> ComputerKeys::ReleaseAll() {
    std::vector<NoteEvent> events;
    for (const auto& [key, note] : held_)
        events.push_back({false, note});
    held_.clear();
    return events;
}

void ComputerKeys::SetBase(int base) {
    base_ = std::clamp(base - base % 12, kLowestBase, kHighestBase);
}

std::string ComputerKeys::RangeText() const {
    const int top = std::min(127, base_ + HighestOffset());
    auto name = [](int key) {
        std::string n = NoteName(key);
        n.erase(0, n.find_first_not_of(' '));
        return n;
    };
    return "Keys play " + name(base_) + " to " + name(top);
}

}  // namespace talmeru
