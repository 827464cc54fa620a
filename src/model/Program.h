#pragma once
// Programs and their layers. A program holds up to 32 layers that sound together and up to
// 16 program modulators they all may read; a layer plays one keymap over a key and velocity
// range through four control blocks (Pitch, Filter #1, Filter #2, Amp) and has up to 16
// modulators of its own.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/BankObject.h"
#include "model/ModSource.h"
#include "model/Modulator.h"

namespace talmeru {

class ByteWriter;
class Layer;
class Program;

inline constexpr int kMaxLayers = 32;
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
    // On success *next is the block's size byte: where the next block starts. 0 on success,
    // 1 when the block is refused.
    int Unpack(std::span<const uint8_t> bytes, int* next);
    // 4 for a Null filter, else 10 + 4 x entries.
    int PackedSize() const;
    // Appends the block to out. Nonzero when it cannot be packed.
    int Pack(ByteWriter& out) const;

    uint8_t BlockByte() const { return blockByte_; }
    void SetBlockByte(uint8_t b) { blockByte_ = b; }
    uint8_t Tag() const { return tag_; }
    void SetTag(uint8_t t) { tag_ = t; }
    // Packed bytes 4..8 as they are (offset 4..8); 0 for another offset.
    uint8_t Byte(int offset) const;
    void SetByte(int offset, uint8_t v);

    // Pitch: the 16-bit value of bytes 4-5, coarse tune (semitones) and fine tune
    // (100/127 cent steps).
    int PitchWord() const { return bytes_[0] | (bytes_[1] << 8); }
    void SetPitchWord(int v);
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

// Pan modes: "Auto", "Fixed", "RevAuto".
const char* PanModeName(int mode);

// Where a modulator's inputs are looked up: program references (0xC) in the program, layer
// references (0xF) in the layer, and the latter only for a layer modulator.
struct ModulatorScope {
    const Program* program = nullptr;
    const Layer* layer = nullptr;
    Modulator* Resolve(const Modulator& holder, int source) const;
};

class Layer {
  public:
    static constexpr int kHeaderSize = 16;
    static constexpr uint16_t kFlagIgnoreNoteOff = 0x08;
    static constexpr uint16_t kFlagDirection = 0x10;
    static constexpr uint16_t kFlagNoNaturalEnvelope = 0x20;
    static constexpr uint16_t kFlagWhiteNoise = 0x40;

    explicit Layer(Program* owner = nullptr, int index = 0);
    ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    Program* Owner() const { return owner_; }
    int Index() const { return index_; }
    void SetIndex(int index) { index_ = index; }
    // "Layer #%d", or "Layer xxx" for an index outside 0..999.
    std::string DisplayName() const;

    // Reads a layer from the start of bytes (which run on to the end of the program body).
    // 0 on success; on failure 1 and the layer is back at its defaults.
    int Unpack(std::span<const uint8_t> bytes);
    // Appends the packed layer to out; nonzero (message shown) when it cannot be packed.
    int Pack(ByteWriter& out) const;
    // The packed layer, or nothing when it cannot be packed.
    std::vector<uint8_t> Packed() const;
    int PackedSize() const;
    // Defaults; stereo pairing, owner and index stay.
    void Reset();
    // Every field, every block and a clone of every modulator from other; with
    // keepPanAndKeymap this layer's pan byte and keymap number stay. Pairing, owner and
    // index stay.
    void CopyFrom(const Layer& other, bool keepPanAndKeymap);

    // Gives m the lowest free id, puts it first and checks the order. Its id, or -1 (m
    // dropped) when the layer has no free id.
    int AddModulator(std::unique_ptr<Modulator> m);
    Modulator* FindModulator(int id) const;
    Modulator* FindProgramModulator(int id) const;
    // 1 when m is not in this layer.
    int RemoveModulator(const Modulator* m);
    const std::vector<std::unique_ptr<Modulator>>& Modulators() const { return modulators_; }
    // For reordering; packing refuses more than 16.
    std::vector<std::unique_ptr<Modulator>>& Modulators() { return modulators_; }
    // What a source byte of this layer's entries and controls names: a program modulator
    // (0xC) or a layer modulator (0xF).
    Modulator* ResolveSource(int source) const;
    ModulatorScope Scope() const;
    // The layer's part of the order check (program modulators count as placed). False when a
    // warning was shown.
    bool CheckModulatorOrder();

    ControlBlock& Pitch() { return blocks_[0]; }
    ControlBlock& Filter1() { return blocks_[1]; }
    ControlBlock& Filter2() { return blocks_[2]; }
    ControlBlock& Amp() { return blocks_[3]; }
    const ControlBlock& Pitch() const { return blocks_[0]; }
    const ControlBlock& Filter1() const { return blocks_[1]; }
    const ControlBlock& Filter2() const { return blocks_[2]; }
    const ControlBlock& Amp() const { return blocks_[3]; }
    // 0 Pitch, 1 Filter #1, 2 Filter #2, 3 Amp.
    ControlBlock& Block(int i) { return blocks_[static_cast<size_t>(i & 3)]; }
    const ControlBlock& Block(int i) const { return blocks_[static_cast<size_t>(i & 3)]; }

    int Pan() const { return panByte & 0x1F; }
    void SetPan(int pan);
    int PanMode() const { return (panByte >> 5) & 0x03; }
    void SetPanMode(int mode);

    bool IgnoreNoteOff() const { return (flags & kFlagIgnoreNoteOff) != 0; }
    void SetIgnoreNoteOff(bool on);
    // On when flag 0x20 is clear.
    bool NaturalEnvelope() const { return (flags & kFlagNoNaturalEnvelope) == 0; }
    void SetNaturalEnvelope(bool on);
    bool WhiteNoise() const { return (flags & kFlagWhiteNoise) != 0; }
    void SetWhiteNoise(bool on);

    // Stereo pairs: kMono, kStereoLeft or kStereoRight, and the other half.
    int StereoState() const { return stereoState_; }
    Layer* Partner() const { return partner_; }
    // Makes this the left half and right the right half (breaking earlier pairs of both).
    void PairWith(Layer& right);
    // Breaks this layer's pair, from either half.
    void Unpair();
    // A left half hands its content to its right half, which keeps its own pan byte and
    // keymap; does nothing for other layers.
    void UpdateRightHalf() const;

    uint16_t flags = 0;
    uint8_t keyHigh = 127;
    uint8_t keyLow = 0;
    uint8_t velocityHigh = 127;
    uint8_t velocityLow = 0;
    int8_t timbreShift = 0;
    // Bits 0..4 pan position, 5..6 pan mode, 7 carried.
    uint8_t panByte = 15;
    uint8_t exclusiveZone = 0;
    uint16_t keymap = 0;
    // 0.6 ms units.
    uint16_t delay = 0;
    uint8_t layerByte = 0;

  private:
    Program* owner_;
    int index_;
    int stereoState_ = kMono;
    Layer* partner_ = nullptr;
    std::vector<std::unique_ptr<Modulator>> modulators_;
    std::array<ControlBlock, 4> blocks_;
};

// Whether first (left) and second (right) may be joined into a stereo pair: pans 0 and 31,
// different keymaps, and nothing else different.
bool CanJoinStereo(const Layer& first, const Layer& second);

// False when target is start or can be reached from start through inputs within 10 levels.
bool WouldLoop(const ModulatorScope& scope, const Modulator& start, const Modulator& target,
               int depth = 0);

struct ProgramNumbering {
    bool bankPrefix = false;
    int style = 0;  // 0 from 0, 1 from 1, 2 bank letter and two digits ("A11")
};

class Program : public BankObject {
  public:
    Program();
    // A deep copy: modulators cloned, layers copied, stereo pairs re-made between the copies.
    Program(const Program& other);
    Program& operator=(const Program&) = delete;
    std::unique_ptr<Program> Clone() const { return std::make_unique<Program>(*this); }

    int KindNumber() const override { return 0; }
    const char* KindName() const override { return "Program"; }
    // 0 on success; 1 for a bad header or malformed contents, 2 for more than 32 layers or
    // 16 program modulators.
    int Unpack(std::span<const uint8_t> block) override;
    int BodySize() const override;
    int PackBody(std::span<uint8_t> body) const override;

    uint8_t programByte = 0;

    int LayerCount() const { return static_cast<int>(layers_.size()); }
    Layer* GetLayer(int index) const;
    const std::vector<std::unique_ptr<Layer>>& Layers() const { return layers_; }
    // Appends a layer playing keymap (and, with stereo, its right half playing keymap's
    // chained partner). nullptr when the program would have more than 32 layers or a stereo
    // layer is asked for a keymap without a partner.
    Layer* AddLayer(const BankObject& keymap, bool stereo);
    // Removes the layer (and the right half of a left half). 1 for a bad index.
    int DeleteLayer(int index);
    // Appends a copy of the layer (and of its right half for a left half, the copies
    // paired); nullptr when that would make more than 32 layers.
    Layer* DuplicateLayer(int index);
    void DeleteAllLayers();

    int ModulatorCount() const { return static_cast<int>(modulators_.size()); }
    const std::vector<std::unique_ptr<Modulator>>& Modulators() const { return modulators_; }
    // For reordering; packing refuses more than 16.
    std::vector<std::unique_ptr<Modulator>>& Modulators() { return modulators_; }
    // Gives m the lowest free id, puts it first and checks the order. Its id, or -1 (m
    // dropped) when no id is free.
    int AddModulator(std::unique_ptr<Modulator> m);
    Modulator* FindModulator(int id) const;
    // 1 when m is not a program modulator of this program.
    int RemoveModulator(const Modulator* m);
    // Program context: only program references (0xC) resolve.
    Modulator* ResolveSource(int source) const;
    ModulatorScope Scope() const { return {this, nullptr}; }
    // Program modulators, then each layer's. False when a warning was shown.
    bool CheckModulatorOrder();

    std::string DisplayName(const ProgramNumbering& numbering) const;
    static std::string DisplayText(int number, std::string_view name,
                                   const ProgramNumbering& numbering);

  private:
    void Renumber();

    std::vector<std::unique_ptr<Layer>> layers_;
    std::vector<std::unique_ptr<Modulator>> modulators_;
};

}  // namespace talmeru
