#pragma once
// Modulators: the small signal generators of a program. Functions (FUN) combine up to three
// inputs, envelopes (ENV) run through attack, decay and release segments, low-frequency
// oscillators (LFO) repeat a shape. Each is packed as a kind/id byte, a size byte and its
// kind's own bytes.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/Ma1Units.h"
#include "model/Results.h"

namespace talmeru {

// The high nibble of the packed kind/id byte.
enum class ModulatorKind : uint8_t { kLfo = 1, kEnv = 2, kFun = 4 };

enum ModulatorOwner : int { kProgramModulator = 0, kLayerModulator = 1 };

inline constexpr int kMaxModulators = 16;  // per program and per layer
inline constexpr int kMaxModulatorSize = 100;

class Modulator {
  public:
    virtual ~Modulator() = default;
    Modulator(const Modulator&) = delete;
    Modulator& operator=(const Modulator&) = delete;

    // The inputs this modulator reads (a FUN's depend on its operator).
    virtual int InputCount() const = 0;
    // The source byte of input i, or nullptr when there is no such input byte.
    virtual uint8_t* Input(int i) = 0;
    virtual std::string InputName(int i) const = 0;
    virtual std::unique_ptr<Modulator> Clone() const = 0;
    // Reads one packed modulator from the start of bytes (which may run on past it):
    // kUnpacked, or kUnpackFailed when the bytes are malformed.
    [[nodiscard]] virtual int Unpack(std::span<const uint8_t> bytes) = 0;
    // Copies everything from a modulator of the same kind; another kind is ignored.
    virtual void CopyFrom(const Modulator& other) = 0;
    // Writes the kind's bytes from byte 2 on into bytes (PackedSize() long): kPacked, or
    // kPackFailed.
    [[nodiscard]] virtual int PackBody(std::span<uint8_t> bytes) const = 0;
    virtual void PackHeader(std::span<uint8_t> bytes) const;
    virtual int PackedSize() const;
    virtual const char* KindName() const = 0;
    virtual std::string SubtypeName() const = 0;
    // The kind's defaults; the id stays.
    virtual void Reset() = 0;

    ModulatorKind Kind() const { return kind_; }
    int Id() const { return id_; }
    void SetId(int id) { id_ = static_cast<uint8_t>(id & 0x0F); }
    // The source byte of input i, or -1 when there is none.
    int InputSource(int i) const;
    // Header and body into bytes (at least PackedSize() long): a PackResult.
    [[nodiscard]] int Pack(std::span<uint8_t> bytes) const;
    std::vector<uint8_t> Packed() const;

    int ownerKind = kProgramModulator;
    // Scratch state of the modulator order check.
    bool placed = false;

  protected:
    explicit Modulator(ModulatorKind kind) : kind_(kind) {}
    // Checks bytes 0 and 1 against this kind and the bytes at hand (the size must be at
    // least minSize) and gives the size; 0 when the modulator is malformed. Nothing changes
    // until the kind has checked its own bytes and calls TakeHeader.
    static int CheckHeader(std::span<const uint8_t> bytes, ModulatorKind kind, int minSize);
    void TakeHeader(std::span<const uint8_t> bytes);
    void CopyBaseFrom(const Modulator& other);

    uint8_t id_ = 0;
    uint8_t size_ = 6;
    // Bytes that follow a FUN's or LFO's own fields when the size byte says there are more;
    // carried so that the modulator packs back as it came.
    std::vector<uint8_t> tail_;

  private:
    ModulatorKind kind_;
};

// FUN operators.
inline constexpr int kFunOperatorCount = 22;
const char* FunOperatorName(int op);
int FunOperatorInputCount(int op);
const char* FunOperatorInputName(int op, int input);

class FunModulator : public Modulator {
  public:
    static constexpr int kSize = 6;
    FunModulator() : Modulator(ModulatorKind::kFun) { Reset(); }

    int InputCount() const override;
    uint8_t* Input(int i) override;
    std::string InputName(int i) const override;
    std::unique_ptr<Modulator> Clone() const override;
    int Unpack(std::span<const uint8_t> bytes) override;
    void CopyFrom(const Modulator& other) override;
    int PackBody(std::span<uint8_t> bytes) const override;
    const char* KindName() const override { return "FUN"; }
    std::string SubtypeName() const override;
    void Reset() override;

    int Operator() const { return op_; }
    // False (and no change) for an operator outside 0..21.
    bool SetOperator(int op);
    // Bit 7 of the operator byte, carried unchanged.
    bool Flag() const { return flag_; }
    void SetFlag(bool on) { flag_ = on; }

  private:
    int op_ = 0;
    bool flag_ = false;
    std::array<uint8_t, 3> inputs_{};
};

const char* LfoShapeName(int shape);
// The triangle, the one shape a SoundFont LFO has.
inline constexpr int kLfoTriangle = 4;

class LfoModulator : public Modulator {
  public:
    static constexpr int kSize = 6;
    LfoModulator() : Modulator(ModulatorKind::kLfo) { Reset(); }

    int InputCount() const override { return 1; }
    uint8_t* Input(int i) override { return i == 0 ? &rateAdjust_ : nullptr; }
    std::string InputName(int i) const override { return i == 0 ? "Rate Adjust" : "?"; }
    std::unique_ptr<Modulator> Clone() const override;
    int Unpack(std::span<const uint8_t> bytes) override;
    void CopyFrom(const Modulator& other) override;
    int PackBody(std::span<uint8_t> bytes) const override;
    const char* KindName() const override { return "LFO"; }
    std::string SubtypeName() const override { return LfoShapeName(Shape()); }
    void Reset() override;

    // 1 Sine, 2 Square, 3 Ramp, 4 Triangle.
    int Shape() const { return shapePhase_ & 0x0F; }
    void SetShape(int shape);
    // In steps of 22.5 degrees, 0..15.
    int Phase() const { return shapePhase_ >> 4; }
    void SetPhase(int phase);
    uint8_t BaseRate() const { return baseRate_; }
    void SetBaseRate(uint8_t v) { baseRate_ = v; }
    uint8_t AdjustedRate() const { return adjustedRate_; }
    void SetAdjustedRate(uint8_t v) { adjustedRate_ = v; }
    static double RateHz(uint8_t v) { return units::LfoHz(v); }

  private:
    uint8_t shapePhase_ = 1;
    uint8_t baseRate_ = 50;
    uint8_t adjustedRate_ = 200;
    uint8_t rateAdjust_ = 64;
};

struct EnvSegment {
    int8_t level = 0;  // -127..127 when set by the editors
    uint8_t time = 0;  // steps of 0.02 seconds
    bool operator==(const EnvSegment&) const = default;
};

class EnvModulator : public Modulator {
  public:
    static constexpr int kMaxAttack = 8;
    static constexpr int kMaxDecay = 4;
    static constexpr int kMaxRelease = 4;
    EnvModulator() : Modulator(ModulatorKind::kEnv) { Reset(); }

    int InputCount() const override { return 4; }
    uint8_t* Input(int i) override;
    std::string InputName(int i) const override;
    std::unique_ptr<Modulator> Clone() const override;
    // Fails when the size byte is not 8 + 2 x the segments the counts byte names.
    int Unpack(std::span<const uint8_t> bytes) override;
    void CopyFrom(const Modulator& other) override;
    int PackBody(std::span<uint8_t> bytes) const override;
    int PackedSize() const override;
    const char* KindName() const override { return "ENV"; }
    std::string SubtypeName() const override { return ""; }
    void Reset() override;

    int AttackCount() const { return (counts_ & 0x07) + 1; }
    int DecayCount() const { return ((counts_ >> 3) & 0x03) + 1; }
    int ReleaseCount() const { return ((counts_ >> 5) & 0x03) + 1; }
    // Grow a group with copies of its last level (time 24) or shrink it from its end;
    // counts outside the group's range are clamped.
    void SetAttackCount(int a);
    void SetDecayCount(int d);
    void SetReleaseCount(int r);
    bool Linear() const { return (counts_ & 0x80) != 0; }
    void SetLinear(bool on);
    uint8_t CountsByte() const { return counts_; }

    int8_t StartLevel() const { return startLevel_; }
    void SetStartLevel(int level);
    // Attack segments first, then decay, then release.
    const std::vector<EnvSegment>& Segments() const { return segments_; }
    // Clamps the level to -127..127 and the time to 0..255; false for a bad index.
    bool SetSegment(int i, int level, int time);

  private:
    void SetGroupCount(int groupStart, int current, int wanted, int shift, int mask);

    uint8_t counts_ = 0;
    std::array<uint8_t, 4> inputs_{};
    int8_t startLevel_ = 64;
    std::vector<EnvSegment> segments_;
};

// A new modulator of the kind with its defaults, or nullptr for an unknown kind.
std::unique_ptr<Modulator> MakeModulator(ModulatorKind kind);

enum class ParseResult { kDone, kFailed, kEndOfList };

struct ParsedModulator {
    ParseResult result = ParseResult::kFailed;
    std::unique_ptr<Modulator> modulator;  // set when result is kDone
};

// Reads the modulator that starts bytes. A byte with high nibble 0xC..0xF starts a control
// block and ends the list.
ParsedModulator ParseModulator(std::span<const uint8_t> bytes);

}  // namespace talmeru
