#pragma once
// The MIDI channel display's cells without a window: sounding-note counts per channel, the
// current edit channel, and each cell's place.
#include <array>
#include <string>

namespace talmeru {

struct CellRect {
    int left, top, right, bottom;  // right and bottom exclusive
};

class ChannelCounts {
  public:
    static constexpr int kCellPitch = 20;
    static CellRect Cell(int channel) {
        return {kCellPitch * channel, 2, kCellPitch * channel + 17, 20};
    }
    static std::string Label(int channel) { return std::to_string(channel + 1); }

    // Counts never fall below 0. Channels outside 0..15 are ignored.
    void Add(int channel, int delta) {
        if (channel < 0 || channel > 15) return;
        counts_[channel] = counts_[channel] + delta < 0 ? 0 : counts_[channel] + delta;
    }
    int Count(int channel) const { return counts_[channel]; }
    void SetCurrent(int channel) { current_ = channel; }
    int Current() const { return current_; }

  private:
    std::array<int, 16> counts_{};
    int current_ = 0;
};

}  // namespace talmeru
