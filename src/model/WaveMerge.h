#pragma once
// Merging the bank's RAM wave data into large blocks, so an upload sends a few big samples
// instead of many small ones.
#include <memory>
#include <string>
#include <vector>

#include "model/WaveData.h"

namespace talmeru {

class ZedoDatabase;

// Several wave data joined into one block.
class MergedWaveData : public WaveData {
  public:
    explicit MergedWaveData(int baseNumber);
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveMerged; }
    int StorageClass() const override { return kMergedStorage; }
    std::string DisplayName() const override { return name; }
    std::string FormatName() const override { return "mergePCM"; }
    // Each member's data followed by two zero bytes.
    int LoadData() override;

    std::string name;
    std::vector<std::unique_ptr<WaveData>> members;
};

// Rebuilds the bank's wave-data list into merged blocks of at most 1 MiB; the bank then
// cannot be saved as a Pinnacle Bank File.
void MergeWaveData(ZedoDatabase& db);

}  // namespace talmeru
