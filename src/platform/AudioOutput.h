#pragma once
// The audio output: the system's output devices, and one stream of stereo float audio pulled
// from a render function on the device's own thread. RtAudio (ALSA, PulseAudio, JACK) stands
// behind it in the program; tests put their own in its place. A machine without any audio
// device is no error: Open says kNoDevice and the caller goes on silently.
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace talmeru {

struct AudioDevice {
    unsigned id = 0;  // the system's number for it, valid until the device list changes
    std::string name;
    bool isDefault = false;
};

struct AudioConfig {
    std::string device;  // a device name; empty for the system's default output
    int sampleRate = 44100;
    int bufferFrames = 256;
};

// Called on the device's thread for every buffer; must not block. Writes `frames` frames to
// left and right.
using AudioRender = std::function<void(float* left, float* right, int frames)>;

enum class AudioOpenStatus {
    kOpen,      // opened, not yet running: Start begins the calls to the render function
    kNoDevice,  // the system has no output device
    kFailed,    // there are devices, but this one could not be opened as asked
};

struct AudioOpenResult {
    AudioOpenStatus status = AudioOpenStatus::kNoDevice;
    std::string message;  // why it failed, one line
    std::string device;   // the device opened
    double sampleRate = 0;
    int bufferFrames = 0;
};

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // Output devices, looked up anew each time; empty when there are none.
    virtual std::vector<AudioDevice> Devices() = 0;
    // Closes any stream, then opens the named device (the default one when the name is empty
    // or names no device present now) with two float channels. Nothing is thrown.
    virtual AudioOpenResult Open(const AudioConfig& config, AudioRender render) = 0;
    // Starts the opened stream; an empty string on success, else why not.
    virtual std::string Start() = 0;
    // Stops and closes; after it returns the render function is not called again.
    virtual void Close() = 0;
    virtual bool Running() const = 0;
};

// The system's devices through RtAudio. It looks for its audio system only when first asked.
std::unique_ptr<AudioOutput> MakeRtAudioOutput();

// One device buffer of `frames` frames from `render`, interleaved into `out` with `channels`
// channels (1: the mix of both sides; above 2: the rest silent). left and right are the
// render function's scratch; a buffer longer than they are is rendered in pieces.
void RenderInterleaved(const AudioRender& render, float* out, int channels, int frames,
                       std::span<float> left, std::span<float> right);

}  // namespace talmeru
