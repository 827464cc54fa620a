#pragma once
// The sample data behind RAM sample headers, and the sharing of one wave data by several
// headers (its base header carries the data; further headers are links, sent as aliases).
// Element 0 of every bank's wave-data list is the ROM wave data, which holds no data.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/Results.h"

namespace talmeru {

class BankLink;

enum WaveKind : int {
    kWaveRom = 1,
    kWaveWav = 2,
    kWaveInvalid = 3,
    kWaveMerged = 4,
    kWaveSf2 = 5,
    kWaveK2000 = 6,
    kWaveMa1 = 7,
    kWaveCtmb = 8,
};

// How a wave data is kept with a saved bank.
enum WaveStorage : int { kNotSaved = 0, kFileLoaded = 1, kMergedStorage = 2 };

// Which channel of the source a wave data plays.
enum ChannelSelector : int { kWholeFile = 0, kLeftChannel = 1, kRightChannel = 2 };

// Sending wave data (Upload, and RemoveUser when the data moves to a new base).
enum WaveUploadResult : int {
    kWaveUploaded = 0,
    kWaveUploadFailed = 1,
    kOutOfSampleRam = 2,  // nothing was sent: the data is larger than the free sample RAM
};

struct WaveRegion {
    std::string name;
    int32_t start = 0;
    int32_t loopStart = 0;
    int32_t end = 0;
};

struct WaveLink {
    int number = 0;
    bool pending = false;
};

// The data of a wave data as LoadData would hold it, read in order a piece at a time, so a
// writer never holds a whole big sample.
class WaveDataReader {
  public:
    virtual ~WaveDataReader() = default;
    // How many bytes the data holds.
    virtual uint64_t Size() const = 0;
    // The next out.size() bytes (no further than Size()): kOk, or kFailed with the reason shown.
    virtual int Read(std::span<uint8_t> out) = 0;
};

class WaveData {
  public:
    virtual ~WaveData() = default;

    virtual bool IsStereo() const { return stereo; }
    virtual int32_t Length() { return length; }
    virtual int SampleRate() const { return sampleRate; }
    // The rate of the sample that holds `frame`: a block that several samples share (a
    // SoundFont's sample chunk) holds samples of their own rates (rangeRates), the rest
    // play at SampleRate().
    int SampleRateAt(int64_t frame) const;
    virtual int32_t SampleStart() const { return sampleStart; }
    virtual int32_t LoopStart() const { return loopStart; }
    virtual int32_t End() const { return end; }
    virtual double RootPitch() const { return rootPitch; }
    virtual std::unique_ptr<WaveData> Clone() const = 0;
    virtual int Kind() const = 0;
    virtual bool Equals(const WaveData& other) const;
    virtual int StorageClass() const = 0;
    virtual int FormatTag() const { return 0; }
    virtual std::string DisplayName() const = 0;
    virtual std::string FormatName() const = 0;

    // Fills `data` with one channel of 8- or 16-bit PCM: kOk, or kFailed with the reason
    // shown. Kinds without data fail.
    virtual int LoadData() { return kFailed; }
    // Kinds that can read their data in pieces straight into a caller's buffer (so a big
    // sample is never held twice while it is sent) say so and implement ReadData: out holds
    // Length() bytes; kOk, or kFailed with the reason shown.
    virtual bool ReadsInPlace() const { return false; }
    virtual int ReadData(std::span<uint8_t> /*out*/) { return kFailed; }
    // Whether the data's source can be read, asked before a save makes its file: kOk, or
    // kFailed (with the reason shown where there is one to give).
    virtual int CheckSource() { return kOk; }
    // A reader of the data from its start; none when it cannot be read (the reason has been
    // shown). Kinds that cannot read in pieces load the whole data and give it back when the
    // reader goes.
    virtual std::unique_ptr<WaveDataReader> OpenReader();
    // Gives the memory back; the data is loaded again for its next use.
    void ReleaseData() {
        std::vector<uint8_t>().swap(data);
        loaded = false;
    }

    bool IsRom() const { return Kind() == kWaveRom; }
    // Bytes per frame of the data as held (1 for 8-bit, 2 for 16-bit).
    int BytesPerFrame() const { return bitsHeld == 8 ? 1 : 2; }
    // The region whose offsets match a sample header's (in the header's byte units), or -1.
    int FindRegion(int32_t start, int32_t end, int32_t loop) const;

    // Adds a sample header number as a user, without telling the synthesizer: the base when
    // there is none, else a pending link.
    void AddLink(int number);
    // kFailed, with "Internal aliases list is corrupt. Please inform author" shown, when the
    // number uses it neither as base nor as a link.
    Result RemoveLink(int number);
    bool UsedBy(int number) const;

    // Sharing with the synthesizer told: a new link of RAM wave data is sent as an alias at
    // once when there is a link (else kept pending); removing one tells the synthesizer to
    // forget it, and a wave data whose base went away sends its data again under the new one.
    void AddUser(int number, BankLink* link);
    // kWaveUploadFailed when the number is no user; else kWaveUploaded, or what Upload gave
    // when the base went away and the data was sent again under the new one.
    int RemoveUser(int number, BankLink* link);
    bool NeedsUpload() const { return uploadPending[0] || uploadPending[1]; }
    // Sends the data under the base number, then every pending alias: a WaveUploadResult,
    // or the link's own nonzero code when a send fails (the reason has been shown).
    int Upload(BankLink& link, int& sampleRamFree);

    int base = -1;
    std::vector<WaveLink> links;
    bool uploadPending[2] = {false, false};
    int channel = kWholeFile;
    bool valid = true;
    int bitsSource = 16;
    int bitsHeld = 16;
    int sampleRate = 44100;
    bool stereo = false;
    std::vector<uint8_t> data;
    bool loaded = false;
    int32_t length = -1;
    int32_t sourceSize = 0;
    int32_t sampleStart = 0;
    int32_t loopStart = 0;
    int32_t end = 0;
    double rootPitch = -1.0;
    std::vector<WaveRegion> regions;
    // Where samples of their own rate start in the data: (frame, rate), by frame. Each runs
    // to the next one's start.
    std::vector<std::pair<uint32_t, int>> rangeRates;
    // File kinds: the full path of the source, and the path it was asked for by (they
    // differ when the file was found elsewhere).
    std::string path;
    std::string wantedPath;
};

// The synthesizer's sample ROM: always valid, 8-bit, no data; its regions are the ROM's
// sample directory.
class RomWaveData : public WaveData {
  public:
    RomWaveData();
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveRom; }
    int StorageClass() const override { return kNotSaved; }
    std::string DisplayName() const override { return "MA-1 ROM"; }
    std::string FormatName() const override { return "K8"; }
};

// Stands in for a source that was not found or could not be read. It remembers the source's
// path and channel, so that saving the bank keeps the reference for when the file is back.
class InvalidWaveData : public WaveData {
  public:
    explicit InvalidWaveData(int baseNumber, std::string sourcePath = {}, int sourceChannel = 0);
    std::unique_ptr<WaveData> Clone() const override;
    int Kind() const override { return kWaveInvalid; }
    int StorageClass() const override { return kNotSaved; }
    std::string DisplayName() const override { return "Invalid Wave Data"; }
    std::string FormatName() const override { return "-"; }
};

}  // namespace talmeru
