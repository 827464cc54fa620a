#pragma once
// The engine's two global effects, reverb and chorus, fed by the channels' effect sends and
// added to the dry mix. Every delay line is allocated when the sample rate is set, so the
// audio thread can switch types and process without allocating or locking.
#include <memory>

namespace talmeru::voice {

// Reverb types: 0 None, 1-3 Room 1-3, 4-5 Hall 1-2, 6 Plate, 7 Delay, 8-9 Pan Delay 1-2.
inline constexpr int kReverbTypeCount = 10;
// Chorus types: 0 None, 1-4 Chorus 1-4, 5 Chorus w/Feedback, 6 Flanger, 7 Delay,
// 8 Delay w/Feedback.
inline constexpr int kChorusTypeCount = 9;

// Echo times of the delay types: an impulse's first echo comes this long after it (rounded
// to whole frames). The pan delays repeat at the same interval, alternating sides.
inline constexpr double kReverbDelaySeconds = 0.3;
inline constexpr double kPanDelay1Seconds = 0.25;
inline constexpr double kPanDelay2Seconds = 0.375;
inline constexpr double kChorusDelaySeconds = 0.1;
inline constexpr double kChorusFeedbackDelaySeconds = 0.15;

class Effects {
  public:
    explicit Effects(double sampleRate);
    ~Effects();
    Effects(const Effects&) = delete;
    Effects& operator=(const Effects&) = delete;

    // Not on the audio thread: allocates the delay lines for the rate and silences them.
    void SetSampleRate(double rate);
    // Audio thread. Out-of-range types are ignored. The old type fades out over a few
    // milliseconds, then the new one starts from silence with its input faded in, so a
    // switch does not click.
    void SetReverbType(int type);
    void SetChorusType(int type);
    int ReverbType() const;
    int ChorusType() const;

    // Audio thread. Adds the wet outputs for the sends into outL/outR, which hold the dry
    // mix. The chorus adds its wet signal only. Any n >= 0; nothing is read when n is 0.
    void Process(const float* reverbL, const float* reverbR, const float* chorusL,
                 const float* chorusR, float* outL, float* outR, int n);
    // Audio thread. Silences every delay line; the sends then fade in as after a switch.
    void Clear();

    class Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace talmeru::voice
