#pragma once
// Wave data whose samples live in a file: the file lookup shared by every such kind (with
// the user's help when a file has moved), the raw MA-1 kind and merged blocks.
#include <memory>
#include <string>
#include <vector>

#include "model/WaveData.h"
#include "platform/FileUtil.h"

namespace talmeru {

// The folder where the user last located a missing sample file; tried for every later
// missing file until the program ends.
std::string WaveSearchDirectory();
void SetWaveSearchDirectory(const std::string& dir);

class FileWaveData : public WaveData {
  public:
    bool Equals(const WaveData& other) const override;
    int StorageClass() const override { return kFileLoaded; }
    int FormatTag() const override { return formatTag; }
    std::string DisplayName() const override { return path; }
    // The file can be opened and its header was read.
    int CheckSource() override;

    // Where the source begins inside its file.
    uint64_t fileOffset = 0;
    // Size of the source's data where the kind has one (raw MA-1 data).
    uint64_t dataSize = 0;
    // The WAVE format tag of a WAV source; -1 once its header could not be read.
    int formatTag = 0;
    // The file the lookup took because none was at the path asked for (as found, such as
    // "./x.wav"); empty when the file was where its path said, or the user pointed at it.
    std::string foundInstead;

  protected:
    // Reads `length` bytes from fileOffset of the file into data; 0, or 1 with the reason
    // shown.
    int ReadRawData();
    // The same bytes read in pieces (each pair of bytes swapped when swapPairs); none, with the
    // reason shown, when the file cannot be opened.
    std::unique_ptr<WaveDataReader> OpenRawReader(bool swapPairs);
    // Finds the file named wanted: as given, by its name in the current folder, in the
    // search folder, or (unless quiet) where the user points. Sets path (absolute) and
    // valid, and adds the "Full Sample" region after the caller has read the header.
    bool Locate(const std::string& wanted, bool quiet);
    void AddFullSampleRegion();
};

// Raw 16-bit little-endian PCM of a given size at an offset inside a file.
class Ma1WaveData : public FileWaveData {
  public:
    Ma1WaveData(const std::string& path, int base, uint64_t offset, uint64_t size, bool quiet);
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveMa1; }
    std::string FormatName() const override { return "MA1"; }
    int LoadData() override;
    std::unique_ptr<WaveDataReader> OpenReader() override;
};

// A compressed sample stream at an offset inside a file (a TMB bank file): 16-bit mono
// samples at 44100 Hz, decompressed whenever the data is loaded.
class CtmbWaveData : public FileWaveData {
  public:
    CtmbWaveData(const std::string& path, int base, uint64_t offset, bool quiet);
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveCtmb; }
    std::string FormatName() const override { return "CTMB"; }
    int LoadData() override;
    // Decodes a few hundred blocks at a time into out, so only out holds the whole data.
    bool ReadsInPlace() const override { return valid; }
    int ReadData(std::span<uint8_t> out) override;
    // Decodes a block at a time.
    std::unique_ptr<WaveDataReader> OpenReader() override;
};

}  // namespace talmeru
