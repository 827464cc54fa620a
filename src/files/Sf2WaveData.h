#pragma once
// Wave data over the whole sample chunk of a SoundFont 2 file. Every sample header imported
// from the file plays a stretch of it; the data is read only when it is used.
#include <optional>
#include <utility>
#include <vector>

#include "files/FileWaveData.h"
#include "platform/Riff.h"

namespace talmeru {

// The "smpl" chunk inside the "sdta" list of a SoundFont's "sfbk" form, or none.
std::optional<RiffChunk> FindSf2SampleChunk(const RiffReader& reader, const RiffChunk& sfbk);
// The bytes of the chunk that the file really holds (a size past the file's end is cut),
// at most what a wave data's length can count.
int32_t Sf2SampleBytes(const RiffChunk& smpl);

class Sf2WaveData : public FileWaveData {
  public:
    // Finds the file (see FileWaveData) and its sample chunk; a file without one leaves the
    // format tag at -1 after its message.
    Sf2WaveData(const std::string& path, int base, int channel, bool quiet);
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveSf2; }
    std::string FormatName() const override { return "SF2"; }
    int LoadData() override;
    std::unique_ptr<WaveDataReader> OpenReader() override;
    // The rate of the file's sample that holds `frame` (the last one that starts at or before
    // it), or the chunk's fixed 44100 Hz when no sample record gives one.
    int SampleRateAt(int64_t frame) const;

  private:
    void ReadHeader();
    void ReadRates(const RiffReader& reader, const RiffChunk& sfbk);

    std::vector<std::pair<uint32_t, int>> rates_;  // sample start (frame), rate; by start
};

}  // namespace talmeru
