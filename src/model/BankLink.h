#pragma once
// What the bank needs of the synthesizer link: fetching and storing objects, sample data and
// aliases, and the memory figures. The MIDI link, the sysex-file link and the plugin's link
// straight into an emulator implement it.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace talmeru {

struct MemoryFigures {
    uint32_t programFree = 0;
    uint32_t sampleFree = 0;
    uint32_t programTotal = 0;
    uint32_t sampleTotal = 0;
};

// GetObject results.
enum GetObjectResult : int { kGotObject = 0, kNoSuchObject = 1, kGetFailed = 2 };

// Requests the synthesizer answers: the memory queries here, the identity query and the
// MIDI link's transactions.
enum ReplyResult : int {
    kReplied = 0,
    kNoReply = 1,      // given up: no answer, wrong answers, or the wait was cancelled
    kLinkClosed = -1,  // the MIDI devices are not open
};

class BankLink {
  public:
    virtual ~BankLink() = default;
    // Fetches a packed object: kGotObject, kNoSuchObject or kGetFailed (no answer, cancelled).
    [[nodiscard]] virtual int GetObject(int type, int number, std::vector<uint8_t>& block) = 0;
    // which 0: the RAM sizes, 1: the free RAM. A ReplyResult.
    virtual int QueryMemory(int which) = 0;
    // The operations below give 0 on success, else nonzero (which may be a device's own
    // error code).
    virtual int StoreObject(std::span<const uint8_t> block) = 0;
    virtual int DeleteObject(int type, int number) = 0;
    // Sends one sample's data, lowering `remaining` by what it takes; 0 on success.
    virtual int UploadSampleData(int sampleNumber, std::span<const uint8_t> data, int& remaining,
                                 int bits) = 0;
    // The same for `length` bytes that `fill` writes into the span it is given (false when
    // the source cannot be read: nothing is sent, 1). Links that can put the data where it
    // goes without holding it whole first override this; by default it is gathered.
    virtual int UploadSampleDataFilled(int sampleNumber, size_t length,
                                       const std::function<bool(std::span<uint8_t>)>& fill,
                                       int& remaining, int bits) {
        std::vector<uint8_t> data(length);
        if (!fill(data)) return 1;
        return UploadSampleData(sampleNumber, data, remaining, bits);
    }
    // For links that override UploadSampleDataFilled: UploadSampleData through it.
    int UploadByFilling(int sampleNumber, std::span<const uint8_t> data, int& remaining,
                        int bits) {
        return UploadSampleDataFilled(
            sampleNumber, data.size(),
            [data](std::span<uint8_t> out) {
                std::copy(data.begin(), data.end(), out.begin());
                return true;
            },
            remaining, bits);
    }
    virtual int AddAlias(int primary, int alias) = 0;
    virtual int RemoveAlias(int number) = 0;
    virtual int ClearRam() = 0;
    virtual uint16_t RomVersion() const = 0;
    virtual const MemoryFigures& Memory() const = 0;
};

}  // namespace talmeru
