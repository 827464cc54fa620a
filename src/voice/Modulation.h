#pragma once
// The running state of modulators and the values of modulation sources. A program's
// modulators run once per channel, a layer's once per voice; both are evaluated in list
// order every control period, so a modulator reads the values of those before it.
#include <array>
#include <cstdint>

#include "model/Modulator.h"

namespace talmeru::voice {

// What a source byte can read besides the modulators: the channel's controllers and
// statistics, and (for a voice) the note's properties. Values are -1..1 or 0..1.
struct ChannelSources {
    float controller[16] = {};  // by the low nibble of 0x80..0x9F; [0] pitch bend -1..1
    float switches[4] = {};     // sustain, (unused), sostenuto, soft
    float global[7] = {};       // 0xB0..0xB6
};

struct NoteSources {
    float property[11] = {};  // 0xD0..0xDA
};

enum NoteProperty : int {
    kKeyNumber = 0,
    kAttackVelocity = 1,
    kAttackVelocityBiased = 2,
    kNoteState = 3,
    kKeyDown = 4,
    kInSampleLoop = 5,
    kPlaybackRate = 6,
    kAttackVelocityInverted = 7,
    kReleaseVelocity = 8,
    kInAttackPhase = 9,
    kInReleasePhase = 10,
};

struct SourceContext {
    const ChannelSources* channel = nullptr;
    const NoteSources* note = nullptr;  // none for program modulators
    const float* programValues = nullptr;
    const float* layerValues = nullptr;  // none for program modulators
};

float SourceValue(uint8_t code, const SourceContext& c);

// One modulator's state while it runs.
class ModulatorState {
  public:
    // Binds to a modulator (nullptr: outputs 0) and starts from its beginning.
    void Start(const Modulator* m);
    // Advances by dt seconds; `gate` is false once the note is released (always true for a
    // program modulator). Returns the output.
    float Step(const SourceContext& c, bool gate, float dt);
    // True once an envelope has run through its release segments.
    bool Finished() const { return finished_; }
    bool InAttack() const { return phase_ == kAttack; }
    float Value() const { return value_; }

  private:
    enum Phase : uint8_t { kIdle, kAttack, kDecay, kSustain, kRelease, kDone };
    float StepFun(const FunModulator& f, const SourceContext& c, float dt);
    float StepLfo(const LfoModulator& l, const SourceContext& c, float dt);
    float StepEnv(const EnvModulator& e, const SourceContext& c, bool gate, float dt);
    void BeginSegment(const EnvModulator& e, int index);

    const Modulator* m_ = nullptr;
    float value_ = 0;
    bool finished_ = false;
    // LFO
    double phase01_ = 0;
    // FUN: held value, smoothing state, previous gate
    float held_ = 0;
    float smooth_ = 0;
    bool prevGate_ = false;
    bool primed_ = false;
    // ENV
    Phase phase_ = kIdle;
    int segment_ = 0;
    float from_ = 0;
    float to_ = 0;
    float elapsed_ = 0;
    float duration_ = 0;
};

}  // namespace talmeru::voice
