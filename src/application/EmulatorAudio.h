#pragma once
// The emulator's voice engine on the audio output: while the emulator is the synthesizer, the
// output's thread pulls its audio straight from the engine, one buffer ahead of the speaker.
// No output device leaves the emulator playing into nothing, as a card without speakers would.
#include <memory>
#include <string>
#include <vector>

#include "platform/AudioOutput.h"
#include "voice/Engine.h"

namespace talmeru {

namespace emulator {
class Ma1Emulator;
}

enum class AudioState {
    kOff,  // not asked for (a real card is the synthesizer)
    kPlaying,
    kNoDevice,  // the system has no output device
    kFailed,    // the device would not open or start
};

struct AudioStatus {
    AudioState state = AudioState::kOff;
    std::string message;  // why it failed
    std::string device;
    double sampleRate = 0;
    int bufferFrames = 0;
};

// What the status bar says about the output: one line, empty when all is well.
std::string AudioStatusLine(const AudioStatus& status);

class EmulatorAudio {
  public:
    // Either may be null: no emulator or no audio system plays nothing.
    EmulatorAudio(std::shared_ptr<emulator::Ma1Emulator> emulator,
                  std::unique_ptr<AudioOutput> output);
    ~EmulatorAudio();
    EmulatorAudio(const EmulatorAudio&) = delete;
    EmulatorAudio& operator=(const EmulatorAudio&) = delete;

    // Closes what plays and opens the output anew with config.
    const AudioStatus& Play(const AudioConfig& config);
    void Stop();
    const AudioStatus& Status() const { return status_; }
    // False as well once a stream that was playing has stopped by itself (a device gone).
    bool Playing() const;
    std::vector<AudioDevice> Devices() const;
    // The engine's last block; nothing while the output is not playing.
    voice::EngineStats Stats() const;

  private:
    std::shared_ptr<emulator::Ma1Emulator> emulator_;
    std::unique_ptr<AudioOutput> output_;
    AudioStatus status_;
};

}  // namespace talmeru
