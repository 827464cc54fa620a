#pragma once
// Wave data read from the sample block of a Kurzweil K2000 file (.krz, .k25): the whole
// block, or the stretch of it that one imported sample plays. The block holds big-endian
// 16-bit samples; they are swapped to the host's order when loaded.
#include <optional>

#include "files/FileWaveData.h"
#include "platform/Riff.h"

namespace talmeru {

// Where the sample block of a K2000 file begins (the big-endian word at byte 4 of its
// header), or none when the file is too short to have one.
std::optional<uint64_t> K2000SampleBlockOffset(const ByteSource& source);

// A stretch of the sample block: `size` bytes from byte `start` of the block, with loop
// start and end in frames from the stretch's start.
struct K2000Stretch {
    uint64_t start = 0;
    uint64_t size = 0;
    int32_t loopStart = 0;
    int32_t end = 0;
};

class K2000WaveData : public FileWaveData {
  public:
    // Finds the file (see FileWaveData) and reads where its sample block begins; without a
    // stretch the wave data covers the whole block. A file without a sample block leaves
    // the format tag at -1 after its message.
    K2000WaveData(const std::string& path, int base, int channel, bool quiet,
                  const std::optional<K2000Stretch>& stretch = std::nullopt);
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveK2000; }
    std::string FormatName() const override { return "K2000"; }
    // Stretches of one file are different sounds: they are equal only at the same place.
    bool Equals(const WaveData& other) const override;
    int LoadData() override;
    std::unique_ptr<WaveDataReader> OpenReader() override;

  private:
    void ReadHeader(const std::optional<K2000Stretch>& stretch);
};

}  // namespace talmeru
