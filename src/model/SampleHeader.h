#pragma once
// A sample header says how a piece of wave data plays: start, loop and end (in bytes of the
// data), pitch correction, natural envelope and data format.
#include <string>
#include <vector>

#include "model/BankObject.h"

namespace talmeru {

class WaveData;

struct EnvelopeEntry {
    int slope = 0;     // signed 16 bits
    int duration = 0;  // unsigned 16 bits; 0 ends a group
};

// Flag bits of a sample header.
enum SampleFlags : int { kDeThump = 1, kLinearData = 2, kSixteenBit = 4 };

// Options of AttachWave.
enum AttachWhat : int {
    kAttachPoints = 1,
    kAttachReference = 2,
    kAttachPitch = 4,
    kAttachStereoName = 8,
};

inline constexpr int kDefaultDecaySlope = -6818;

// What a setter did.
enum SetResult : int { kUnchanged = 0, kChanged = 1 };

class SampleHeader : public BankObject {
  public:
    SampleHeader() : BankObject(kTypeSampleHeader) {}

    int KindNumber() const override { return 3; }
    const char* KindName() const override { return "Sample"; }
    [[nodiscard]] int Unpack(std::span<const uint8_t> block) override;
    int BodySize() const override;
    [[nodiscard]] int PackBody(std::span<uint8_t> body) const override;

    void CopyFrom(const SampleHeader& other);

    // Setters report whether the value changed (and the packed copy was dropped).
    SetResult SetStart(int32_t v) { return Set(start, v); }
    SetResult SetLoopStart(int32_t v) { return Set(loopStart, v); }
    SetResult SetEnd(int32_t v) { return Set(end, v); }
    SetResult SetAmp(int v) { return Set(amp, v); }

    void AttachWave(WaveData* w, int what);
    // The rate of the data the header plays (its wave data may hold samples of other rates),
    // 0 without a wave data.
    int SampleRate() const;
    void SetPitch(double rootKey);
    void ResetEnvelope(int decaySlope);
    // The defaults of a header made from a wave file.
    void SetDefaults();
    int AttackCount() const;
    void SetAttackCount(int n);
    // An entry that moves by value over time, with the slope limited to 16 bits.
    static EnvelopeEntry EnvelopeEntryFor(int value, int time);

    bool IsRom() const;
    WaveData* Wave() const { return wave_; }
    // The wave data's region these offsets match, or -1.
    int Region() const { return region_; }
    std::string RegionName() const;

    int32_t start = 0;
    int32_t loopStart = -1;
    int32_t end = 0;
    int amp = 0;    // signed 8 bits, dB
    int flags = 0;  // SampleFlags
    int pitch = 0;  // signed 16 bits, 1/256 semitone
    std::vector<EnvelopeEntry> envelope;
    // The points as loaded (from a packed block or taken from the wave data), which the
    // sample editor offers to restore after edits.
    int32_t origStart = 0;
    int32_t origLoopStart = -1;
    int32_t origEnd = 0;

  private:
    void KeepOriginalPoints() {
        origStart = start;
        origLoopStart = loopStart;
        origEnd = end;
    }
    template <typename T>
    SetResult Set(T& field, T v) {
        if (field == v) return kUnchanged;
        field = v;
        DropPackedCopy();
        return kChanged;
    }
    WaveData* wave_ = nullptr;
    int region_ = -1;
};

}  // namespace talmeru
