#pragma once
// The Properties sheet's Audio page without a window: the emulator's output device, buffer
// size and sample rate, kept in the "Audio" section of the settings file.
#include <string>
#include <vector>

#include "platform/AudioOutput.h"
#include "platform/Profile.h"

namespace talmeru {

inline constexpr int kBufferChoices[] = {64, 128, 256, 512, 1024, 2048};
inline constexpr int kRateChoices[] = {44100, 48000, 88200, 96000};

// The stored output settings; a value that is not one of the choices reads as the default.
AudioConfig ReadAudioSettings(const Profile& settings);
void WriteAudioSettings(Profile& settings, const AudioConfig& config);

class AudioProperties {
  public:
    AudioProperties(const Profile& settings, const std::vector<AudioDevice>& devices);

    // The device box: "Default", then the devices. A stored device that is not present now
    // keeps an entry of its own, so that OK does not forget it while it is unplugged.
    const std::vector<std::string>& DeviceEntries() const { return entries_; }
    int DeviceIndex() const { return device_; }
    int BufferIndex() const { return buffer_; }
    int RateIndex() const { return rate_; }
    // Out-of-range indices (a box without a selection) leave the choice as it was.
    void SetDeviceIndex(int index);
    void SetBufferIndex(int index);
    void SetRateIndex(int index);

    AudioConfig Config() const;
    // Writes the three keys; true when the choice differs from what was stored, so the
    // output is opened anew.
    bool Store(Profile& settings) const;

  private:
    AudioConfig start_;
    std::vector<std::string> entries_;
    std::vector<std::string> names_;  // the device name behind each entry; empty for Default
    int device_ = 0;
    int buffer_ = 0;
    int rate_ = 0;
};

}  // namespace talmeru
