#pragma once
// Wave data read from a RIFF WAVE file, or from a RIFF WAVE image at an offset inside
// another file; compressed formats are decoded to 16-bit PCM. Also the WAV writer.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "files/FileWaveData.h"

namespace talmeru {

class ByteSink;
class FileSource;
struct RiffChunk;

class ByteWriter;

std::string WavFormatName(int tag);

class WavWaveData : public FileWaveData {
  public:
    // Finds the file (see FileWaveData) and reads the header; a header that cannot be read
    // leaves the format tag at -1 after its message.
    WavWaveData(const std::string& path, int base, int channel, bool quiet, uint64_t offset = 0);
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveWav; }
    std::string FormatName() const override { return WavFormatName(formatTag); }
    int LoadData() override;
    // Read a block of frames at a time; encodings other than 8/16-bit PCM are decoded as they
    // go.
    bool ReadsInPlace() const override;
    int ReadData(std::span<uint8_t> out) override;
    std::unique_ptr<WaveDataReader> OpenReader() override;

    // Reads the header again from the file; 0 on success.
    int ReadHeader();

    std::vector<uint8_t> fmtChunk;
    std::array<uint8_t, 7> inst{};
    bool hasInst = false;
    std::vector<uint8_t> smpl;  // at most 420 bytes
    bool hasSmpl = false;
    int channels = 0;

  private:
    // The file opened at its WAVE form and data chunk; none, with the reason shown.
    std::unique_ptr<FileSource> OpenData(RiffChunk& riff, RiffChunk& dataChunk) const;
    // A reader of plain PCM data; none, with the reason shown.
    std::unique_ptr<WaveDataReader> OpenPcm(std::unique_ptr<FileSource> src,
                                            const RiffChunk& dataChunk) const;
    // The interleaved channel this wave data takes.
    int Which() const { return channel == kRightChannel ? 1 : 0; }
};

// Writes a WAV file (mono, or stereo with right as the right channel) with "smpl" and INFO
// chunks into out, the wave data read from their sources in pieces; the data is released
// afterwards. False on a failure, with shown set when the reason has been shown
// (the data cannot be read); else the sink failed.
bool WriteWav(ByteSink& out, WaveData& left, WaveData* right, bool& shown);
// The same as a file image appended to out: 0 on success, 1 with the reason shown.
int WriteWav(ByteWriter& out, WaveData& left, WaveData* right);

}  // namespace talmeru
