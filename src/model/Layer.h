#pragma once
// A program's layer: one keymap played over a key and velocity range through four control
// blocks (Pitch, Filter #1, Filter #2, Amp), with up to 16 modulators of its own. Layers
// may be joined into stereo pairs.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/BankObject.h"
#include "model/ControlBlock.h"
#include "model/Modulator.h"
#include "model/ModulatorScope.h"

namespace talmeru {

class ByteWriter;
class Program;

// Pan modes: "Auto", "Fixed", "RevAuto".
const char* PanModeName(int mode);

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
    // On kUnpackFailed the layer is back at its defaults.
    [[nodiscard]] UnpackResult Unpack(std::span<const uint8_t> bytes);
    // Appends the packed layer to out; kPackFailed (message shown) when it cannot be packed.
    [[nodiscard]] PackResult Pack(ByteWriter& out) const;
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
    // kFailed when m is not in this layer.
    Result RemoveModulator(const Modulator* m);
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

}  // namespace talmeru
