#pragma once
// One channel of wave data as 16-bit frames, with its min/max peaks at block sizes of 16, 64,
// 256 ... frames, built once, so that any span of any length draws from a level with a few
// blocks per pixel column. The sample view, Find Loop and Detect Pitch read the same frames.
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace talmeru {

class WaveData;

struct WavePeak {
    int16_t min = 0;
    int16_t max = 0;
};

class WavePeaks {
  public:
    static constexpr int kFirstBlock = 16;
    static constexpr int kBlockGrowth = 4;

    WavePeaks() = default;
    explicit WavePeaks(std::vector<int16_t> frames);
    // Data as wave data holds it: 8-bit signed (scaled to 16 bits) or 16-bit little-endian.
    static std::vector<int16_t> Decode(std::span<const uint8_t> data, int bytesPerFrame);

    int64_t Frames() const { return static_cast<int64_t>(frames_.size()); }
    std::span<const int16_t> Data() const { return frames_; }
    int Levels() const { return static_cast<int>(levels_.size()); }

    // The min and max of each of `columns` equal parts of frames [from, to); parts beyond the
    // data are empty (0, 0). A part may take in up to one block more on each side.
    std::vector<WavePeak> Columns(double from, double to, int columns) const;

  private:
    WavePeak Raw(int64_t from, int64_t to) const;
    std::vector<int16_t> frames_;
    std::vector<std::vector<WavePeak>> levels_;  // level k: blocks of 16 * 4^k frames
};

// Decoded wave data and its peaks, per wave data, made on first use. A wave data that cannot
// be read is remembered too, so that its reason is shown once.
class WavePeakCache {
  public:
    // None for ROM, invalid or unreadable wave data.
    std::shared_ptr<const WavePeaks> Get(WaveData& wave);
    void Clear() { entries_.clear(); }

  private:
    using Key = std::tuple<const WaveData*, std::string, int, int64_t>;
    std::map<Key, std::shared_ptr<const WavePeaks>> entries_;
};

}  // namespace talmeru
