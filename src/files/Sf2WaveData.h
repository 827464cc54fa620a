#pragma once
// Wave data over the whole sample chunk of a SoundFont 2 file. Every sample header imported
// from the file plays a stretch of it; the data is read only when it is used. In a SoundFont 3
// file, whose samples are Ogg Vorbis streams, the wave data is the decoded samples instead,
// laid end to end in the order of the sample records.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/FileWaveData.h"
#include "files/Sf2Hydra.h"
#include "platform/Riff.h"

namespace talmeru {

class ConversionLog;

// Sample type bit of a sample whose data is an Ogg Vorbis stream.
constexpr int kSf2VorbisSample = 0x10;

// The "smpl" chunk inside the "sdta" list of a SoundFont's "sfbk" form, or none.
std::optional<RiffChunk> FindSf2SampleChunk(const RiffReader& reader, const RiffChunk& sfbk);
// The "pdta" list of a SoundFont's "sfbk" form, or none. Some writers (MuseScore's SoundFont 3
// files) leave out the pad byte after an odd-sized "sdta" list: its "pdta" is found there too.
std::optional<RiffChunk> FindSf2PresetData(const RiffReader& reader, const RiffChunk& sfbk);
// The bytes of the chunk that the file really holds (a size past the file's end is cut),
// at most what a wave data's length can count.
int32_t Sf2SampleBytes(const RiffChunk& smpl);

// Whether the SoundFont's INFO "ifil" names major version 3: its Ogg Vorbis samples are then
// played from their decoded data, not from the sample chunk.
bool IsSoundFont3(const RiffReader& reader, const RiffChunk& sfbk);
bool IsSoundFont3(const std::string& path);

// One sample record of a SoundFont: its name and type, and its points as the shdr chunk
// gives them (an Ogg Vorbis sample's start and end are the byte range of its stream in the
// sample chunk, its loop in frames from its own start; any other sample's are frames of the
// chunk).
struct Sf2SamplePoints {
    std::string name;
    int type = 0;
    uint32_t start = 0, end = 0, loopStart = 0, loopEnd = 0;
    // False when the sample has no data to play (its reason is in the log).
    bool usable = true;
};
// A loop that does not lie inside its sample, as MapSoundFont3Samples gives it.
constexpr uint32_t kSf2NoLoop = UINT32_MAX;

// For a SoundFont 3 file: each sample record's points (as read from shdr, in order, terminal
// record excluded; types given) rewritten to frames of the decoded whole that Sf2WaveData
// serves; gives the decoded whole's length in frames. A stream that cannot be decoded is
// logged as "X Sample <name> cannot be decoded: <reason>" and marked unusable (it takes no
// room in the whole); so is a record outside the sample data. A loop outside its sample
// becomes kSf2NoLoop. ROM samples are marked unusable without a line. 0 with every record
// unusable when the file has no sample chunk.
uint32_t MapSoundFont3Samples(const std::string& path, std::vector<Sf2SamplePoints>& samples,
                              ConversionLog& log);

class Sf2WaveData : public FileWaveData {
  public:
    // Finds the file (see FileWaveData) and its sample chunk; a file without one leaves the
    // format tag at -1 after its message.
    Sf2WaveData(const std::string& path, int base, int channel, bool quiet);
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveSf2; }
    std::string FormatName() const override { return sf3_ ? "SF3" : "SF2"; }
    int LoadData() override;
    // A SoundFont's samples (often a hundred megabytes and more) go to the synthesizer read
    // straight into the block that carries them.
    bool ReadsInPlace() const override { return valid && formatTag != -1; }
    int ReadData(std::span<uint8_t> out) override;
    std::unique_ptr<WaveDataReader> OpenReader() override;

    // The level (RMS, dB of full scale) of up to `frames` points of the whole from `frame`;
    // NaN when none can be read. Reads just those points (a SoundFont 3 stream is decoded up
    // to them), so that a conversion can weigh samples against each other cheaply.
    double Level(uint32_t frame, uint32_t frames) const;

    // Keeps only `spans` of the whole (frames: first, end; in order, apart, each within the
    // whole and, in a SoundFont 3 file, whole samples), laid end to end: a bank that plays a
    // few of a big SoundFont's samples then sends only those. Where each span now starts;
    // empty, with nothing changed, when a span is not as said.
    std::vector<uint32_t> Keep(const std::vector<std::pair<uint32_t, uint32_t>>& spans);
    // Whether the data is a selection that the file alone does not give back.
    bool Kept() const { return kept_; }

    // Where one sample's decoded data comes from in a SoundFont 3 file: a stream, or 16-bit
    // points of the sample chunk.
    struct Piece {
        bool vorbis = false;
        uint64_t offset = 0, bytes = 0;  // in the file
        uint32_t frames = 0;
    };

  private:
    void ReadHeader();
    bool sf3_ = false;
    bool kept_ = false;
    std::vector<Piece> pieces_;  // a SoundFont 3 file's, or the kept spans
    // Each sample's rate by where it starts (rangeRates); decoded: a SoundFont 3 file's
    // samples as laid out in the whole, by record.
    void ReadRates(const std::vector<sf2::SampleRecord>& records,
                   const std::vector<Sf2SamplePoints>* decoded);
};

}  // namespace talmeru
