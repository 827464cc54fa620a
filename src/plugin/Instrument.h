#pragma once
// The instrument behind the LV2 plugin, free of LV2: MIDI events at their frames, played by
// the MA-1 voice engine exactly as `talmeru-cli render` plays them, for any block size.
//
// The engine starts a control period (kControlFrames) at each message and renders whole
// periods otherwise, so its output depends on where the calls to it begin. To make the same
// calls as render whatever the host's blocks, the instrument runs one control period behind
// the host (reported as latency): a period is rendered only once every event inside it is
// known, and its frames wait in a short buffer until the host asks for them.
#include <array>
#include <cstdint>
#include <memory>

#include "voice/Engine.h"

namespace talmeru::plugin {

class Instrument {
  public:
    // Frames the output lags the events behind it.
    static constexpr int kLatency = voice::kControlFrames;

    // Allocates everything; not on the audio thread.
    explicit Instrument(double sampleRate);

    // Worker thread: the bank the next notes play; sounding notes finish on the old one.
    void SetBank(std::shared_ptr<const voice::BankImage> bank);
    // Worker thread: frees the banks no sounding note plays; true when only the current one
    // is left.
    bool Collect() { return engine_.Collect(); }

    // ---- audio thread: no allocation, no lock, no wait
    // A channel message (status in the low byte, then the data bytes) at a frame of the
    // block about to be run; frames must not decrease within a block. False when the queue
    // is full (the message is dropped).
    bool Queue(int frame, uint32_t message);
    // Effect types 0..9 and 0..8 as the emulator's NRPNs set them; sent at the block's start
    // when they differ from the last ones sent.
    void SetEffects(int reverb, int chorus);
    // Output gain in dB, reached smoothly over the block.
    void SetGainDb(float db);
    // Renders the block; the queued events are consumed.
    void Run(float* left, float* right, int frames);
    voice::EngineStats Stats() const { return engine_.Stats(); }

  private:
    struct Event {
        int64_t frame;
        uint32_t message;
    };
    static constexpr uint32_t kEventCapacity = 4096;  // a power of two
    static constexpr int kBufferFrames = 2 * kLatency;

    void RenderPeriod();
    void Nrpn(int number, int value);

    voice::Engine engine_;
    std::array<Event, kEventCapacity> events_{};
    uint32_t eventRead_ = 0, eventWrite_ = 0;
    int64_t hostFrame_ = 0;    // the host's frame at the start of the block being run
    int64_t engineFrame_ = 0;  // frames the engine has rendered
    // Rendered frames not yet given to the host: buffer position p holds engine frame
    // p - kLatency; the first kLatency positions are silence.
    float bufferL_[kBufferFrames]{}, bufferR_[kBufferFrames]{};
    int64_t buffered_ = kLatency, taken_ = 0;
    int reverb_ = 0, chorus_ = 0;
    float gain_ = 1, gainTarget_ = 1;
};

}  // namespace talmeru::plugin
