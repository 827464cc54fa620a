#pragma once
// A layer's control blocks: Pitch, Filter #1, Filter #2 and Amp, each with its fixed bytes and
// up to 16 modulation entries routing sources to it.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "model/ModSource.h"
#include "model/Results.h"

namespace talmeru {

class ByteWriter;

inline constexpr int kMaxEntries = 16;

// Routes a modulation source to a control block.
struct ModulationEntry {
    uint8_t controlSource = kSourceZero;
    int8_t baseDepth = 0;
    int8_t adjustedDepth = 0;
    uint8_t depthAdjustSource = kSourceZero;
    bool operator==(const ModulationEntry&) const = default;
};

enum class BlockKind { kPitch, kFilter1, kFilter2, kAmp };

inline constexpr int kFilterTypeCount = 8;
// "Null", "1P LP", ... "Dist."; "?" outside 0..7.
const char* FilterTypeName(int type);

class ControlBlock {
  public:
    static constexpr int kNullFilterSize = 4;
    static constexpr int kFixedSize = 10;

    explicit ControlBlock(BlockKind kind);

    BlockKind Kind() const { return kind_; }
    bool IsFilter() const { return kind_ == BlockKind::kFilter1 || kind_ == BlockKind::kFilter2; }
    // "Pitch", "Filter #1", "Filter #2", "Amp".
    const char* DisplayName() const;
    void Reset();

    // Reads the block at the start of bytes (which run on to the end of the program body).
    // On success *next is the block's size byte: where the next block starts. kUnpackFailed
    // when the block is refused.
    [[nodiscard]] UnpackResult Unpack(std::span<const uint8_t> bytes, int* next);
    // 4 for a Null filter, else 10 + 4 x entries.
    int PackedSize() const;
    // Appends the block to out; kPackFailed when it cannot be packed.
    [[nodiscard]] PackResult Pack(ByteWriter& out) const;

    uint8_t BlockByte() const { return blockByte_; }
    void SetBlockByte(uint8_t b) { blockByte_ = b; }
    uint8_t Tag() const { return tag_; }
    // Packed bytes 4..8 as they are (offset 4..8); 0 for another offset.
    uint8_t Byte(int offset) const;
    void SetByte(int offset, uint8_t v);

    // Pitch: coarse tune (semitones) and fine tune (100/127 cent steps).
    int CoarseTune() const { return static_cast<int8_t>(bytes_[2]); }
    void SetCoarseTune(int semitones);
    int FineTune() const { return static_cast<int8_t>(bytes_[3]); }
    void SetFineTune(int steps);

    // Filters: the type sets the block byte and the tag together.
    int FilterType() const { return blockByte_ & 0x07; }
    void SetFilterType(int type);
    bool IsNullFilter() const { return IsFilter() && FilterType() == 0; }
    // Byte 4 x 256 + byte 5.
    int Frequency() const { return bytes_[0] * 256 + bytes_[1]; }
    // Stores 0..0x7F00; the high byte is rounded up when bit 7 of v is set.
    void SetFrequency(int v);

    // Filters: bytes 7 and 8 (-127..127); Amp: bytes 5 (-64..64) and 6 (-48..48).
    int VelocityTracking() const;
    void SetVelocityTracking(int v);
    int KeyTracking() const;
    void SetKeyTracking(int v);

    // Amp: gain in dB (-64..32) and the headrooms before the filters (0..3, shown x 3).
    int Gain() const { return kind_ == BlockKind::kAmp ? static_cast<int8_t>(bytes_[0]) : 0; }
    void SetGain(int db);
    int Headroom1() const { return tag_ & 0x03; }
    void SetHeadroom1(int v);
    int Headroom2() const { return (tag_ >> 2) & 0x03; }
    void SetHeadroom2(int v);

    // The block's fixed control source: Pitch "Detune Ctrl" (byte 8), Amp "Cross-Fade Ctrl"
    // (byte 7); nullptr for filters.
    uint8_t* FixedControl();
    int FixedControlSource() const;
    const char* FixedControlName() const;

    const std::vector<ModulationEntry>& Entries() const { return entries_; }
    // Direct access for editors; packing refuses more than 16 entries.
    std::vector<ModulationEntry>& Entries() { return entries_; }
    // Appends an entry; nullptr when the block already has 16.
    ModulationEntry* AddEntry(const ModulationEntry& entry = {});
    bool RemoveEntry(int index);

  private:
    BlockKind kind_;
    uint8_t blockByte_ = 0;
    uint8_t tag_ = 0;
    std::array<uint8_t, 5> bytes_{};  // packed bytes 4..8
    std::vector<ModulationEntry> entries_;
};

}  // namespace talmeru
