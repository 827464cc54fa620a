#pragma once
// The MA-1 voice engine: 16 MIDI channels playing the programs of a BankImage on 64 voices,
// with the global reverb and chorus, rendered as stereo float audio. One control thread
// sends messages and bank images; one audio thread renders. Render never waits for the
// control side and never allocates.
#include <atomic>
#include <cstdint>
#include <memory>

namespace talmeru::voice {

class BankImage;

inline constexpr int kChannelCount = 16;
inline constexpr int kVoiceCount = 64;
inline constexpr double kEngineRate = 44100.0;
// Modulators and coefficients are updated this often; a message starts a new period.
inline constexpr int kControlFrames = 32;

struct EngineStats {
    int activeVoices = 0;
    float peakLeft = 0;  // of the last rendered block, linear
    float peakRight = 0;
};

class Engine {
  public:
    explicit Engine(double sampleRate = kEngineRate);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Control thread. The objects the next notes play; notes already sounding keep theirs.
    void SetBank(std::shared_ptr<const BankImage> bank);
    // Control thread. Lets go of the banks no sounding note plays any more (SetBank does so
    // too); true when only the current one is left.
    bool Collect();
    // Control thread. A channel message packed as MIDI short messages are (status in the low
    // byte, then the data bytes); it takes effect at the start of the next Render, in order.
    void Send(uint32_t message);
    // Control thread. A message played now, from a keyboard or MIDI input: it takes effect in
    // the next Render at the frame that keeps its distance in time from the start of the
    // previous Render, so that notes keep their timing instead of gathering at block starts.
    void SendLive(uint32_t message);
    // The clock, in nanoseconds, that stamps live messages and times the Render calls; tests
    // set their own.
    using Clock = int64_t (*)();
    void SetClock(Clock clock);
    // Control thread, between Render calls only (the output is being opened).
    void SetSampleRate(double rate);
    double SampleRate() const;

    // Audio thread: writes `frames` frames to left and right.
    void Render(float* left, float* right, int frames);
    // Audio thread, between Render calls: the message takes effect now, as if sent before
    // this Render; for a host that calls Render itself and knows each event's frame.
    void Apply(uint32_t message);

    EngineStats Stats() const;

    class Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace talmeru::voice
