#pragma once
// What the voice engine plays from: the synthesizer's objects at one moment, unpacked, and
// the sample data behind them. Immutable once built, so the audio thread reads it without
// locks while the control thread builds the next one.
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace talmeru {
class Program;
class Keymap;
class SampleHeader;
}  // namespace talmeru

namespace talmeru::voice {

using SampleBytes = std::shared_ptr<const std::vector<uint8_t>>;

// A sample header resolved to the data it plays: the bytes its offsets point into.
struct PlayableSample {
    std::shared_ptr<const SampleHeader> header;
    // 16-bit little-endian or 8-bit signed data, by the header's 16-bit flag; empty when
    // the header has nothing to play.
    std::span<const uint8_t> data;
};

class BankImage {
  public:
    const Program* FindProgram(int number) const;
    const Keymap* FindKeymap(int number) const;
    const PlayableSample* FindSample(int number) const;

    class Builder;

  private:
    std::map<int, std::shared_ptr<const Program>> programs_;
    std::map<int, std::shared_ptr<const Keymap>> keymaps_;
    std::map<int, PlayableSample> samples_;
    // Keeps the data that samples_' spans point into alive.
    std::vector<SampleBytes> owned_;
    std::shared_ptr<const std::vector<int8_t>> rom_;
};

// Unpacks packed objects (22-byte header and body, as the synthesizer stores them) quietly:
// an object that does not unpack is left out, and nothing asks the user.
class BankImage::Builder {
  public:
    // The ROM's sample memory, which ROM sample headers (no data of their own) play.
    explicit Builder(std::shared_ptr<const std::vector<int8_t>> romWaves);
    void AddObject(std::span<const uint8_t> block);
    // RAM sample data held under a sample number; headers aliased to it play it too.
    void AddSampleData(int number, SampleBytes data);
    void AddAlias(int alias, int primary);
    std::shared_ptr<const BankImage> Build();

  private:
    std::unique_ptr<BankImage> image_;
    std::map<int, SampleBytes> data_;
    std::map<int, int> aliases_;
};

}  // namespace talmeru::voice
