#pragma once
// A keymap divides the 128 keys into consecutive ranges, each naming the sample header that
// plays there and an amplitude adjustment.
#include <vector>

#include "model/BankObject.h"

namespace talmeru {

inline constexpr int kNoSample = 0xFFFF;

struct KeymapEntry {
    int topKey = 127;  // 0..127; the entry starts after the previous entry's top key
    int amp = 0;       // signed 8 bits
    int sample = 0;    // 16 bits; kNoSample plays nothing
};

class Keymap : public BankObject {
  public:
    Keymap() : BankObject(kTypeKeymap) {}

    int KindNumber() const override { return 2; }
    const char* KindName() const override { return "Keymap"; }
    [[nodiscard]] int Unpack(std::span<const uint8_t> block) override;
    int BodySize() const override;
    [[nodiscard]] int PackBody(std::span<uint8_t> body) const override;

    // Copies header, both bytes, entries and the stereo role.
    void CopyFrom(const Keymap& other);

    int SampleForKey(int key) const;
    // Lowest key of entry i.
    int LowKey(size_t i) const { return i == 0 ? 0 : entries[i - 1].topKey + 1; }
    // Makes lo..hi one entry and returns its index.
    size_t MakeRange(int lo, int hi);
    void SplitEntry(size_t i);
    void DeleteEntry(size_t i);

    int byteA = 0;
    int byteB = 127;
    std::vector<KeymapEntry> entries;
};

}  // namespace talmeru
