#pragma once
// The synthesizer link: what the system knows about the synthesizer (its identity and memory
// figures) and every MA-1 message, built on a few virtual operations that MidiSynthLink
// carries over the MIDI devices and SysexFileLink writes into a file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "model/BankLink.h"

namespace talmeru {

class Profile;

class SynthLink : public BankLink {
  public:
    // Reads the 15-bit conversion option from the settings, which it also writes.
    explicit SynthLink(Profile& settings);
    virtual ~SynthLink() = default;
    SynthLink(const SynthLink&) = delete;
    SynthLink& operator=(const SynthLink&) = delete;

    // One short MIDI message.
    virtual void SendShort(uint8_t status, uint8_t data1, uint8_t data2, uint8_t data3) = 0;
    // Fetches a packed object (header and body) into block: kGotObject, kNoSuchObject, or
    // kGetFailed when the synthesizer failed to answer or the wait was cancelled.
    int GetObject(int type, int number, std::vector<uint8_t>& block) override = 0;
    // kReplied when the three identity words were read; a ReplyResult.
    virtual int QueryIdentity() = 0;
    // which 0: the RAM sizes, 1: the free RAM; a ReplyResult, kNoReply also for another
    // `which`.
    int QueryMemory(int which) override = 0;
    // One system-exclusive message; length 0 means up to and including the first 0xF7.
    // 0, or the device's error code.
    virtual int SendSysex(std::span<const uint8_t> bytes, size_t length = 0) = 0;
    // One message of `head` and bodySize bytes that `fill` writes in place (see
    // MidiOutPort::SendLongFilled); 1 when fill fails. By default the message is gathered
    // and sent whole.
    virtual int SendSysexFilled(std::span<const uint8_t> head, size_t bodySize,
                                const std::function<bool(std::span<uint8_t>)>& fill);

    // 1 without sending when the block is shorter than its header says or more than 4096
    // bytes; else the send result.
    int StoreObject(std::span<const uint8_t> block) override;
    // Deletes an object in the synthesizer and refreshes the free memory: the send's error
    // code when the message could not be sent, else the result of QueryMemory(1).
    int DeleteObject(int type, int number) override;
    // Sends sample data as one message (block length = max(length, 1024) + 2, padded with
    // zeros) and lowers `remaining` by the block length. 1 with "no RAM memory to upload
    // sample data!" when the synthesizer has no sample RAM; else the send result.
    int UploadSampleData(int sampleNumber, std::span<const uint8_t> data, int& remaining,
                         int bits) override;
    int UploadSampleDataFilled(int sampleNumber, size_t length,
                               const std::function<bool(std::span<uint8_t>)>& fill, int& remaining,
                               int bits) override;
    // Tells the synthesizer that sample `alias` plays the data of sample `primary`.
    int AddAlias(int primary, int alias) override;
    // Forgets a sample number's alias or data, then refreshes the free memory like
    // DeleteObject.
    int RemoveAlias(int number) override;
    // Empties the synthesizer's RAM; the free figures become the totals without asking.
    int ClearRam() override;
    // The MIDI system reset (0xFF).
    void SystemReset() { SendShort(0xFF, 0, 0, 0); }

    bool Convert15Bit() const { return convert15Bit_; }
    void SetConvert15Bit(bool on);
    bool HasSampleRam() const { return hasSampleRam_; }
    // Word i (0..2) of the identity reply; word 1 is the ROM version.
    uint16_t IdentityWord(int i) const;
    uint16_t RomVersion() const override { return IdentityWord(1); }
    const MemoryFigures& Memory() const override { return memory_; }

    static constexpr int kMaxPackedObject = 4096;
    static constexpr int kSampleHeaderBytes = 6;

    // The block a sample-data message carries for `length` bytes of data (the data, zeros up
    // to 1024 bytes, and a padding word), and the message's head that comes before it: the
    // block's bytes follow raw, with no closing F7.
    static size_t SampleBlockSize(size_t length);
    static std::vector<uint8_t> SampleDataHead(int sampleNumber, size_t block);

  protected:
    Profile& settings_;
    bool convert15Bit_ = false;
    bool hasSampleRam_ = false;
    std::array<uint8_t, 6> identity_{};
    MemoryFigures memory_;
};

}  // namespace talmeru
